// Text and list benchmark: the operations whose tests guard against a
// quadratic or exponential walk, at the sizes those tests use, timed.
// (The tests only check results; a walk gone quadratic there runs past
// their time-out.)
//
//   text_bench
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "base/containers/KvObjectArray.h"
#include "base/str/KvString.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/match/KvKeywords.h"

namespace {

void Time(const char* what, const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-52s %10.1f ms\n", what, ms);
}

}  // namespace

int main() {
    std::string spans;
    for (int i = 0; i < 300000; ++i) spans += "<a>b";
    KvString text{std::string_view(spans)};
    Time("FindReplaceExt, 300,000 spans", [&] { text.FindReplaceExt("<", ">", ""); });

    KvString as(std::string(4000, 'a'));
    Time("wildcard match, ten stars over 4,000 characters", [&] { as.IsMatch("*a*a*a*a*a*a*a*a*a*a*b"); });

    std::string words;
    for (int i = 0; i < 100000; ++i) words += "Word" + std::to_string(i) + ", word" + std::to_string(i) + ",";
    Time("keywords, 100,000 distinct", [&] { KvKeywords keywords(words.c_str()); });

    KvObjectArray big, more;
    for (int i = 0; i < 50000; ++i) {
        big.Add(new KvSimpleLinkItem(("http://example.com/a/" + std::to_string(i)).c_str(), "t", ""));
        more.Add(new KvSimpleLinkItem(("http://example.com/b/" + std::to_string(i)).c_str(), "t", ""));
    }
    Time("combining two feeds of 50,000 links", [&] { CombineSimpleLinks(&big, &more); });
    return 0;
}

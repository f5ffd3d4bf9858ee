// The template engine: placeholders, the variable store, and the bounds
// that keep self-referring values from running away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

std::string Expand(KvParseImp& imp, const std::string& text, int* result = nullptr) {
    KvGenBuffer buffer;
    buffer.PutString(text.c_str(), text.size());
    KvWebTemplate tpl(&imp, 0);
    int r = tpl.Parse(&buffer);
    if (result) *result = r;
    return std::string(buffer.GetData(), buffer.GetCount());
}

// Answers {#name ...} with "name(k=v,...)" and {{name}} with "/path/name".
class EchoStore : public KvParseImp {
public:
    int Function(const char* name, CsStrMap& params, CString& out) override {
        if (std::string(name) == "none") return 0;
        out = name;
        out += "(";
        for (CsStrMapItem* p = params.Head(); p; p = p->Next()) {
            out += p->GetKey();
            out += "=";
            out += p->GetValue();
            out += p->Next() ? "," : "";
        }
        out += ")";
        return 1;
    }
    int Path(const char* name, CString& out) override {
        out = "/path/";
        out += name;
        return 1;
    }
};

// Collects the lines the engine logs while a test runs.
std::vector<std::string> g_logged;
class LogCapture {
public:
    LogCapture() {
        g_logged.clear();
        KvSetTemplateLogHook([](const char* line) { g_logged.push_back(line); });
    }
    ~LogCapture() { KvSetTemplateLogHook(nullptr); }
};

TEST(KvParseImp, NamesMatchWithoutCaseAndTheFirstPairWins) {
    KvParseImp imp;
    imp.AddVariable("page_title", "One");
    imp.AddVariable("PAGE_TITLE", "Two");
    imp.AddVariable("count", 42);
    imp.AddVariable("ratio", 0.5);
    EXPECT_STREQ("One", imp.GetValue("Page_Title"));
    EXPECT_STREQ("42", imp.GetValue("count"));
    EXPECT_STREQ("0.500000", imp.GetValue("ratio"));
    EXPECT_STREQ("", imp.GetValue("missing"));
    EXPECT_TRUE(imp.IsExist("COUNT"));

    imp.SetValue("Page_title", "Three");  // replaces the first pair only
    EXPECT_STREQ("Three", imp.GetValue("page_title"));
    imp.SetValue("new", "n");
    EXPECT_STREQ("n", imp.GetValue("NEW"));

    CString out("kept");
    EXPECT_EQ(0, imp.Variable("missing", out));
    EXPECT_STREQ("kept", out);

    KvParseImp copy(imp);
    imp.ResetVariable();
    EXPECT_FALSE(imp.IsExist("count"));
    EXPECT_STREQ("42", copy.GetValue("count"));
}

TEST(KvWebTemplate, VariablesAreReplacedAndUnknownOnesStay) {
    KvParseImp imp;
    imp.AddVariable("name", "World");
    EXPECT_EQ("Hello World!", Expand(imp, "Hello {name}!"));
    EXPECT_EQ("Hello World!", Expand(imp, "Hello {NAME}!"));

    KvParseImp empty;
    int result = 0;
    EXPECT_EQ("Hello {name}! &#123;x&#125;", Expand(empty, "Hello {name}! &#123;x&#125;", &result));
    EXPECT_EQ(1, result);
}

TEST(KvWebTemplate, ValuesAreScannedAgain) {
    KvParseImp imp;
    imp.AddVariable("name", "{title}");
    imp.AddVariable("title", "X");
    EXPECT_EQ("<X>", Expand(imp, "<{name}>"));
    // A value may open a placeholder that the page text closes.
    imp.AddVariable("open", "{ti");
    EXPECT_EQ("X", Expand(imp, "{open}tle}"));
}

TEST(KvWebTemplate, BracesThatAreNotPlaceholders) {
    KvParseImp imp;
    imp.AddVariable("a", "A");
    EXPECT_EQ("{} A", Expand(imp, "{} {a}"));
    EXPECT_EQ("x { y", Expand(imp, "x { y"));
    EXPECT_EQ("} {a", Expand(imp, "} {a"));
    EXPECT_EQ("{x {a} A", Expand(imp, "{x {a} {a}"));  // the first key is "x {a"
    // Entities become braces only when something was replaced.
    EXPECT_EQ("{x} A", Expand(imp, "&#123;x&#125; {a}"));
    EXPECT_EQ("&#123;x&#125;", Expand(imp, "&#123;x&#125;"));
    EXPECT_EQ("&{&amp;&#125A}", Expand(imp, "&&#123;&amp;&#125{a}&#125;"));
}

TEST(KvWebTemplate, FunctionsAndPaths) {
    EchoStore imp;
    EXPECT_EQ("[link(width=10,align=left,b=x)]",
              Expand(imp, "[{#Link width=10 align='left' b=\"x\" flag}]"));
    EXPECT_EQ("[bare()]", Expand(imp, "[{#bare}]"));
    EXPECT_EQ("{#none a=1}", Expand(imp, "{#none a=1}"));
    EXPECT_EQ("<img src=\"/path/logo\">", Expand(imp, "<img src=\"{{logo}}\">"));
    // A path placeholder without its second brace is left as text; the
    // scan never reads past the end.
    EXPECT_EQ("{{logo}", Expand(imp, "{{logo}"));
    EXPECT_EQ("{{logo}x", Expand(imp, "{{logo}x"));
}

TEST(KvWebTemplate, NoStoreOrBufferLeavesTheBufferAlone) {
    KvWebTemplate tpl;
    KvGenBuffer buffer;
    buffer.PutString("{a}");
    EXPECT_EQ(0, tpl.Parse(&buffer));
    EXPECT_EQ("{a}", std::string(buffer.GetData(), buffer.GetCount()));
    KvParseImp imp;
    tpl.SetImp(&imp, 0);
    EXPECT_EQ(0, tpl.Parse(nullptr));
}

TEST(KvWebTemplate, OwnedStoreIsDeletedOnReplaceAndDestroy) {
    static int alive = 0;
    struct Counted : KvParseImp {
        Counted() { ++alive; }
        ~Counted() override { --alive; }
    };
    {
        KvWebTemplate tpl(new Counted, 1);
        EXPECT_EQ(1, alive);
        tpl.SetImp(new Counted, 1);
        EXPECT_EQ(1, alive);
        Counted notOwned;
        tpl.SetImp(&notOwned, 0);
        EXPECT_EQ(1, alive);
    }
    EXPECT_EQ(0, alive);
}

TEST(KvWebTemplate, OnlyTheUnreadTextIsExpanded) {
    KvParseImp imp;
    imp.AddVariable("a", "A");
    KvGenBuffer buffer;
    buffer.PutString("skip|{a}");
    buffer.Consume(5);
    KvWebTemplate tpl(&imp);
    ASSERT_EQ(1, tpl.Parse(buffer));
    EXPECT_EQ("A", std::string(buffer.GetData(), buffer.GetCount()));
}

TEST(KvWebTemplate, ParamsSplitAtBlanksAndLoseQuotes) {
    struct Splitter : KvWebTemplate {
        using KvWebTemplate::ParseParams;
    } tpl;
    CsStrMap params;
    params.AddTail("old", "x");
    tpl.ParseParams(params, "a=1 b=\"x\" c='y' d e==2");
    EXPECT_EQ(4, params.Size());
    EXPECT_STREQ("1", params.Lookup("a"));
    EXPECT_STREQ("x", params.Lookup("b"));
    EXPECT_STREQ("y", params.Lookup("c"));
    EXPECT_STREQ("=2", params.Lookup("e"));
    EXPECT_EQ(nullptr, params.Lookup("old"));
    EXPECT_EQ(nullptr, params.Lookup("d"));
}

TEST(KvWebTemplate, SelfReferringValueStopsAtTheReplacementBound) {
    LogCapture log;
    KvParseImp imp;
    imp.AddVariable("a", "{a}");
    imp.AddVariable("b", "B");
    int result = 0;
    std::string out = Expand(imp, "x{a}y{b}", &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ("x{a}y{b}", out);  // the rest stays unexpanded
    ASSERT_EQ(1u, g_logged.size());
    EXPECT_NE(std::string::npos, g_logged[0].find("stopped"));
}

TEST(KvWebTemplate, GrowingValuesStopAtTheSizeBound) {
    LogCapture log;
    KvParseImp imp;
    imp.AddVariable("a", "{b}{b}");  // doubles at every level
    imp.AddVariable("b", "{a}{a}");
    std::string out = Expand(imp, "{a}");
    EXPECT_LE(out.size(), KvWebTemplate::kMaxInsertedBytes + 3);
    EXPECT_EQ(1u, g_logged.size());
}

TEST(KvWebTemplate, LargeSelfReferringValueStopsAtTheSizeBound) {
    LogCapture log;
    KvParseImp imp;
    imp.AddVariable("big", std::string(1 << 20, 'x').append("{big}").c_str());
    std::string out = Expand(imp, "{big}");
    EXPECT_LE(out.size(), KvWebTemplate::kMaxInsertedBytes + 8);
    EXPECT_GE(out.size(), 7u << 20);
    EXPECT_EQ(1u, g_logged.size());
}

TEST(KvWebTemplate, LargePagesExpandWithoutLoss) {
    KvParseImp imp;
    imp.AddVariable("row", "<td>{cell}</td>");
    imp.AddVariable("cell", "c");
    std::string page, expected;
    for (int i = 0; i < 20000; ++i) {
        page += "<tr>{row}</tr>\n";
        expected += "<tr><td>c</td></tr>\n";
    }
    LogCapture log;
    EXPECT_EQ(expected, Expand(imp, page));
    EXPECT_TRUE(g_logged.empty());
}

}  // namespace

// The MIME table: file format, look-ups, reloading, the shipped types file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/platform/FileIo.h"
#include "base/thread/KvCleanupMgr.h"
#include "inet/web/KvMime.h"

namespace {

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/kvmime_XXXXXX";
        m_path = mkdtemp(templ);
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string File(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void Write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), text.data(), text.size()));
}

}  // namespace

TEST(KvMimeTest, FileFormatAndLookups) {
    TempDir dir;
    std::string path = dir.File("mime.types");
    Write(path,
          "# comment line\r\n"
          "text/html\thtml HTM\r\n"
          "   \r\n"
          "application/x-orphan\n"
          "image/Png png\n"
          "text/plain txt log\n"
          "text/x-log log\n");  // a later line takes the extension over
    KvMime mime;
    mime.SetMimeFile(path.c_str());
    EXPECT_EQ(mime.GetMimeByExt("HTM", "x/default"), "text/html");
    EXPECT_EQ(mime.GetMimeByExt("html", nullptr), "text/html");
    EXPECT_EQ(mime.GetMimeByExt("png", nullptr), "image/Png");  // types stay as written
    EXPECT_EQ(mime.GetMimeByExt("log", nullptr), "text/x-log");
    EXPECT_EQ(mime.GetMimeByExt("x-orphan", "d"), "d");
    EXPECT_EQ(mime.GetMimeByExt("#", "d"), "d");
    EXPECT_EQ(mime.GetMimeByExt(nullptr, "d"), "d");

    EXPECT_EQ(mime.GetMimeByPath("/site/Index.HTML", "d"), "text/html");
    EXPECT_EQ(mime.GetMimeByPath("/site/readme", "d"), "d");
    EXPECT_EQ(mime.GetMimeByPath(".txt", "d"), "d");  // the only dot is the first character
    EXPECT_EQ(mime.GetMimeByPath("a.", "d"), "d");
    EXPECT_EQ(mime.GetMimeByPath(nullptr, "d"), "d");
}

TEST(KvMimeTest, MissingFileGivesDefaultsAndIsRetried) {
    TempDir dir;
    std::string path = dir.File("later.types");
    KvMime mime;
    mime.SetMimeFile(path.c_str());
    EXPECT_EQ(mime.GetMimeByExt("css", "application/octet-stream"), "application/octet-stream");
    Write(path, "text/css css\n");
    EXPECT_EQ(mime.GetMimeByExt("css", ""), "text/css");
}

TEST(KvMimeTest, ShippedTypesFileKnowsWhatBrowsersMeet) {
    KvMime mime;
    mime.SetMimeFile(KV_SOURCE_DIR "/data/mime.types");
    const char* expected[][2] = {
        {"html", "text/html"}, {"htm", "text/html"}, {"css", "text/css"}, {"js", "text/javascript"},
        {"json", "application/json"}, {"svg", "image/svg+xml"}, {"png", "image/png"}, {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"}, {"gif", "image/gif"}, {"webp", "image/webp"}, {"ico", "image/x-icon"},
        {"woff", "font/woff"}, {"woff2", "font/woff2"}, {"pdf", "application/pdf"}, {"zip", "application/zip"},
        {"mp4", "video/mp4"}, {"mp3", "audio/mpeg"}, {"xml", "text/xml"}, {"rss", "application/rss+xml"},
        {"txt", "text/plain"},
    };
    for (auto& e : expected) EXPECT_EQ(mime.GetMimeByExt(e[0], "none"), e[1]) << e[0];
    EXPECT_GT(mime.GetCount(), 150);
}

TEST(KvMimeTest, SharedInstanceServesManyThreadsAndIsCleanedUp) {
    TempDir dir;
    std::string path = dir.File("mime.types");
    Write(path, "text/html html\nimage/gif gif\n");
    KvMime* mime = KvMime::GetInstance();
    EXPECT_EQ(KvMime::GetInstance(), mime);
    mime->SetMimeFile(path.c_str());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&wrong, &path, t] {
            for (int i = 0; i < 2000; ++i) {
                // One thread keeps forcing reloads while the others look up.
                if (t == 0 && i % 50 == 0) KvMime::GetInstance()->SetMimeFile(path.c_str());
                CString type = KvMime::GetInstance()->GetMimeByPath("/a/b.gif", "none");
                if (type != "image/gif") ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);

    int before = KvMime::GetInstanceCount();
    KvCleanupMgr::DestroyInstance();
    EXPECT_EQ(KvMime::GetInstanceCount(), before - 1);
    EXPECT_NE(KvMime::GetInstance(), nullptr);  // made again on the next use
    KvMime::DestroyInstance();
}

TEST(KvMimeTest, TextAndImagePredicates) {
    EXPECT_TRUE(IsMimeText("text/html"));
    EXPECT_FALSE(IsMimeText("Text/html"));  // case matters
    EXPECT_FALSE(IsMimeText("text"));
    EXPECT_TRUE(IsMimeImages("image/png"));
    EXPECT_FALSE(IsMimeImages("images/png"));
    EXPECT_FALSE(IsMimeText(nullptr));
    EXPECT_FALSE(IsMimeImages(""));
}

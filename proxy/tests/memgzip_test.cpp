// KvMemGzip: the gzip form written, the forms read, and bad input refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "proxy/cache/KvMemGzip.h"

namespace {

std::string Bytes(const KvMemGzip& gz) { return std::string((const char*)gz.GetData(), gz.GetLength()); }

std::string Compressed(const std::string& text) {
    KvMemGzip gz;
    EXPECT_EQ(gz.Compress(text.data(), (UINT)text.size()), 1);
    return Bytes(gz);
}

std::string SampleText() {
    std::string s;
    for (int i = 0; i < 2000; i++) s += "<p>line " + std::to_string(i) + " of the cached page</p>\r\n";
    return s;
}

}  // namespace

TEST(MemGzipTest, WritesTheFixedHeaderAndTrailerAndRoundTrips) {
    std::string text = SampleText();
    std::string gz = Compressed(text);
    ASSERT_GT(gz.size(), 18u);
    EXPECT_EQ(gz.substr(0, 10), std::string("\x1F\x8B\x08\0\0\0\0\0\0\x0B", 10));
    EXPECT_LT(gz.size(), text.size() / 4);
    const unsigned char* t = (const unsigned char*)gz.data() + gz.size() - 4;
    EXPECT_EQ((size_t)(t[0] | t[1] << 8 | t[2] << 16 | (size_t)t[3] << 24), text.size());

    KvMemGzip back;
    ASSERT_EQ(back.Decompress(gz.data(), (UINT)gz.size()), 1) << back.GetError();
    EXPECT_EQ(Bytes(back), text);

    std::string binary;
    for (int i = 0; i < 70000; i++) binary += (char)(i * 131 % 256);
    std::string gzb = Compressed(binary);
    ASSERT_EQ(back.Decompress(gzb.data(), (UINT)gzb.size()), 1);
    EXPECT_EQ(Bytes(back), binary);

    // Length -1 means a zero-terminated text; empty input is a valid member.
    KvMemGzip z;
    ASSERT_EQ(z.Compress("abc", KvMemGzip::kTextLength), 1);
    ASSERT_EQ(back.Decompress(z.GetData(), z.GetLength()), 1);
    EXPECT_EQ(Bytes(back), "abc");
    ASSERT_EQ(z.Compress(nullptr, 0), 1);
    ASSERT_EQ(back.Decompress(z.GetData(), z.GetLength()), 1);
    EXPECT_EQ(back.GetLength(), 0u);
}

TEST(MemGzipTest, ReadsOtherWritersHeadersAndConcatenatedMembers) {
    // Written by a common gzip tool: operating system 3, extra flags 2.
    const unsigned char tool[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03,
                                  0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x57, 0xc8, 0x40, 0x90, 0x5c,
                                  0x00, 0x3b, 0x7c, 0x8a, 0xdf, 0x12, 0x00, 0x00, 0x00};
    KvMemGzip gz;
    ASSERT_EQ(gz.Decompress(tool, sizeof tool), 1) << gz.GetError();
    EXPECT_EQ(Bytes(gz), "hello hello hello\n");

    // Extra field, file name, comment and header CRC are all skipped.
    std::string plain = Compressed("first ");
    std::string rich("\x1F\x8B\x08\x1E\0\0\0\0\0\x03", 10);
    rich += std::string("\x03\0xyz", 5) + "name.htm" + '\0' + "a comment" + '\0' + "cc";
    rich += plain.substr(10);
    std::string both = rich + Compressed("second") + std::string(4, '\0');  // trailing padding ignored
    ASSERT_EQ(gz.Decompress(both.data(), (UINT)both.size()), 1) << gz.GetError();
    EXPECT_EQ(Bytes(gz), "first second");
}

TEST(MemGzipTest, DataWithoutTheMagicComesBackUnchanged) {
    KvMemGzip gz;
    const char text[] = "HTTP/1.0 200 OK\r\n\r\nbody";
    ASSERT_EQ(gz.Decompress(text, sizeof text - 1), 1);
    EXPECT_EQ(Bytes(gz), std::string(text));
    ASSERT_EQ(gz.Decompress("\x1F", 1), 1);
    EXPECT_EQ(Bytes(gz), "\x1F");
    ASSERT_EQ(gz.Decompress(nullptr, 0), 1);
    EXPECT_EQ(gz.GetLength(), 0u);
}

TEST(MemGzipTest, DamagedOrTruncatedInputIsAnErrorWithAnEmptyResult) {
    std::string good = Compressed(SampleText());
    KvMemGzip gz;
    // Every cut: never a crash, never a partial answer.
    for (size_t cut = 2; cut < good.size(); cut += (cut < 64 ? 1 : 97)) {
        EXPECT_EQ(gz.Decompress(good.data(), (UINT)cut), 0) << cut;
        EXPECT_EQ(gz.GetLength(), 0u);
        EXPECT_STRNE(gz.GetError(), "");
    }
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x20;
    EXPECT_EQ(gz.Decompress(flipped.data(), (UINT)flipped.size()), 0);
    EXPECT_EQ(gz.GetLength(), 0u);

    std::string badCrc = good;
    badCrc[good.size() - 6] ^= 1;
    EXPECT_EQ(gz.Decompress(badCrc.data(), (UINT)badCrc.size()), 0);
    EXPECT_STREQ(gz.GetError(), "gzip checksum mismatch");

    std::string reserved = good;
    reserved[3] = (char)0x20;
    EXPECT_EQ(gz.Decompress(reserved.data(), (UINT)reserved.size()), 0);
    std::string method = good;
    method[2] = 7;
    EXPECT_EQ(gz.Decompress(method.data(), (UINT)method.size()), 0);

    std::string garbage("\x1F\x8B\x08\0\0\0\0\0\0\x0B", 10);
    for (int i = 0; i < 300; i++) garbage += (char)(i * 37 + 11);
    EXPECT_EQ(gz.Decompress(garbage.data(), (UINT)garbage.size()), 0);
    EXPECT_EQ(gz.GetLength(), 0u);
}

TEST(MemGzipTest, OutputBeyondTheLimitIsRefused) {
    std::string zeros(16u << 20, '\0');
    std::string bomb = Compressed(zeros);
    ASSERT_LT(bomb.size(), 64u << 10);

    KvMemGzip small(1u << 20);
    EXPECT_EQ(small.Decompress(bomb.data(), (UINT)bomb.size()), 0);
    EXPECT_EQ(small.GetLength(), 0u);
    EXPECT_STREQ(small.GetError(), "decompressed data exceeds the size limit");

    KvMemGzip exact(zeros.size());
    ASSERT_EQ(exact.Decompress(bomb.data(), (UINT)bomb.size()), 1) << exact.GetError();
    EXPECT_EQ(exact.GetLength(), zeros.size());
    EXPECT_EQ(KvMemGzip().GetMaxOutput(), KvMemGzip::kDefaultMaxOutput);
}

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "base/platform/FileIo.h"

namespace {

std::string AllLines(KvGenBuffer& b, size_t max = 64) {
    std::string out;
    std::vector<char> line(max + 1);
    while (!b.IsEmpty()) {
        size_t n = b.GetLine(line.data(), max);
        EXPECT_EQ(std::strlen(line.data()), n);
        out += "[" + std::string(line.data(), n) + "]";
    }
    return out;
}

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/kvbuf.XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { (void)system(("rm -rf " + path).c_str()); }
    std::string File(const char* name) const { return path + "/" + name; }
};

}  // namespace

TEST(KvGenBufferTest, EveryLineEndFormEndsOneLine) {
    KvGenBuffer b;
    ASSERT_TRUE(b.PutString("a\r\nb\n\rc\rd"));
    EXPECT_EQ(AllLines(b), "[a][b][c][d]");
    EXPECT_TRUE(b.IsEmpty());

    ASSERT_TRUE(b.PutString("a\r\rb\n\nc"));
    EXPECT_EQ(AllLines(b), "[a][][b][][c]");
}

TEST(KvGenBufferTest, LongLineComesInPiecesAndItsEndGoesWithTheLast) {
    KvGenBuffer b;
    b.PutString("abcdefgh\r\nxyz\nuv");
    EXPECT_EQ(AllLines(b, 3), "[abc][def][gh][xyz][uv]");
}

TEST(KvGenBufferTest, StringLinesAreSizedByLineLength) {
    KvGenBuffer b;
    b.PutString("first line\r\n\r\nlast");
    EXPECT_EQ(b.GetLineLength(), 11u);  // the CR LF pair adds one
    CString s;
    EXPECT_TRUE(b.GetLine(s));
    EXPECT_EQ(s, "first line");
    CsString cs;
    EXPECT_TRUE(b.GetLine(cs));
    EXPECT_STREQ(cs.GetStr(), "");
    EXPECT_TRUE(b.IsLineExist() == false);
    EXPECT_TRUE(b.GetLine(s));
    EXPECT_EQ(s, "last");
    EXPECT_FALSE(b.GetLine(s));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(KvGenBufferTest, GetCharAtTheEndAndPutBack) {
    KvGenBuffer b;
    EXPECT_EQ(b.GetChar(), 0xFF);
    b.PutBackChar('x');  // nothing consumed: nothing to step back over
    EXPECT_TRUE(b.IsEmpty());
    b.PutString("ab");
    EXPECT_EQ(b.GetChar(), 'a');
    b.PutBackChar('z');
    EXPECT_EQ(b.GetCount(), 2u);
    EXPECT_EQ(std::string(b.GetData()), "zb");
}

TEST(KvGenBufferTest, ZeroGrowthStepKeepsTheAttachedBlock) {
    char* block = static_cast<char*>(std::malloc(4));
    std::memcpy(block, "abcd", 4);
    KvGenBuffer b(block, 4, 0);  // full of data
    EXPECT_EQ(b.GetCount(), 4u);
    EXPECT_FALSE(b.PutChar('e'));
    EXPECT_EQ(std::string(b.GetData()), "abcd");
    // Consumed bytes are still reclaimed without growing.
    EXPECT_EQ(b.GetChar(), 'a');
    EXPECT_TRUE(b.PutChar('e'));
    EXPECT_EQ(std::string(b.GetData()), "bcde");
    EXPECT_EQ(b.GetAllocSize(), 4u);
    char* out = b.Detach();
    EXPECT_STREQ(out, "bcde");  // terminated behind a full block
    std::free(out);
    EXPECT_EQ(b.GetAllocSize(), 0u);
}

TEST(KvGenBufferTest, BlockWithGrowthStepCountsAsEmptyStorage) {
    KvGenBuffer b(std::malloc(100), 100, 16);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.GetAllocSize(), 100u);
    b.PutString("hi");
    EXPECT_EQ(std::string(b.GetData()), "hi");
}

TEST(KvGenBufferTest, ConsumedBytesAreReclaimedBeforeAllocating) {
    KvGenBuffer b(4096);
    std::string chunk(4096, 'x');
    ASSERT_TRUE(b.PutString(chunk.c_str(), chunk.size()));
    EXPECT_EQ(b.GetAllocSize(), 4096u);
    EXPECT_EQ(b.Consume(100), 100u);
    ASSERT_TRUE(b.PutString(std::string(100, 'y').c_str(), 100));
    EXPECT_EQ(b.GetAllocSize(), 4096u);
    EXPECT_EQ(b.GetPos(), 0u);
    EXPECT_EQ(b.GetCount(), 4096u);
    EXPECT_EQ(b.GetData()[3995], 'x');
    EXPECT_EQ(b.GetData()[3996], 'y');
}

TEST(KvGenBufferTest, LargeBodyInSmallPiecesGrowsGeometrically) {
    KvGenBuffer b;
    std::string piece(64 * 1024, 'p');
    size_t resizes = 0, last = 0;
    for (int i = 0; i < 1600; ++i) {  // 100 MiB
        ASSERT_TRUE(b.Write(piece.data(), piece.size()));
        if (b.GetAllocSize() != last) {
            ++resizes;
            last = b.GetAllocSize();
        }
    }
    EXPECT_EQ(b.GetCount(), 1600u * piece.size());
    EXPECT_LT(resizes, 40u);
    EXPECT_LE(b.GetAllocSize(), 2 * b.GetCount() + 64 * 1024);
}

TEST(KvGenBufferTest, SizesThatWouldOverflowFailAndChangeNothing) {
    KvGenBuffer b;
    b.PutString("keep");
    EXPECT_FALSE(b.Write("x", (size_t)-1));
    EXPECT_EQ(b.GetAddBuffer((size_t)-2), nullptr);
    EXPECT_EQ(b.GetBuffer((size_t)-1), nullptr);
    EXPECT_FALSE(b.SetAllocSize((size_t)-1));
    EXPECT_EQ(std::string(b.GetData()), "keep");
    b.ReleaseBuffer((size_t)-1);  // never past the block
    EXPECT_LE(b.GetStoredCount(), b.GetAllocSize());
}

TEST(KvGenBufferTest, WritingItsOwnBytesWhileGrowing) {
    KvGenBuffer b(4);
    b.PutString("abcd");
    b.Consume(1);
    ASSERT_TRUE(b.Write(b.GetData(), b.GetCount()));
    EXPECT_EQ(std::string(b.GetData()), "bcdbcd");
}

TEST(KvGenBufferTest, DirectAccessHelpers) {
    KvGenBuffer b;
    b.PutString("GET / HTTP/1.0\r\nHost: x\r\n\r\nbody");
    EXPECT_EQ(b.FindLineEnd(), 14u);
    EXPECT_EQ(b.Find("\r\n\r\n", 4), 23u);
    EXPECT_EQ(b.Find("nothing", 7), KvGenBuffer::npos);
    EXPECT_EQ(b.Consume(27), 27u);
    EXPECT_EQ(std::string(b.GetData()), "body");
    EXPECT_EQ(b.FindLineEnd(), KvGenBuffer::npos);
    EXPECT_EQ(b.Consume(100), 4u);
    b.SetPos(1000);
    EXPECT_EQ(b.GetPos(), b.GetStoredCount());

    KvGenBuffer empty;
    EXPECT_STREQ(empty.GetData(), "");
    empty.SetPos(5);
    EXPECT_EQ(empty.GetPos(), 0u);
    char* p = empty.GetAddBuffer(3);
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "xyz", 3);
    empty.ReleaseBuffer(3);
    EXPECT_EQ(std::string(empty.GetData()), "xyz");
    char dst[8];
    EXPECT_EQ(empty.GetString(dst, 2), 2u);
    EXPECT_STREQ(dst, "xy");
}

TEST(KvGenBufferTest, AttachTakesOverAnotherBuffer) {
    KvGenBuffer a, b;
    a.PutString("one");
    b.PutString("two");
    b.Attach(a);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetAllocSize(), 0u);
    EXPECT_EQ(std::string(b.GetData()), "one");
    b.Attach(b);  // self: unchanged
    EXPECT_EQ(std::string(b.GetData()), "one");
}

TEST(KvGenBufferTest, FilesRoundTripThroughPlainReadsAndAtomicWrites) {
    TempDir dir;
    std::string path = dir.File("data.bin");
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = (char)(i * 7);
    ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), content.data(), content.size()));

    KvGenBuffer b;
    b.PutString("head");
    ASSERT_TRUE(b.PutFile(path.c_str()));
    EXPECT_EQ(b.GetCount(), 4 + content.size());
    EXPECT_EQ(std::memcmp(b.GetData() + 4, content.data(), content.size()), 0);

    EXPECT_FALSE(b.PutFile(dir.File("missing").c_str()));
    EXPECT_EQ(b.GetCount(), 4 + content.size());
    ASSERT_TRUE(KvWriteFileAtomic(dir.File("empty").c_str(), "", 0));
    EXPECT_TRUE(b.PutFile(dir.File("empty").c_str()));

    std::string out = dir.File("out.bin");
    ASSERT_TRUE(b.SaveBufferToFile(out.c_str()));
    EXPECT_TRUE(b.IsEmpty());
    std::string back;
    ASSERT_TRUE(KvReadWholeFile(out.c_str(), back));
    EXPECT_EQ(back, "head" + content);

    // An empty buffer leaves an existing file alone.
    KvGenBuffer none;
    EXPECT_TRUE(none.SaveBufferToFile(out.c_str()));
    EXPECT_EQ(KvFileSize(out.c_str()), (long long)back.size());
    // A directory that does not exist fails and keeps the bytes.
    KvGenBuffer some;
    some.PutString("x");
    EXPECT_FALSE(some.SaveBufferToFile(dir.File("no/such/file").c_str()));
    EXPECT_EQ(some.GetCount(), 1u);
}

TEST(KvGenBufferTest, PutFileOnAFixedBufferFailsWithoutPartialContent) {
    TempDir dir;
    std::string path = dir.File("big");
    std::string content(100, 'c');
    ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), content.data(), content.size()));
    KvGenBuffer b(std::malloc(10), 10, 0);
    b.SetGrowBytes(0);
    EXPECT_FALSE(b.PutFile(path.c_str()));
    EXPECT_EQ(b.GetStoredCount(), 10u);
}

// KvSqlBuffer formatting and KvSqlBinary's stored form.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "ext/KvSqLite/KvSqLite.h"

namespace {

// A format made at run time: only FormatV takes one.
const char* FormatAtRunTime(KvSqlBuffer& sql, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const char* text = sql.FormatV(fmt, args);
    va_end(args);
    return text;
}

}  // namespace

// Formats whose conversions do not take their arguments do not compile.
static_assert(KvPrintfFits<int, long, long long, unsigned, double, const char*>("%-5d %ld %lld %x %.2f %q", "sqQw"));
static_assert(KvPrintfFits<int, const char*, int, int>("%.*s|%*d", "s"));
static_assert(KvPrintfFits<std::nullptr_t, char*, const void*>("%Q %w %p", "sqQw"));
static_assert(!KvPrintfFits<int>("%y", "sqQw") && !KvPrintfFits<const char*>("%q", "s") && !KvPrintfFits<>("100%", "s"));
static_assert(!KvPrintfFits<long>("%d", "s") && !KvPrintfFits<int>("%ld", "s") && !KvPrintfFits<int>("%f", "s"));
static_assert(!KvPrintfFits<std::string>("%s", "s") && !KvPrintfFits<int>("%s", "s") && !KvPrintfFits<int, int>("%d", "s"));

TEST(SqlBufferTest, QuotesTextTheWayTheEngineReadsIt) {
    KvSqlBuffer sql;
    EXPECT_STREQ(sql.Format("name='%q'", "O'Brien's"), "name='O''Brien''s'");
    EXPECT_STREQ(sql.Format("v=%Q, w=%Q", "it's", (const char*)nullptr), "v='it''s', w=NULL");
    EXPECT_STREQ(sql.Format("[%s|%q]", (const char*)nullptr, (const char*)nullptr), "[|]");
    EXPECT_STREQ(sql.Format("%d %5d %-3d| %u %x %lld %ld", -7, 42, 1, 4000000000u, 255, 1LL << 40, -2L),
                 "-7    42 1  | 4000000000 ff 1099511627776 -2");
    EXPECT_STREQ(sql.Format("%f %.2f %c %%", 1.5, 2.0, 'z'), "1.500000 2.00 z %");
    EXPECT_STREQ(sql.Format("%.*s|%*d", 3, "abcdef", 4, 7), "abc|   7");
    EXPECT_EQ(sql.GetLength(), 8);
    // An unknown conversion stops reading arguments; the text stays.
    EXPECT_STREQ(FormatAtRunTime(sql, "a %d %y %s", 1, "x"), "a 1 %y %s");
    EXPECT_STREQ(sql.AppendFormat(" and '%q'", "b'"), "a 1 %y %s and 'b'''");
}

TEST(SqlBufferTest, QuotedTextSurvivesARoundTripThroughTheDatabase) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(":memory:"));
    ASSERT_GE(db.Execute("create table t(k text);"), 0);
    KvSqlBuffer sql;
    const char* hostile = "'); drop table t; select ('";
    // The values may come from the same buffer: they are read before it changes.
    ASSERT_EQ(db.Execute(sql.FmtInsert("t", "k", sql.Format("'%q'", hostile))), 1);
    KvSqlBuffer values;
    KvSqlQuery q = db.ExecQuery(sql.FmtSelect("t", "k", values.Format("k='%q'", hostile)));
    ASSERT_TRUE(q.IsValid());
    EXPECT_STREQ(q.GetStringField(0), hostile);
    EXPECT_STREQ(sql.FmtSelect("t", "a, b", ""), "select a, b from t;");
    EXPECT_STREQ(sql.FmtDelete("t", "id=3"), "delete from t where id=3;");
    EXPECT_STREQ(sql.FmtInsert("t", "a, b", "1, 'x'"), "insert into t (a, b) values (1, 'x');");
}

TEST(SqlBinaryTest, EveryByteValueRoundTripsThroughTheStoredForm) {
    std::string all;
    for (int i = 0; i < 256; i++) all += (char)i;
    all += std::string("\0\0\1\1", 4);
    KvSqlBinary bin;
    ASSERT_TRUE(bin.SetBinary(all.data(), (int)all.size()));
    std::string stored((const char*)bin.GetEncoded(), (size_t)bin.GetEncodedLength());
    EXPECT_EQ(stored.find('\0'), std::string::npos);
    EXPECT_EQ(bin.GetEncodedLength(), (int)all.size() + 6);

    KvSqlBinary back;
    ASSERT_TRUE(back.SetEncoded(stored.c_str()));  // as zero-terminated text
    ASSERT_EQ(back.GetBinaryLength(), (int)all.size());
    EXPECT_EQ(std::string((const char*)back.GetBinary(), all.size()), all);

    // Text is stored as it is.
    ASSERT_TRUE(bin.SetBinary("HTTP/1.0 200 OK\r\n", 17));
    EXPECT_STREQ((const char*)bin.GetEncoded(), "HTTP/1.0 200 OK\r\n");
    ASSERT_TRUE(bin.SetBinary((const char*)nullptr, 0));
    EXPECT_EQ(bin.GetEncodedLength(), 0);
}

TEST(SqlBinaryTest, BrokenStoredFormIsRefused) {
    KvSqlBinary bin;
    EXPECT_FALSE(bin.SetEncoded("abc\x01", 4));        // escape at the end
    EXPECT_FALSE(bin.SetEncoded("a\x01\x07z", 4));     // unknown escape
    EXPECT_FALSE(bin.SetEncoded("a\0b", 3));           // zero byte inside
    EXPECT_EQ(bin.GetBinaryLength(), 0);
    EXPECT_FALSE(bin.SetBinary("x", -1));
}

TEST(SqlBinaryTest, StoredFormReadsBackAsBlobOrAsText) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(":memory:"));
    ASSERT_GE(db.Execute("create table c(id integer, data text);"), 0);
    const unsigned char body[] = {'G', 'I', 'F', 0, 1, 2, 0x27, 0xFF, 0};
    KvSqlBinary bin;
    bin.SetBinary(body, (int)sizeof body);
    KvSqlStatement st = db.CompileStatement("insert into c (id, data) values (?, ?);");
    st.Bind(1, 1);
    st.Bind(2, bin.GetEncoded(), bin.GetEncodedLength());
    ASSERT_EQ(st.Execute(), 1);

    KvSqlQuery q = db.ExecQuery("select data from c;");
    int length = 0;
    const unsigned char* stored = q.GetBlobField(0, length);
    KvSqlBinary fromBlob;
    ASSERT_TRUE(fromBlob.SetEncoded(stored, length));
    ASSERT_EQ(fromBlob.GetBinaryLength(), (int)sizeof body);
    EXPECT_EQ(0, memcmp(fromBlob.GetBinary(), body, sizeof body));
    KvSqlBinary fromText;
    ASSERT_TRUE(fromText.SetEncoded(q.GetStringField(0).c_str()));
    EXPECT_EQ(fromText.GetBinaryLength(), (int)sizeof body);
}

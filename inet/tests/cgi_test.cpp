// Request parameters: queries, form bodies and multipart uploads.
#include <gtest/gtest.h>

#include <string>

#include "inet/http/KvHttpRequest.h"
#include "inet/web/KvCGI.h"

namespace {

// A request as the HTTP layer leaves it after reading.
void MakeRequest(KvHttpRequest& req, const char* method, const char* path, const std::string& body = "",
                 const char* contentType = nullptr) {
    req.Reset();
    req.m_strMethod = method;
    req.m_strPath = path;
    req.SetHeaderValue("Host", "links.local");
    if (contentType) req.SetHeaderValue("Content-Type", contentType);
    req.m_bufBody.PutString(body.data(), body.size());
}

std::string Content(const KvCGIFile* f) { return std::string(f->m_bufContent.GetData(), f->m_bufContent.GetCount()); }

constexpr char kBoundary[] = "----KvFormBoundary7MA4YWxk";
constexpr char kMultipart[] = "multipart/form-data; boundary=----KvFormBoundary7MA4YWxk";

std::string FieldPart(const std::string& name, const std::string& value) {
    return std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

std::string FilePart(const std::string& name, const std::string& file, const std::string& bytes) {
    return std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" +
           file + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n";
}

std::string Close() { return std::string("--") + kBoundary + "--\r\n"; }

}  // namespace

TEST(KvCGIQuery, RepeatedNamesJoinAndValuesAreUnescaped) {
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "get", "/dir/page.php?A=1&b=x+y%21&a=2");
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_EQ(cgi.m_strMethod, "GET");
    EXPECT_EQ(cgi.m_strPath, "/dir/page.php");
    EXPECT_EQ(cgi.m_strHost, "links.local");
    EXPECT_STREQ(cgi.GetValue("a", nullptr), "1|2");
    EXPECT_STREQ(cgi.GetValue("B", nullptr), "x y!");
    EXPECT_EQ(cgi.GetMap()->Size(), 2);
    EXPECT_STREQ(cgi.Head()->GetKey(), "a");  // order of first arrival
}

TEST(KvCGIQuery, EmptyPieceEndsParsingAndMalformedPiecesAreSkipped) {
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "GET", "/?a=1&&b=2");
    cgi.Parse(&req);
    EXPECT_EQ(cgi.GetMap()->Size(), 1);
    EXPECT_EQ(cgi.GetValue("b", nullptr), nullptr);

    MakeRequest(req, "GET", "/?=x&novalue&d= 4 &e=&e=");
    cgi.Parse(&req);
    EXPECT_EQ(cgi.GetMap()->Size(), 2);
    EXPECT_EQ(cgi.GetIntValue("d", -1), 4);
    EXPECT_STREQ(cgi.GetValue("e", nullptr), "|");  // an empty repeat leaves its bar
    EXPECT_EQ(cgi.GetIntValue("e", -1), 0);
    EXPECT_EQ(cgi.GetIntValue("missing", -7), -7);
}

TEST(KvCGIQuery, MethodDecidesWhatIsParsed) {
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/form?fromurl=1", "name=J%C3%BCrgen&age=42", "application/x-www-form-urlencoded");
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_EQ(cgi.GetValue("fromurl", nullptr), nullptr);
    EXPECT_STREQ(cgi.GetValue("name", nullptr), "J\xC3\xBCrgen");
    EXPECT_EQ(cgi.GetIntValue("age", 0), 42);
    EXPECT_EQ(cgi.m_strPath, "/form?fromurl=1");  // only GET loses its query

    MakeRequest(req, "PUT", "/x?a=1", "b=2");
    EXPECT_TRUE(cgi.Parse(&req));
    EXPECT_TRUE(cgi.GetMap()->IsEmpty());
    EXPECT_FALSE(cgi.Parse(nullptr));
}

TEST(KvCGIQuery, ManyRepeatsOfOneNameStayLinear) {
    std::string body;
    for (int i = 0; i < 200000; ++i) body += "k=v&";
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/", body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_EQ(std::string(cgi.GetValue("k", "")).size(), 200000u * 2 - 1);
}

TEST(KvCGIMultipart, FieldAndFileArriveWithExactBytes) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0binary", 17);
    std::string body = FieldPart("Title", "Holiday") + FilePart("upload", "pic.png", bytes) + Close();
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/upload", body, kMultipart);
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_STREQ(cgi.GetValue("title", nullptr), "Holiday");
    EXPECT_STREQ(cgi.Head()->GetKey(), "Title");  // multipart names stay as written
    ASSERT_EQ(cgi.GetFileCount(), 1);
    const KvCGIFile* f = cgi.GetFile(0);
    EXPECT_EQ(f->m_strName, "upload");
    EXPECT_EQ(f->m_strFileName, "pic.png");
    EXPECT_EQ(f->m_strContentType, "application/octet-stream");
    EXPECT_EQ(Content(f), bytes);
    EXPECT_EQ(cgi.GetFile(1), nullptr);
    EXPECT_EQ(req.m_bufBody.GetPos(), 0u);  // the body is left as it was
}

TEST(KvCGIMultipart, ContentEndingInLineBreaksOrDashesIsKept) {
    const char* endings[] = {"-", "--", "\r", "\n", "\r\n", "\r\n\r\n", "-\r\n--", "\n--", "x\r\n-", "\r\n--"};
    for (const char* ending : endings) {
        std::string bytes = std::string("data") + ending;
        std::string body = FilePart("f", "a.bin", bytes) + FieldPart("note", std::string("text") + ending) + Close();
        KvHttpRequest req;
        KvCGI cgi;
        MakeRequest(req, "POST", "/", body, kMultipart);
        ASSERT_TRUE(cgi.Parse(&req)) << ending;
        ASSERT_EQ(cgi.GetFileCount(), 1);
        EXPECT_EQ(Content(cgi.GetFile(0)), bytes) << "ending " << ::testing::PrintToString(std::string(ending));
        EXPECT_EQ(std::string(cgi.GetValue("note", "")), std::string("text") + ending);
    }
}

TEST(KvCGIMultipart, EmptyContentsAndBareLineFeeds) {
    std::string body = FilePart("f", "empty.txt", "") + FieldPart("blank", "") + Close();
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/", body, kMultipart);
    ASSERT_TRUE(cgi.Parse(&req));
    ASSERT_EQ(cgi.GetFileCount(), 1);
    EXPECT_EQ(cgi.GetFile(0)->m_bufContent.GetCount(), 0u);
    EXPECT_STREQ(cgi.GetValue("blank", nullptr), "");

    std::string lf = "--b\nContent-Disposition: form-data; name=\"a\"\n\nline1\nline2\n--b--\n";
    MakeRequest(req, "POST", "/", lf, "multipart/form-data; boundary=\"b\"");  // quoted boundary
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_STREQ(cgi.GetValue("a", nullptr), "line1\nline2");
}

TEST(KvCGIMultipart, EmptyFileNameIsAParameterAndQuotedSemicolonsStay) {
    // The second file name holds a ";" inside its quotes.
    std::string body = FilePart("attach", "", "") + std::string("--") + kBoundary +
           "\r\nContent-Disposition: form-data; name=\"doc\"; filename=\"a;b.txt\"\r\n\r\nz\r\n" + Close();
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/", body, kMultipart);
    ASSERT_TRUE(cgi.Parse(&req));
    EXPECT_STREQ(cgi.GetValue("attach", nullptr), "");
    ASSERT_EQ(cgi.GetFileCount(), 1);
    EXPECT_EQ(cgi.GetFile(0)->m_strFileName, "a;b.txt");
}

TEST(KvCGIMultipart, MissingBoundaryFailsAndBoundsAreEnforced) {
    KvHttpRequest req;
    KvCGI cgi;
    MakeRequest(req, "POST", "/?q=1", FieldPart("a", "1") + Close(), "multipart/form-data");
    EXPECT_FALSE(cgi.Parse(&req));
    MakeRequest(req, "POST", "/", FieldPart("a", "1") + Close(), "Multipart/Form-Data; charset=x; BOUNDARY=");
    EXPECT_FALSE(cgi.Parse(&req));

    std::string many;
    for (int i = 0; i <= KvCGI::kMaxParts; ++i) many += FieldPart("p" + std::to_string(i), "v");
    MakeRequest(req, "POST", "/", many + Close(), kMultipart);
    EXPECT_FALSE(cgi.Parse(&req));
    EXPECT_EQ(cgi.GetMap()->Size(), KvCGI::kMaxParts);  // what came before the bound stays

    std::string hugeHead = std::string("--") + kBoundary + "\r\nX-Junk: " + std::string(KvCGI::kMaxPartHead, 'j') +
                           "\r\n\r\nv\r\n" + Close();
    MakeRequest(req, "POST", "/", hugeHead, kMultipart);
    EXPECT_FALSE(cgi.Parse(&req));

    std::string manyHeaders = std::string("--") + kBoundary + "\r\n";
    for (int i = 0; i < 2000; ++i) manyHeaders += "X-H: 1234567890\r\n";
    MakeRequest(req, "POST", "/", manyHeaders + "\r\nv\r\n" + Close(), kMultipart);
    EXPECT_FALSE(cgi.Parse(&req));
}

TEST(KvCGIMultipart, TruncatedOrOddBodiesNeverCrash) {
    std::string full = FieldPart("a", "1") + FilePart("f", "x.bin", std::string(3000, 'q')) + Close();
    KvHttpRequest req;
    KvCGI cgi;
    for (size_t cut = 0; cut < full.size(); cut += 7) {
        MakeRequest(req, "POST", "/", full.substr(0, cut), kMultipart);
        cgi.Parse(&req);
    }
    MakeRequest(req, "POST", "/", "preamble only\r\n", kMultipart);
    EXPECT_TRUE(cgi.Parse(&req));
    EXPECT_TRUE(cgi.GetMap()->IsEmpty());
}

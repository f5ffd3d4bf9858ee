// MD5String against the test suite of RFC 1321.
#include <gtest/gtest.h>

#include "ext/KvMd5/KvMd5.h"

TEST(Md5Test, MatchesTheRfcTestSuite) {
    struct {
        const char* text;
        const char* digest;
    } const cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_STREQ(MD5String(c.text), c.digest) << c.text;
}

TEST(Md5Test, NullIsEmptyAndBytesAfterAZeroCountOnlyInMD5Bytes) {
    EXPECT_STREQ(MD5String(nullptr), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5String("pass").GetLength(), 32);
    EXPECT_STREQ(MD5String("pass"), MD5String("pass"));
    EXPECT_STREQ(MD5Bytes("abc\0def", 3), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_STRNE(MD5Bytes("abc\0def", 7), MD5String("abc"));
}

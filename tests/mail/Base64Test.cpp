#include <gtest/gtest.h>

#include "mail/Base64.h"

namespace quorvane {
namespace {

TEST(Base64, MatchesRfc4648TestVectors) {
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(EncodeBase64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
}

TEST(Base64, UsesTheMimeAlphabetForHighBitsAndBinaryBytes) {
    // 0xFB 0xFF 0xBF covers the two last alphabet characters "+" and "/".
    EXPECT_EQ(EncodeBase64(std::string("\xFB\xFF\xBF", 3)), "+/+/");
    EXPECT_EQ(EncodeBase64(std::string("\0\0\0", 3)), "AAAA");
    EXPECT_EQ(EncodeBase64(std::string("\xFF", 1)), "/w==");
    EXPECT_EQ(EncodeBase64("p\xC3\xA4ss"), "cMOkc3M=");
}

TEST(Base64, LongCredentialStaysOnOneLine) {
    const std::string password(200, 'x');
    const std::string encoded = EncodeBase64(password);
    EXPECT_EQ(encoded.size(), 268u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(encoded.substr(0, 8), "eHh4eHh4");
    EXPECT_EQ(encoded.substr(264), "eHg=");
}

} // namespace
} // namespace quorvane

// Drive bytes to UTF-8 at the edge, the one conversion the CLI and the
// windows share: every byte is one character, nothing is lost and any input
// gives valid UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/TerminalText.h"

namespace quorvane {
namespace {

// True when text is well-formed UTF-8 of one- and two-byte sequences only.
bool IsTwoByteUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            continue;
        if (c < 0xC2 || c > 0xC3 || i + 1 >= text.size())
            return false;
        const auto next = static_cast<unsigned char>(text[++i]);
        if ((next & 0xC0) != 0x80)
            return false;
    }
    return true;
}

TEST(Latin1ToUtf8, EveryByteGivesValidUtf8AndComesBack) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = Latin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
    EXPECT_TRUE(IsTwoByteUtf8(utf8));
    // Decoding the two-byte sequences gives back the bytes in order.
    std::string back;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            back += static_cast<char>(c);
        } else {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            back += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
        }
    }
    EXPECT_EQ(back, all);
}

} // namespace
} // namespace quorvane

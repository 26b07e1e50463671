// The one rule for outside texts printed to a terminal or written to a file.
#include <gtest/gtest.h>

#include "platform/TerminalText.h"

namespace quorvane {
namespace {

TEST(TerminalText, ControlCharactersBecomeQuestionMarks) {
    EXPECT_EQ(TerminalText("A\x1B[2J\x07"
                           "B\r\nC\tD\x7F"
                           "E"),
              "A?[2J?B??C?D?E");
    EXPECT_EQ(TerminalText(std::string("N\0L", 3)), "N?L");
    // C1 controls: CSI (U+009B) and NEL (U+0085) as UTF-8.
    EXPECT_EQ(TerminalText("a\xC2\x9B"
                           "31m\xC2\x85z"),
              "a?31m?z");
    // Printable text, ASCII or not, is kept byte for byte.
    EXPECT_EQ(TerminalText("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xC2\xA0~"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xC2\xA0~");
}

TEST(TerminalText, BytesThatAreNotUtf8BecomeQuestionMarks) {
    EXPECT_EQ(TerminalText("\xFF\xFE"), "??");
    EXPECT_EQ(TerminalText("x\x80y"), "x?y");            // a stray continuation byte
    EXPECT_EQ(TerminalText("\xC0\x9B"), "??");           // an overlong CSI
    EXPECT_EQ(TerminalText("\xE0\x80\x9B"), "???");      // overlong in three bytes
    EXPECT_EQ(TerminalText("\xED\xA0\x80"), "???");      // a surrogate
    EXPECT_EQ(TerminalText("\xF4\x90\x80\x80"), "????"); // beyond U+10FFFF
    EXPECT_EQ(TerminalText("ok\xE2\x82"), "ok??");       // cut short at the end
}

TEST(TerminalText, LineBreaksKeptOnlyWhenAsked) {
    EXPECT_EQ(TerminalText("550 no\r\n550 such\nuser\r\x1B]0;t\x07", true),
              "550 no\n550 such\nuser??]0;t?");
    EXPECT_EQ(TerminalText("a\r\nb", false), "a??b");
}

TEST(TerminalText, DriveTextsAreLatin1) {
    // The window shows a drive's bytes as Latin-1: 0xE9 is e acute, 0x9B a C1 control.
    EXPECT_EQ(DriveTerminalText("AB\xE9\n\x9B"
                                "2J\xFF"),
              "AB\xC3\xA9??2J\xC3\xBF");
    EXPECT_EQ(Latin1ToUtf8("\xB5\x41"), "\xC2\xB5"
                                        "A");
    // For a text file: controls replaced, length and other bytes kept.
    EXPECT_EQ(ReplaceControlCharacters("Hitachi\r\nSerial Number: 0\xE9\x1B"),
              "Hitachi??Serial Number: 0\xE9?");
}

} // namespace
} // namespace quorvane

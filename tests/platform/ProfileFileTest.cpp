// The profile file under the settings: how values are found, written back and
// converted.
#include <gtest/gtest.h>

#include <string>

#include "platform/ProfileFile.h"

namespace quorvane {
namespace {

TEST(ProfileFile, NamesIgnoreCaseAndBlanksAndTheFirstKeyWins) {
    const ProfileFile file("[Other]\nSMTP Host=other section\n"
                           "[ settings ]\n  smtp HOST =  \"mail.example.net\"  \n"
                           "SMTP Host=second\nempty=\nnot a key line\n"
                           "[SETTINGS]\nSMTP Port=587\n");
    EXPECT_EQ(file.Read("Settings", "SMTP Host"), "mail.example.net");
    EXPECT_EQ(file.Read("settings", "smtp port"), "587"); // a repeated section counts too
    EXPECT_EQ(file.Read("Settings", "empty"), "");
    EXPECT_EQ(file.Read("Other", "smtp host"), "other section");
    EXPECT_FALSE(file.Read("Settings", "not a key line").has_value());
    EXPECT_FALSE(file.Read("Settings", "SMTP Login").has_value());
    EXPECT_FALSE(file.Read("Nowhere", "SMTP Host").has_value());
}

TEST(ProfileFile, OnlyOneEnclosingPairOfQuotesIsRemoved) {
    const ProfileFile file("[s]\na=\"\"quoted\"\"\nb=\"open\nc=\"\nd=it's \"here\"\n");
    EXPECT_EQ(file.Read("s", "a"), "\"quoted\"");
    EXPECT_EQ(file.Read("s", "b"), "\"open");
    EXPECT_EQ(file.Read("s", "c"), "\"");
    EXPECT_EQ(file.Read("s", "d"), "it's \"here\"");
}

TEST(ProfileFile, ReplacingAKeyKeepsEveryOtherByte) {
    const std::string before = "\xEF\xBB\xBF; hand-edited\r\n[Other]\r\nkey = 1\r\n\r\n"
                               "[Settings]\r\n  Refresh Interval = $3C ; old\r\n"
                               "# comment\r\nUnknown=kept as is  \r\n\r\n[Window]\r\nLeft=10";
    ProfileFile file(before);
    file.Write("SETTINGS", "refresh interval", "120");
    file.Write("window", "LEFT", "20");
    EXPECT_EQ(file.Text(), "\xEF\xBB\xBF; hand-edited\r\n[Other]\r\nkey = 1\r\n\r\n"
                           "[Settings]\r\n  Refresh Interval=120\r\n"
                           "# comment\r\nUnknown=kept as is  \r\n\r\n[Window]\r\nLeft=20");
    EXPECT_EQ(ProfileFile(before).Text(), before);
}

TEST(ProfileFile, NewKeysGoAfterTheSectionsLastLineAndANewSectionAtTheEnd) {
    ProfileFile file("[Settings]\r\nA=1\r\n; note\r\n\r\n\r\n[Other]\r\nB=2");
    file.Write("Settings", "C", "3");
    file.Write("Settings", "D", "4");
    file.Write("Third", "E", "5");
    EXPECT_EQ(file.Text(), "[Settings]\r\nA=1\r\n; note\r\nC=3\r\nD=4\r\n\r\n\r\n[Other]\r\nB=2\r\n"
                           "\r\n[Third]\r\nE=5\r\n");

    ProfileFile empty("");
    empty.Write("Settings", "A", "1");
    EXPECT_EQ(empty.Text(), "[Settings]\nA=1\n");

    // A BOM-only file keeps its mark; a header ending the file takes the key.
    ProfileFile bom("\xEF\xBB\xBF[Settings]");
    bom.Write("Settings", "A", "1");
    EXPECT_EQ(bom.Text(), "\xEF\xBB\xBF[Settings]\nA=1\n");
}

TEST(ProfileFile, ValuesReadBackAsWritten) {
    ProfileFile file;
    const std::string values[] = {
        "plain", "  two spaces  ", "\"quoted\"", "tab\t", "\"", "a = b ; c", ""};
    int n = 0;
    for (const auto& value : values)
        file.Write("s", "k" + std::to_string(n++), value);
    const ProfileFile back(file.Text());
    n = 0;
    for (const auto& value : values)
        EXPECT_EQ(back.Read("s", "k" + std::to_string(n++)), value);

    // A line break cannot stand in a value: it would start a line of its own.
    file.Write("s", "k0", "one\r\nSMTP Host=evil\n");
    EXPECT_EQ(ProfileFile(file.Text()).Read("s", "k0"), "oneSMTP Host=evil");
    EXPECT_FALSE(ProfileFile(file.Text()).Read("s", "SMTP Host").has_value());
}

TEST(ProfileFile, AValueReadIsOneThatWritesBackTheSame) {
    // A lone CR and a NUL inside a line: Write drops them, so Read does too,
    // and a value read and saved again stays the value read.
    const std::string text = std::string("[s]\r\nk=a\rb") + '\0' + "c\r\nq=\"x\ry\"\r\n";
    ProfileFile file(text);
    EXPECT_EQ(file.Read("s", "k"), "abc");
    EXPECT_EQ(file.Read("s", "q"), "xy");
    EXPECT_EQ(file.Text(), text); // unread lines stay as they are
    file.Write("s", "k", *file.Read("s", "k"));
    EXPECT_EQ(ProfileFile(file.Text()).Read("s", "k"), "abc");
}

TEST(ProfileFile, LongValuesAreReadUpTo2047Characters) {
    const std::string value(3000, 'p');
    ProfileFile file;
    file.Write("s", "k", value);
    EXPECT_NE(file.Text().find(value), std::string::npos); // written whole
    EXPECT_EQ(ProfileFile(file.Text()).Read("s", "k"), value.substr(0, 2047));
}

TEST(ProfileFile, IntegersInDecimalOrHexWithAnyPrefix) {
    const std::pair<const char*, int32_t> good[] = {
        {"15", 15},
        {" -3 ", -3},
        {"+7", 7},
        {"$1F", 31},
        {"x1f", 31},
        {"X1F", 31},
        {"0x1F", 31},
        {"0X00ff", 255},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"0010", 10},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$80000000", INT32_MIN},
        {"0", 0},
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(ParseProfileInteger(text), value) << text;
    const char* bad[] = {"",
                         " ",
                         "0x",
                         "$",
                         "12abc",
                         "1.5",
                         "FFFF",
                         "--1",
                         "+-1",
                         "1 2",
                         "2147483648",
                         "-2147483649",
                         "$100000000",
                         "yes",
                         "0x-1",
                         "$ 1",
                         "99999999999999999999999"};
    for (const char* text : bad)
        EXPECT_FALSE(ParseProfileInteger(text).has_value()) << text;
}

} // namespace
} // namespace quorvane

#include <gtest/gtest.h>

#include "mail/MailAddress.h"

namespace quorvane {
namespace {

std::vector<std::string> Addresses(const std::vector<MailAddress>& list) {
    std::vector<std::string> out;
    for (const auto& entry : list)
        out.push_back(entry.Address);
    return out;
}

TEST(MailAddress, SenderWithAndWithoutDisplayName) {
    const MailAddress plain = ParseMailAddress("  monitor@example.com ");
    EXPECT_EQ(plain.Address, "monitor@example.com");
    EXPECT_EQ(plain.Name, "");

    const MailAddress named = ParseMailAddress("Disk  Monitor <monitor@example.com>");
    EXPECT_EQ(named.Address, "monitor@example.com");
    EXPECT_EQ(named.Name, "Disk Monitor");

    // A sender is one address: its comma belongs to the name.
    const MailAddress quoted = ParseMailAddress("\"Doe, John \\\"JD\\\"\" <jd@example.com>");
    EXPECT_EQ(quoted.Address, "jd@example.com");
    EXPECT_EQ(quoted.Name, "Doe, John \"JD\"");

    const MailAddress unquotedComma = ParseMailAddress("Doe, John <jd@example.com>");
    EXPECT_EQ(unquotedComma.Address, "jd@example.com");
    EXPECT_EQ(unquotedComma.Name, "Doe, John");
}

TEST(MailAddress, ListSplitsAtCommaAndSemicolonInOrder) {
    const auto list = ParseAddressList("a@example.com, b@example.com;c@example.com ;; ,");
    EXPECT_EQ(Addresses(list),
              (std::vector<std::string>{"a@example.com", "b@example.com", "c@example.com"}));
    EXPECT_TRUE(ParseAddressList("").empty());
    EXPECT_TRUE(ParseAddressList(" , ; ").empty());
}

TEST(MailAddress, ListHonoursQuotesCommentsAndAngleBrackets) {
    const auto list = ParseAddressList(
        "\"Smith, Ann; Ops\" <ann@example.com>, bob@example.com (Bob, night shift), "
        "Carl (the admin) <carl@example.com>, <@relay.example:dora@example.com>");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].Name, "Smith, Ann; Ops");
    EXPECT_EQ(list[0].Address, "ann@example.com");
    EXPECT_EQ(list[1].Name, "");
    EXPECT_EQ(list[1].Address, "bob@example.com");
    EXPECT_EQ(list[2].Name, "Carl");
    EXPECT_EQ(list[2].Address, "carl@example.com");
    EXPECT_EQ(list[3].Address, "dora@example.com");

    // A quoted local part stays an address, quotes and blank included.
    const auto quotedLocal = ParseAddressList("\"john doe\"@example.com");
    ASSERT_EQ(quotedLocal.size(), 1u);
    EXPECT_EQ(quotedLocal[0].Address, "\"john doe\"@example.com");
}

TEST(MailAddress, GroupSyntaxGivesTheMembers) {
    const auto list = ParseAddressList(
        "Operators: op1@example.com, \"Op Two\" <op2@example.com>; boss@example.com, "
        "Nobody:;");
    EXPECT_EQ(Addresses(list),
              (std::vector<std::string>{"op1@example.com", "op2@example.com", "boss@example.com"}));
    EXPECT_EQ(list[1].Name, "Op Two");
}

TEST(MailAddress, UnterminatedQuotesAndBracketsEndWithTheText) {
    const auto open = ParseAddressList("\"Half quoted <x@example.com>, y@example.com");
    ASSERT_EQ(open.size(), 1u); // everything after the quote belongs to it
    EXPECT_EQ(open[0].Address, "\"Half quoted <x@example.com>, y@example.com\"");

    const auto bracket = ParseAddressList("Name <x@example.com");
    ASSERT_EQ(bracket.size(), 1u);
    EXPECT_EQ(bracket[0].Address, "x@example.com");

    const auto comment = ParseAddressList("z@example.com (never closed, a@b");
    ASSERT_EQ(comment.size(), 1u);
    EXPECT_EQ(comment[0].Address, "z@example.com");
}

TEST(MailAddress, ControlCharactersCannotInjectLines) {
    for (const char* text : {"a@example.com>\r\nDATA\r\n<x, Evil\r\nName <b@exam\nple.com>",
                             "x@example.com>\r\nRCPT TO:<y@example.com", "\"q\r\n\" <\"z\r\"@x>"}) {
        for (const auto& entry : ParseAddressList(text)) {
            EXPECT_EQ(entry.Address.find_first_of("\r\n"), std::string::npos) << entry.Address;
            EXPECT_EQ(entry.Name.find_first_of("\r\n"), std::string::npos) << entry.Name;
        }
        const MailAddress sender = ParseMailAddress(text);
        EXPECT_EQ(sender.Address.find_first_of("\r\n"), std::string::npos) << sender.Address;
    }
    const auto list = ParseAddressList("a@example.com\r\n, Evil\r\nName <b@exam\r\nple.com>");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Address, "a@example.com");
    EXPECT_EQ(list[1].Name, "Evil Name");
    EXPECT_EQ(list[1].Address, "b@example.com");

    const MailAddress sender = ParseMailAddress("\"Bell\x07\tName\" <s@example.com>");
    EXPECT_EQ(sender.Name, "Bell Name");

    // A backslash inside a quoted local part escapes the next character, but
    // never a line break: the pair goes, the rest of the address stays.
    const MailAddress escaped = ParseMailAddress("<\"a\\\r\nRCPT TO:<x@y>\"@example.com>");
    EXPECT_EQ(escaped.Address, "\"aRCPT TO:<x@y>\"@example.com");
    const auto escapedList = ParseAddressList("<\"b\\\n\\\"c\"@example.com>, d@example.com");
    ASSERT_EQ(escapedList.size(), 2u);
    EXPECT_EQ(escapedList[0].Address, "\"b\\\"c\"@example.com");
}

} // namespace
} // namespace quorvane

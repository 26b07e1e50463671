#include <gtest/gtest.h>

#include "mail/MailMessage.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

Lines BodyOf(std::string_view text) {
    MailMessage message;
    message.SetBody(text);
    return message.Body;
}

TEST(MailBody, SplitsAtEveryKindOfLineBreak) {
    EXPECT_EQ(BodyOf("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(BodyOf("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(BodyOf("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(BodyOf("\r\n"), (Lines{""}));
    EXPECT_EQ(BodyOf(""), Lines{});
    EXPECT_EQ(BodyOf("a\n\r"), (Lines{"a", ""}));
    EXPECT_EQ(BodyOf("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(MailBody, EndsAtNul) {
    EXPECT_EQ(BodyOf(std::string_view("one\r\ntwo\0three\r\n", 17)), (Lines{"one", "two"}));
    EXPECT_EQ(BodyOf(std::string_view("\0rest", 5)), Lines{});
}

MailMessage Report() {
    MailMessage message;
    message.SetFrom("Disk Monitor <monitor@example.com>");
    message.SetRecipients("ops@example.com; \"Night, Shift\" <night@example.com>");
    message.Subject = "Quorvane Report - 12/7/2026 4:35:10 AM";
    message.SetBody("Quorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n");
    return message;
}

TEST(MailHeaderBlock, HeadersInOrderWithTheirValues) {
    const auto block = BuildHeaderBlock(Report(), "Quorvane", "Mon, 7 Dec 2026 04:35:10 +0300",
                                        HeaderCharsetForLocale("C"));
    EXPECT_EQ(block, (Lines{"From: \"Disk Monitor\" <monitor@example.com>",
                            "Subject: Quorvane Report - 12/7/2026 4:35:10 AM",
                            "To: ops@example.com, \"Night, Shift\" <night@example.com>",
                            "Date: Mon, 7 Dec 2026 04:35:10 +0300", "X-Priority: 3",
                            "X-Library: " + std::string(MailLibraryName), "X-Mailer: Quorvane"}));
}

TEST(MailHeaderBlock, EmptyValuesAreLeftOut) {
    MailMessage message;
    message.SetFrom("a@example.com");
    const auto block = BuildHeaderBlock(message, "", "Thu, 1 Jan 1970 00:00:00 +0000",
                                        HeaderCharsetForLocale("C"));
    EXPECT_EQ(block, (Lines{"From: a@example.com", "Date: Thu, 1 Jan 1970 00:00:00 +0000",
                            "X-Priority: 3", "X-Library: " + std::string(MailLibraryName)}));
}

TEST(MailHeaderBlock, LongRecipientListIsFolded) {
    MailMessage message = Report();
    message.SetRecipients("first.operator@example.com, second.operator@example.com, "
                          "third.operator@example.com");
    const auto block = BuildHeaderBlock(message, "Quorvane", "date", HeaderCharsetForLocale("C"));
    EXPECT_EQ(block[2], "To: first.operator@example.com, second.operator@example.com,");
    EXPECT_EQ(block[3], " third.operator@example.com");
    EXPECT_EQ(block[4], "Date: date");
}

TEST(MailHeaderBlock, EightBitTextIsDeclaredAsUtf8) {
    // The report's temperature lines end in " °C".
    MailMessage message = Report();
    message.SetBody("Temperature: 35 \xC2\xB0"
                    "C\r\n");
    auto block = BuildHeaderBlock(message, "Quorvane", "date", HeaderCharsetForLocale("C"));
    const Lines mime = {"MIME-Version: 1.0", "Content-Type: text/plain; charset=UTF-8",
                        "Content-Transfer-Encoding: 8bit"};
    ASSERT_EQ(block.size(), 10u);
    EXPECT_EQ(Lines(block.end() - 3, block.end()), mime);

    // An eight-bit subject is written as encoded words and declared the same way.
    message = Report();
    message.Subject = "Temp\xC3\xA9rature";
    block = BuildHeaderBlock(message, "Quorvane", "date", HeaderCharsetForLocale("fr_FR.UTF-8"));
    EXPECT_EQ(block[1], "Subject: =?ISO-8859-1?Q?Temp=E9rature?=");
    EXPECT_EQ(Lines(block.end() - 3, block.end()), mime);

    // Plain ASCII needs no declaration.
    block = BuildHeaderBlock(Report(), "Quorvane", "date", HeaderCharsetForLocale("C"));
    EXPECT_EQ(block.size(), 7u);
}

} // namespace
} // namespace quorvane

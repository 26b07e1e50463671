// The SMTP dialogue against scripted loopback servers: the replies a real
// server does not give on request.
#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

#include "MailTestSupport.h"
#include "mail/SmtpClient.h"

namespace quorvane {
namespace {

using test::CloseConnection;
using test::ScriptedServer;
using test::WillingReply;
using Lines = std::vector<std::string>;

const std::string Greeting = "220 scripted.test ESMTP\r\n";
const std::string EhloWithLogin = "250-scripted.test\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n";
// 2026-12-07 01:35:10 UTC, shown at +0300.
const LocalDateTime SendingTime = MomentAt(1796607310, 180);

std::unique_ptr<SmtpClient> ClientFor(std::uint16_t port) {
    auto client = std::make_unique<SmtpClient>(
        MakeTcpMailSocket(), std::make_unique<test::FixedClock>(SendingTime, "C"));
    client->Config.Host = "127.0.0.1";
    client->Config.Port = port;
    client->Config.HeloName = "client.test";
    client->Config.Username = "reporter";
    client->Config.Password = "s3cret";
    client->Config.ReadTimeoutMs = 10000;
    // The plain dialogue, password in clear included, as None speaks it.
    client->Config.Security = SMTPSecurityMode::None;
    return client;
}

MailMessage SmallReport() {
    MailMessage message;
    message.SetFrom("Disk Monitor <monitor@example.com>");
    message.SetRecipients("ops@example.com");
    message.Subject = "Quorvane Report - 12/7/2026 4:35:10 AM";
    message.SetBody("Quorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n");
    return message;
}

// A server that offers `ehlo` and answers AUTH LOGIN as a willing server does.
test::Responder LoginServer(std::string ehlo, std::string passwordReply = "235 Authenticated\r\n") {
    auto authStep = std::make_shared<int>(0);
    return [=](const std::string& command) -> std::string {
        if (command.rfind("EHLO", 0) == 0)
            return ehlo;
        if (command.rfind("AUTH PLAIN ", 0) == 0)
            return passwordReply;
        if (command == "AUTH LOGIN") {
            *authStep = 1;
            return "334 VXNlcm5hbWU6\r\n";
        }
        if (*authStep == 1) {
            *authStep = 2;
            return "334 UGFzc3dvcmQ6\r\n";
        }
        if (*authStep == 2) {
            *authStep = 0;
            return passwordReply;
        }
        return WillingReply(command);
    };
}

const Lines MailTransaction = {"RSET", "MAIL FROM:<monitor@example.com>",
                               "RCPT TO:<ops@example.com>", "DATA", "."};

Lines Concat(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// ---- connecting and introducing ----

TEST(SmtpConnect, GreetingOtherThan220EndsTheSessionWithQuit) {
    ScriptedServer server("554 No SMTP service here\r\n", WillingReply);
    auto client = ClientFor(server.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().ReplyCode, 554);
    EXPECT_EQ(client->LastError().Text, "No SMTP service here");
    EXPECT_FALSE(client->Connected());
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), Lines{"QUIT"});
    EXPECT_TRUE(server.ClientClosed());
}

TEST(SmtpConnect, EhloRefusedFallsBackToHeloWithoutAuthentication) {
    ScriptedServer server(Greeting, [](const std::string& command) {
        return command.rfind("EHLO", 0) == 0 ? "500 Command unrecognized\r\n"
                                             : WillingReply(command);
    });
    auto client = ClientFor(server.Port());
    client->Config.UseLogin = true;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_TRUE(client->AuthSchemes().empty());
    EXPECT_TRUE(client->Send(SmallReport())) << client->LastError().Text;
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(),
              Concat(Concat({"EHLO client.test", "HELO client.test"}, MailTransaction), {"QUIT"}));
}

TEST(SmtpConnect, HeloRefusedFailsTheConnect) {
    ScriptedServer server(Greeting, [](const std::string& command) {
        if (command.rfind("EHLO", 0) == 0)
            return std::string("502 Not implemented\r\n");
        if (command.rfind("HELO", 0) == 0)
            return std::string("501 Bad name\r\n");
        return WillingReply(command);
    });
    auto client = ClientFor(server.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().ReplyCode, 501);
    EXPECT_FALSE(client->Connected());
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), (Lines{"EHLO client.test", "HELO client.test", "QUIT"}));
}

TEST(SmtpConnect, IntroducesItselfWithTheHostName) {
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    ScriptedServer server(Greeting, WillingReply);
    auto client = ClientFor(server.Port());
    client->Config.HeloName.clear();
    ASSERT_TRUE(client->Connect(1000));
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), (Lines{std::string("EHLO ") + name, "QUIT"}));
}

// ---- AUTH ----

const Lines LoginExchange = {"AUTH LOGIN", "cmVwb3J0ZXI=", "czNjcmV0"};
// NUL reporter NUL s3cret
const Lines PlainExchange = {"AUTH PLAIN AHJlcG9ydGVyAHMzY3JldA=="};

struct AuthOffer {
    const char* Name;
    const char* EhloReply;
    Lines Schemes;
    Lines Exchange; // what the client sends to authenticate
};

void PrintTo(const AuthOffer& offer, std::ostream* out) {
    *out << offer.Name;
}

class SmtpAuthOffer : public testing::TestWithParam<AuthOffer> {};

// LOGIN when offered, else PLAIN when offered, else nothing.
TEST_P(SmtpAuthOffer, MechanismFollowsTheOffer) {
    ScriptedServer server(Greeting, LoginServer(GetParam().EhloReply));
    auto client = ClientFor(server.Port());
    client->Config.UseLogin = true;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_EQ(client->AuthSchemes(), GetParam().Schemes);
    const bool offered = client->OffersAuthentication();
    EXPECT_EQ(offered, !GetParam().Exchange.empty());
    // As the report worker does: authenticate when the switch is on and a mechanism offered.
    if (offered) {
        EXPECT_TRUE(client->Authenticate()) << client->LastError().Text;
    }
    EXPECT_TRUE(client->Send(SmallReport())) << client->LastError().Text;
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(),
              Concat(Concat(Concat({"EHLO client.test"}, GetParam().Exchange), MailTransaction),
                     {"QUIT"}));
}

INSTANTIATE_TEST_SUITE_P(
    EhloReplies, SmtpAuthOffer,
    testing::Values(AuthOffer{"AuthLoginPlain",
                              "250-scripted.test\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n",
                              {"LOGIN", "PLAIN"},
                              LoginExchange},
                    AuthOffer{"AuthEqualsLogin",
                              "250-scripted.test\r\n250-AUTH=LOGIN\r\n250 HELP\r\n",
                              {"LOGIN"},
                              LoginExchange},
                    AuthOffer{"AuthPlainCramMd5",
                              "250-scripted.test\r\n250-AUTH PLAIN CRAM-MD5\r\n250 HELP\r\n",
                              {"PLAIN", "CRAM-MD5"},
                              PlainExchange},
                    AuthOffer{"CramMd5Only",
                              "250-scripted.test\r\n250-AUTH CRAM-MD5\r\n250 HELP\r\n",
                              {"CRAM-MD5"},
                              {}},
                    AuthOffer{"LowerCaseAndRepeated",
                              "250-scripted.test\r\n250-auth login plain\r\n250-AUTH=LOGIN\r\n"
                              "250 AUTH=PLAIN XOAUTH2\r\n",
                              {"LOGIN", "PLAIN", "XOAUTH2"},
                              LoginExchange},
                    AuthOffer{"LookAlikeLines",
                              "250-scripted.test\r\n250-AUTHENTICATE LOGIN\r\n250 X-AUTH LOGIN\r\n",
                              {},
                              {}}),
    [](const testing::TestParamInfo<AuthOffer>& info) { return std::string(info.param.Name); });

TEST(SmtpAuth, SendAuthenticatesFirstWhenNotYetDone) {
    ScriptedServer server(Greeting, LoginServer(EhloWithLogin));
    auto client = ClientFor(server.Port());
    client->Config.UseLogin = true;
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_TRUE(client->Send(SmallReport())) << client->LastError().Text;
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), (Lines{"EHLO client.test", "RSET", "AUTH LOGIN", "cmVwb3J0ZXI=",
                                        "czNjcmV0", "MAIL FROM:<monitor@example.com>",
                                        "RCPT TO:<ops@example.com>", "DATA", ".", "QUIT"}));
}

TEST(SmtpAuth, EmptyCredentialsGoAsEmptyLinesAndRefusalFails) {
    ScriptedServer server(Greeting, LoginServer(EhloWithLogin, "535 Authentication failed\r\n"));
    auto client = ClientFor(server.Port());
    client->Config.UseLogin = true;
    client->Config.Username.clear();
    client->Config.Password.clear();
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_FALSE(client->Authenticate());
    EXPECT_EQ(client->LastError().ReplyCode, 535);
    EXPECT_EQ(client->LastError().Text, "Authentication failed");
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), (Lines{"EHLO client.test", "AUTH LOGIN", "", "", "QUIT"}));
}

TEST(SmtpAuth, LoginSwitchOffSendsNoAuth) {
    ScriptedServer server(Greeting, LoginServer(EhloWithLogin));
    auto client = ClientFor(server.Port());
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_TRUE(client->Authenticate());
    EXPECT_TRUE(client->Send(SmallReport()));
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Commands(), Concat(Concat({"EHLO client.test"}, MailTransaction), {"QUIT"}));
}

// ---- replies ----

// A server whose answer to MAIL FROM is `reply`; the failure shows how it was read.
SmtpError MailFromFailure(const std::string& reply) {
    ScriptedServer server(Greeting, [reply](const std::string& command) {
        return command.rfind("MAIL FROM:", 0) == 0 ? reply : WillingReply(command);
    });
    auto client = ClientFor(server.Port());
    EXPECT_TRUE(client->Connect(1000));
    EXPECT_FALSE(client->Send(SmallReport()));
    client->Disconnect();
    return client->LastError();
}

TEST(SmtpReplies, MultiLineReplyIsOneReplyWithEveryTextLine) {
    const SmtpError plain = MailFromFailure("550-first\r\n550-second\r\n550 last\r\n");
    EXPECT_EQ(plain.ReplyCode, 550);
    EXPECT_EQ(plain.Text, "first\r\nsecond\r\nlast");

    // LF alone ends a line, blanks and control characters around a line go,
    // empty lines are skipped.
    const SmtpError messy =
        MailFromFailure("\r\n  550-first \t\n\n\r\n550-second\x01\r\n550 last\n");
    EXPECT_EQ(messy.ReplyCode, 550);
    EXPECT_EQ(messy.Text, "first\r\nsecond\r\nlast");

    // Only the first line's code with a blank ends the reply; a short line does too.
    const SmtpError mixed = MailFromFailure("451-a\r\n452 b\r\n45\r\n");
    EXPECT_EQ(mixed.ReplyCode, 451);
    EXPECT_EQ(mixed.Text, "a\r\nb\r\n");

    const SmtpError noCode = MailFromFailure("OK, sure\r\n");
    EXPECT_EQ(noCode.ReplyCode, 0);
    EXPECT_EQ(noCode.Text, "sure");
}

TEST(SmtpReplies, MultiLineGreetingAndEhloAreReadWhole) {
    ScriptedServer server(
        "220-first\r\n220-second\r\n220 last\r\n", [](const std::string& command) {
            return command.rfind("EHLO", 0) == 0
                       ? "250-scripted.test\r\n250-SIZE 1000\r\n250-AUTH=LOGIN\r\n250 HELP\r\n"
                       : WillingReply(command);
        });
    auto client = ClientFor(server.Port());
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_EQ(client->AuthSchemes(), Lines{"LOGIN"});
    // Each later command gets its own reply, so nothing was left unread.
    EXPECT_TRUE(client->Send(SmallReport())) << client->LastError().Text;
}

TEST(SmtpReplies, OverLongLineFailsAtOnce) {
    const std::string limit(MaxSmtpReplyLine - 4, 'x');
    ScriptedServer fits("220 " + limit + "\r\n", WillingReply);
    auto client = ClientFor(fits.Port());
    EXPECT_TRUE(client->Connect(1000)) << client->LastError().Text;
    client->Disconnect();

    ScriptedServer tooLong("220 " + limit + "x\r\n", WillingReply);
    client = ClientFor(tooLong.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Max line length exceeded.");

    // A line that never ends fails as soon as it is too long, not at the time-out.
    ScriptedServer endless("220-ok\r\n220-" + std::string(100000, 'y'), WillingReply);
    client = ClientFor(endless.Port());
    client->Config.ReadTimeoutMs = 60000;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Max line length exceeded.");
}

TEST(SmtpReplies, ReplyIsBoundedInLinesAndBytes) {
    // 512 lines (511 continuations and the last) are one reply; one more fails.
    const auto ehloOf = [](size_t continuations) {
        std::string reply;
        for (size_t i = 0; i < continuations; ++i)
            reply += "250-EXTENSION" + std::to_string(i) + "\r\n";
        return reply + "250 HELP\r\n";
    };
    for (const size_t continuations : {MaxSmtpReplyLines - 1, MaxSmtpReplyLines}) {
        const std::string ehlo = ehloOf(continuations);
        ScriptedServer server(Greeting, [ehlo](const std::string& command) {
            return command.rfind("EHLO", 0) == 0 ? ehlo : WillingReply(command);
        });
        auto client = ClientFor(server.Port());
        const bool fits = continuations < MaxSmtpReplyLines;
        EXPECT_EQ(client->Connect(1000), fits) << continuations;
        if (!fits) {
            EXPECT_EQ(client->LastError().Text, "Max reply size exceeded.");
            EXPECT_FALSE(client->Connected());
        }
    }

    // Long lines reach the byte bound well before the line bound.
    const std::string wide(1000, 'w');
    test::StreamingServer wideLines("220-" + wide + "\r\n", "220-" + wide + "\r\n",
                                    std::chrono::milliseconds(0));
    auto client = ClientFor(wideLines.Port());
    client->Config.ReadTimeoutMs = 60000;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Max reply size exceeded.");

    // Endless continuation lines after EHLO, and endless empty lines, too.
    test::StreamingServer endless(Greeting, "250-PIPELINING\r\n", std::chrono::milliseconds(0));
    client = ClientFor(endless.Port());
    client->Config.ReadTimeoutMs = 60000;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Max reply size exceeded.");

    test::StreamingServer blanks("", "\r\n", std::chrono::milliseconds(0));
    client = ClientFor(blanks.Port());
    client->Config.ReadTimeoutMs = 60000;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Max reply size exceeded.");
}

TEST(SmtpReplies, ReadTimeLimitHoldsForTheWholeReply) {
    // A line every 20 ms: each read is quick, but 512 lines would take over
    // ten seconds; the 300 ms limit for the reply ends it first.
    const std::string timedOut = SocketErrorText(ETIMEDOUT, "Connection timed out.");
    test::StreamingServer trickle("220-slow\r\n", "220-still going\r\n",
                                  std::chrono::milliseconds(20));
    auto client = ClientFor(trickle.Port());
    client->Config.ReadTimeoutMs = 300;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, timedOut);
    EXPECT_FALSE(client->Connected());

    test::StreamingServer blanks(Greeting, "\r\n", std::chrono::milliseconds(20));
    client = ClientFor(blanks.Port());
    client->Config.ReadTimeoutMs = 300;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, timedOut);
}

TEST(SmtpReplies, ServerClosingMidReply) {
    ScriptedServer server(Greeting, [](const std::string& command) {
        return command.rfind("EHLO", 0) == 0
                   ? "250-scripted.test\r\n250-AUTH LOGIN\r\n" + CloseConnection
                   : WillingReply(command);
    });
    auto client = ClientFor(server.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Connection Closed Gracefully.");
    EXPECT_FALSE(client->Connected());

    ScriptedServer silentClose(CloseConnection, WillingReply);
    client = ClientFor(silentClose.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "Connection Closed Gracefully.");
}

TEST(SmtpReplies, SilentServerEndsAtTheReadBound) {
    const std::string timedOut = SocketErrorText(ETIMEDOUT, "Connection timed out.");
    ScriptedServer mute("", [](const std::string&) { return std::string(); });
    auto client = ClientFor(mute.Port());
    client->Config.ReadTimeoutMs = 300;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, timedOut);
    EXPECT_FALSE(client->Connected());
    mute.WaitUntilDone();
    EXPECT_EQ(mute.Commands(), Lines{"QUIT"});

    // Silence after the message: Send ends too.
    ScriptedServer stalls(Greeting, [](const std::string& command) {
        return command == "." ? std::string() : WillingReply(command);
    });
    client = ClientFor(stalls.Port());
    client->Config.ReadTimeoutMs = 300;
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_FALSE(client->Send(SmallReport()));
    EXPECT_EQ(client->LastError().Text, timedOut);
}

// ---- the transaction ----

TEST(SmtpSend, Recipient251IsAccepted550FailsBeforeData) {
    const auto server = [](const char* secondReply) {
        return [secondReply](const std::string& command) -> std::string {
            if (command == "RCPT TO:<first@example.com>")
                return "251 User not local; will forward\r\n";
            if (command == "RCPT TO:<second@example.com>")
                return secondReply;
            return WillingReply(command);
        };
    };
    MailMessage message = SmallReport();
    message.SetRecipients("first@example.com, second@example.com");

    ScriptedServer accepting(Greeting, server("250 OK\r\n"));
    auto client = ClientFor(accepting.Port());
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_TRUE(client->Send(message)) << client->LastError().Text;
    client->Disconnect();
    accepting.WaitUntilDone();
    EXPECT_EQ(accepting.Commands(),
              (Lines{"EHLO client.test", "RSET", "MAIL FROM:<monitor@example.com>",
                     "RCPT TO:<first@example.com>", "RCPT TO:<second@example.com>", "DATA", ".",
                     "QUIT"}));

    ScriptedServer refusing(Greeting, server("550 No such user\r\n"));
    client = ClientFor(refusing.Port());
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_FALSE(client->Send(message));
    EXPECT_EQ(client->LastError().ReplyCode, 550);
    EXPECT_EQ(client->LastError().Text, "No such user");
    client->Disconnect();
    refusing.WaitUntilDone();
    EXPECT_EQ(refusing.Commands(),
              (Lines{"EHLO client.test", "RSET", "MAIL FROM:<monitor@example.com>",
                     "RCPT TO:<first@example.com>", "RCPT TO:<second@example.com>", "QUIT"}));
}

TEST(SmtpSend, MessageOnTheWireWithDotTransparency) {
    ScriptedServer server(Greeting, WillingReply);
    auto client = ClientFor(server.Port());
    ASSERT_TRUE(client->Connect(1000));
    MailMessage message = SmallReport();
    message.SetBody("first\r\n.\r\n..two dots\r\n\r\n. lead\r\nlast");
    EXPECT_TRUE(client->Send(message)) << client->LastError().Text;
    client->Disconnect();
    server.WaitUntilDone();
    EXPECT_EQ(server.Data(), "From: \"Disk Monitor\" <monitor@example.com>\r\n"
                             "Subject: Quorvane Report - 12/7/2026 4:35:10 AM\r\n"
                             "To: ops@example.com\r\n"
                             "Date: Mon, 7 Dec 2026 04:35:10 +0300\r\n"
                             "X-Priority: 3\r\n"
                             "X-Library: " +
                                 std::string(MailLibraryName) +
                                 "\r\n"
                                 "X-Mailer: Quorvane\r\n"
                                 "\r\n"
                                 "first\r\n"
                                 "..\r\n"
                                 "...two dots\r\n"
                                 "\r\n"
                                 ".. lead\r\n"
                                 "last\r\n"
                                 ".\r\n");
}

TEST(SmtpSend, EmptyBodyEndsRightAfterTheHeaders) {
    ScriptedServer server(Greeting, WillingReply);
    auto client = ClientFor(server.Port());
    client->Config.MailAgent = "Other Agent";
    ASSERT_TRUE(client->Connect(1000));
    MailMessage message = SmallReport();
    message.SetBody("");
    EXPECT_TRUE(client->Send(message));
    client->Disconnect();
    server.WaitUntilDone();
    const std::string data = server.Data();
    const std::string ending = "X-Mailer: Other Agent\r\n\r\n.\r\n";
    ASSERT_GE(data.size(), ending.size());
    EXPECT_EQ(data.substr(data.size() - ending.size()), ending);
}

// ---- the session ----

TEST(SmtpSession, DisconnectQuitsOnceAndReconnectStartsAfresh) {
    ScriptedServer first(Greeting, LoginServer(EhloWithLogin));
    auto client = ClientFor(first.Port());
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_TRUE(client->Connected());
    EXPECT_TRUE(client->OffersAuthScheme("LOGIN"));
    client->Disconnect();
    client->Disconnect();
    EXPECT_FALSE(client->Connected());
    first.WaitUntilDone();
    EXPECT_EQ(first.Commands(), (Lines{"EHLO client.test", "QUIT"}));
    EXPECT_TRUE(first.ClientClosed());

    // Nothing goes out on a closed session.
    EXPECT_FALSE(client->Send(SmallReport()));
    EXPECT_EQ(client->LastError().Text.rfind("Socket Error # ", 0), 0u) << client->LastError().Text;

    // The next session forgets what the previous server offered.
    ScriptedServer second(Greeting, WillingReply);
    client->Config.Port = second.Port();
    ASSERT_TRUE(client->Connect(1000));
    EXPECT_TRUE(client->AuthSchemes().empty());
}

TEST(SmtpSession, ConnectFailuresCarryTheSocketText) {
    test::RefusingPort refusing;
    auto client = ClientFor(refusing.Port());
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, SocketErrorText(ECONNREFUSED, "Connection refused."));
    EXPECT_FALSE(client->Connected());

    client->Config.Host = "no-such-host.quorvane.invalid";
    EXPECT_FALSE(client->Connect(1000));
    const std::string& text = client->LastError().Text;
    EXPECT_EQ(text.rfind("Socket Error # ", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n"), std::string::npos) << text;
    EXPECT_FALSE(client->Connected());
}

TEST(SmtpSession, ConnectNotCompletedInTimeTimesOut) {
    test::StalledListener stalled;
    ASSERT_NE(stalled.Port(), 0);
    auto client = ClientFor(stalled.Port());
    EXPECT_FALSE(client->Connect(300));
    EXPECT_EQ(client->LastError().Text, "Connect timed out.");
    EXPECT_FALSE(client->Connected());
}

} // namespace
} // namespace quorvane

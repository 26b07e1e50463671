// Delivery to a real SMTP server: aiosmtpd on loopback, with AUTH LOGIN
// required and with authentication off.
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

#include "MailTestSupport.h"
#include "mail/SmtpClient.h"

namespace quorvane {
namespace {

using test::SinkServer;

const std::pair<std::string, std::string> Credentials{"reporter", "s3cret"};
const LocalDateTime SendingTime =
    MomentAt(1796607310, 180); // shown as Mon, 7 Dec 2026 04:35:10 +0300

std::unique_ptr<SmtpClient> ClientFor(const SinkServer& sink) {
    auto client = std::make_unique<SmtpClient>(
        MakeTcpMailSocket(), std::make_unique<test::FixedClock>(SendingTime, "C"));
    client->Config.Host = "127.0.0.1";
    client->Config.Port = sink.Port();
    client->Config.HeloName = "client.test";
    client->Config.Username = Credentials.first;
    client->Config.Password = Credentials.second;
    client->Config.ReadTimeoutMs = 20000;
    // The plain dialogue, password in clear included, as None speaks it.
    client->Config.Security = SMTPSecurityMode::None;
    return client;
}

// The report as the report worker fills it: two drive blocks, degree signs,
// and lines that need dot transparency.
MailMessage Report() {
    MailMessage message;
    message.SetFrom("Disk Monitor <monitor@example.com>");
    message.SetRecipients("ops@example.com, \"Night, Shift\" <night@example.com>");
    message.Subject = "Quorvane Report - 12/7/2026 4:35:10 AM";
    message.SetBody("Quorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n"
                    "WDC WD10EZEX-08WN4A0:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 35 \xC2\xB0"
                    "C\r\n\r\n\r\n"
                    "ST2000DM008-2FR102:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 41 \xC2\xB0"
                    "C\r\n\r\n\r\n"
                    ".\r\n..two\r\n");
    return message;
}

const std::string ExpectedContent =
    "From: \"Disk Monitor\" <monitor@example.com>\r\n"
    "Subject: Quorvane Report - 12/7/2026 4:35:10 AM\r\n"
    "To: ops@example.com, \"Night, Shift\" <night@example.com>\r\n"
    "Date: Mon, 7 Dec 2026 04:35:10 +0300\r\n"
    "X-Priority: 3\r\n"
    "X-Library: " +
    std::string(MailLibraryName) +
    "\r\n"
    "X-Mailer: Quorvane\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "Quorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n"
    "WDC WD10EZEX-08WN4A0:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 35 \xC2\xB0"
    "C\r\n\r\n\r\n"
    "ST2000DM008-2FR102:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 41 \xC2\xB0"
    "C\r\n\r\n\r\n"
    ".\r\n..two\r\n";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(SmtpDelivery, WithAuthLoginRequired) {
    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink);
    client->Config.UseLogin = true;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    ASSERT_TRUE(client->OffersAuthScheme("LOGIN"));
    ASSERT_TRUE(client->Authenticate()) << client->LastError().Text;
    ASSERT_TRUE(client->Send(Report())) << client->LastError().Text;
    client->Disconnect();

    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received["login"], "reporter");
    EXPECT_EQ(received["password"], "s3cret");
    EXPECT_EQ(received["mail_from"], "monitor@example.com");
    EXPECT_EQ(received["rcpt_tos"], "ops@example.com\nnight@example.com\n");
    EXPECT_EQ(received["content"], ExpectedContent);
    // On the wire: the credentials on single base64 lines, the stuffed dots,
    // and the end of the data.
    const std::string& raw = received["raw"];
    EXPECT_NE(raw.find("AUTH LOGIN\r\ncmVwb3J0ZXI=\r\nczNjcmV0\r\n"), std::string::npos) << raw;
    EXPECT_NE(raw.find("\r\n..\r\n...two\r\n"), std::string::npos) << raw;
    EXPECT_TRUE(EndsWith(raw, "...two\r\n.\r\n")) << raw;
}

TEST(SmtpDelivery, WithAuthenticationOff) {
    SinkServer sink;
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink);
    // The switch is on, but a server that offers no LOGIN gets the mail without AUTH.
    client->Config.UseLogin = true;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_FALSE(client->OffersAuthScheme("LOGIN"));
    MailMessage message = Report();
    message.SetRecipients("ops@example.com");
    message.SetBody("plain line\r\n.\r\n");
    ASSERT_TRUE(client->Send(message)) << client->LastError().Text;
    client->Disconnect();

    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.count("login"), 0u);
    EXPECT_EQ(received["rcpt_tos"], "ops@example.com\n");
    const std::string& content = received["content"];
    EXPECT_NE(content.find("\r\nTo: ops@example.com\r\n"), std::string::npos) << content;
    EXPECT_EQ(content.find("MIME-Version"), std::string::npos) << content;
    EXPECT_TRUE(EndsWith(content, "X-Mailer: Quorvane\r\n\r\nplain line\r\n.\r\n")) << content;
    EXPECT_EQ(received["raw"].find("AUTH"), std::string::npos);
    EXPECT_TRUE(EndsWith(received["raw"], "\r\nplain line\r\n..\r\n.\r\n"));
}

TEST(SmtpDelivery, RefusalsFromTheRealServerFailTheirStep) {
    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();

    // Login switch off while the server requires authentication.
    auto client = ClientFor(sink);
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_FALSE(client->Send(Report()));
    EXPECT_EQ(client->LastError().ReplyCode, 530);
    client->Disconnect();

    client->Config.UseLogin = true;
    client->Config.Password = "wrong";
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_FALSE(client->Authenticate());
    EXPECT_EQ(client->LastError().ReplyCode, 535);
    client->Disconnect();
}

} // namespace
} // namespace quorvane

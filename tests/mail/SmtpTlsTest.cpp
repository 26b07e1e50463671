// The SMTP client over TLS against aiosmtpd on loopback, with a test CA and
// server certificates made for the run: what is delivered, and what the
// server saw in clear.
#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "mail/SmtpClient.h"

namespace quorvane {
namespace {

using test::SinkOptions;
using test::SinkServer;
using test::TestCertificates;
using Tls = SinkOptions::Tls;

const std::pair<std::string, std::string> Credentials{"reporter", "s3cret"};
const LocalDateTime SendingTime = MomentAt(1796607310, 180);

std::unique_ptr<SmtpClient> ClientFor(std::uint16_t port, SMTPSecurityMode security) {
    auto client =
        std::make_unique<SmtpClient>(MakeTlsMailSocket(MakeTcpMailSocket()),
                                     std::make_unique<test::FixedClock>(SendingTime, "C"));
    client->Config.Host = "localhost";
    client->Config.Port = port;
    client->Config.HeloName = "client.test";
    client->Config.Username = Credentials.first;
    client->Config.Password = Credentials.second;
    client->Config.UseLogin = true;
    client->Config.ReadTimeoutMs = 20000;
    client->Config.Security = security;
    client->Config.CaFile = TestCertificates::Get().CaFile();
    return client;
}

MailMessage Report() {
    MailMessage message;
    message.SetFrom("Disk Monitor <monitor@example.com>");
    message.SetRecipients("ops@example.com");
    message.Subject = "Quorvane Report";
    message.SetBody("WDC WD10EZEX-08WN4A0:\r\n\r\nS.M.A.R.T.: O.K.\r\n.\r\n");
    return message;
}

// Connect, authenticate when offered, send, disconnect: as the report worker does.
bool Deliver(SmtpClient& client) {
    if (!client.Connect(1000))
        return false;
    const bool sent =
        (!client.OffersAuthentication() || client.Authenticate()) && client.Send(Report());
    client.Disconnect();
    return sent;
}

bool IsTls12OrLater(const std::string& version) {
    return version == "TLSv1.2" || version == "TLSv1.3";
}

class SmtpTls : public testing::Test {
protected:
    void SetUp() override {
        const auto& certificates = TestCertificates::Get();
        ASSERT_TRUE(certificates.Made()) << certificates.Error();
    }
};

// In mode STARTTLS and in mode Auto the client upgrades, introduces itself
// again and logs in with what the second EHLO offered (the server offers
// AUTH only inside TLS, and takes no mail before it).
TEST_F(SmtpTls, StartTlsThenAuthLoginAndMail) {
    for (const SMTPSecurityMode security : {SMTPSecurityMode::StartTLS, SMTPSecurityMode::Auto}) {
        SinkServer sink(SinkOptions{Credentials, false, Tls::StartTls});
        ASSERT_TRUE(sink.Running()) << sink.StartError();
        auto client = ClientFor(sink.Port(), security);
        ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
        EXPECT_TRUE(client->Encrypted());
        EXPECT_TRUE(client->OffersAuthScheme("LOGIN"));
        ASSERT_TRUE(client->Authenticate()) << client->LastError().Text;
        ASSERT_TRUE(client->Send(Report())) << client->LastError().Text;
        client->Disconnect();
        EXPECT_FALSE(client->Encrypted());

        auto received = sink.Message(1);
        ASSERT_FALSE(received.empty());
        EXPECT_TRUE(IsTls12OrLater(received["tls"])) << received["tls"];
        EXPECT_EQ(received["mechanism"], "LOGIN");
        EXPECT_EQ(received["login"], "reporter");
        EXPECT_EQ(received["password"], "s3cret");
        EXPECT_NE(received["content"].find("\r\n\r\nWDC WD10EZEX-08WN4A0:\r\n"), std::string::npos);
        auto session = sink.Session(1);
        EXPECT_EQ(session["clear"], "EHLO client.test\r\nSTARTTLS\r\n");
        EXPECT_EQ(session["secure"].rfind("EHLO client.test\r\nAUTH LOGIN\r\n", 0), 0u)
            << session["secure"];
        EXPECT_TRUE(session["secure"].ends_with("\r\n.\r\nQUIT\r\n")) << session["secure"];
        EXPECT_EQ(sink.ServerNames(), "localhost\n");
    }
}

TEST_F(SmtpTls, ImplicitTlsFromTheFirstByte) {
    SinkServer sink(SinkOptions{Credentials, false, Tls::Implicit});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink.Port(), SMTPSecurityMode::TLS);
    // A dotted address is checked against the certificate's addresses and
    // sends no server name.
    client->Config.Host = "127.0.0.1";
    ASSERT_TRUE(Deliver(*client)) << client->LastError().Text;
    EXPECT_EQ(sink.ServerNames(), "(none)\n");

    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_TRUE(IsTls12OrLater(received["tls"])) << received["tls"];
    EXPECT_EQ(received["password"], "s3cret");
    auto session = sink.Session(1);
    EXPECT_EQ(session["clear"], "");
    EXPECT_EQ(session["secure"].rfind("EHLO client.test\r\n", 0), 0u) << session["secure"];
}

// A TCP socket that connects to `port` whatever port it is asked for, so
// that a client set to port 465 reaches a sink on a free port.
class PortRedirect : public MailSocket {
public:
    explicit PortRedirect(std::uint16_t port) : port_(port) {}
    SocketResult Open(const std::string& host, std::uint16_t, int timeoutMs) override {
        return tcp_->Open(host, port_, timeoutMs);
    }
    bool IsOpen() const override { return tcp_->IsOpen(); }
    SocketResult Write(std::string_view data, int timeoutMs) override {
        return tcp_->Write(data, timeoutMs);
    }
    SocketResult Read(std::string& buffer, int timeoutMs) override {
        return tcp_->Read(buffer, timeoutMs);
    }
    void Close() override { tcp_->Close(); }

private:
    std::unique_ptr<MailSocket> tcp_ = MakeTcpMailSocket();
    std::uint16_t port_;
};

TEST_F(SmtpTls, AutoSpeaksTlsFromTheFirstByteOnPort465) {
    SinkServer sink(SinkOptions{Credentials, false, Tls::Implicit});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    SmtpClient client(MakeTlsMailSocket(std::make_unique<PortRedirect>(sink.Port())),
                      std::make_unique<test::FixedClock>(SendingTime, "C"));
    client.Config = ClientFor(sink.Port(), SMTPSecurityMode::Auto)->Config;
    client.Config.Port = ImplicitTlsPort;
    ASSERT_TRUE(Deliver(client)) << client.LastError().Text;
    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_TRUE(IsTls12OrLater(received["tls"])) << received["tls"];
    EXPECT_EQ(sink.Session(1)["clear"], "");
}

TEST_F(SmtpTls, AuthPlainWhenLoginIsNotOffered) {
    SinkServer sink(SinkOptions{Credentials, true, Tls::StartTls});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink.Port(), SMTPSecurityMode::Auto);
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_FALSE(client->OffersAuthScheme("LOGIN"));
    EXPECT_TRUE(client->OffersAuthScheme("PLAIN"));
    ASSERT_TRUE(client->Authenticate()) << client->LastError().Text;
    ASSERT_TRUE(client->Send(Report())) << client->LastError().Text;
    client->Disconnect();

    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received["mechanism"], "PLAIN");
    EXPECT_EQ(received["login"], "reporter");
    EXPECT_EQ(received["password"], "s3cret");
    // One line with the initial response: NUL reporter NUL s3cret.
    EXPECT_NE(sink.Session(1)["secure"].find("\r\nAUTH PLAIN AHJlcG9ydGVyAHMzY3JldA==\r\nRSET\r\n"),
              std::string::npos);
}

struct BadCertificate {
    const char* Name;
    std::string Certificate; // what the server presents
    std::string Host;        // what the user typed
    bool WithTestCa;
    std::string Error;
};

void PrintTo(const BadCertificate& bad, std::ostream* out) {
    *out << bad.Name;
}

class SmtpTlsRefused : public testing::TestWithParam<BadCertificate> {};

// The handshake fails, the session ends, and nothing of the dialogue goes
// over the connection after it, under either kind of TLS.
TEST_P(SmtpTlsRefused, CertificateIsCheckedBeforeAnything) {
    const auto& certificates = TestCertificates::Get();
    ASSERT_TRUE(certificates.Made()) << certificates.Error();
    const BadCertificate& bad = GetParam();
    for (const Tls mode : {Tls::StartTls, Tls::Implicit}) {
        SinkServer sink(SinkOptions{Credentials, false, mode, bad.Certificate});
        ASSERT_TRUE(sink.Running()) << sink.StartError();
        auto client = ClientFor(sink.Port(), mode == Tls::StartTls ? SMTPSecurityMode::Auto
                                                                   : SMTPSecurityMode::TLS);
        client->Config.Host = bad.Host;
        if (!bad.WithTestCa)
            client->Config.CaFile.clear();
        EXPECT_FALSE(client->Connect(1000));
        EXPECT_EQ(client->LastError().Text, bad.Error);
        EXPECT_FALSE(client->Connected());
        if (mode == Tls::StartTls) {
            // The server's side: EHLO and STARTTLS in clear, then nothing.
            auto session = sink.Session(1);
            EXPECT_EQ(session["clear"], "EHLO client.test\r\nSTARTTLS\r\n");
            EXPECT_EQ(session["secure"], "");
        }
        // Nor did a message arrive.
        EXPECT_TRUE(sink.Message(1, std::chrono::milliseconds(200)).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, SmtpTlsRefused,
    testing::Values(BadCertificate{"SelfSigned", "self", "localhost", false,
                                   "certificate verify failed: self-signed certificate"},
                    BadCertificate{
                        "UnknownCa", "localhost", "localhost", false,
                        "certificate verify failed: unable to get local issuer certificate"},
                    BadCertificate{"OtherHostName", "other", "localhost", true,
                                   "certificate verify failed: hostname mismatch"},
                    BadCertificate{"OtherAddress", "other", "127.0.0.1", true,
                                   "certificate verify failed: IP address mismatch"}),
    [](const testing::TestParamInfo<BadCertificate>& info) {
        return std::string(info.param.Name);
    });

TEST_F(SmtpTls, StartTlsModeAgainstAServerWithoutIt) {
    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink.Port(), SMTPSecurityMode::StartTLS);
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "STARTTLS not offered");
    EXPECT_FALSE(client->Connected());
    // No AUTH, no MAIL: the server saw the introduction and the goodbye.
    EXPECT_EQ(sink.Session(1)["clear"], "EHLO client.test\r\nQUIT\r\n");
}

// A server without STARTTLS (or someone between who took it out of the EHLO
// answer) is not handed the password under Auto, loopback or not: no AUTH,
// no message. Without authentication the message still goes out in clear.
TEST_F(SmtpTls, AutoAgainstAPlainServerSendsNoPassword) {
    SinkServer withAuth(Credentials);
    ASSERT_TRUE(withAuth.Running()) << withAuth.StartError();
    auto client = ClientFor(withAuth.Port(), SMTPSecurityMode::Auto);
    EXPECT_FALSE(Deliver(*client));
    EXPECT_TRUE(client->LastError().PasswordWithheld);
    EXPECT_EQ(client->LastError().Text,
              "The server offered no STARTTLS: the password is not sent unencrypted.");
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(withAuth.Session(1)["clear"], "EHLO client.test\r\nQUIT\r\n");
    EXPECT_EQ(withAuth.Count(), 0);
    // The switch turned on after connecting: AUTH and the message held back all the same.
    client->Config.UseLogin = false;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    client->Config.UseLogin = true;
    EXPECT_FALSE(client->Authenticate());
    EXPECT_TRUE(client->LastError().PasswordWithheld);
    EXPECT_FALSE(client->Send(Report()));
    EXPECT_TRUE(client->LastError().PasswordWithheld);
    client->Disconnect();
    EXPECT_EQ(withAuth.Session(2)["clear"], "EHLO client.test\r\nRSET\r\nQUIT\r\n");

    SinkServer open;
    ASSERT_TRUE(open.Running()) << open.StartError();
    client = ClientFor(open.Port(), SMTPSecurityMode::Auto);
    client->Config.UseLogin = false;
    ASSERT_TRUE(Deliver(*client)) << client->LastError().Text;
    auto received = open.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received["tls"], "");
    EXPECT_EQ(received.count("password"), 0u);
    EXPECT_NE(received["content"].find("S.M.A.R.T.: O.K."), std::string::npos);
}

TEST_F(SmtpTls, ModeNoneNeverStartsTls) {
    SinkServer sink(SinkOptions{{}, false, Tls::StartTls});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    auto client = ClientFor(sink.Port(), SMTPSecurityMode::None);
    client->Config.UseLogin = false;
    ASSERT_TRUE(client->Connect(1000)) << client->LastError().Text;
    EXPECT_FALSE(client->Encrypted());
    // The server wants STARTTLS first, and says so.
    EXPECT_FALSE(client->Send(Report()));
    EXPECT_EQ(client->LastError().ReplyCode, 530);
    client->Disconnect();
    EXPECT_EQ(sink.Session(1)["clear"].find("STARTTLS"), std::string::npos);
}

TEST_F(SmtpTls, HandshakeFailuresAndTimeOuts) {
    // A plain server answers the TLS hello with its greeting.
    SinkServer plain;
    ASSERT_TRUE(plain.Running()) << plain.StartError();
    auto client = ClientFor(plain.Port(), SMTPSecurityMode::TLS);
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text.rfind("TLS handshake failed: ", 0), 0u)
        << client->LastError().Text;

    // A server below TLS 1.2.
    SinkServer old(SinkOptions{{}, false, Tls::Implicit, "localhost", true});
    ASSERT_TRUE(old.Running()) << old.StartError();
    client = ClientFor(old.Port(), SMTPSecurityMode::TLS);
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text.rfind("TLS handshake failed: ", 0), 0u)
        << client->LastError().Text;

    // A server that never answers the hello: the read time-out holds.
    test::ScriptedServer mute("", [](const std::string&) { return std::string(); });
    client = ClientFor(mute.Port(), SMTPSecurityMode::TLS);
    client->Config.ReadTimeoutMs = 300;
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, SocketErrorText(ETIMEDOUT, "Connection timed out."));
    mute.WaitUntilDone();
    // No QUIT followed the hello in clear.
    const auto commands = mute.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 0);

    // A server that closes the connection during the handshake.
    test::ScriptedServer closing(test::CloseConnection, test::WillingReply);
    client = ClientFor(closing.Port(), SMTPSecurityMode::TLS);
    EXPECT_FALSE(client->Connect(1000));
    EXPECT_EQ(client->LastError().Text, "TLS handshake failed: the server closed the connection.");
}

} // namespace
} // namespace quorvane

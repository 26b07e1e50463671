// quorvane-cli mail against real and scripted servers on loopback: what it
// delivers, what it prints where, and how it exits.
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "MailTestSupport.h"

namespace quorvane {
namespace {

using test::SinkServer;

const std::pair<std::string, std::string> Credentials{"reporter", "s3cret"};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string TempBase() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
}

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        path_ = TempBase() + "/quorvane-body-XXXXXX";
        const int fd = mkstemp(path_.data());
        if (fd >= 0) {
            const auto written = write(fd, content.data(), content.size());
            (void)written;
            close(fd);
        }
    }
    ~TempFile() { unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

test::RunResult Mail(const std::vector<std::string>& args,
                     const std::vector<std::string>& environment = {}) {
    std::vector<std::string> argv = {QUORVANE_CLI, "mail"};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProgram(argv, environment);
}

TEST(MailCli, DeliversWithAuthLogin) {
    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    TempFile body("Line one\n.\nTemperature: 41 \xC2\xB0"
                  "C\n");
    // The sink speaks no TLS: the password in clear is chosen with --security none.
    const auto result = Mail(
        {"--host", "127.0.0.1", "--port", std::to_string(sink.Port()), "--security", "none",
         "--login", "reporter", "--auth", "--from", "Disk Monitor <monitor@example.com>", "--to",
         "ops@example.com;night@example.com", "--subject", "CLI test", "--body-file", body.Path()},
        {"QUORVANE_SMTP_PASSWORD=s3cret"});
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Output, "Report sending O.K.\n");
    EXPECT_EQ(result.Error, "");

    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received["login"], "reporter");
    EXPECT_EQ(received["password"], "s3cret");
    EXPECT_EQ(received["rcpt_tos"], "ops@example.com\nnight@example.com\n");
    const std::string& content = received["content"];
    EXPECT_NE(content.find("\r\nSubject: CLI test\r\n"), std::string::npos) << content;
    EXPECT_TRUE(std::regex_search(
        content, std::regex("\r\nDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9][0-9]? "
                            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
                            "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}\r\n")))
        << content;
    EXPECT_TRUE(EndsWith(content, "\r\n\r\nLine one\r\n.\r\nTemperature: 41 \xC2\xB0"
                                  "C\r\n"))
        << content;
}

TEST(MailCli, FailuresGoToStandardErrorAndExitWithOne) {
    test::RefusingPort refusing;
    auto result = Mail({"--host", "127.0.0.1", "--port", std::to_string(refusing.Port()), "--from",
                        "a@example.com", "--to", "b@example.com"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Error, "Report sending failed\nSocket Error # " +
                                std::to_string(ECONNREFUSED) + "\nConnection refused.\n");

    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    result =
        Mail({"--host", "127.0.0.1", "--port", std::to_string(sink.Port()), "--security", "none",
              "--login", "reporter", "--auth", "--from", "a@example.com", "--to", "b@example.com"},
             {"QUORVANE_SMTP_PASSWORD=wrong"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Error,
              "Report sending failed\n535 5.7.8 Authentication credentials invalid\n");
}

// Auto (the default) with --auth against a server that offers AUTH but no
// STARTTLS: the password stays home, and so does the message; the error says
// why and what sends it in clear.
TEST(MailCli, AutoWithoutStartTlsSendsNoPassword) {
    SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    const auto result =
        Mail({"--host", "127.0.0.1", "--port", std::to_string(sink.Port()), "--auth", "--login",
              "reporter", "--from", "a@example.com", "--to", "b@example.com"},
             {"QUORVANE_SMTP_PASSWORD=s3cret"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Error, "Report sending failed\n"
                            "The server offered no STARTTLS: the password is not sent "
                            "unencrypted.\n"
                            "--security none sends the password unencrypted.\n");
    const std::string clear = sink.Session(1)["clear"];
    EXPECT_EQ(clear.rfind("EHLO ", 0), 0u) << clear;
    EXPECT_TRUE(EndsWith(clear, "\r\nQUIT\r\n")) << clear;
    for (const char* never : {"AUTH", "czNjcmV0", "cmVwb3J0ZXI=", "MAIL", "DATA"})
        EXPECT_EQ(clear.find(never), std::string::npos) << never << " in " << clear;
    EXPECT_EQ(sink.Count(), 0);
}

TEST(MailCli, ServerTextReachesTheTerminalWithoutControlCharacters) {
    // A title-setting escape sequence and a bell inside the server's lines.
    test::ScriptedServer server("554-\x1b]0;owned\x07 here\r\n554 second\x1b[2J line\r\n",
                                test::WillingReply);
    const auto result = Mail({"--host", "127.0.0.1", "--port", std::to_string(server.Port()),
                              "--from", "a@example.com", "--to", "b@example.com"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Error, "Report sending failed\n554 ?]0;owned? here\nsecond?[2J line\n");
}

TEST(MailCli, ServerThatNeverEndsItsReplyFailsWithTheSizeBound) {
    test::StreamingServer endless("220 ready\r\n", "250-PIPELINING\r\n",
                                  std::chrono::milliseconds(0));
    const auto result = Mail({"--host", "127.0.0.1", "--port", std::to_string(endless.Port()),
                              "--auth", "--from", "a@example.com", "--to", "b@example.com"},
                             {"QUORVANE_SMTP_PASSWORD=s3cret"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Error, "Report sending failed\nMax reply size exceeded.\n");
}

TEST(MailCli, UsageErrorsExitWithTwoSayWhyAndSendNothing) {
    test::ScriptedServer server("220 ready\r\n", test::WillingReply);
    const std::string port = std::to_string(server.Port());
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string fifo = TempBase() + "/quorvane-body-fifo-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> Args;
        std::string Says;
    };
    const std::vector<Case> wrongCalls = {
        {{"--host", "127.0.0.1", "--from", "a@example.com"}, "--to is required"},
        {{"--from", "a@example.com", "--to", "b@example.com"}, "--host is required"},
        {{"--host", "127.0.0.1", "--port", "70000", "--from", "a@x", "--to", "b@x"},
         "the port must be a number from 1 to 65535"},
        {{"--host", "127.0.0.1", "--port", "25x", "--from", "a@x", "--to", "b@x"},
         "the port must be a number from 1 to 65535"},
        {{"--host", "127.0.0.1", "--password", "pw", "--from", "a@x", "--to", "b@x"},
         "unknown option '--password'"},
        {{"--host", "127.0.0.1", "--from", "a@x", "--to"}, "--to needs a value"},
        // A value forgotten before the next option.
        {{"--host", "--port", port, "--from", "a@x", "--to", "b@x"}, "--host needs a value"},
        {{"--host", "127.0.0.1", "--port", port, "--to", "a@x", "--to", "b@x", "--from", "c@x"},
         "--to is given twice"},
        {{"--host", "127.0.0.1", "--port", port, "--from", "a@x", "--to", "b@x", "--body-file",
          "/nonexistent/quorvane/body.txt"},
         "cannot read the body file /nonexistent/quorvane/body.txt: No such file or directory"},
        // A directory is no body (it used to send an empty mail), nor is a FIFO.
        {{"--host", "127.0.0.1", "--port", port, "--from", "a@x", "--to", "b@x", "--body-file",
          dir},
         "cannot read the body file " + dir + ": is a directory"},
        {{"--host", "127.0.0.1", "--port", port, "--from", "a@x", "--to", "b@x", "--body-file",
          fifo},
         "cannot read the body file " + fifo + ": is not a regular file"},
    };
    for (const auto& call : wrongCalls) {
        const auto result = Mail(call.Args);
        EXPECT_EQ(result.ExitStatus, 2) << call.Says;
        EXPECT_EQ(result.Output, "") << call.Says;
        EXPECT_EQ(result.Error.rfind("quorvane-cli mail: " + call.Says + "\n", 0), 0u)
            << result.Error;
    }
    unlink(fifo.c_str());
    // None of the calls aimed at the server reached it.
    EXPECT_TRUE(server.Commands().empty());
}

// ---- TLS ----

test::RunResult MailOverTls(const SinkServer& sink, const std::vector<std::string>& more,
                            const std::vector<std::string>& environment) {
    std::vector<std::string> args = {
        "--host",        "localhost", "--port",       std::to_string(sink.Port()),
        "--login",       "reporter",  "--auth",       "--from",
        "a@example.com", "--to",      "b@example.com"};
    args.insert(args.end(), more.begin(), more.end());
    std::vector<std::string> env = {"QUORVANE_SMTP_PASSWORD=s3cret"};
    env.insert(env.end(), environment.begin(), environment.end());
    return Mail(args, env);
}

TEST(MailCli, DeliversOverBothKindsOfTls) {
    const auto& certificates = test::TestCertificates::Get();
    ASSERT_TRUE(certificates.Made()) << certificates.Error();

    // STARTTLS, the test CA given for the run.
    SinkServer starttls(test::SinkOptions{Credentials, false, test::SinkOptions::Tls::StartTls});
    ASSERT_TRUE(starttls.Running()) << starttls.StartError();
    auto result =
        MailOverTls(starttls, {"--security", "starttls", "--ca-file", certificates.CaFile()}, {});
    EXPECT_EQ(result.ExitStatus, 0) << result.Error;
    EXPECT_EQ(result.Output, "Report sending O.K.\n");
    auto received = starttls.Message(1);
    EXPECT_EQ(received["password"], "s3cret");
    EXPECT_NE(received["tls"], "");

    // Implicit TLS, the test CA as the whole trust store through SSL_CERT_FILE.
    SinkServer implicit(test::SinkOptions{Credentials, false, test::SinkOptions::Tls::Implicit});
    ASSERT_TRUE(implicit.Running()) << implicit.StartError();
    result = MailOverTls(implicit, {"--security", "tls"},
                         {"SSL_CERT_FILE=" + certificates.CaFile(), "SSL_CERT_DIR=/nonexistent"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Error;
    EXPECT_EQ(result.Output, "Report sending O.K.\n");
    received = implicit.Message(1);
    EXPECT_EQ(received["password"], "s3cret");
    EXPECT_NE(received["tls"], "");
}

TEST(MailCli, TlsFailuresSayWhy) {
    const auto& certificates = test::TestCertificates::Get();
    ASSERT_TRUE(certificates.Made()) << certificates.Error();

    SinkServer selfSigned(
        test::SinkOptions{Credentials, false, test::SinkOptions::Tls::Implicit, "self"});
    ASSERT_TRUE(selfSigned.Running()) << selfSigned.StartError();
    auto result = MailOverTls(selfSigned, {"--security", "tls"},
                              {"SSL_CERT_FILE=/nonexistent", "SSL_CERT_DIR=/nonexistent"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Error,
              "Report sending failed\ncertificate verify failed: self-signed certificate\n");

    SinkServer plain(Credentials);
    ASSERT_TRUE(plain.Running()) << plain.StartError();
    result = MailOverTls(plain, {"--security", "starttls"}, {});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Error, "Report sending failed\nSTARTTLS not offered\n");
    EXPECT_EQ(plain.Session(1)["clear"].find("AUTH"), std::string::npos);

    result = MailOverTls(plain, {"--security", "tls"}, {});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Error.rfind("Report sending failed\nTLS handshake failed: ", 0), 0u)
        << result.Error;

    result = MailOverTls(plain, {"--security", "tls", "--ca-file", "/nonexistent/ca.pem"}, {});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Error.rfind("Report sending failed\ncannot load the CA file "
                                 "/nonexistent/ca.pem: No such file or directory\n",
                                 0),
              0u)
        << result.Error;

    result = MailOverTls(plain, {"--security", "ssl"}, {});
    EXPECT_EQ(result.ExitStatus, 2);
    EXPECT_EQ(result.Error.rfind(
                  "quorvane-cli mail: --security must be auto, none, starttls or tls\n", 0),
              0u)
        << result.Error;
}

} // namespace
} // namespace quorvane

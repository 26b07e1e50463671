// The report worker end to end: composed on the caller's thread, sent by a
// worker thread through a real SMTP server on loopback, the result shown
// through the window port.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

#include "MailTestSupport.h"
#include "mail/ReportService.h"

namespace quorvane {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::pair<std::string, std::string> Credentials{"reporter", "s3cret"};

// The window as the worker sees it: the values it copies, the texts it is
// shown and the cursor it sets, recorded.
class RecordingWindow : public ReportWindow {
public:
    SMTPSnapshot CopySMTPSettings() override {
        std::lock_guard lock(mutex_);
        busy_ = true;
        ++copies_;
        return copies_ == 1 && first_ ? *first_ : values_;
    }
    void ShowSendResult(const std::string& text) override {
        std::lock_guard lock(mutex_);
        busy_ = false;
        results_.push_back(text);
    }

    void SetValues(SMTPSnapshot values) {
        std::lock_guard lock(mutex_);
        values_ = std::move(values);
    }
    // What the first copy returns, when it differs from the rest.
    void SetFirstValues(SMTPSnapshot values) {
        std::lock_guard lock(mutex_);
        first_ = std::move(values);
    }
    std::vector<std::string> Results() {
        std::lock_guard lock(mutex_);
        return results_;
    }
    bool Busy() {
        std::lock_guard lock(mutex_);
        return busy_;
    }

private:
    std::mutex mutex_;
    SMTPSnapshot values_;
    std::optional<SMTPSnapshot> first_;
    int copies_ = 0;
    bool busy_ = false;
    std::vector<std::string> results_;
};

// One step at a time, as on one user-interface thread.
class SerialHandOver : public UiHandOver {
public:
    void Run(std::function<void()> step) override {
        std::lock_guard lock(mutex_);
        step();
    }
    void Close() override {}

private:
    std::mutex mutex_;
};

SMTPSnapshot To(std::uint16_t port, bool authentication = false) {
    SMTPSnapshot values;
    values.Host = "127.0.0.1";
    values.Port = std::to_string(port);
    values.Login = Credentials.first;
    values.Password = Credentials.second;
    values.From = "Disk Monitor <monitor@example.com>";
    values.Mail = "ops@example.com";
    values.Authentication = authentication;
    return values;
}

ProgramData OneDrive(int temperature) {
    ProgramData data;
    data.DriveCount = 1;
    data.Drives[1].ModelNumber = "ST3500418AS";
    data.Drives[1].Temperature = temperature;
    data.Drives[1].SMARTStatusRead = true;
    data.Drives[1].SMARTStatusOK = true;
    return data;
}

std::unique_ptr<SmtpClient> NewClient() {
    auto client = std::make_unique<SmtpClient>();
    client->Config.HeloName = "client.test";
    client->Config.ReadTimeoutMs = 20000;
    return client;
}

struct Fixture {
    RecordingWindow window;
    ReportService service{window, std::make_unique<SerialHandOver>(), NewClient};
};

// A server that holds the transfer at MAIL FROM until the test releases it.
struct HeldServer {
    std::promise<void> Release;
    std::shared_future<void> Released = Release.get_future().share();
    std::promise<void> Holding; // set once the transfer is held
    test::ScriptedServer Server{"220 slow.test ready\r\n", [this](const std::string& command) {
                                    if (command.rfind("MAIL FROM", 0) == 0) {
                                        Holding.set_value();
                                        Released.wait_for(seconds(20));
                                    }
                                    return test::WillingReply(command);
                                }};
};

TEST(ReportService, DeliversWithAuthLogin) {
    test::SinkServer sink(Credentials);
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    Fixture f;
    SMTPSnapshot values = To(sink.Port(), true);
    values.Security = SMTPSecurityMode::None; // the sink speaks no TLS
    f.window.SetValues(values);
    f.service.SendReport(OneDrive(35), "12/7/2026 4:35:10 AM");
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));

    EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending O.K."});
    EXPECT_FALSE(f.window.Busy());
    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received["login"], "reporter");
    EXPECT_EQ(received["mail_from"], "monitor@example.com");
    EXPECT_EQ(received["rcpt_tos"], "ops@example.com\n");
    const std::string& content = received["content"];
    EXPECT_NE(content.find("Subject: Quorvane Report - 12/7/2026 4:35:10 AM\r\n"),
              std::string::npos)
        << content;
    EXPECT_NE(content.find("\r\n\r\nQuorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n"
                           "ST3500418AS:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 35 \xC2\xB0"
                           "C\r\n"),
              std::string::npos)
        << content;
    EXPECT_EQ(f.service.LastSendResult(), SendResult::Done);
    EXPECT_TRUE(f.service.WaitForSendLock(milliseconds(0)));
}

TEST(ReportService, AuthenticationOnButLoginNotOfferedSendsWithout) {
    test::ScriptedServer server("220 scripted.test ready\r\n", test::WillingReply);
    Fixture f;
    SMTPSnapshot values = To(server.Port(), true);
    values.Security = SMTPSecurityMode::None;
    f.window.SetValues(values);
    f.service.SendReport(OneDrive(35), "x");
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));
    server.WaitUntilDone();
    EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending O.K."});
    for (const auto& command : server.Commands())
        EXPECT_NE(command.rfind("AUTH", 0), 0u) << command;
    EXPECT_NE(server.Data().find("S.M.A.R.T.: O.K."), std::string::npos);
}

// Auto, the default, against the real server without STARTTLS: with
// authentication on, neither the password nor the report reaches it and the
// send fails; with it off, the report goes out in clear.
TEST(ReportService, AutoSendsThePasswordOnlyOverTls) {
    for (const bool authentication : {true, false}) {
        test::SinkServer sink(authentication ? std::optional(Credentials) : std::nullopt);
        ASSERT_TRUE(sink.Running()) << sink.StartError();
        Fixture f;
        f.window.SetValues(To(sink.Port(), authentication));
        f.service.SendReport(OneDrive(35), "x");
        ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));
        const std::string clear = sink.Session(1)["clear"];
        if (authentication) {
            EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending failed"});
            EXPECT_EQ(clear, "EHLO client.test\r\nQUIT\r\n");
            EXPECT_EQ(sink.Count(), 0);
        } else {
            EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending O.K."});
            auto received = sink.Message(1);
            EXPECT_EQ(received["tls"], "");
            EXPECT_NE(received["content"].find("Temperature: 35"), std::string::npos);
        }
        EXPECT_EQ(clear.find("AUTH"), std::string::npos) << clear;
    }
}

TEST(ReportService, SecurityModeOfTheSnapshotReachesTheClient) {
    // STARTTLS demanded, the server does not offer it: nothing after EHLO but QUIT.
    test::ScriptedServer server("220 scripted.test ready\r\n", test::WillingReply);
    Fixture f;
    SMTPSnapshot values = To(server.Port(), true);
    values.Security = SMTPSecurityMode::StartTLS;
    f.window.SetValues(values);
    f.service.SendReport(OneDrive(35), "x");
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));
    server.WaitUntilDone();
    EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending failed"});
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"EHLO client.test", "QUIT"}));
}

TEST(ReportService, RefusedLoginSendsNothing) {
    test::ScriptedServer server("220 scripted.test ready\r\n", [](const std::string& command) {
        if (command.rfind("EHLO", 0) == 0)
            return std::string("250-scripted.test\r\n250 AUTH LOGIN\r\n");
        if (command == "AUTH LOGIN")
            return std::string("535 No\r\n");
        return test::WillingReply(command);
    });
    Fixture f;
    SMTPSnapshot values = To(server.Port(), true);
    values.Security = SMTPSecurityMode::None;
    f.window.SetValues(values);
    f.service.SendReport(OneDrive(35), "x");
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));
    server.WaitUntilDone();
    EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending failed"});
    for (const auto& command : server.Commands())
        EXPECT_NE(command.rfind("MAIL FROM", 0), 0u) << command;
    EXPECT_EQ(f.service.LastSendResult(), SendResult::Failed);
}

TEST(ReportService, RefusedConnectionAndBadPortFailWithTheLockFree) {
    test::RefusingPort refusing;
    for (const std::string& port : {std::to_string(refusing.Port()), std::string("25x"),
                                    std::string(""), std::string("0"), std::string("65536")}) {
        Fixture f;
        SMTPSnapshot values = To(refusing.Port());
        values.Port = port;
        f.window.SetValues(values);
        f.service.SendReport(OneDrive(35), "x");
        ASSERT_TRUE(f.service.WaitForWorkers(seconds(30))) << port;
        EXPECT_EQ(f.window.Results(), std::vector<std::string>{"Report sending failed"}) << port;
        EXPECT_FALSE(f.window.Busy()) << port; // the cursor is back
        EXPECT_EQ(f.service.LastSendResult(), SendResult::NotCompleted) << port;
        EXPECT_TRUE(f.service.WaitForSendLock(milliseconds(0))) << port;
    }
}

TEST(ReportService, WaitingWorkerSendsTheMostRecentReport) {
    // The first transfer is held at MAIL FROM until the test lets it go.
    HeldServer held;
    test::ScriptedServer& slow = held.Server;
    test::SinkServer sink;
    ASSERT_TRUE(sink.Running()) << sink.StartError();

    // While the reports queue up, the window points at a closed port; it
    // points at the sink before the waiting worker's turn comes.
    test::RefusingPort refusing;

    Fixture f;
    f.window.SetFirstValues(To(slow.Port()));
    f.window.SetValues(To(refusing.Port()));
    f.service.SendReport(OneDrive(30), "first");
    ASSERT_EQ(held.Holding.get_future().wait_for(seconds(20)), std::future_status::ready);
    // The lock is held: a bounded wait gives up.
    EXPECT_FALSE(f.service.WaitForSendLock(milliseconds(100)));
    EXPECT_EQ(f.service.Workers(), 1);
    EXPECT_FALSE(f.service.WorkerWaiting());

    // Reports piling up behind the slow server: the worker in flight and one
    // waiting, however many come.
    const char* const later[] = {"second", "third", "fourth", "fifth"};
    int temperature = 40;
    for (const char* moment : later) {
        f.service.SendReport(OneDrive(temperature++), moment);
        EXPECT_EQ(f.service.Workers(), 2) << moment;
        EXPECT_TRUE(f.service.WorkerWaiting()) << moment;
    }
    f.window.SetValues(To(sink.Port()));
    held.Release.set_value();
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(40)));

    EXPECT_EQ(f.window.Results(),
              (std::vector<std::string>{"Report sending O.K.", "Report sending O.K."}));
    // The first worker read the report when it took the lock, before the
    // others were composed; the one that waited sends the newest, with the
    // window's values of its turn.
    EXPECT_NE(slow.Data().find("Quorvane Report - first"), std::string::npos);
    auto received = sink.Message(1);
    ASSERT_FALSE(received.empty());
    EXPECT_NE(received["content"].find("Subject: Quorvane Report - fifth\r\n"), std::string::npos)
        << received["content"];
    EXPECT_NE(received["content"].find("Temperature: 43"), std::string::npos);
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(f.service.Workers(), 0);
    EXPECT_FALSE(f.service.WorkerWaiting());
    EXPECT_TRUE(f.service.WaitForSendLock(milliseconds(0)));

    // With nobody waiting, the next report has a worker of its own.
    f.service.SendReport(OneDrive(60), "sixth");
    ASSERT_TRUE(f.service.WaitForWorkers(seconds(30)));
    EXPECT_NE(sink.Message(2)["content"].find("Subject: Quorvane Report - sixth\r\n"),
              std::string::npos);
}

TEST(ReportService, WorkerOutlivingTheServiceTouchesNoWindow) {
    // Tells when the worker has handed over its last step.
    struct LastStep : SerialHandOver {
        std::promise<void> Done;
        int Steps = 0;
        void Run(std::function<void()> step) override {
            SerialHandOver::Run(std::move(step));
            if (++Steps == 2)
                Done.set_value();
        }
    };
    HeldServer held;
    test::ScriptedServer& slow = held.Server;
    RecordingWindow window; // outlives the worker: what it is shown is seen
    window.SetValues(To(slow.Port()));
    auto handOver = std::make_unique<LastStep>();
    std::future<void> lastStep = handOver->Done.get_future();
    auto service = std::make_unique<ReportService>(window, std::move(handOver), NewClient);
    service->SendReport(OneDrive(30), "x");
    ASSERT_EQ(held.Holding.get_future().wait_for(seconds(20)), std::future_status::ready);
    service.reset();
    held.Release.set_value();
    slow.WaitUntilDone();
    ASSERT_EQ(lastStep.wait_for(seconds(20)), std::future_status::ready);
    EXPECT_TRUE(window.Results().empty());
}

TEST(ReportService, PortText) {
    std::uint16_t port = 0;
    EXPECT_TRUE(ParseSmtpPort("25", port));
    EXPECT_EQ(port, 25);
    EXPECT_TRUE(ParseSmtpPort("65535", port));
    EXPECT_EQ(port, 65535);
    for (const char* bad : {"", "0", "65536", "-25", "+25", " 25", "25 ", "0x19", "999999"})
        EXPECT_FALSE(ParseSmtpPort(bad, port)) << bad;
}

} // namespace
} // namespace quorvane

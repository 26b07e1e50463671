#include "mail/ReportService.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace quorvane {

struct ReportService::Shared {
    ReportWindow* Window = nullptr; // touched only inside steps on the UI thread
    std::unique_ptr<UiHandOver> HandOver;
    ClientFactory MakeClient;
    // Set on the user-interface thread when the service goes away; a step
    // that runs afterwards touches nothing.
    std::atomic<bool> Closed{false};

    std::timed_mutex SendLock;
    std::unique_ptr<SmtpClient> Client; // only under SendLock

    // The report, the snapshot and Waiting: SendReport decides whether to
    // start a worker in the same step in which it replaces the report, and
    // the waiting worker stops waiting in the step in which it reads it, so
    // no report is left behind between the two.
    mutable std::mutex TextsMutex;
    ReportText Report;
    SMTPSnapshot Snapshot;
    bool Waiting = false;
    std::atomic<quorvane::SendResult> LastResult{SendResult::NotCompleted};

    mutable std::mutex WorkersMutex;
    std::condition_variable WorkersChanged;
    int Workers = 0;
};

bool ParseSmtpPort(std::string_view text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

SMTPSnapshot SnapshotOf(const Settings& settings) {
    SMTPSnapshot snapshot;
    snapshot.Host = settings.SMTPHost;
    snapshot.Port = settings.SMTPPort;
    snapshot.Login = settings.SMTPLogin;
    snapshot.Password = settings.SMTPPassword;
    snapshot.From = settings.SMTPFrom;
    snapshot.Mail = settings.SMTPMail;
    snapshot.Authentication = settings.SMTPAuthentication;
    snapshot.Security = settings.SMTPSecurity;
    return snapshot;
}

int ReportIntervalMs(const Settings& settings) {
    return std::clamp(settings.SMTPDelay, MinSMTPDelay, MaxSMTPDelay) * 60000;
}

ReportService::ReportService(ReportWindow& window, std::unique_ptr<UiHandOver> handOver,
                             ClientFactory makeClient)
    : shared_(std::make_shared<Shared>()) {
    shared_->Window = &window;
    shared_->HandOver = std::move(handOver);
    shared_->MakeClient = std::move(makeClient);
}

ReportService::~ReportService() {
    shared_->Closed = true;
    shared_->HandOver->Close();
}

void ReportService::SendReport(const ProgramData& data, std::string_view moment) {
    Send(ComposeReport(data, moment));
}

void ReportService::SendRiseWarning(const ProgramData& data, std::string_view moment,
                                    std::string_view rise) {
    Send(ComposeRiseWarning(data, moment, rise));
}

void ReportService::Send(ReportText report) {
    {
        std::lock_guard texts(shared_->TextsMutex);
        shared_->Report = std::move(report);
        if (shared_->Waiting)
            return; // the waiting worker reads this report when its turn comes
        shared_->Waiting = true;
    }
    {
        std::lock_guard workers(shared_->WorkersMutex);
        ++shared_->Workers;
    }
    try {
        std::thread(Work, shared_).detach();
    } catch (const std::system_error&) {
        // No thread to be had: this report is not sent, the next one tries again.
        {
            std::lock_guard texts(shared_->TextsMutex);
            shared_->Waiting = false;
        }
        std::lock_guard workers(shared_->WorkersMutex);
        --shared_->Workers;
        shared_->WorkersChanged.notify_all();
    }
}

int ReportService::Workers() const {
    std::lock_guard workers(shared_->WorkersMutex);
    return shared_->Workers;
}

bool ReportService::WorkerWaiting() const {
    std::lock_guard texts(shared_->TextsMutex);
    return shared_->Waiting;
}

ReportText ReportService::LastReport() const {
    std::lock_guard texts(shared_->TextsMutex);
    return shared_->Report;
}

SendResult ReportService::LastSendResult() const {
    return shared_->LastResult;
}

bool ReportService::WaitForSendLock(std::chrono::milliseconds bound) {
    std::unique_lock lock(shared_->SendLock, std::defer_lock);
    return lock.try_lock_for(bound);
}

bool ReportService::WaitForWorkers(std::chrono::milliseconds bound) {
    std::unique_lock workers(shared_->WorkersMutex);
    return shared_->WorkersChanged.wait_for(workers, bound,
                                            [this] { return shared_->Workers == 0; });
}

void ReportService::Work(std::shared_ptr<Shared> shared) {
    shared->LastResult = SendResult::NotCompleted;
    // The transfer in flight ends first. SendLock is not held across the
    // hand-over below: the user-interface thread may be waiting for it.
    { std::lock_guard turn(shared->SendLock); }
    CopyWindowValues(shared);
    SendResult result;
    {
        std::unique_lock sendLock(shared->SendLock);
        result = Transfer(*shared);
    }
    shared->LastResult = result;
    ShowResult(shared, result);

    std::lock_guard workers(shared->WorkersMutex);
    --shared->Workers;
    shared->WorkersChanged.notify_all();
}

void ReportService::CopyWindowValues(const std::shared_ptr<Shared>& shared) {
    shared->HandOver->Run([shared] {
        if (shared->Closed)
            return;
        SMTPSnapshot snapshot = shared->Window->CopySMTPSettings();
        std::lock_guard texts(shared->TextsMutex);
        shared->Snapshot = std::move(snapshot);
    });
}

namespace {

void Configure(SmtpConfig& config, const SMTPSnapshot& snapshot, std::uint16_t port) {
    config.UseLogin = snapshot.Authentication;
    config.Host = snapshot.Host;
    config.Port = port;
    config.Username = snapshot.Login;
    config.Password = snapshot.Password;
    config.MailAgent = ReportMailAgent;
    config.Security = snapshot.Security;
}

} // namespace

// Under SendLock.
SendResult ReportService::Transfer(Shared& shared) {
    SMTPSnapshot snapshot;
    MailMessage message;
    {
        // Read now, under the lock: a worker that waited sends the report
        // composed most recently, and a report composed from here on starts
        // a worker of its own.
        std::lock_guard texts(shared.TextsMutex);
        shared.Waiting = false;
        snapshot = shared.Snapshot;
        message.SetBody(shared.Report.Body);
        message.Subject = shared.Report.Subject;
    }
    try {
        message.SetFrom(snapshot.From);
        message.SetRecipients(snapshot.Mail);
        // A port that is not a number fails the send like any other
        // transfer error, with the status text and the cursor restored.
        std::uint16_t port = 0;
        if (!ParseSmtpPort(snapshot.Port, port))
            return SendResult::NotCompleted;
        if (!shared.Client)
            shared.Client = shared.MakeClient();
        SmtpClient& client = *shared.Client;
        Configure(client.Config, snapshot, port);
        // Connect closes what it opened when it fails; only an open session
        // is disconnected.
        if (!client.Connect(ReportConnectTimeoutMs) || !client.Connected())
            return SendResult::NotCompleted;
        // Without LOGIN or PLAIN on offer the message goes out without
        // authentication; what the server then says decides. A refused login
        // ends the transfer: the message is not offered without it.
        const bool authenticated =
            !(snapshot.Authentication && client.OffersAuthentication()) || client.Authenticate();
        const bool sent = authenticated && client.Send(message);
        client.Disconnect();
        return sent ? SendResult::Done : SendResult::Failed;
    } catch (const std::exception&) {
        return SendResult::Failed;
    }
}

void ReportService::ShowResult(const std::shared_ptr<Shared>& shared, SendResult result) {
    const std::string text = result == SendResult::Done ? ReportSentText : ReportFailedText;
    shared->HandOver->Run([shared, text] {
        if (!shared->Closed)
            shared->Window->ShowSendResult(text);
    });
}

} // namespace quorvane

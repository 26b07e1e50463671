// Sending the report mail without holding up the user-interface thread. A
// SendReport composes the report and starts a worker thread, unless one
// already waits for its turn: that one sends the report composed most
// recently anyway, so a slow server never gathers more than the worker in
// flight and one waiting. The workers share SendLock, so one at a time
// configures the client, connects, sends and disconnects. A worker hands two
// short steps to the user-interface thread: copying the SMTP window's values
// (once its turn has come, so a waiting worker sends with the values of that
// moment), and showing the result in the status bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/DriveTable.h"
#include "mail/MailReport.h"
#include "mail/SmtpClient.h"
#include "app/Settings.h"

namespace quorvane {

inline constexpr const char* ReportSentText = "Report sending O.K.";
inline constexpr const char* ReportFailedText = "Report sending failed";
inline constexpr int ReportConnectTimeoutMs = 1000;
inline constexpr const char* ReportMailAgent = "Quorvane";

// How the last transfer ended (SendResult): it did not complete (no session
// was opened, or it was cut), the message was sent, or the transfer raised
// an error.
enum class SendResult : std::uint8_t { NotCompleted, Done, Failed };

// What a worker copies from the SMTP window at each send, as typed.
struct SMTPSnapshot {
    std::string Host;
    std::string Port;
    std::string Login;
    std::string Password;
    std::string From;
    std::string Mail; // the recipient list
    bool Authentication = false;
    SMTPSecurityMode Security = SMTPSecurityMode::Auto; // SMTPSecurityCB
};

// The window side of a send; both calls run on the user-interface thread.
class ReportWindow {
public:
    virtual ~ReportWindow() = default;
    // Shows the busy cursor and returns the SMTP window's values.
    virtual SMTPSnapshot CopySMTPSettings() = 0;
    // Writes the status text into the status bar and restores the cursor.
    virtual void ShowSendResult(const std::string& text) = 0;
};

// Runs a step on the user-interface thread and waits until it has run. After
// Close() (called on the user-interface thread when it stops taking steps)
// Run drops its step and returns at once.
class UiHandOver {
public:
    virtual ~UiHandOver() = default;
    virtual void Run(std::function<void()> step) = 0;
    virtual void Close() = 0;
};

// The port text as a port number: decimal, 1..65535, nothing else.
bool ParseSmtpPort(std::string_view text, std::uint16_t& port);

// What a worker copies at a send: the SMTP window's values as the settings
// mirror them, typed or loaded, saved or not.
SMTPSnapshot SnapshotOf(const Settings& settings);

// The report timer's interval: "SMTP Delay" minutes, kept inside the
// up-down's range.
int ReportIntervalMs(const Settings& settings);

// How long the close handler waits for a transfer in flight before the
// program ends anyway.
inline constexpr std::chrono::milliseconds CloseSendLockWait{10000};

class ReportService {
public:
    using ClientFactory = std::function<std::unique_ptr<SmtpClient>()>;

    // window must outlive the service; the service's destructor cuts every
    // worker still running off the window and the hand-over.
    ReportService(ReportWindow& window, std::unique_ptr<UiHandOver> handOver,
                  ClientFactory makeClient);
    ~ReportService();
    ReportService(const ReportService&) = delete;
    ReportService& operator=(const ReportService&) = delete;

    // User-interface thread: composes the report from the drive table with
    // moment as its date text, and starts one worker unless a worker is
    // waiting for SendLock (that one takes this report). Never waits, never
    // fails visibly.
    void SendReport(const ProgramData& data, std::string_view moment);
    // As SendReport, with the warning of a sector counter that rose.
    void SendRiseWarning(const ProgramData& data, std::string_view moment, std::string_view rise);

    // The workers started and not yet ended, and whether one of them waits
    // for its turn (started, SendLock not yet taken for its transfer).
    int Workers() const;
    bool WorkerWaiting() const;

    // The report composed most recently.
    ReportText LastReport() const;
    quorvane::SendResult LastSendResult() const;

    // Waits until no worker holds SendLock, at most bound; true when it was
    // free in time. The close handler and the suspend use it; a transfer
    // still running after the bound goes on by itself.
    bool WaitForSendLock(std::chrono::milliseconds bound);

    // Waits until every worker started so far has ended, at most bound.
    bool WaitForWorkers(std::chrono::milliseconds bound);

private:
    struct Shared;
    // A worker's life: its turn, the SMTP window's values, the transfer and
    // its result in the status bar.
    void Send(ReportText report);
    static void Work(std::shared_ptr<Shared> shared);
    static void CopyWindowValues(const std::shared_ptr<Shared>& shared);
    static SendResult Transfer(Shared& shared);
    static void ShowResult(const std::shared_ptr<Shared>& shared, SendResult result);

    std::shared_ptr<Shared> shared_;
};

} // namespace quorvane

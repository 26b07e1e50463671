// A drive's own self-tests and logs: starting and aborting a test, its
// progress, and reading the self-test and error logs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/DriveTable.h"
#include "smart/SelfTestLog.h"

namespace quorvane {

// The kinds a drive offers, from its last data page: short and extended
// when it can self-test, conveyance when it says so too.
std::vector<SelfTestKind> OfferedSelfTests(const HDD& drive);
const char* SelfTestKindName(SelfTestKind kind); // "short", "extended", "conveyance", "abort"
std::optional<SelfTestKind> ParseSelfTestKind(const std::string& name);

enum class SelfTestStart {
    Started,      // the drive took the command
    NotOffered,   // the drive does not offer this kind (or no test at all)
    Refused,      // the drive answered with ERR
    NotSent,      // no drive, or the request did not go through
};
// Starts (or, for Abort, stops) a self-test in off-line mode.
SelfTestStart StartSelfTest(DriveBus& bus, const HDD& drive, SelfTestKind kind);
// "the drive started the short self-test", "the drive refused ...", ...
std::string SelfTestStartText(SelfTestStart result, SelfTestKind kind);

// The running test's state as the last read left it; nullopt when none runs.
std::optional<SelfTestExecution> RunningSelfTest(const HDD& drive);
// "self-test 40 %" (done so far) for the tooltip; empty when none runs.
std::string SelfTestHint(const HDD& drive);
// Minutes the drive expects a kind to take; 0 when it does not say.
int ExpectedSelfTestMinutes(const HDD& drive, SelfTestKind kind);

// The self-test log (06h, or 07h on a 48-bit drive that lists only that),
// newest first; nullopt with why ("log unreadable", "the drive could not be
// opened") when it cannot be had.
// An NVMe controller with Device Self-test answers from its own log (06h),
// which also tells whether a test runs (kept in drive.Reading.Logs).
std::optional<std::vector<SelfTestEntry>> ReadSelfTestLog(DriveBus& bus, HDD& drive,
                                                          std::string& why);
// The error log (01h, or 03h as above).
std::optional<ErrorLog> ReadAtaErrorLog(DriveBus& bus, const HDD& drive, std::string& why);

// What a tick learnt from the logs.
struct LogNews {
    bool NewFailedSelfTest = false; // a failed entry the last read did not have
};
// Keeps what the drive's logs say in drive.Reading.Logs, reading them only
// when they can have changed, so that a quiet drive costs a tick nothing
// more: the self-test log when the data page's self-test byte changed since
// the last read (a test began, moved or ended), or at the first read when
// that byte tells of a running or failed test; the error log at the second
// read and every ErrorLogEveryReads reads after. With now, both logs are
// read at once (a one-off read such as the metrics command). The data page
// must be fresh.
inline constexpr uint64_t ErrorLogEveryReads = 40;
LogNews FollowDriveLogs(DriveBus& bus, HDD& drive, bool now = false);

// The S.M.A.R.T. window's self-test row for a drive as its last read left
// it: the kinds it offers (none for a drive without self-tests, such as an
// NVMe controller without Device Self-test), and while a test runs its percent done and, when the program
// started it, the time the drive expects it still needs.
SelfTestRowState SelfTestRow(const HDD& drive);
// The chooser's caption of a kind: "Short", "Extended", "Conveyance".
const char* SelfTestKindCaption(SelfTestKind kind);
// "about 48 min left", "about 6 h 37 min left"; empty for no minutes.
std::string TimeLeftText(int minutes);
SelfTestLogRow SelfTestLogHeader();
// An entry as a row of the log table; number 1 is the newest.
SelfTestLogRow SelfTestLogRowOf(int number, const SelfTestEntry& entry);

// Brings data.Screen.Smart.SelfTests up to the slot's drive as its last read
// left it: the row always, and the log read anew when readLog (a read the
// user asked for; an NVMe controller's log, which tells of a running test,
// before the row) or when the test it showed running has ended, so that a
// tick costs a quiet drive nothing more. Another drive than the one shown
// starts with an empty log.
void ShowSelfTests(ProgramData& data, DriveBus& bus, int slot, bool readLog);
// The window's Start and Abort: StartSelfTest on the slot's drive, which
// keeps the kind it started; an answer other than a start (a refusal, an
// abort) becomes the screen's note.
SelfTestStart StartSelfTestOnScreen(ProgramData& data, DriveBus& bus, int slot,
                                    SelfTestKind kind);

// One line of an entry, as the report and the CLI print it.
std::string SelfTestEntryText(const SelfTestEntry& entry);
std::string ErrorLogEntryText(const ErrorLogEntry& entry);

} // namespace quorvane

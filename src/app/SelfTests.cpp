#include "app/SelfTests.h"

#include "nvme/NvmeCommand.h"
#include "nvme/NvmeHealth.h"

#include <algorithm>
#include <cstdio>

namespace quorvane {
namespace {

struct KindRow {
    SelfTestKind Kind;
    const char* Name;
    const char* Caption;
};
constexpr KindRow Kinds[] = {
    {SelfTestKind::Short, "short", "Short"},
    {SelfTestKind::Extended, "extended", "Extended"},
    {SelfTestKind::Conveyance, "conveyance", "Conveyance"},
    {SelfTestKind::Abort, "abort", "Abort"},
};

std::optional<SectorBuffer> ReadLog(DriveBus& bus, const HDD& drive, AtaCommand cmd) {
    auto handle = bus.OpenDrive(drive.DriveNumber);
    if (!handle || !AtaSucceeded(handle->SendAtaCommand(cmd), cmd))
        return std::nullopt;
    return cmd.Data;
}

// Where a log is: the SMART log (address a) when the SMART directory lists
// it or cannot be read (QEMU's drives answer the logs but not the
// directory), else the extended one (address ext) on a 48-bit drive whose
// general-purpose directory lists it.
std::optional<std::pair<SectorBuffer, bool>> ReadEitherLog(DriveBus& bus, const HDD& drive,
                                                           uint8_t a, uint8_t ext,
                                                           std::string& why) {
    const unsigned n = drive.DriveNumber;
    if (!bus.OpenDrive(n)) {
        why = "the drive could not be opened";
        return std::nullopt;
    }
    const auto directory = ReadLog(bus, drive, AtaCommand::SmartReadLogSector(n, LogDirectory));
    if (!directory || LogPages(*directory, a) > 0) {
        if (auto page = ReadLog(bus, drive, AtaCommand::SmartReadLogSector(n, a)))
            return std::pair{*page, false};
    }
    if (drive.LBA48) {
        const auto gpl = ReadLog(bus, drive, AtaCommand::ReadLogExt(n, LogDirectory));
        if (gpl && LogPages(*gpl, ext) > 0)
            if (auto page = ReadLog(bus, drive, AtaCommand::ReadLogExt(n, ext)))
                return std::pair{*page, true};
    }
    why = LogUnreadableText;
    return std::nullopt;
}


bool NvmeHasSelfTest(const HDD& drive) {
    return drive.IsNvme() && drive.Nvme && (drive.Nvme->Controller.Oacs & NvmeOacsSelfTest);
}

NvmeSelfTestCode NvmeCode(SelfTestKind kind) {
    return kind == SelfTestKind::Short      ? NvmeSelfTestCode::Short
           : kind == SelfTestKind::Extended ? NvmeSelfTestCode::Extended
                                            : NvmeSelfTestCode::Abort;
}

// The NVMe self-test log as entries of the ATA log's shape.
std::optional<std::vector<SelfTestEntry>> ReadNvmeSelfTests(DriveBus& bus, HDD& drive,
                                                            std::string& why) {
    NvmeAdminCommand cmd = NvmeAdminCommand::SelfTestLog();
    const bool sent = SendNvmeOnce(bus, drive.DriveNumber, cmd);
    const auto log = NvmeSucceeded(sent, cmd) ? DecodeNvmeSelfTestLog(cmd.Answer()) : std::nullopt;
    if (!log) {
        why = sent ? LogUnreadableText : "the drive could not be opened";
        return std::nullopt;
    }
    drive.Reading.Logs.NvmeRunningPercent.reset();
    if (log->CurrentOperation != 0)
        drive.Reading.Logs.NvmeRunningPercent = log->CompletionPercent;
    std::vector<SelfTestEntry> entries;
    for (const NvmeSelfTestResult& r : log->Results) {
        SelfTestEntry e;
        e.Nvme = true;
        e.Subcommand = r.Code;
        e.Status = r.Result;
        e.PowerOnHours = static_cast<uint16_t>(std::min<uint64_t>(r.PowerOnHours, UINT16_MAX));
        if (NvmeSelfTestFailed(r.Result))
            e.FirstFailingLba = r.FailingLba;
        entries.push_back(e);
    }
    return entries;
}

} // namespace

std::vector<SelfTestKind> OfferedSelfTests(const HDD& drive) {
    if (drive.IsNvme())
        return NvmeHasSelfTest(drive)
                   ? std::vector<SelfTestKind>{SelfTestKind::Short, SelfTestKind::Extended}
                   : std::vector<SelfTestKind>{};
    if (!drive.Reading.PagesRead)
        return {};
    const SelfTestCapabilities caps = DecodeSelfTestCapabilities(drive.Reading.DataPage);
    if (!caps.SelfTest)
        return {};
    std::vector<SelfTestKind> kinds{SelfTestKind::Short, SelfTestKind::Extended};
    if (caps.Conveyance)
        kinds.push_back(SelfTestKind::Conveyance);
    return kinds;
}

const char* SelfTestKindName(SelfTestKind kind) {
    for (const KindRow& row : Kinds)
        if (row.Kind == kind)
            return row.Name;
    return "";
}

const char* SelfTestKindCaption(SelfTestKind kind) {
    for (const KindRow& row : Kinds)
        if (row.Kind == kind)
            return row.Caption;
    return "";
}

std::optional<SelfTestKind> ParseSelfTestKind(const std::string& name) {
    for (const KindRow& row : Kinds)
        if (name == row.Name)
            return row.Kind;
    return std::nullopt;
}

SelfTestStart StartSelfTest(DriveBus& bus, const HDD& drive, SelfTestKind kind) {
    if (kind != SelfTestKind::Abort) {
        const auto offered = OfferedSelfTests(drive);
        if (std::find(offered.begin(), offered.end(), kind) == offered.end())
            return SelfTestStart::NotOffered;
    } else if (drive.IsNvme() && !NvmeHasSelfTest(drive)) {
        return SelfTestStart::NotOffered;
    }
    if (drive.IsNvme()) {
        NvmeAdminCommand cmd = NvmeAdminCommand::DeviceSelfTest(NvmeCode(kind));
        const bool sent = SendNvmeOnce(bus, drive.DriveNumber, cmd);
        if (!sent)
            return SelfTestStart::NotSent;
        return cmd.Status == 0 ? SelfTestStart::Started : SelfTestStart::Refused;
    }
    AtaCommand cmd = AtaCommand::SmartSelfTest(drive.DriveNumber, kind);
    const bool sent = SendOnce(bus, drive.DriveNumber, cmd);
    if (!sent)
        return SelfTestStart::NotSent;
    return AtaSucceeded(sent, cmd) ? SelfTestStart::Started : SelfTestStart::Refused;
}

std::string SelfTestStartText(SelfTestStart result, SelfTestKind kind) {
    const std::string name = SelfTestKindName(kind);
    const bool abort = kind == SelfTestKind::Abort;
    switch (result) {
    case SelfTestStart::Started:
        return abort ? "the self-test was aborted" : "the drive started its " + name + " self-test";
    case SelfTestStart::NotOffered:
        return "the drive offers no " + name + " self-test";
    case SelfTestStart::Refused:
        return abort ? "the drive refused to abort the self-test"
                     : "the drive refused the " + name + " self-test";
    case SelfTestStart::NotSent:
        break;
    }
    return "the command did not reach the drive";
}

std::optional<SelfTestExecution> RunningSelfTest(const HDD& drive) {
    if (drive.IsNvme()) {
        const auto& done = drive.Reading.Logs.NvmeRunningPercent;
        if (!done)
            return std::nullopt;
        return SelfTestExecution{15, 100 - *done};
    }
    if (!drive.Reading.PagesRead)
        return std::nullopt;
    const SelfTestExecution e = DecodeSelfTestExecution(drive.Reading.DataPage);
    if (!e.Running())
        return std::nullopt;
    return e;
}

std::string SelfTestHint(const HDD& drive) {
    const auto running = RunningSelfTest(drive);
    if (!running)
        return {};
    return "self-test " + std::to_string(100 - running->PercentRemaining) + " %";
}

int ExpectedSelfTestMinutes(const HDD& drive, SelfTestKind kind) {
    if (!drive.Reading.PagesRead)
        return 0;
    const SelfTestCapabilities caps = DecodeSelfTestCapabilities(drive.Reading.DataPage);
    switch (kind) {
    case SelfTestKind::Short: return caps.ShortMinutes;
    case SelfTestKind::Extended: return caps.ExtendedMinutes;
    case SelfTestKind::Conveyance: return caps.ConveyanceMinutes;
    case SelfTestKind::Abort: break;
    }
    return 0;
}

std::optional<std::vector<SelfTestEntry>> ReadSelfTestLog(DriveBus& bus, HDD& drive,
                                                          std::string& why) {
    if (drive.IsNvme()) {
        if (!NvmeHasSelfTest(drive)) {
            why = "the controller has no Device Self-test";
            return std::nullopt;
        }
        return ReadNvmeSelfTests(bus, drive, why);
    }
    const auto page = ReadEitherLog(bus, drive, LogSelfTest, LogSelfTestExt, why);
    if (!page)
        return std::nullopt;
    auto entries = DecodeSelfTestLog(page->first, page->second);
    if (!entries)
        why = LogUnreadableText;
    return entries;
}

std::optional<ErrorLog> ReadAtaErrorLog(DriveBus& bus, const HDD& drive, std::string& why) {
    if (drive.IsNvme()) {
        why = "not an ATA drive";
        return std::nullopt;
    }
    const auto page = ReadEitherLog(bus, drive, LogSummaryError, LogComprehensiveErrorExt, why);
    if (!page)
        return std::nullopt;
    auto log = DecodeErrorLog(page->first, page->second);
    if (!log)
        why = LogUnreadableText;
    return log;
}

LogNews FollowDriveLogs(DriveBus& bus, HDD& drive, bool now) {
    LogNews news;
    DriveLogs& logs = drive.Reading.Logs;
    if (NvmeHasSelfTest(drive)) {
        // Nothing in the health log tells of a test: its own log is read at
        // the first read, while a test runs, and now and then.
        if (now || !logs.Known || logs.NvmeRunningPercent ||
            logs.Reads % ErrorLogEveryReads == 0) {
            std::string why;
            if (const auto entries = ReadNvmeSelfTests(bus, drive, why)) {
                const std::optional<SelfTestEntry> newest =
                    entries->empty() ? std::nullopt : std::optional(entries->front());
                news.NewFailedSelfTest = logs.Known && newest && newest != logs.Newest &&
                                         EntryFailed(*newest);
                logs.Newest = newest;
                logs.SelfTests = static_cast<int>(entries->size());
                logs.FailedSelfTests =
                    static_cast<int>(std::count_if(entries->begin(), entries->end(), EntryFailed));
                logs.SelfTestFailing = newest && EntryFailed(*newest);
            }
        }
        logs.Known = true;
        ++logs.Reads;
        return news;
    }
    if (drive.IsNvme() || !drive.Reading.PagesRead)
        return news;
    const auto& page = drive.Reading.DataPage;
    const SelfTestCapabilities caps = DecodeSelfTestCapabilities(page);
    const uint8_t byte = page[363];
    const SelfTestExecution execution = DecodeSelfTestExecution(page);
    const bool telling = execution.Running() || SelfTestFailed(execution.Status);
    std::string why;
    if (caps.SelfTest &&
        (now || (logs.Known ? byte != logs.SelfTestByte : telling))) {
        if (const auto entries = ReadSelfTestLog(bus, drive, why)) {
            const std::optional<SelfTestEntry> newest =
                entries->empty() ? std::nullopt : std::optional(entries->front());
            if (logs.Known && newest && newest != logs.Newest && EntryFailed(*newest))
                news.NewFailedSelfTest = true;
            logs.Newest = newest;
            logs.SelfTests = static_cast<int>(entries->size());
            logs.FailedSelfTests = static_cast<int>(std::count_if(
                entries->begin(), entries->end(),
                EntryFailed));
            logs.SelfTestFailing = newest && EntryFailed(*newest);
        }
    }
    if (caps.ErrorLogging && (now || logs.Reads % ErrorLogEveryReads == 1)) {
        if (const auto log = ReadAtaErrorLog(bus, drive, why)) {
            if (logs.ErrorCount && log->ErrorCount > *logs.ErrorCount)
                logs.ErrorCountBefore = logs.ErrorCount;
            logs.ErrorCount = log->ErrorCount;
        }
    }
    logs.SelfTestByte = byte;
    logs.Known = true;
    ++logs.Reads;
    return news;
}

SelfTestRowState SelfTestRow(const HDD& drive) {
    SelfTestRowState row;
    row.Kinds = OfferedSelfTests(drive);
    const auto running = RunningSelfTest(drive);
    row.CanStart = !row.Kinds.empty() && !running;
    row.CanAbort = running.has_value();
    if (!running)
        return row;
    row.PercentDone = 100 - running->PercentRemaining;
    row.Progress = std::to_string(row.PercentDone) + " %";
    // The drive's estimate for the whole test, scaled to what is left of
    // it and rounded up: a test never shows "0 min" while it runs.
    if (const auto kind = drive.Reading.SelfTestStarted) {
        const int whole = ExpectedSelfTestMinutes(drive, *kind);
        if (const std::string left = TimeLeftText((whole * running->PercentRemaining + 99) / 100);
            !left.empty())
            row.Progress += ", " + left;
    }
    return row;
}

std::string TimeLeftText(int minutes) {
    if (minutes <= 0)
        return {};
    std::string text = "about ";
    if (minutes >= 60)
        text += std::to_string(minutes / 60) + " h ";
    return text + std::to_string(minutes % 60) + " min left";
}

SelfTestLogRow SelfTestLogHeader() {
    return {"#", "Test", "Status", "Remaining", "Hours", "First failing LBA"};
}

SelfTestLogRow SelfTestLogRowOf(int number, const SelfTestEntry& e) {
    // An NVMe result keeps no percent remaining.
    return {std::to_string(number),
            EntryKindText(e),
            EntryStatusText(e),
            e.Nvme ? "-" : std::to_string(e.PercentRemaining) + " %",
            std::to_string(e.PowerOnHours),
            e.FirstFailingLba ? std::to_string(*e.FirstFailingLba) : "-"};
}

void ShowSelfTests(ProgramData& data, DriveBus& bus, int slot, bool readLog) {
    SelfTestScreen& screen = data.Screen.Smart.SelfTests;
    if (!data.IsDriveSlot(slot)) {
        screen = SelfTestScreen{};
        return;
    }
    HDD& drive = data.Drives[slot];
    const bool otherDrive = screen.Slot != slot;
    const bool wasRunning = !otherDrive && screen.Row.CanAbort;
    if (otherDrive)
        screen = SelfTestScreen{};
    screen.Slot = slot;
    const auto readTheLog = [&] {
        screen.Log.clear();
        screen.LogNote.clear();
        if (OfferedSelfTests(drive).empty())
            return; // no log to read where no test is offered
        std::string why;
        const auto entries = ReadSelfTestLog(bus, drive, why);
        if (!entries) {
            screen.LogNote = why;
            return;
        }
        for (size_t i = 0; i < entries->size(); ++i)
            screen.Log.push_back(SelfTestLogRowOf(static_cast<int>(i) + 1, (*entries)[i]));
    };
    // An NVMe controller tells of a running test in that log, so it is read
    // before the row is made.
    if (readLog)
        readTheLog();
    screen.Row = SelfTestRow(drive);
    if (!readLog && wasRunning && !screen.Row.CanAbort)
        readTheLog(); // the test ended: its entry is new
    if (screen.Row.CanAbort)
        screen.Note.clear(); // a test runs: the bar says so
}

SelfTestStart StartSelfTestOnScreen(ProgramData& data, DriveBus& bus, int slot,
                                    SelfTestKind kind) {
    if (!data.IsDriveSlot(slot))
        return SelfTestStart::NotSent;
    HDD& drive = data.Drives[slot];
    const SelfTestStart result = StartSelfTest(bus, drive, kind);
    const bool started = result == SelfTestStart::Started && kind != SelfTestKind::Abort;
    if (started)
        drive.Reading.SelfTestStarted = kind;
    SelfTestScreen& screen = data.Screen.Smart.SelfTests;
    if (screen.Slot == slot)
        screen.Note = started ? std::string() : SelfTestStartText(result, kind);
    return result;
}

std::string SelfTestEntryText(const SelfTestEntry& e) {
    std::string text = EntryKindText(e) + ", " + EntryStatusText(e) + ", ";
    if (!e.Nvme)
        text += std::to_string(e.PercentRemaining) + " % remaining, ";
    text += std::to_string(e.PowerOnHours) + " h";
    if (e.FirstFailingLba)
        text += ", first failing LBA " + std::to_string(*e.FirstFailingLba);
    return text;
}

std::string ErrorLogEntryText(const ErrorLogEntry& e) {
    char regs[160];
    std::snprintf(regs, sizeof regs,
                  "command 0x%02X (features 0x%02X, count %u, LBA %llu, device 0x%02X), "
                  "error 0x%02X, status 0x%02X",
                  e.Command, e.Features, e.SectorCount, static_cast<unsigned long long>(e.Lba),
                  e.Device, e.Error, e.Status);
    return "at " + std::to_string(e.PowerOnHours) + " h: " + regs + ", " + ErrorStateText(e.State);
}

} // namespace quorvane

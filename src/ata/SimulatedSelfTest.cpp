// The simulated drives' self-tests and logs (SimulatedBus.h).
#include <numeric>

#include "ata/SimulatedBus.h"

namespace quorvane {
namespace fs = std::filesystem;

namespace {

constexpr size_t SelfTestByte = 363;
constexpr size_t SelfTestIndexByte = 508;
constexpr size_t SelfTestEntries = 21;
constexpr size_t SelfTestEntrySize = 24;

// Byte 511 makes the sector sum to 0.
void Seal(SectorBuffer& page) {
    page[511] = 0;
    const unsigned sum = std::accumulate(page.begin(), page.end(), 0u);
    page[511] = static_cast<uint8_t>(256 - sum % 256);
}

SectorBuffer EmptyLog() {
    SectorBuffer page{};
    page[0] = 1; // revision
    Seal(page);
    return page;
}

// The SMART log directory: revision 1, one page each of logs 01h and 06h.
SectorBuffer DefaultDirectory() {
    SectorBuffer page{};
    page[0] = 1;
    page[2 * LogSummaryError] = 1;
    page[2 * LogSelfTest] = 1;
    return page;
}

void Complete(AtaCommand& cmd) {
    cmd.TaskFile.Features = 0;
    cmd.TaskFile.Command = StatusDrdy | StatusDsc;
}

void Abort(AtaCommand& cmd) {
    cmd.TaskFile.Features = ErrorAbrt;
    cmd.TaskFile.Command = StatusDrdy | StatusDsc | StatusErr;
}

// A new entry in the self-test log after the one the index names.
void AppendEntry(SectorBuffer& log, uint8_t subcommand, uint8_t status, uint8_t remaining,
                 uint16_t hours, uint32_t lba) {
    const size_t index = log[SelfTestIndexByte] % SelfTestEntries + 1;
    uint8_t* e = log.data() + 2 + (index - 1) * SelfTestEntrySize;
    std::fill(e, e + SelfTestEntrySize, 0);
    e[0] = subcommand;
    e[1] = static_cast<uint8_t>(status << 4 | remaining);
    e[2] = static_cast<uint8_t>(hours);
    e[3] = static_cast<uint8_t>(hours >> 8);
    for (int i = 0; i < 4; ++i)
        e[5 + i] = static_cast<uint8_t>(lba >> (8 * i));
    log[SelfTestIndexByte] = static_cast<uint8_t>(index);
    Seal(log);
}

// The power-on hours attribute's raw value, for the log's time stamp.
uint16_t PowerOnHours(const std::optional<SectorBuffer>& data) {
    if (!data)
        return 0;
    for (size_t k = 0; k < 30; ++k) {
        const uint8_t* slot = data->data() + 2 + k * 12;
        if (slot[0] == 9)
            return static_cast<uint16_t>(slot[5] | slot[6] << 8);
    }
    return 0;
}


} // namespace

void SimulatedBus::LoadSelfTest(Drive& drive, const IniFile* ini) {
    const fs::path folder = drive.Folder;
    SelfTestState& t = drive.SelfTest;
    t.Log = LoadPage(folder / "selftest-log.bin", "the self-test log reads as unreadable");
    if (!t.Log && !fs::exists(folder / "selftest-log.bin"))
        t.Log = EmptyLog();
    t.ErrorLog = LoadPage(folder / "smart-error-log.bin", "the error log reads as unreadable");
    if (!t.ErrorLog && !fs::exists(folder / "smart-error-log.bin"))
        t.ErrorLog = EmptyLog();
    t.Directory = LoadPage(folder / "log-directory.bin", "the log directory is aborted");
    if (!t.Directory && !fs::exists(folder / "log-directory.bin"))
        t.Directory = DefaultDirectory();
    if (!ini)
        return;
    t.Fail = ini->Get("drive", "selftest").value_or("ok") == "fail";
    if (auto steps = ParseDriveIniNumber(ini->Get("drive", "selftest-steps").value_or("")))
        t.Steps = static_cast<int>(std::min<uint64_t>(*steps, 100));
    if (auto lba = ParseDriveIniNumber(ini->Get("drive", "selftest-lba").value_or("")))
        t.FailLba = *lba & 0x0FFFFFFF;
}

void SimulatedBus::AnswerSelfTest(Drive& drive, AtaCommand& cmd) {
    SelfTestState& t = drive.SelfTest;
    const uint8_t sub = cmd.TaskFile.LbaLow;
    const bool supported = drive.SmartData && ((*drive.SmartData)[367] & 0x10);
    if (!supported || !t.Log)
        return Abort(cmd);
    if (sub == static_cast<uint8_t>(SelfTestKind::Abort)) {
        if (t.Running) {
            t.Running = false;
            (*drive.SmartData)[SelfTestByte] = 0x10; // aborted by the host
            AppendEntry(*t.Log, t.Subcommand, 1, static_cast<uint8_t>(t.StepsLeft ? 9 : 0),
                        PowerOnHours(drive.SmartData), 0xFFFFFFFF);
        }
        return Complete(cmd);
    }
    if (sub == static_cast<uint8_t>(SelfTestKind::Conveyance) && !((*drive.SmartData)[367] & 0x20))
        return Abort(cmd);
    t.Running = true;
    t.Subcommand = sub;
    t.StepsLeft = std::max(t.Steps, 1);
    (*drive.SmartData)[SelfTestByte] = 0xF9; // in progress, 90 % to go
    Complete(cmd);
}

// Each SMART READ DATA of a running test is a step of it; the last one ends it.
void SimulatedBus::StepSelfTest(Drive& drive) {
    SelfTestState& t = drive.SelfTest;
    if (!t.Running || !drive.SmartData)
        return;
    --t.StepsLeft;
    if (t.StepsLeft > 0) {
        const int remaining = 9 * t.StepsLeft / std::max(t.Steps, 1);
        (*drive.SmartData)[SelfTestByte] = static_cast<uint8_t>(0xF0 | std::max(remaining, 1));
        return;
    }
    t.Running = false;
    const uint8_t status = t.Fail ? 7 : 0; // a read failure, or none
    (*drive.SmartData)[SelfTestByte] = static_cast<uint8_t>(status << 4);
    AppendEntry(*t.Log, t.Subcommand, status, t.Fail ? 6 : 0, PowerOnHours(drive.SmartData),
                t.Fail ? static_cast<uint32_t>(t.FailLba) : 0xFFFFFFFF);
}

void SimulatedBus::AnswerReadLog(Drive& drive, AtaCommand& cmd) {
    const SelfTestState& t = drive.SelfTest;
    const std::optional<SectorBuffer>* page = nullptr;
    switch (cmd.TaskFile.LbaLow) {
    case LogDirectory: page = &t.Directory; break;
    case LogSummaryError: page = &t.ErrorLog; break;
    case LogSelfTest: page = &t.Log; break;
    default: break;
    }
    if (!page || !*page || !cmd.IsDataIn())
        return Abort(cmd);
    cmd.Data = **page;
    Complete(cmd);
}

} // namespace quorvane

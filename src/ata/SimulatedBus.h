// Simulated drives read from a drive directory: folder driveN is drive number
// N and holds the pages the drive returns (identify.bin, smart-data.bin,
// smart-thresholds.bin, 512 bytes each; a file of another size counts as
// missing and is named in Problems()), optionally disk.img (sectors) and
// drive.ini:
//
//   [drive]
//   status = ok | exceeded       what SMART RETURN STATUS answers
//   native-max = LBA             READ NATIVE MAX ADDRESS EXT, decimal or 0x hex
//                                (default, also for a bad value: sectors - 1)
//   fail = name, name...         the request itself fails
//   abort = name, name...        the drive answers with ERR and ABRT
//   delay-ms = N                 every command takes N milliseconds
//   log = FILE                   every command the drive receives appends a
//                                line with its name (or its command byte in
//                                hex) to FILE, relative to the drive's folder,
//                                so that another process can watch the drive
//   raise-raw = ID RAW N         from the Nth SMART READ DATA on (the scan's
//                                read counts), attribute ID (hex, 05 or 0x05)
//                                answers the raw value RAW: a sector counter
//                                that rises while the program watches
//   power = active | idle | standby | sleep
//                                the power mode (default active), answered
//                                by CHECK POWER MODE in Sector Count: 0xFF
//                                active, 0x80 idle, 0x00 standby
//
// Self-tests and logs: SMART READ LOG answers the log directory (address 0,
// from log-directory.bin, else one listing logs 01h and 06h), the summary
// error log (smart-error-log.bin, else an empty log) and the self-test log
// (selftest-log.bin, else an empty log); READ LOG EXT is aborted. SMART
// EXECUTE OFF-LINE IMMEDIATE starts a test, which lasts `selftest-steps`
// SMART READ DATAs (default 3), the data page's byte 363 counting down, and
// ends as `selftest` says (ok, or fail: a read failure at `selftest-lba`),
// with an entry in the self-test log; an abort (127) ends it as aborted by
// the host. A running test's state lives for the bus's lifetime.
//
// A folder whose drive.ini says `kind = nvme` holds an NVMe controller
// instead: identify-ctrl.bin and identify-ns.bin (4096 bytes each) and
// smart-log.bin (512 bytes), optionally error-log.bin (whole 64-byte
// entries, at most 64), answered to Identify and Get Log Page. The
// controllers are numbered in the order of their folders (the first is
// nvme0), apart from the ATA drives' numbers. Its drive.ini keys are fail,
// abort, delay-ms and log with the names identify-ctrl, identify-ns,
// smart-log and error-log, and
//
//   critical-warning = N         the log's critical warning byte (read
//                                again whenever drive.ini changes)
//   temperature = K              the composite temperature in kelvin
//
// A controller whose Identify lists Device Self-test (OACS bit 4) runs one
// for `selftest-steps` reads of its self-test log (default 3) and logs it
// as passed, or, with `selftest = fail`, as a failed segment at
// `selftest-lba`; without the bit it answers Invalid Command Opcode, as
// QEMU's does.
//
// SET FEATURES keeps the AAM and APM state in the IDENTIFY words (86, 91, 94)
// for the bus's lifetime and is aborted for a feature word 83 does not list.
//
// The names are smart-enable, identify, smart-status, smart-read-data,
// smart-read-thresholds, auto-offline, autosave, read-native-max,
// set-features, read-sectors and check-power-mode.
//
// An idle or standby drive spins up (becomes active) for every command but
// CHECK POWER MODE and IDENTIFY DEVICE, which a drive answers from its
// electronics. A sleeping drive does not listen: the first command it gets,
// whichever it is, does not go through (the request fails, as it does when
// the host must reset the drive to reach it), and that reset leaves it in
// standby, where it answers like a standby drive. The power key is read again
// whenever drive.ini changes, so a running program sees a drive go to
// standby or wake up. The bus learns of a change from inotify (one read on
// one descriptor before a command, nothing read when nothing changed); where
// the folder cannot be watched it compares drive.ini's time before every
// command instead.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ata/DeviceNames.h"
#include "ata/DriveBus.h"
#include "ata/PowerMode.h"
#include "platform/IniFile.h"

namespace quorvane {

// drive.ini's raise-raw.
struct SimulatedBusRaise {
    uint8_t Id = 0;
    uint64_t Raw = 0;
    uint64_t FromRead = 1;
};

class SimulatedBus final : public DriveBus {
public:
    explicit SimulatedBus(std::string directory);
    ~SimulatedBus() override;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
    std::unique_ptr<DriveHandle> OpenNvme(unsigned controller) override;
    bool IsSimulated() const override { return true; }
    // A simulated drive is there or not; nothing is refused.
    bool PermissionDenied() const override { return false; }
    std::string Describe() const override;
    std::vector<std::string> Problems() const override { return problems_; }

    // One command as the drive received it.
    struct SentCommand {
        unsigned DriveNumber;
        AtaRegisters TaskFile;
        AtaRegisters PreviousTaskFile;
        uint8_t Flags;
    };
    // The last SentLogLimit commands, oldest first: a program that runs for
    // days on simulated drives keeps a log of bounded size.
    static constexpr size_t SentLogLimit = 4096;
    const std::deque<SentCommand>& SentCommands() const { return sent_; }
    // Every command sent since the bus was made, also those the log let go.
    uint64_t SentTotal() const { return sentTotal_; }
    int OpenCount() const { return opens_; }
    int CloseCount() const { return closes_; }
    int OpenHandles() const { return opens_ - closes_; }

private:
    class Handle;
    class NvmeHandle;
    // The pages and state of an NVMe controller's folder.
    struct NvmeState {
        std::optional<std::vector<uint8_t>> IdentifyController, IdentifyNamespace, HealthLog;
        std::vector<uint8_t> ErrorLog; // whole entries; empty: one empty entry
        std::optional<uint8_t> CriticalWarning;
        std::optional<uint16_t> TemperatureK;
        // The Device Self-test log, kept when Identify's OACS lists the
        // command: a test runs for selftest-steps log reads.
        std::vector<uint8_t> SelfTestLog;
        int SelfTestStepsLeft = 0;
    };
    // A self-test the drive runs, and the logs it keeps.
    struct SelfTestState {
        bool Running = false;
        uint8_t Subcommand = 0;
        int StepsLeft = 0;
        int Steps = 3;
        bool Fail = false;
        uint64_t FailLba = 0x1234;
        std::optional<SectorBuffer> Log, ErrorLog, Directory;
    };
    struct Drive {
        std::string Folder;
        std::optional<SectorBuffer> Identify, SmartData, SmartThresholds;
        bool StatusExceeded = false;
        std::optional<uint64_t> NativeMax;
        std::set<std::string> Fail, Abort;
        int DelayMs = 0;
        std::string LogFile; // empty: no log file
        PowerMode Power = PowerMode::Active;
        std::string IniPath;                       // the folder's drive.ini
        std::filesystem::file_time_type IniTime{}; // drive.ini as last read
        std::optional<NvmeState> Nvme;              // set for an NVMe controller's folder
        SelfTestState SelfTest;
        std::optional<SimulatedBusRaise> Raise; // raise-raw
        uint64_t DataReads = 0;          // SMART READ DATA answered so far
        int IniWatch = -1;       // the folder's inotify watch; -1: the time is compared
        bool IniChanged = false; // an event for drive.ini came since it was last read
    };
    void WatchIni(Drive& drive);
    // True when drive.ini may differ from what was last read of it.
    bool IniChanged(Drive& drive);
    void TakeIniEvents();
    void ReloadPower(Drive& drive);
    Drive* Load(unsigned driveNumber);
    // effect: what the drive does without the page, for the problem text.
    std::optional<SectorBuffer> LoadPage(const std::filesystem::path& path,
                                         const std::string& effect);
    // A page file of exactly `size` bytes (or, with entrySize, whole entries
    // up to size); nullopt and a problem for anything else.
    std::optional<std::vector<uint8_t>> LoadBytes(const std::filesystem::path& path, size_t size,
                                                  const std::string& effect, size_t entrySize = 0);
    void LoadNvme(Drive& drive, const std::string& name);
    void ReloadNvme(Drive& drive);
    bool ExecuteNvme(Drive& drive, NvmeAdminCommand& cmd);
    static bool AnswerNvmeSelfTest(Drive& drive, NvmeAdminCommand& cmd);
    static void LogNvmeResult(Drive& drive, uint8_t result);
    // The folder numbers of the NVMe controllers, found on first use.
    const std::vector<unsigned>& NvmeFolders();
    // A command's answer: false when it did not come back (a fault or a
    // drive asleep), else the registers (and data) it answered with.
    bool Execute(Drive& drive, AtaCommand& cmd);
    bool Intercept(Drive& drive, AtaCommand& cmd, bool& sent);
    static void AnswerPage(const std::optional<SectorBuffer>& page, AtaCommand& cmd);
    static void AnswerData(Drive& drive, AtaCommand& cmd);
    static void AnswerSmart(Drive& drive, AtaCommand& cmd);
    static void AnswerNativeMax(const Drive& drive, AtaCommand& cmd);
    static void AnswerSetFeatures(Drive& drive, AtaCommand& cmd);
    static void AnswerReadSector(const Drive& drive, AtaCommand& cmd);
    void LoadSelfTest(Drive& drive, const IniFile* ini);
    static void AnswerSelfTest(Drive& drive, AtaCommand& cmd);
    static void AnswerReadLog(Drive& drive, AtaCommand& cmd);
    static void StepSelfTest(Drive& drive);

    std::string directory_;
    int inotify_ = -1; // watches the loaded drives' folders; -1: none
    std::map<unsigned, Drive> drives_; // loaded on first open; SET FEATURES state lives here
    std::optional<std::vector<unsigned>> nvmeFolders_;
    std::vector<std::string> problems_;
    std::deque<SentCommand> sent_;
    uint64_t sentTotal_ = 0;
    int opens_ = 0;
    int closes_ = 0;
};

// The name a simulated drive.ini uses for a command (empty when unknown).
std::string SimulatedCommandName(const AtaCommand& cmd);

// A drive.ini number: decimal, or hexadecimal after "0x". A leading zero
// does not make it octal and a sign is no number: "0100" is 100, "-1" is
// rejected.
std::optional<uint64_t> ParseDriveIniNumber(const std::string& text);

} // namespace quorvane

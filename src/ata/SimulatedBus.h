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
//   power = active | idle | standby | sleep
//                                the power mode (default active), answered
//                                by CHECK POWER MODE in Sector Count: 0xFF
//                                active, 0x80 idle, 0x00 standby
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

namespace quorvane {

class SimulatedBus final : public DriveBus {
public:
    explicit SimulatedBus(std::string directory);
    ~SimulatedBus() override;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
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
    // A command's answer: false when it did not come back (a fault or a
    // drive asleep), else the registers (and data) it answered with.
    bool Execute(Drive& drive, AtaCommand& cmd);
    bool Intercept(Drive& drive, AtaCommand& cmd, bool& sent);
    static void AnswerPage(const std::optional<SectorBuffer>& page, AtaCommand& cmd);
    static void AnswerSmart(Drive& drive, AtaCommand& cmd);
    static void AnswerNativeMax(const Drive& drive, AtaCommand& cmd);
    static void AnswerSetFeatures(Drive& drive, AtaCommand& cmd);
    static void AnswerReadSector(const Drive& drive, AtaCommand& cmd);

    std::string directory_;
    int inotify_ = -1; // watches the loaded drives' folders; -1: none
    std::map<unsigned, Drive> drives_; // loaded on first open; SET FEATURES state lives here
    std::vector<std::string> problems_;
    std::deque<SentCommand> sent_;
    uint64_t sentTotal_ = 0;
    int opens_ = 0;
    int closes_ = 0;
};

// The name a simulated drive.ini uses for a command (empty when unknown).
std::string SimulatedCommandName(const AtaCommand& cmd);

} // namespace quorvane

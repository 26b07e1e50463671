// Simulated drives read from a drive directory: folder driveN is drive number
// N and holds the pages the drive returns (identify.bin, smart-data.bin,
// smart-thresholds.bin), optionally disk.img (sectors) and drive.ini:
//
//   [drive]
//   status = ok | exceeded       what SMART RETURN STATUS answers
//   native-max = LBA             READ NATIVE MAX ADDRESS EXT, decimal or 0x hex
//                                (default, also for a bad value: sectors - 1)
//   fail = name, name...         the request itself fails
//   abort = name, name...        the drive answers with ERR and ABRT
//   delay-ms = N                 every command takes N milliseconds
//
// The names are smart-enable, identify, smart-status, smart-read-data,
// smart-read-thresholds, auto-offline, autosave, read-native-max,
// set-features and read-sectors.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drive/DriveBus.h"
#include "drive/DriveTable.h"

namespace quorvane {

class SimulatedBus final : public DriveBus {
public:
    explicit SimulatedBus(std::string directory);

    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
    bool IsSimulated() const override { return true; }
    std::string Describe() const override;

    // One command as the drive received it.
    struct SentCommand {
        unsigned DriveNumber;
        AtaRegisters TaskFile;
        AtaRegisters PreviousTaskFile;
        uint8_t Flags;
    };
    const std::vector<SentCommand>& SentCommands() const { return sent_; }
    int OpenCount() const { return opens_; }
    int CloseCount() const { return closes_; }
    int OpenHandles() const { return opens_ - closes_; }

private:
    class Handle;
    struct Drive {
        std::string Folder;
        std::optional<SmartPage> Identify, SmartData, SmartThresholds;
        bool StatusExceeded = false;
        std::optional<uint64_t> NativeMax;
        std::set<std::string> Fail, Abort;
        int DelayMs = 0;
    };
    Drive* Load(unsigned driveNumber);
    bool Execute(Drive& drive, AtaCommand& cmd);

    std::string directory_;
    std::map<unsigned, Drive> drives_; // loaded on first open; SET FEATURES state lives here
    std::vector<SentCommand> sent_;
    int opens_ = 0;
    int closes_ = 0;
};

// The name a simulated drive.ini uses for a command (empty when unknown).
std::string SimulatedCommandName(const AtaCommand& cmd);

} // namespace quorvane

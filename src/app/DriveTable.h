// The drive slots and the program-wide tables that go with them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ata/DriveBus.h"
#include "ata/DeviceNames.h"
#include "ata/PowerMode.h"
#include "app/ScreenState.h"
#include "nvme/NvmeHealth.h"
#include "nvme/NvmeIdentify.h"
#include "smart/SelfTestLog.h"

namespace quorvane {

inline constexpr int MaxDrives = 6;
using SmartPage = SectorBuffer;

// The self-test and error logs as the ticks last read them.
struct DriveLogs {
    bool Known = false;          // read once since the scan
    uint8_t SelfTestByte = 0;    // the data page's byte 363 at the last read
    uint64_t Reads = 0;          // the ticks that followed the logs
    std::optional<SelfTestEntry> Newest;
    int SelfTests = 0;           // entries in the self-test log
    int FailedSelfTests = 0;
    bool SelfTestFailing = false; // the newest entry is a failure
    std::optional<uint32_t> ErrorCount;
    std::optional<uint32_t> ErrorCountBefore; // the count before it last rose
    // An NVMe controller's test under way: its percent done, as its
    // self-test log last said.
    std::optional<int> NvmeRunningPercent;
};

// What a slot's own reads left behind, kept per drive (the program-wide pages
// hold only the drive read last): the pages of its last read that brought
// both, how many of its reads failed, and its last answered power mode.
struct DriveReading {
    bool PagesRead = false;
    SmartPage DataPage{};
    SmartPage ThresholdPage{};
    uint64_t ReadFailures = 0; // reads that could not open the drive or lost a command
    PowerMode Power = PowerMode::Unknown;
    // What the last read lost, for the user ("the S.M.A.R.T. data could not
    // be read"); empty when it lost nothing.
    std::string LastFailure;
    // The page that did not come ("smart-data", "smart-thresholds",
    // "health-log"); empty when none was asked for (the drive did not open).
    std::string LastFailurePage;
    // An NVMe controller's last health log that came.
    std::optional<NvmeHealthLog> NvmeHealth;
    // What the ticks know of an ATA drive's own logs (FollowDriveLogs).
    DriveLogs Logs;
    // The kind of self-test this program last started on the drive, for the
    // time a running one has left (the data page does not say the kind).
    std::optional<SelfTestKind> SelfTestStarted;
};

// What kind of device a slot holds: the commands it takes and the pages it
// answers with. ATA disks through SCSI/ATA pass-through, and NVMe
// controllers through the admin pass-through (DriveNumber is then the
// controller's number, /dev/nvmeN).
enum class DriveKind : uint8_t { Ata, Nvme };

// What an NVMe controller told of itself at the scan.
struct NvmeDriveInfo {
    NvmeControllerIdentity Controller;
    std::optional<NvmeNamespaceIdentity> Namespace; // none: namespace 1 did not answer
};

// One drive slot. Its tray icon's switch and colours are settings
// (Settings::Tray), kept by slot.
struct HDD {
    DriveKind Kind = DriveKind::Ata;
    uint8_t DriveNumber = 0;
    char Vendor = '\0';
    std::string SerialNumber;
    std::string FirmwareRevision;
    std::string ModelNumber;
    bool LBA48 = false;
    bool SMARTEnabled = false;
    int64_t Sectors = 0;
    int64_t SizeGB = 0; // wide enough for any count words 100-103 can hold
    int32_t Temperature = 0;
    bool SMARTStatusOK = false;
    bool SMARTStatusRead = false; // a RETURN STATUS has been answered since the scan
    bool HPA = false;
    int64_t HPASizeMB = -1;
    int64_t HPASectors = -1; // the hidden sectors HPASizeMB is rounded from; -1 unmeasured
    bool Security = false;
    bool SizeKnown = true; // false for an NVMe drive that told no size
    std::optional<NvmeDriveInfo> Nvme; // set exactly for DriveKind::Nvme
    DriveReading Reading; // cleared by the scan

    bool IsNvme() const { return Kind == DriveKind::Nvme; }
};

// The kernel's name of a slot's device: "sda", "nvme0".
std::string DeviceName(const HDD& drive);
// The size caption: GB, or "..." when the drive told none.
std::string DriveSizeText(const HDD& drive);
// Opens a slot's device by its kind.
std::unique_ptr<DriveHandle> OpenSlotDevice(DriveBus& bus, const HDD& drive);

// Slots are numbered 1..6; there is no slot 0.
class DriveTable {
public:
    static constexpr bool IsSlot(int slot) { return slot >= 1 && slot <= MaxDrives; }
    // slot must be 1..6 (checked: a bad slot is a programming error).
    HDD& operator[](int slot) { return slots_.at(static_cast<size_t>(slot - 1)); }
    const HDD& operator[](int slot) const { return slots_.at(static_cast<size_t>(slot - 1)); }

private:
    std::array<HDD, MaxDrives> slots_{};
};

// The program-wide data: one instance, owned by the program and passed by
// reference, so a test builds a fresh one in a line.
struct ProgramData {
    DriveTable Drives;
    int DriveCount = 0;
    SmartPage SMARTDataPage{};
    SmartPage SMARTThresholdPage{};
    bool ExitRequested = false;
    // What the windows show of the selected drive.
    ScreenState Screen;

    // A slot that holds a drive found by the last scan.
    bool IsDriveSlot(int slot) const { return slot >= 1 && slot <= DriveCount; }
};

} // namespace quorvane

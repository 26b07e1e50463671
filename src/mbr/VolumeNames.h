// Where the system makes a partition reachable: its drive letter and, on
// Linux, which has no drive letters, its mount points.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ata/DriveBus.h"

namespace quorvane {

// The port to the system's table of mounted volumes. Partition s of drive
// number N is the system's partition number s of that drive.
class VolumeNames {
public:
    virtual ~VolumeNames() = default;
    // 'A'..'Z', or a space when the partition has no letter.
    virtual char DosLetter(unsigned driveNumber, int partition) const = 0;
    // The directories the partition is mounted on, in the system's order.
    virtual std::vector<std::string> MountPoints(unsigned driveNumber, int partition) const = 0;
};

// The drive letter of partition s of drive N: a space when there is none.
char FindDosLetter(const VolumeNames& names, unsigned driveNumber, int partition);

// Simulated drives are mounted nowhere.
class NoVolumeNames final : public VolumeNames {
public:
    char DosLetter(unsigned, int) const override { return ' '; }
    std::vector<std::string> MountPoints(unsigned, int) const override { return {}; }
};

// Linux: no drive letters; the mount points come from a mountinfo file
// (/proc/self/mountinfo), matched by the partition's device /dev/sdXN
// (drive number 0 is /dev/sda) or by that device's major:minor number.
class LinuxVolumeNames final : public VolumeNames {
public:
    explicit LinuxVolumeNames(std::string mountInfoPath = "/proc/self/mountinfo",
                              std::string deviceDir = "/dev");
    char DosLetter(unsigned, int) const override { return ' '; }
    std::vector<std::string> MountPoints(unsigned driveNumber, int partition) const override;

private:
    std::string mountInfoPath_;
    std::string deviceDir_;
};

// The device name of partition s of drive N: "sdb1" for drive 1, partition 1.
std::string PartitionDeviceName(unsigned driveNumber, int partition);

// The mount points of a device in mountinfo text: every line whose source is
// devicePath or whose major:minor equals deviceNumber. Escaped characters
// (\040 for a space) are restored. Lines that do not parse are skipped.
std::vector<std::string> MountPointsOf(std::string_view mountInfo, const std::string& devicePath,
                                       std::optional<std::pair<unsigned, unsigned>> deviceNumber);

// The names that go with a bus: none for simulated drives, the system's
// mount table for real ones.
std::unique_ptr<VolumeNames> MakeVolumeNames(const DriveBus& bus);

} // namespace quorvane

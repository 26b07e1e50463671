// Which device node a drive number names, held once for every bus.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorvane {

// Drive numbers 0..15: the disks sda..sdp.
inline constexpr unsigned MaxDriveNumber = 15;

// One 512-byte sector, the size of every page a drive hands over (IDENTIFY,
// S.M.A.R.T. data and thresholds, a sector of the disk).
using SectorBuffer = std::array<uint8_t, 512>;

// The letter of drive N: 'a' for 0. driveNumber must be at most
// MaxDriveNumber.
constexpr char DriveLetter(unsigned driveNumber) {
    return static_cast<char>('a' + driveNumber);
}

// The kernel's name of drive N: "sda" for 0.
inline std::string KernelDriveName(unsigned driveNumber) {
    return std::string("sd") + DriveLetter(driveNumber);
}

// The device node of drive N: "/dev/sda" for 0.
inline std::string DriveDevicePath(unsigned driveNumber) {
    return "/dev/" + KernelDriveName(driveNumber);
}

} // namespace quorvane

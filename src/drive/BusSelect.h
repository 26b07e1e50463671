#pragma once

#include <memory>
#include <string>

#include "drive/DriveBus.h"

namespace quorvane {

// The composition root's choice of drives: the drive directory given, else
// the one named by QUORVANE_DRIVES, else the real drives.
std::unique_ptr<DriveBus> MakeDriveBus(const std::string& drivesDir);

inline constexpr const char* DrivesEnvironmentVariable = "QUORVANE_DRIVES";

} // namespace quorvane

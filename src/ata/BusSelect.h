#pragma once

#include <memory>
#include <string>

#include "ata/DriveBus.h"

namespace quorvane {

// The composition root's choice of drives, made once: the simulated drives of
// the drive directory given or of QUORVANE_DRIVES; else the real drives
// directly when this process may open them; else through the privileged
// helper when the system bus has it; else directly (which finds nothing and
// notes the missing permission).
std::unique_ptr<DriveBus> MakeDriveBus(const std::string& drivesDir);

// The same choice without the helper (the helper's own drives).
std::unique_ptr<DriveBus> MakeLocalDriveBus(const std::string& drivesDir);

inline constexpr const char* DrivesEnvironmentVariable = "QUORVANE_DRIVES";

} // namespace quorvane

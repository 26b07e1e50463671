// What a device command gives access to, for the privileged helper's
// authorisation. Shared by the ATA and the NVMe command tables.
#pragma once

#include <cstdint>

namespace quorvane {

// Reading identity, S.M.A.R.T. state and logs, changing the drive's AAM/APM
// features, reading raw sectors (which shows any file's bytes), and starting
// or aborting a drive's self-test.
enum class CommandAccess : uint8_t { ReadSmart, SetFeatures, ReadSectors, RunSelfTest };

} // namespace quorvane

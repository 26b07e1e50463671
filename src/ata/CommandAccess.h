// What a device command gives access to, for the privileged helper's
// authorisation. Shared by the ATA and the NVMe command tables.
#pragma once

#include <cstdint>

namespace quorvane {

// Reading identity and S.M.A.R.T. state, changing the drive's AAM/APM
// features, and reading raw sectors (which shows any file's bytes).
enum class CommandAccess : uint8_t { ReadSmart, SetFeatures, ReadSectors };

} // namespace quorvane

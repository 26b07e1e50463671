#include "drive/BusSelect.h"

#include <cstdlib>

#include "drive/LinuxSgBus.h"
#include "drive/SimulatedBus.h"

namespace quorvane {

std::unique_ptr<DriveBus> MakeDriveBus(const std::string& drivesDir) {
    if (!drivesDir.empty())
        return std::make_unique<SimulatedBus>(drivesDir);
    if (const char* env = std::getenv(DrivesEnvironmentVariable); env && *env)
        return std::make_unique<SimulatedBus>(env);
    return std::make_unique<LinuxSgBus>();
}

} // namespace quorvane

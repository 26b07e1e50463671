#include "ata/BusSelect.h"

#include <cstdlib>
#include <linux/capability.h>
#include <sys/syscall.h>

#include "ata/HelperBus.h"
#include "ata/LinuxSgBus.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

bool HasCapability(unsigned capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, caps) != 0)
        return false;
    return (caps[capability / 32].effective & (1u << (capability % 32))) != 0;
}

// The simulated drives asked for, if any.
std::unique_ptr<DriveBus> SimulatedDrives(const std::string& drivesDir) {
    if (!drivesDir.empty())
        return std::make_unique<SimulatedBus>(drivesDir);
    if (const char* env = std::getenv(DrivesEnvironmentVariable); env && *env)
        return std::make_unique<SimulatedBus>(env);
    return nullptr;
}

} // namespace

std::unique_ptr<DriveBus> MakeLocalDriveBus(const std::string& drivesDir) {
    if (auto simulated = SimulatedDrives(drivesDir))
        return simulated;
    return std::make_unique<LinuxSgBus>();
}

std::unique_ptr<DriveBus> MakeDriveBus(const std::string& drivesDir) {
    if (auto simulated = SimulatedDrives(drivesDir))
        return simulated;
    // Pass-through needs CAP_SYS_RAWIO and read access to every drive device
    // there is; NVMe admin commands need CAP_SYS_ADMIN as well, whatever the
    // node's mode. The devices are opened once here and the first scan takes
    // those descriptors, so no node is opened twice to find this out; and
    // the system bus is only asked for the helper when a device refused.
    auto direct = std::make_unique<LinuxSgBus>();
    if (HasCapability(CAP_SYS_RAWIO) && direct->OpenAll() &&
        (direct->NvmeControllersOpened() == 0 || HasCapability(CAP_SYS_ADMIN)))
        return direct;
    if (auto helper = HelperBus::Find())
        return helper;
    return direct;
}

} // namespace quorvane

#include "ata/BusSelect.h"
#include "ata/DeviceNames.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ata/HelperBus.h"
#include "ata/LinuxSgBus.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

bool HasRawIo() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, caps) != 0)
        return false;
    return (caps[CAP_SYS_RAWIO / 32].effective & (1u << (CAP_SYS_RAWIO % 32))) != 0;
}

// Pass-through needs CAP_SYS_RAWIO and read access to every drive device
// there is (opened as LinuxSgBus opens them).
bool MayOpenDrives() {
    if (!HasRawIo())
        return false;
    for (unsigned n = 0; n <= MaxDriveNumber; ++n) {
        const std::string path = DriveDevicePath(n);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EPERM))
            return false;
        if (fd >= 0)
            ::close(fd);
    }
    return true;
}

} // namespace

std::unique_ptr<DriveBus> MakeLocalDriveBus(const std::string& drivesDir) {
    if (!drivesDir.empty())
        return std::make_unique<SimulatedBus>(drivesDir);
    if (const char* env = std::getenv(DrivesEnvironmentVariable); env && *env)
        return std::make_unique<SimulatedBus>(env);
    return std::make_unique<LinuxSgBus>();
}

std::unique_ptr<DriveBus> MakeDriveBus(const std::string& drivesDir) {
    auto local = MakeLocalDriveBus(drivesDir);
    if (local->IsSimulated() || MayOpenDrives())
        return local;
    if (auto helper = HelperBus::Find())
        return helper;
    return local;
}

} // namespace quorvane

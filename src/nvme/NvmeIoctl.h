// The Linux NVMe admin pass-through: one NVME_IOCTL_ADMIN_CMD on the
// controller's character device (/dev/nvmeN).
#pragma once

#include <string>

#include "nvme/NvmeCommand.h"

namespace quorvane {

// The controller's node: "/dev/nvme0" for 0 with the default prefix.
inline std::string NvmeDevicePath(unsigned controller, const std::string& prefix = "/dev/nvme") {
    return prefix + std::to_string(controller);
}
// The kernel's name of controller N: "nvme0".
inline std::string NvmeKernelName(unsigned controller) { return "nvme" + std::to_string(controller); }

// What one ioctl gave.
enum class NvmeIoctlResult {
    Completed,        // the controller answered; cmd.Status and cmd.Result hold its completion
    PermissionDenied, // EACCES/EPERM: admin commands need CAP_SYS_ADMIN
    Failed,           // anything else (time-out, a vanished device, a bad request)
};

// Sends cmd on fd (opened O_RDONLY), its data into cmd.Data, within
// cmd.TimeoutSeconds. A command the table does not hold is not sent.
NvmeIoctlResult SendNvmeIoctl(int fd, NvmeAdminCommand& cmd);

} // namespace quorvane

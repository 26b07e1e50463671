#include "nvme/NvmeIoctl.h"

#include <cerrno>
#include <cstdint>
#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>

namespace quorvane {

NvmeIoctlResult SendNvmeIoctl(int fd, NvmeAdminCommand& cmd) {
    if (!NvmeCommandIsCarriable(cmd))
        return NvmeIoctlResult::Failed;
    cmd.Data.fill(0);
    cmd.Result = 0;
    cmd.Status = 0;
    nvme_admin_cmd io{};
    io.opcode = cmd.Opcode;
    io.nsid = cmd.Nsid;
    io.addr = reinterpret_cast<uintptr_t>(cmd.Data.data());
    io.data_len = cmd.DataLength;
    io.cdw10 = cmd.Cdw[0];
    io.cdw11 = cmd.Cdw[1];
    io.cdw12 = cmd.Cdw[2];
    io.cdw13 = cmd.Cdw[3];
    io.cdw14 = cmd.Cdw[4];
    io.cdw15 = cmd.Cdw[5];
    io.timeout_ms = static_cast<uint32_t>(cmd.TimeoutSeconds) * 1000u;
    const int rc = ::ioctl(fd, NVME_IOCTL_ADMIN_CMD, &io);
    if (rc < 0)
        return errno == EACCES || errno == EPERM ? NvmeIoctlResult::PermissionDenied
                                                 : NvmeIoctlResult::Failed;
    // A positive return is the completion's status field (without the phase
    // bit); the kernel's own errors are negative.
    cmd.Status = static_cast<uint16_t>(rc & 0x7FF);
    cmd.Result = io.result;
    return NvmeIoctlResult::Completed;
}

} // namespace quorvane

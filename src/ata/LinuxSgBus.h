// Drives reached through the Linux SCSI generic interface: every command is
// one SG_IO request carrying an ATA PASS-THROUGH(16) CDB (SatPassThrough.h).
// NVMe controllers are reached through their character devices, one
// NVME_IOCTL_ADMIN_CMD a command (nvme/NvmeIoctl.h).
#pragma once

#include <array>
#include <string>

#include "ata/DriveBus.h"

namespace quorvane {

class LinuxSgBus final : public DriveBus {
public:
    // devicePrefix + ('a' + N) is drive N: "/dev/sd" on a real system.
    explicit LinuxSgBus(std::string devicePrefix = "/dev/sd",
                        std::string nvmePrefix = "/dev/nvme");
    ~LinuxSgBus() override;
    LinuxSgBus(const LinuxSgBus&) = delete;
    LinuxSgBus& operator=(const LinuxSgBus&) = delete;
    // Opens every drive's and controller's node once, as a scan would, and
    // keeps what it got for the next OpenDrive/OpenNvme of each (which then
    // opens nothing: a drive found missing stays missing for that call).
    // False when a node refused this process (EACCES/EPERM);
    // PermissionDenied() says so too.
    bool OpenAll();
    // How many NVMe controller nodes OpenAll found.
    int NvmeControllersOpened() const;
    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
    std::unique_ptr<DriveHandle> OpenNvme(unsigned controller) override;
    bool IsSimulated() const override { return false; }
    std::string Describe() const override;
    // True once an open or a pass-through failed for lack of permission
    // (EACCES/EPERM).
    bool PermissionDenied() const override { return permissionDenied_; }

private:
    // What opening drive N's node gave, or Fresh when it has to be opened.
    enum : int { Fresh = -1, Missing = -2 };
    int Open(const std::string& path);
    static int Take(std::array<int, 16>& opened, unsigned n);

    std::string prefix_;
    std::string nvmePrefix_;
    bool permissionDenied_ = false;
    std::array<int, 16> opened_;
    std::array<int, 16> nvmeOpened_;
};

} // namespace quorvane

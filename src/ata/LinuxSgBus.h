// Drives reached through the Linux SCSI generic interface: every command is
// one SG_IO request carrying an ATA PASS-THROUGH(16) CDB (SatPassThrough.h).
#pragma once

#include <string>

#include "ata/DriveBus.h"

namespace quorvane {

class LinuxSgBus final : public DriveBus {
public:
    // devicePrefix + ('a' + N) is drive N: "/dev/sd" on a real system.
    explicit LinuxSgBus(std::string devicePrefix = "/dev/sd");
    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
    bool IsSimulated() const override { return false; }
    std::string Describe() const override;
    // True once an open or a pass-through failed for lack of permission
    // (EACCES/EPERM).
    bool PermissionDenied() const override { return permissionDenied_; }

private:
    std::string prefix_;
    bool permissionDenied_ = false;
};

} // namespace quorvane

// Drives reached through the privileged helper on the system bus: every
// command is one SendAtaCommand call, which the helper checks, has polkit
// authorise for the caller and carries to the drive itself.
#pragma once

#include <memory>
#include <string>

#include "ata/DriveBus.h"

struct sd_bus;

namespace quorvane {

class HelperBus final : public DriveBus {
public:
    // The helper, when the system bus can be reached and the helper's name is
    // owned there or can be activated; nullptr otherwise.
    static std::unique_ptr<HelperBus> Find();
    ~HelperBus() override;
    HelperBus(const HelperBus&) = delete;
    HelperBus& operator=(const HelperBus&) = delete;

    // Nothing is sent on open: the helper opens the drive for each command,
    // and a drive it cannot open fails that command.
    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override;
    // An NVMe controller the same way: one SendNvmeAdmin call a command.
    std::unique_ptr<DriveHandle> OpenNvme(unsigned controller) override;
    bool IsSimulated() const override { return simulated_; }
    // The helper decides for itself; a refusal reaches us as a failed command.
    bool PermissionDenied() const override { return false; }
    std::string Describe() const override;
    std::string Route() const override;

private:
    explicit HelperBus(sd_bus* bus);
    class Handle;

    sd_bus* bus_;
    bool simulated_ = false;
    std::string description_; // the helper's own account of its drives
};

} // namespace quorvane

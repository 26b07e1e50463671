// The port through which the core reaches physical drives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ata/AtaCommand.h"
#include "nvme/NvmeCommand.h"

namespace quorvane {

// An open drive. Destroying the handle closes the drive.
class DriveHandle {
public:
    virtual ~DriveHandle() = default;
    // Sends one command. True when the request reached the drive and came back
    // with its registers (and, for data-in commands, its 512 data bytes);
    // whether the drive itself reported an error is read from the Status byte.
    bool SendAtaCommand(AtaCommand& cmd) { return AtaCommandIsCarriable(cmd) && Send(cmd); }
    // Sends one NVMe admin command of an NVMe controller's handle. True when
    // the controller completed it (its status, success or not, is in
    // cmd.Status); an ATA drive's handle never carries one.
    bool SendNvmeAdmin(NvmeAdminCommand& cmd) { return NvmeCommandIsCarriable(cmd) && SendNvme(cmd); }

protected:
    virtual bool Send(AtaCommand& cmd) = 0;
    virtual bool SendNvme(NvmeAdminCommand&) { return false; }
};

class DriveBus {
public:
    virtual ~DriveBus() = default;
    // Opens drive number N (0..15); nullptr when it does not exist or cannot
    // be opened.
    virtual std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) = 0;
    // Opens NVMe controller N (0..15, /dev/nvmeN); nullptr when it does not
    // exist or cannot be opened. Its handle carries NVMe admin commands only.
    virtual std::unique_ptr<DriveHandle> OpenNvme(unsigned) { return nullptr; }
    // Why drives were missing: true once a drive could not be opened, or its
    // commands were refused, for lack of permission; false while every drive
    // missing was simply absent.
    virtual bool PermissionDenied() const = 0;
    // True for the simulated drives of a drive directory.
    virtual bool IsSimulated() const = 0;
    // A short description of where the drives come from, for headers and titles.
    virtual std::string Describe() const = 0;
    // How commands reach the drives when they do not go straight to the
    // devices; empty for the direct path.
    virtual std::string Route() const { return IsSimulated() ? Describe() : std::string(); }
    // What the bus found wrong with the drives it was given (a simulated
    // drive's page file of the wrong size), one sentence each, in the order
    // found, for the user to read.
    virtual std::vector<std::string> Problems() const { return {}; }
};

// Opens drive N, sends one command and closes the drive again; false when the
// drive could not be opened or the request did not go through.
bool SendOnce(DriveBus& bus, unsigned driveNumber, AtaCommand& cmd);
// The same for an NVMe controller; true when the controller completed it.
bool SendNvmeOnce(DriveBus& bus, unsigned controller, NvmeAdminCommand& cmd);

} // namespace quorvane

#include "app/DriveTable.h"

#include "nvme/NvmeIoctl.h"

namespace quorvane {

std::string DeviceName(const HDD& drive) {
    return drive.IsNvme() ? NvmeKernelName(drive.DriveNumber) : KernelDriveName(drive.DriveNumber);
}

std::string DriveSizeText(const HDD& drive) {
    return drive.SizeKnown ? std::to_string(drive.SizeGB) : std::string(NotMeasuredText);
}

std::unique_ptr<DriveHandle> OpenSlotDevice(DriveBus& bus, const HDD& drive) {
    return drive.IsNvme() ? bus.OpenNvme(drive.DriveNumber) : bus.OpenDrive(drive.DriveNumber);
}

} // namespace quorvane

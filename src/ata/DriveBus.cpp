#include "ata/DriveBus.h"

namespace quorvane {

bool SendOnce(DriveBus& bus, unsigned driveNumber, AtaCommand& cmd) {
    auto handle = bus.OpenDrive(driveNumber);
    return handle && handle->SendAtaCommand(cmd);
}

bool SendNvmeOnce(DriveBus& bus, unsigned controller, NvmeAdminCommand& cmd) {
    auto handle = bus.OpenNvme(controller);
    return handle && handle->SendNvmeAdmin(cmd);
}

} // namespace quorvane

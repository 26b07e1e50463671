#include "ata/DriveBus.h"

namespace quorvane {

bool SendOnce(DriveBus& bus, unsigned driveNumber, AtaCommand& cmd) {
    auto handle = bus.OpenDrive(driveNumber);
    return handle && handle->SendAtaCommand(cmd);
}

} // namespace quorvane

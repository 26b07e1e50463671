#include "ata/PowerMode.h"

namespace quorvane {

PowerMode DecodePowerMode(uint8_t sectorCount) {
    switch (sectorCount) {
    case 0xFF:
    case 0x41:
        return PowerMode::Active;
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
        return PowerMode::Idle;
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x40:
        return PowerMode::Standby;
    default:
        return PowerMode::Unknown;
    }
}

PowerMode CheckPowerMode(DriveBus& bus, unsigned driveNumber) {
    auto handle = bus.OpenDrive(driveNumber);
    if (!handle)
        return PowerMode::Unknown;
    AtaCommand cmd = AtaCommand::CheckPowerMode(driveNumber);
    bool woken = false;
    if (!handle->SendAtaCommand(cmd)) {
        cmd = AtaCommand::CheckPowerMode(driveNumber);
        if (!handle->SendAtaCommand(cmd))
            return PowerMode::Unknown;
        woken = true;
    }
    if ((cmd.TaskFile.Status() & StatusErr) != 0)
        return PowerMode::Unknown;
    const PowerMode mode = DecodePowerMode(cmd.TaskFile.SectorCount);
    return woken && mode == PowerMode::Standby ? PowerMode::Sleep : mode;
}

const char* PowerModeName(PowerMode mode) {
    switch (mode) {
    case PowerMode::Active:
        return "active";
    case PowerMode::Idle:
        return "idle";
    case PowerMode::Standby:
        return "standby";
    case PowerMode::Sleep:
        return "sleep";
    case PowerMode::Unknown:
        break;
    }
    return "unknown";
}

} // namespace quorvane

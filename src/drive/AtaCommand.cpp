#include "drive/AtaCommand.h"

namespace quorvane {
namespace {

AtaCommand Smart(unsigned driveNumber, uint8_t subcommand, uint8_t count, uint8_t flags) {
    AtaCommand cmd;
    cmd.TaskFile.Features = subcommand;
    cmd.TaskFile.SectorCount = count;
    cmd.TaskFile.LbaLow = 1;
    cmd.TaskFile.LbaMid = SmartKeyMid;
    cmd.TaskFile.LbaHigh = SmartKeyHigh;
    cmd.TaskFile.Device = DeviceSelect(driveNumber);
    cmd.TaskFile.Command = AtaCmdSmart;
    cmd.Flags = flags;
    cmd.DataLength = (flags & AtaFlagDataIn) ? AtaSectorSize : 0;
    return cmd;
}

} // namespace

AtaCommand AtaCommand::SmartEnableOperations(unsigned n) {
    return Smart(n, quorvane::SmartEnableOperations, 1, AtaFlagDrdyRequired);
}
AtaCommand AtaCommand::SmartReturnStatus(unsigned n) {
    return Smart(n, quorvane::SmartReturnStatus, 1, AtaFlagDrdyRequired);
}
AtaCommand AtaCommand::SmartReadData(unsigned n) {
    return Smart(n, quorvane::SmartReadData, 1, AtaFlagDrdyRequired | AtaFlagDataIn);
}
AtaCommand AtaCommand::SmartReadThresholds(unsigned n) {
    return Smart(n, quorvane::SmartReadThresholds, 1, AtaFlagDrdyRequired | AtaFlagDataIn);
}
AtaCommand AtaCommand::SmartEnableAutoOffline(unsigned n) {
    return Smart(n, SmartAutoOffline, 0xF8, AtaFlagDrdyRequired);
}
AtaCommand AtaCommand::SmartEnableAutosave(unsigned n) {
    return Smart(n, SmartAutosave, 0xF1, AtaFlagDrdyRequired);
}

AtaCommand AtaCommand::IdentifyDevice(unsigned n) {
    AtaCommand cmd;
    cmd.TaskFile.Device = DeviceSelect(n);
    cmd.TaskFile.Command = AtaCmdIdentify;
    cmd.Flags = AtaFlagDataIn;
    cmd.DataLength = AtaSectorSize;
    return cmd;
}

AtaCommand AtaCommand::ReadNativeMaxAddressExt(unsigned n) {
    AtaCommand cmd;
    cmd.TaskFile.Device = LbaDeviceSelect(n);
    cmd.TaskFile.Command = AtaCmdReadNativeMaxExt;
    cmd.Flags = AtaFlagDrdyRequired | AtaFlag48Bit;
    return cmd;
}

AtaCommand AtaCommand::SetFeatures(unsigned n, uint8_t subcommand, uint8_t level) {
    AtaCommand cmd;
    cmd.TaskFile.Features = subcommand;
    cmd.TaskFile.SectorCount = level;
    cmd.TaskFile.Device = DeviceSelect(n);
    cmd.TaskFile.Command = AtaCmdSetFeatures;
    return cmd;
}

AtaCommand AtaCommand::ReadSectors(unsigned n, uint32_t lba) {
    AtaCommand cmd;
    cmd.TaskFile.SectorCount = 1;
    cmd.TaskFile.LbaLow = static_cast<uint8_t>(lba);
    cmd.TaskFile.LbaMid = static_cast<uint8_t>(lba >> 8);
    cmd.TaskFile.LbaHigh = static_cast<uint8_t>(lba >> 16);
    cmd.TaskFile.Device = static_cast<uint8_t>(LbaDeviceSelect(n) | ((lba >> 24) & 0x0F));
    cmd.TaskFile.Command = AtaCmdReadSectors;
    cmd.Flags = AtaFlagDrdyRequired | AtaFlagDataIn;
    cmd.DataLength = AtaSectorSize;
    return cmd;
}

AtaCommand AtaCommand::ReadSectorsExt(unsigned n, uint64_t lba) {
    // The previous registers carry the high address bytes on the way out
    // here; this is the one command that sends them nonzero.
    AtaCommand cmd;
    cmd.TaskFile.SectorCount = 1;
    cmd.TaskFile.LbaLow = static_cast<uint8_t>(lba);
    cmd.TaskFile.LbaMid = static_cast<uint8_t>(lba >> 8);
    cmd.TaskFile.LbaHigh = static_cast<uint8_t>(lba >> 16);
    cmd.PreviousTaskFile.LbaLow = static_cast<uint8_t>(lba >> 24);
    cmd.PreviousTaskFile.LbaMid = static_cast<uint8_t>(lba >> 32);
    cmd.PreviousTaskFile.LbaHigh = static_cast<uint8_t>(lba >> 40);
    cmd.TaskFile.Device = LbaDeviceSelect(n);
    cmd.TaskFile.Command = AtaCmdReadSectorsExt;
    cmd.Flags = AtaFlagDrdyRequired | AtaFlagDataIn | AtaFlag48Bit;
    cmd.DataLength = AtaSectorSize;
    return cmd;
}

uint64_t ReturnedLba48(const AtaCommand& cmd) {
    const auto& cur = cmd.TaskFile;
    const auto& prev = cmd.PreviousTaskFile;
    return uint64_t{cur.LbaLow} | (uint64_t{cur.LbaMid} << 8) | (uint64_t{cur.LbaHigh} << 16) |
           (uint64_t{prev.LbaLow} << 24) | (uint64_t{prev.LbaMid} << 32) |
           (uint64_t{prev.LbaHigh} << 40);
}

bool AtaCommandIsCarriable(const AtaCommand& cmd) {
    if (cmd.IsDataIn() != (cmd.DataLength == AtaSectorSize))
        return false;
    if (!cmd.IsDataIn() && cmd.DataLength != 0)
        return false;
    if (!cmd.Is48Bit() && !(cmd.PreviousTaskFile == AtaRegisters{}))
        return false;
    return cmd.TimeoutSeconds > 0;
}

} // namespace quorvane

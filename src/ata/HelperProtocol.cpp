#include "ata/HelperProtocol.h"

namespace quorvane {

const char* HelperActionId(CommandAccess access) {
    switch (access) {
    case CommandAccess::ReadSmart:
        return "org.quorvane.helper.read-smart";
    case CommandAccess::SetFeatures:
        return "org.quorvane.helper.set-features";
    case CommandAccess::ReadSectors:
        return "org.quorvane.helper.read-sectors";
    }
    return "";
}

HelperRegisters EncodeHelperRegisters(const AtaCommand& cmd) {
    const auto& cur = cmd.TaskFile;
    const auto& prev = cmd.PreviousTaskFile;
    return {cur.Features,     cur.SectorCount, cur.LbaLow,  cur.LbaMid,
            cur.LbaHigh,      cur.Device,      cur.Command, prev.Features,
            prev.SectorCount, prev.LbaLow,     prev.LbaMid, prev.LbaHigh};
}

bool DecodeHelperRegisters(std::span<const uint8_t> b, AtaCommand& cmd) {
    if (b.size() != HelperRegisterBytes)
        return false;
    cmd.TaskFile = AtaRegisters{b[0], b[1], b[2], b[3], b[4], b[5], b[6], 0};
    cmd.PreviousTaskFile = AtaRegisters{b[7], b[8], b[9], b[10], b[11], 0, 0, 0};
    return true;
}

std::optional<HelperRequest> CheckHelperRequest(uint32_t driveNumber,
                                                std::span<const uint8_t> registers) {
    if (driveNumber > MaxDriveNumber)
        return std::nullopt;
    AtaCommand cmd;
    if (!DecodeHelperRegisters(registers, cmd))
        return std::nullopt;
    const AtaCommandRow* row = FindAtaCommandRow(driveNumber, cmd.TaskFile, cmd.PreviousTaskFile);
    if (!row)
        return std::nullopt;
    // Direction, size and 48-bit use come from the row, never from the caller.
    AtaCommand request = CommandFromRow(*row, driveNumber);
    request.TaskFile = cmd.TaskFile;
    request.PreviousTaskFile = cmd.PreviousTaskFile;
    if (!AtaCommandIsCarriable(request))
        return std::nullopt;
    return HelperRequest{request, row->Access};
}

} // namespace quorvane

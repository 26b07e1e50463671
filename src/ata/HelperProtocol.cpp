#include "ata/HelperProtocol.h"

#include "platform/LittleEndian.h"

namespace quorvane {

const char* HelperActionId(CommandAccess access) {
    switch (access) {
    case CommandAccess::ReadSmart:
        return "org.quorvane.helper.read-smart";
    case CommandAccess::SetFeatures:
        return "org.quorvane.helper.set-features";
    case CommandAccess::ReadSectors:
        return "org.quorvane.helper.read-sectors";
    case CommandAccess::RunSelfTest:
        return "org.quorvane.helper.run-selftest";
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

namespace {

void PutU32(HelperNvmeCommand& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

HelperNvmeCommand EncodeHelperNvmeCommand(const NvmeAdminCommand& cmd) {
    HelperNvmeCommand bytes{};
    bytes[0] = cmd.Opcode;
    PutU32(bytes, 4, cmd.Nsid);
    for (size_t i = 0; i < cmd.Cdw.size(); ++i)
        PutU32(bytes, 8 + 4 * i, cmd.Cdw[i]);
    return bytes;
}

std::optional<HelperNvmeRequest> CheckHelperNvmeRequest(uint32_t controller,
                                                        std::span<const uint8_t> command) {
    if (controller > MaxNvmeController || command.size() != HelperNvmeCommandBytes)
        return std::nullopt;
    if (command[1] != 0 || command[2] != 0 || command[3] != 0)
        return std::nullopt;
    NvmeAdminCommand cmd;
    cmd.Opcode = command[0];
    cmd.Nsid = static_cast<uint32_t>(*ReadLittleEndian(command, 4, 4));
    for (size_t i = 0; i < cmd.Cdw.size(); ++i)
        cmd.Cdw[i] = static_cast<uint32_t>(*ReadLittleEndian(command, 8 + 4 * i, 4));
    // The length follows from the row (a free length from dword 10's count),
    // never from the caller: try the row's own length first, then the count.
    for (const NvmeCommandRow& row : NvmeCommandTable()) {
        cmd.DataLength = row.FreeLength ? ((cmd.Cdw[0] >> 16) + 1u) * 4u : row.DataLength;
        if (const NvmeCommandRow* found = FindNvmeCommandRow(cmd); found == &row)
            return HelperNvmeRequest{cmd, row.Access};
    }
    return std::nullopt;
}

} // namespace quorvane

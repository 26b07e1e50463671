#include "nvme/NvmeCommand.h"

namespace quorvane {
namespace {

constexpr CommandAccess Smart = CommandAccess::ReadSmart;
constexpr CommandAccess Test = CommandAccess::RunSelfTest;

// Dword 10 of a Get Log Page for `bytes` bytes of log `lid`.
constexpr uint32_t LogDword10(uint8_t lid, uint32_t bytes) {
    return lid | ((bytes / 4 - 1) << 16);
}

// clang-format off
// Columns: name, opcode, namespace, dword 10, data length, free length,
// entry size, access.
constexpr std::array Table{
    NvmeCommandRow{"identify-ctrl", NvmeAdminIdentify,   0,                 NvmeCnsController,                            NvmeIdentifySize,  false, 0,                  Smart},
    NvmeCommandRow{"identify-ns",   NvmeAdminIdentify,   1,                 NvmeCnsNamespace,                             NvmeIdentifySize,  false, 0,                  Smart},
    NvmeCommandRow{"smart-log",     NvmeAdminGetLogPage, NvmeAllNamespaces, LogDword10(NvmeLogHealth, NvmeHealthLogSize), NvmeHealthLogSize, false, 0,                  Smart},
    NvmeCommandRow{"error-log",     NvmeAdminGetLogPage, NvmeAllNamespaces, NvmeLogError,                                 NvmeMaxDataLength, true,  NvmeErrorEntrySize, Smart},
    NvmeCommandRow{"selftest-log",  NvmeAdminGetLogPage, NvmeAllNamespaces, LogDword10(NvmeLogSelfTest, NvmeSelfTestLogSize), NvmeSelfTestLogSize, false, 0,            Smart},
    NvmeCommandRow{"selftest",      NvmeAdminDeviceSelfTest, NvmeAllNamespaces, 0x1,                                      0,                 false, 0,                  Test},
    NvmeCommandRow{"selftest",      NvmeAdminDeviceSelfTest, NvmeAllNamespaces, 0x2,                                      0,                 false, 0,                  Test},
    NvmeCommandRow{"selftest",      NvmeAdminDeviceSelfTest, NvmeAllNamespaces, 0xF,                                      0,                 false, 0,                  Test},
};
// clang-format on

NvmeAdminCommand FromRow(const NvmeCommandRow& row) {
    NvmeAdminCommand cmd;
    cmd.Opcode = row.Opcode;
    cmd.Nsid = row.Nsid;
    cmd.Cdw[0] = row.Cdw10;
    cmd.DataLength = row.DataLength;
    return cmd;
}

bool Matches(const NvmeCommandRow& row, const NvmeAdminCommand& cmd) {
    if (cmd.Opcode != row.Opcode || cmd.Nsid != row.Nsid)
        return false;
    for (size_t i = 1; i < cmd.Cdw.size(); ++i)
        if (cmd.Cdw[i] != 0)
            return false;
    if (!row.FreeLength)
        return cmd.Cdw[0] == row.Cdw10 && cmd.DataLength == row.DataLength;
    if ((cmd.Cdw[0] & 0xFFFF) != row.Cdw10)
        return false;
    const uint64_t bytes = ((cmd.Cdw[0] >> 16) + 1ull) * 4;
    return bytes <= row.DataLength && bytes % row.EntrySize == 0 && cmd.DataLength == bytes;
}

} // namespace

std::span<const NvmeCommandRow> NvmeCommandTable() { return Table; }

NvmeAdminCommand NvmeAdminCommand::IdentifyController() { return FromRow(Table[0]); }
NvmeAdminCommand NvmeAdminCommand::IdentifyNamespace() { return FromRow(Table[1]); }
NvmeAdminCommand NvmeAdminCommand::HealthLog() { return FromRow(Table[2]); }

NvmeAdminCommand NvmeAdminCommand::ErrorLog(unsigned entries) {
    if (entries < 1)
        entries = 1;
    if (entries > NvmeMaxErrorEntries)
        entries = NvmeMaxErrorEntries;
    NvmeAdminCommand cmd = FromRow(Table[3]);
    cmd.DataLength = entries * NvmeErrorEntrySize;
    cmd.Cdw[0] = LogDword10(NvmeLogError, cmd.DataLength);
    return cmd;
}

NvmeAdminCommand NvmeAdminCommand::DeviceSelfTest(NvmeSelfTestCode code) {
    NvmeAdminCommand cmd = FromRow(Table[5]);
    cmd.Cdw[0] = static_cast<uint32_t>(code);
    return cmd;
}

NvmeAdminCommand NvmeAdminCommand::SelfTestLog() { return FromRow(Table[4]); }

const NvmeCommandRow* FindNvmeCommandRow(const NvmeAdminCommand& cmd) {
    for (const NvmeCommandRow& row : Table)
        if (Matches(row, cmd))
            return &row;
    return nullptr;
}

const char* NvmeCommandName(const NvmeAdminCommand& cmd) {
    const NvmeCommandRow* row = FindNvmeCommandRow(cmd);
    return row ? row->Name : "";
}

} // namespace quorvane

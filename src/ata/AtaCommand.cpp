#include "ata/AtaCommand.h"

#include <string_view>

namespace quorvane {
namespace {

constexpr uint8_t D = AtaFlagDrdyRequired;
constexpr uint8_t I = AtaFlagDataIn;
constexpr uint8_t X = AtaFlag48Bit;
constexpr CommandAccess Smart = CommandAccess::ReadSmart;
constexpr CommandAccess Features = CommandAccess::SetFeatures;
constexpr CommandAccess Sectors = CommandAccess::ReadSectors;
constexpr CommandAccess Test = CommandAccess::RunSelfTest;
constexpr uint8_t Level = RowFreeSectorCount;
constexpr uint8_t Address = RowFreeAddress;

constexpr uint8_t AamOn = 0x42, AamOff = 0xC2, ApmOn = 0x05, ApmOff = 0x85;

constexpr std::array FeatureTable{
    AtaFeatureRow{Feature::AAM, "AAM", 1u << 9, 94, AamOn, AamOff},
    AtaFeatureRow{Feature::APM, "APM", 1u << 3, 91, ApmOn, ApmOff},
};

// clang-format off
// Every ATA command the system sends, with the registers of its request. The
// SMART commands carry the key 0x4F/0xC2 in LBA Mid/High; SET FEATURES carries
// its level in Sector Count, the sector reads their address.
// Columns: name, Features, Sector Count, LBA Low, Mid, High, LBA-style Device,
// Command, flags (D DRDY required, I data in, X 48-bit), free registers, access.
constexpr AtaCommandRow RowSmartEnable        {"smart-enable",          0xD8, 1,    1,     0x4F, 0xC2, false,  0xB0, D,         0,       Smart};
constexpr AtaCommandRow RowIdentify           {"identify",              0,    0,    0,     0,    0,    false,  0xEC, I,         0,       Smart};
constexpr AtaCommandRow RowSmartStatus        {"smart-status",          0xDA, 1,    1,     0x4F, 0xC2, false,  0xB0, D,         0,       Smart};
constexpr AtaCommandRow RowSmartReadData      {"smart-read-data",       0xD0, 1,    1,     0x4F, 0xC2, false,  0xB0, D | I,     0,       Smart};
constexpr AtaCommandRow RowSmartReadThresholds{"smart-read-thresholds", 0xD1, 1,    1,     0x4F, 0xC2, false,  0xB0, D | I,     0,       Smart};
constexpr AtaCommandRow RowAutoOffline        {"auto-offline",          0xDB, 0xF8, 1,     0x4F, 0xC2, false,  0xB0, D,         0,       Smart};
constexpr AtaCommandRow RowAutosave           {"autosave",              0xD2, 0xF1, 1,     0x4F, 0xC2, false,  0xB0, D,         0,       Smart};
constexpr AtaCommandRow RowReadNativeMax      {"read-native-max",       0,    0,    0,     0,    0,    true,   0x27, D | X,     0,       Smart};
constexpr AtaCommandRow RowEnableAam          {"set-features",          AamOn, 0,    0,     0,    0,    false,  0xEF, 0,         Level,   Features};
constexpr AtaCommandRow RowDisableAam         {"set-features",          AamOff, 0,    0,     0,    0,    false,  0xEF, 0,         Level,   Features};
constexpr AtaCommandRow RowEnableApm          {"set-features",          ApmOn, 0,    0,     0,    0,    false,  0xEF, 0,         Level,   Features};
constexpr AtaCommandRow RowDisableApm         {"set-features",          ApmOff, 0,    0,     0,    0,    false,  0xEF, 0,         Level,   Features};
constexpr AtaCommandRow RowCheckPowerMode     {"check-power-mode",      0,    0,    0,     0,    0,    false,  0xE5, 0,         0,       Smart};
constexpr AtaCommandRow RowReadSectors        {"read-sectors",          0,    1,    0,     0,    0,    true,   0x20, D | I,     Address, Sectors};
constexpr AtaCommandRow RowReadSectorsExt     {"read-sectors",          0,    1,    0,     0,    0,    true,   0x24, D | I | X, Address, Sectors};
constexpr AtaCommandRow RowSelfTestShort      {"selftest",              0xD4, 0,    1,     0x4F, 0xC2, false,  0xB0, D,         0,       Test};
constexpr AtaCommandRow RowSelfTestExtended   {"selftest",              0xD4, 0,    2,     0x4F, 0xC2, false,  0xB0, D,         0,       Test};
constexpr AtaCommandRow RowSelfTestConveyance {"selftest",              0xD4, 0,    3,     0x4F, 0xC2, false,  0xB0, D,         0,       Test};
constexpr AtaCommandRow RowSelfTestAbort      {"selftest",              0xD4, 0,    0x7F,  0x4F, 0xC2, false,  0xB0, D,         0,       Test};
constexpr AtaCommandRow RowReadLogDirectory   {"smart-read-log",        0xD5, 1,    0x00,  0x4F, 0xC2, false,  0xB0, D | I,     0,       Smart};
constexpr AtaCommandRow RowReadLogError       {"smart-read-log",        0xD5, 1,    0x01,  0x4F, 0xC2, false,  0xB0, D | I,     0,       Smart};
constexpr AtaCommandRow RowReadLogSelfTest    {"smart-read-log",        0xD5, 1,    0x06,  0x4F, 0xC2, false,  0xB0, D | I,     0,       Smart};
constexpr AtaCommandRow RowReadLogExtDirectory{"read-log-ext",          0,    1,    0x00,  0,    0,    true,   0x2F, I | X,     0,       Smart};
constexpr AtaCommandRow RowReadLogExtError    {"read-log-ext",          0,    1,    0x03,  0,    0,    true,   0x2F, I | X,     0,       Smart};
constexpr AtaCommandRow RowReadLogExtSelfTest {"read-log-ext",          0,    1,    0x07,  0,    0,    true,   0x2F, I | X,     0,       Smart};

constexpr std::array CommandTable{
    RowSmartEnable, RowIdentify, RowSmartStatus, RowSmartReadData,
    RowSmartReadThresholds, RowAutoOffline, RowAutosave, RowReadNativeMax,
    RowEnableAam, RowDisableAam, RowEnableApm, RowDisableApm,
    RowCheckPowerMode, RowReadSectors, RowReadSectorsExt,
    RowSelfTestShort, RowSelfTestExtended, RowSelfTestConveyance, RowSelfTestAbort,
    RowReadLogDirectory, RowReadLogError, RowReadLogSelfTest,
    RowReadLogExtDirectory, RowReadLogExtError, RowReadLogExtSelfTest,
};
// clang-format on

uint8_t RowDevice(const AtaCommandRow& row, unsigned n) {
    return row.LbaDevice ? LbaDeviceSelect(n) : DeviceSelect(n);
}

bool Matches(const AtaCommandRow& row, unsigned n, const AtaRegisters& cur,
             const AtaRegisters& prev) {
    const bool free = (row.Free & RowFreeAddress) != 0;
    const bool is48 = (row.Flags & AtaFlag48Bit) != 0;
    if (cur.Command != row.Command || cur.Features != row.Features || cur.Reserved != 0)
        return false;
    if ((row.Free & RowFreeSectorCount) == 0 && cur.SectorCount != row.SectorCount)
        return false;
    if (!free &&
        (cur.LbaLow != row.LbaLow || cur.LbaMid != row.LbaMid || cur.LbaHigh != row.LbaHigh))
        return false;
    // A 28-bit address puts its bits 24-27 into Device; the drive bit stays
    // that of the drive number.
    const uint8_t deviceMask = free && !is48 ? 0xF0 : 0xFF;
    if ((cur.Device & deviceMask) != RowDevice(row, n))
        return false;
    // The previous registers only ever carry address bits 24-47.
    if (prev.Features != 0 || prev.SectorCount != 0 || prev.Device != 0 || prev.Command != 0 ||
        prev.Reserved != 0)
        return false;
    if (!(free && is48) && (prev.LbaLow != 0 || prev.LbaMid != 0 || prev.LbaHigh != 0))
        return false;
    return true;
}

} // namespace

std::span<const AtaCommandRow> AtaCommandTable() {
    return CommandTable;
}

const char* AtaCommandName(const AtaRegisters& taskFile) {
    const char* shared = nullptr;
    bool oneName = true;
    for (const auto& row : CommandTable) {
        if (row.Command != taskFile.Command)
            continue;
        if (row.Features == taskFile.Features)
            return row.Name;
        if (shared && std::string_view(shared) != row.Name)
            oneName = false;
        shared = row.Name;
    }
    return shared && oneName ? shared : "";
}

const AtaFeatureRow& FeatureRow(Feature feature) {
    return feature == Feature::AAM ? FeatureTable[0] : FeatureTable[1];
}

const AtaFeatureRow* FeatureRowOfSubcommand(uint8_t subcommand) {
    for (const auto& row : FeatureTable) {
        if (row.EnableSubcommand == subcommand || row.DisableSubcommand == subcommand)
            return &row;
    }
    return nullptr;
}

const AtaCommandRow* FindAtaCommandRow(unsigned n, const AtaRegisters& taskFile,
                                       const AtaRegisters& previousTaskFile) {
    for (const auto& row : CommandTable)
        if (Matches(row, n, taskFile, previousTaskFile))
            return &row;
    return nullptr;
}

AtaCommand CommandFromRow(const AtaCommandRow& row, unsigned n) {
    AtaCommand cmd;
    cmd.TaskFile.Features = row.Features;
    cmd.TaskFile.SectorCount = row.SectorCount;
    cmd.TaskFile.LbaLow = row.LbaLow;
    cmd.TaskFile.LbaMid = row.LbaMid;
    cmd.TaskFile.LbaHigh = row.LbaHigh;
    cmd.TaskFile.Device = RowDevice(row, n);
    cmd.TaskFile.Command = row.Command;
    cmd.Flags = row.Flags;
    cmd.DataLength = (row.Flags & AtaFlagDataIn) ? AtaSectorSize : 0;
    return cmd;
}

AtaCommand AtaCommand::SmartEnableOperations(unsigned n) {
    return CommandFromRow(RowSmartEnable, n);
}
AtaCommand AtaCommand::IdentifyDevice(unsigned n) {
    return CommandFromRow(RowIdentify, n);
}
AtaCommand AtaCommand::SmartReturnStatus(unsigned n) {
    return CommandFromRow(RowSmartStatus, n);
}
AtaCommand AtaCommand::SmartReadData(unsigned n) {
    return CommandFromRow(RowSmartReadData, n);
}
AtaCommand AtaCommand::SmartReadThresholds(unsigned n) {
    return CommandFromRow(RowSmartReadThresholds, n);
}
AtaCommand AtaCommand::SmartEnableAutoOffline(unsigned n) {
    return CommandFromRow(RowAutoOffline, n);
}
AtaCommand AtaCommand::SmartEnableAutosave(unsigned n) {
    return CommandFromRow(RowAutosave, n);
}
AtaCommand AtaCommand::ReadNativeMaxAddressExt(unsigned n) {
    return CommandFromRow(RowReadNativeMax, n);
}

AtaCommand AtaCommand::SetFeatures(unsigned n, uint8_t subcommand, uint8_t level) {
    // An unknown subcommand is built as asked (the drive aborts it); only the
    // table's four are carried by the privileged helper.
    AtaCommand cmd = CommandFromRow(RowEnableAam, n);
    cmd.TaskFile.Features = subcommand;
    cmd.TaskFile.SectorCount = level;
    return cmd;
}

AtaCommand AtaCommand::CheckPowerMode(unsigned n) {
    return CommandFromRow(RowCheckPowerMode, n);
}

AtaCommand AtaCommand::ReadSectors(unsigned n, uint32_t lba) {
    AtaCommand cmd = CommandFromRow(RowReadSectors, n);
    cmd.TaskFile.LbaLow = static_cast<uint8_t>(lba);
    cmd.TaskFile.LbaMid = static_cast<uint8_t>(lba >> 8);
    cmd.TaskFile.LbaHigh = static_cast<uint8_t>(lba >> 16);
    cmd.TaskFile.Device |= static_cast<uint8_t>((lba >> 24) & 0x0F);
    return cmd;
}

AtaCommand AtaCommand::ReadSectorsExt(unsigned n, uint64_t lba) {
    // The previous registers carry the high address bytes on the way out
    // here; this is the one command that sends them nonzero.
    AtaCommand cmd = CommandFromRow(RowReadSectorsExt, n);
    cmd.TaskFile.LbaLow = static_cast<uint8_t>(lba);
    cmd.TaskFile.LbaMid = static_cast<uint8_t>(lba >> 8);
    cmd.TaskFile.LbaHigh = static_cast<uint8_t>(lba >> 16);
    cmd.PreviousTaskFile.LbaLow = static_cast<uint8_t>(lba >> 24);
    cmd.PreviousTaskFile.LbaMid = static_cast<uint8_t>(lba >> 32);
    cmd.PreviousTaskFile.LbaHigh = static_cast<uint8_t>(lba >> 40);
    return cmd;
}

AtaCommand AtaCommand::SmartSelfTest(unsigned n, SelfTestKind kind) {
    AtaCommand cmd = CommandFromRow(RowSelfTestShort, n);
    cmd.TaskFile.LbaLow = static_cast<uint8_t>(kind);
    return cmd;
}

AtaCommand AtaCommand::SmartReadLogSector(unsigned n, uint8_t address) {
    AtaCommand cmd = CommandFromRow(RowReadLogDirectory, n);
    cmd.TaskFile.LbaLow = address;
    return cmd;
}

AtaCommand AtaCommand::ReadLogExt(unsigned n, uint8_t address) {
    AtaCommand cmd = CommandFromRow(RowReadLogExtDirectory, n);
    cmd.TaskFile.LbaLow = address;
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

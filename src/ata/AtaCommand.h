// One ATA request and, once sent, its answer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "ata/CommandAccess.h"

namespace quorvane {

// The eight task-file bytes in the order the drive sees them. On the way out
// they are Features..Command; the drive's answer comes back in the same
// positions, so Features then reads as Error and Command as Status.
struct AtaRegisters {
    uint8_t Features = 0; // Error on return
    uint8_t SectorCount = 0;
    uint8_t LbaLow = 0;
    uint8_t LbaMid = 0;
    uint8_t LbaHigh = 0;
    uint8_t Device = 0;
    uint8_t Command = 0; // Status on return
    uint8_t Reserved = 0;

    uint8_t Error() const { return Features; }
    uint8_t Status() const { return Command; }
    bool operator==(const AtaRegisters&) const = default;
};

// Status and error bits the system looks at.
inline constexpr uint8_t StatusErr = 0x01;
inline constexpr uint8_t StatusDrq = 0x08;
inline constexpr uint8_t StatusDsc = 0x10;
inline constexpr uint8_t StatusDrdy = 0x40;
inline constexpr uint8_t StatusBsy = 0x80;
inline constexpr uint8_t ErrorAbrt = 0x04;

// Request flags.
inline constexpr uint8_t AtaFlagDrdyRequired = 0x01;
inline constexpr uint8_t AtaFlagDataIn = 0x02;
inline constexpr uint8_t AtaFlag48Bit = 0x08;

inline constexpr uint32_t AtaSectorSize = 512;
inline constexpr int AtaTimeoutSeconds = 2;

// 0xA0 for an even drive number, 0xB0 for an odd one.
constexpr uint8_t DeviceSelect(unsigned driveNumber) {
    return static_cast<uint8_t>(0xA0 | ((driveNumber & 1u) << 4));
}
// The same with the LBA bit instead of the obsolete bits: 0x40 / 0x50.
constexpr uint8_t LbaDeviceSelect(unsigned driveNumber) {
    return static_cast<uint8_t>(0x40 | ((driveNumber & 1u) << 4));
}

// ATA opcodes and SMART subcommands sent by the system.
inline constexpr uint8_t AtaCmdSmart = 0xB0;
inline constexpr uint8_t AtaCmdIdentify = 0xEC;
inline constexpr uint8_t AtaCmdReadNativeMaxExt = 0x27;
inline constexpr uint8_t AtaCmdSetFeatures = 0xEF;
inline constexpr uint8_t AtaCmdReadSectors = 0x20;
inline constexpr uint8_t AtaCmdReadSectorsExt = 0x24;
inline constexpr uint8_t AtaCmdCheckPowerMode = 0xE5;
inline constexpr uint8_t AtaCmdReadLogExt = 0x2F;
inline constexpr uint8_t SmartReadData = 0xD0;
inline constexpr uint8_t SmartReadThresholds = 0xD1;
inline constexpr uint8_t SmartAutosave = 0xD2;
inline constexpr uint8_t SmartEnableOperations = 0xD8;
inline constexpr uint8_t SmartReturnStatus = 0xDA;
inline constexpr uint8_t SmartAutoOffline = 0xDB;
inline constexpr uint8_t SmartExecuteOffline = 0xD4;
inline constexpr uint8_t SmartReadLog = 0xD5;

// The self-tests SMART EXECUTE OFF-LINE IMMEDIATE starts (LBA Low), all in
// off-line mode: the drive goes on serving reads while it tests.
enum class SelfTestKind : uint8_t { Short = 1, Extended = 2, Conveyance = 3, Abort = 127 };

// The logs the system reads: SMART READ LOG addresses (the log directory,
// the summary error log, the self-test log) and READ LOG EXT ones (the
// directory, the extended comprehensive error log, the extended self-test
// log), the first page of each.
inline constexpr uint8_t LogDirectory = 0x00;
inline constexpr uint8_t LogSummaryError = 0x01;
inline constexpr uint8_t LogComprehensiveErrorExt = 0x03;
inline constexpr uint8_t LogSelfTest = 0x06;
inline constexpr uint8_t LogSelfTestExt = 0x07;
// The key every SMART command carries in LBA Mid/High; RETURN STATUS echoes
// it when no threshold is exceeded and answers 0xF4/0x2C when one is.
inline constexpr uint8_t SmartKeyMid = 0x4F;
inline constexpr uint8_t SmartKeyHigh = 0xC2;
inline constexpr uint8_t SmartExceededMid = 0xF4;
inline constexpr uint8_t SmartExceededHigh = 0x2C;

// The drive features SET FEATURES switches, and where IDENTIFY DEVICE tells
// of them:
//
//   feature  supported      enabled        level word (low byte current, high byte second)
//   AAM      word 83 bit 9  word 86 bit 9  word 94 (second: the vendor's recommended level)
//   APM      word 83 bit 3  word 86 bit 3  word 91
//
// SET FEATURES carries the level in Sector Count: 0x42/0xC2 enable/disable
// AAM, 0x05/0x85 enable/disable APM.
enum class Feature { AAM, APM };
inline constexpr int FeatureSupportedWord = 83;
inline constexpr int FeatureEnabledWord = 86;
struct AtaFeatureRow {
    Feature Which;
    const char* Name; // "AAM" or "APM"
    uint16_t Mask;    // the same bit in words 83 and 86
    int LevelWord;
    uint8_t EnableSubcommand;
    uint8_t DisableSubcommand;
};
const AtaFeatureRow& FeatureRow(Feature feature);
// The row whose enable or disable subcommand this is; nullptr for any other.
const AtaFeatureRow* FeatureRowOfSubcommand(uint8_t subcommand);

struct AtaCommand {
    AtaRegisters TaskFile;         // current registers, out and back
    AtaRegisters PreviousTaskFile; // high-order bytes of a 48-bit command; sent as 0
    uint8_t Flags = 0;
    uint32_t DataLength = 0; // 0, or 512 for data-in commands
    std::array<uint8_t, AtaSectorSize> Data{};
    int TimeoutSeconds = AtaTimeoutSeconds;

    bool IsDataIn() const { return (Flags & AtaFlagDataIn) != 0; }
    bool Is48Bit() const { return (Flags & AtaFlag48Bit) != 0; }

    // Every command the system sends, with exactly the registers it sends.
    static AtaCommand SmartEnableOperations(unsigned driveNumber);
    static AtaCommand IdentifyDevice(unsigned driveNumber);
    static AtaCommand SmartReturnStatus(unsigned driveNumber);
    static AtaCommand SmartReadData(unsigned driveNumber);
    static AtaCommand SmartReadThresholds(unsigned driveNumber);
    static AtaCommand SmartEnableAutoOffline(unsigned driveNumber);
    static AtaCommand SmartEnableAutosave(unsigned driveNumber);
    static AtaCommand ReadNativeMaxAddressExt(unsigned driveNumber);
    // SET FEATURES with the given subcommand (0x42/0xC2 AAM, 0x05/0x85 APM)
    // and the level in Sector Count.
    static AtaCommand SetFeatures(unsigned driveNumber, uint8_t subcommand, uint8_t level);
    // CHECK POWER MODE: non-data; the drive answers its power mode in Sector
    // Count without spinning up.
    static AtaCommand CheckPowerMode(unsigned driveNumber);
    // READ SECTOR(S) of one sector at a 28-bit address.
    static AtaCommand ReadSectors(unsigned driveNumber, uint32_t lba);
    // READ SECTOR(S) EXT of one sector at a 48-bit address.
    static AtaCommand ReadSectorsExt(unsigned driveNumber, uint64_t lba);
    // SMART EXECUTE OFF-LINE IMMEDIATE: starts (or aborts) a self-test.
    static AtaCommand SmartSelfTest(unsigned driveNumber, SelfTestKind kind);
    // SMART READ LOG of one sector at a log address (LogDirectory,
    // LogSummaryError, LogSelfTest).
    static AtaCommand SmartReadLogSector(unsigned driveNumber, uint8_t address);
    // READ LOG EXT of the first sector of a log (LogDirectory,
    // LogComprehensiveErrorExt, LogSelfTestExt).
    static AtaCommand ReadLogExt(unsigned driveNumber, uint8_t address);
};


// Registers of a row that the caller fills in.
inline constexpr uint8_t RowFreeSectorCount = 0x01; // SET FEATURES level
// LBA Low/Mid/High carry an address; for a 28-bit command also the low four
// bits of Device, for a 48-bit one also the previous LBA bytes.
inline constexpr uint8_t RowFreeAddress = 0x02;

// One row of the command table: every command the system sends is one row,
// and nothing else is ever sent through the privileged helper.
struct AtaCommandRow {
    const char* Name;
    uint8_t Features;
    uint8_t SectorCount;
    uint8_t LbaLow;
    uint8_t LbaMid;
    uint8_t LbaHigh;
    bool LbaDevice; // Device is LbaDeviceSelect (0x40/0x50), else DeviceSelect
    uint8_t Command;
    uint8_t Flags;
    uint8_t Free; // RowFree* bits
    CommandAccess Access;
};

// The whole table. The AtaCommand constructors build from these rows.
std::span<const AtaCommandRow> AtaCommandTable();

// The name the table gives a command by its opcode and Features alone (the
// name a simulated drive.ini and the helper's log use): the row with both,
// else the one name all rows of the opcode share; empty when neither.
const char* AtaCommandName(const AtaRegisters& taskFile);

// The row the registers are exactly an instance of for drive number n, with
// the fixed bytes of the row, the Device byte of n and zeros wherever the row
// sends none; nullptr when no row matches.
const AtaCommandRow* FindAtaCommandRow(unsigned driveNumber, const AtaRegisters& taskFile,
                                       const AtaRegisters& previousTaskFile);

// A row's command for drive n, its free registers 0.
AtaCommand CommandFromRow(const AtaCommandRow& row, unsigned driveNumber);

// A command went through and the drive ended it without ERR.
inline bool AtaSucceeded(bool sent, const AtaCommand& cmd) {
    return sent && (cmd.TaskFile.Status() & StatusErr) == 0;
}

// The 48-bit address held in the answer's registers (current LBA bytes give
// bits 0-23, the previous ones bits 24-47).
uint64_t ReturnedLba48(const AtaCommand& cmd);

// Checks that a request is one the command layer can carry: no data out, a
// data-in command moves exactly one sector, a non-data command none, and the
// previous registers are only used by 48-bit commands. Every bus runs this
// before touching a device.
bool AtaCommandIsCarriable(const AtaCommand& cmd);

} // namespace quorvane

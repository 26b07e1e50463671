// Decoding of the SMART / Health Information log (log 02h, 512 bytes) and
// of the Error Information log (log 01h, 64 bytes an entry).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "nvme/Uint128.h"

namespace quorvane {

// Critical warning bits.
inline constexpr uint8_t NvmeWarnSpare = 0x01;
inline constexpr uint8_t NvmeWarnTemperature = 0x02;
inline constexpr uint8_t NvmeWarnReliability = 0x04;
inline constexpr uint8_t NvmeWarnReadOnly = 0x08;
inline constexpr uint8_t NvmeWarnVolatileBackup = 0x10;
inline constexpr uint8_t NvmeWarnPmrReadOnly = 0x20;

struct NvmeHealthLog {
    uint8_t CriticalWarning = 0;
    uint16_t CompositeTemperatureK = 0;
    uint8_t AvailableSpare = 0;  // percent
    uint8_t SpareThreshold = 0;  // percent
    uint8_t PercentageUsed = 0;  // may pass 100
    uint8_t EnduranceGroupWarning = 0;
    Uint128 DataUnitsRead = 0; // units of 1000 512-byte blocks
    Uint128 DataUnitsWritten = 0;
    Uint128 HostReadCommands = 0;
    Uint128 HostWriteCommands = 0;
    Uint128 ControllerBusyTime = 0; // minutes
    Uint128 PowerCycles = 0;
    Uint128 PowerOnHours = 0;
    Uint128 UnsafeShutdowns = 0;
    Uint128 MediaErrors = 0;
    Uint128 ErrorLogEntries = 0;
    uint32_t WarningTemperatureTime = 0;  // minutes
    uint32_t CriticalTemperatureTime = 0; // minutes
    std::array<uint16_t, 8> SensorK{};    // 0: the sensor is not reported
    uint32_t Tmt1Transitions = 0;
    uint32_t Tmt2Transitions = 0;
    uint32_t Tmt1Seconds = 0;
    uint32_t Tmt2Seconds = 0;
};

// nullopt for a log shorter than 512 bytes.
std::optional<NvmeHealthLog> DecodeNvmeHealth(std::span<const uint8_t> page);

// A temperature in kelvin as whole degrees Celsius; nullopt for 0 (not
// reported) and 65535 (the field's invalid value).
std::optional<int> NvmeCelsius(uint16_t kelvin);

// Bytes of a data-units counter (x 512,000).
inline Uint128 NvmeDataUnitBytes(Uint128 units) { return units * 512000; }

// What the critical warning byte says, one name per set bit, lowest first:
// "available spare below threshold", "temperature threshold exceeded",
// "reliability degraded", "read-only", "volatile memory backup failed",
// "persistent memory region read-only".
std::vector<std::string> NvmeCriticalWarningNames(uint8_t bits);

// The drive is healthy exactly when it raises no critical warning.
inline bool NvmeHealthOk(const NvmeHealthLog& log) { return log.CriticalWarning == 0; }

// Everything worth a user's eye: the named warning bits, then wear and spare
// the controller has not flagged (a percentage used of 100 or more, a spare
// below (not at) its threshold). Empty for a healthy, unworn drive.
std::vector<std::string> NvmeHealthConcerns(const NvmeHealthLog& log);

// One Error Information log entry; an entry with error count 0 is empty.
struct NvmeErrorEntry {
    uint64_t ErrorCount = 0;
    uint16_t SubmissionQueue = 0;
    uint16_t CommandId = 0;
    uint16_t Status = 0; // the status field without the phase tag
    uint16_t ParameterErrorLocation = 0;
    uint64_t Lba = 0;
    uint32_t Namespace = 0;
    uint8_t VendorInfo = 0;
    uint8_t TransportType = 0;
    uint64_t CommandSpecific = 0;
};

// The non-empty entries of the log's bytes, in the log's order (newest
// first); a trailing part shorter than an entry is left out.
std::vector<NvmeErrorEntry> DecodeNvmeErrorLog(std::span<const uint8_t> bytes);

// "Unrecovered Read Error (0x281)" for the status codes a user meets, else
// "status 0x...". status: type in bits 8-10, code in bits 0-7.
std::string NvmeStatusText(uint16_t status);

// One line of an entry: "error 3: queue 1, command 0x0012, Unrecovered Read
// Error (0x281), LBA 123456, namespace 1".
std::string NvmeErrorEntryText(const NvmeErrorEntry& entry);

} // namespace quorvane

namespace quorvane {

// The Device Self-test log (log 06h, 564 bytes).
struct NvmeSelfTestResult {
    uint8_t Code = 0;   // 1 short, 2 extended, 0xE vendor
    uint8_t Result = 0; // 0 passed ... 9; 0xF unused entry (left out)
    uint8_t Segment = 0;
    uint64_t PowerOnHours = 0;
    std::optional<uint64_t> FailingLba; // when the controller marks it valid
};
struct NvmeSelfTestLog {
    uint8_t CurrentOperation = 0; // 0: none runs
    uint8_t CompletionPercent = 0;
    std::vector<NvmeSelfTestResult> Results; // newest first
};
// nullopt for a log shorter than 564 bytes.
std::optional<NvmeSelfTestLog> DecodeNvmeSelfTestLog(std::span<const uint8_t> page);
// "Completed without error", "Aborted by a Device Self-test command", ...
std::string NvmeSelfTestResultText(uint8_t result);
// A failure of the device: a fatal error, a failed segment.
inline bool NvmeSelfTestFailed(uint8_t result) { return result >= 5 && result <= 7; }

} // namespace quorvane

// A drive's own tests and logs: the self-test state and capabilities the
// S.M.A.R.T. data page holds, the self-test logs (06h, 07h) and the error
// logs (01h, 03h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvane {

inline constexpr const char* LogUnreadableText = "log unreadable";

// Byte 363 of the data page: status in the high nibble, the tenths left to
// do in the low one while a test runs (status 15).
struct SelfTestExecution {
    uint8_t Status = 0;
    int PercentRemaining = 0; // 0..90, while running
    bool Running() const { return Status == 15; }
};
SelfTestExecution DecodeSelfTestExecution(std::span<const uint8_t> dataPage);

// What the data page says the drive can do (byte 367) and how long its tests
// take (bytes 372-376, minutes; 0 when not said).
struct SelfTestCapabilities {
    bool SelfTest = false;   // byte 367 bit 4
    bool Conveyance = false; // byte 367 bit 5
    bool Selective = false;  // byte 367 bit 6 (not offered)
    bool ErrorLogging = false; // byte 370 bit 0
    int ShortMinutes = 0;
    int ExtendedMinutes = 0;
    int ConveyanceMinutes = 0;
};
SelfTestCapabilities DecodeSelfTestCapabilities(std::span<const uint8_t> dataPage);

// "Completed without error", ... as smartctl words them; status 0-8 and 15,
// else "Unknown status (0xa)".
std::string SelfTestStatusText(uint8_t status);
// A failure: statuses 3-8 (fatal, unknown, electrical, servo, read, handling).
inline bool SelfTestFailed(uint8_t status) { return status >= 3 && status <= 8; }
// "Short offline", "Extended offline", "Conveyance offline", "Selective
// offline", "Abort offline test", the captive ones, else "Vendor (0x9a)" or
// "Reserved (0x05)".
std::string SelfTestKindText(uint8_t subcommand);

struct SelfTestEntry {
    uint8_t Subcommand = 0;
    uint8_t Status = 0;
    int PercentRemaining = 0;
    uint16_t PowerOnHours = 0;
    std::optional<uint64_t> FirstFailingLba; // none when the drive gives none
    // An NVMe controller's result: Subcommand is its self-test code (1 short,
    // 2 extended) and Status its result code.
    bool Nvme = false;
    bool operator==(const SelfTestEntry&) const = default;
};
// The entry's test failed (the drive's fault, not an abort).
bool EntryFailed(const SelfTestEntry& entry);
// Its kind and status as words, for either kind of drive.
std::string EntryKindText(const SelfTestEntry& entry);
std::string EntryStatusText(const SelfTestEntry& entry);

// Entries newest first, unused (zero-filled) ones left out; nullopt for a
// log that is unreadable (checksum, an index out of range). ext: the 07h layout (19 entries of 26 bytes, 48-bit
// LBA), else 06h (21 of 24, 28-bit).
std::optional<std::vector<SelfTestEntry>> DecodeSelfTestLog(std::span<const uint8_t> page,
                                                            bool ext);

struct ErrorLogEntry {
    uint16_t PowerOnHours = 0;
    uint8_t Error = 0;
    uint8_t Status = 0;
    uint8_t Command = 0;  // of the command that failed (the newest of the entry's commands)
    uint16_t Features = 0;    // 16 bits in 03h, 8 in 01h
    uint16_t SectorCount = 0; // the same
    uint64_t Lba = 0;
    uint8_t Device = 0;
    uint8_t State = 0; // low nibble: 0 unknown, 1 sleep, 2 standby, 3 active/idle, 4 off-line/self-test
};
struct ErrorLog {
    uint32_t ErrorCount = 0; // the device's count over its life
    std::vector<ErrorLogEntry> Entries; // newest first, zero-filled ones left out
};
// nullopt for an unreadable log. ext: 03h (4 entries of 124 bytes), else 01h
// (5 of 90).
std::optional<ErrorLog> DecodeErrorLog(std::span<const uint8_t> page, bool ext);
// "Active or idle", "Standby", ...
std::string ErrorStateText(uint8_t state);

// How many pages the log directory (address 0) gives a log; 0 for none.
int LogPages(std::span<const uint8_t> directory, uint8_t address);

// A sector whose 512 bytes sum to 0 modulo 256.
bool LogChecksumOk(std::span<const uint8_t> page);

} // namespace quorvane

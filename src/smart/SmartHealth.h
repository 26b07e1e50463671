// The drive's health flag, per-attribute verdicts, flag letters and
// temperatures.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvane {

inline constexpr const char* SmartStatusOkText = "O.K.";
inline constexpr const char* SmartStatusErrorText = "ERROR";
// What every caption shows before anything was read, for a value that was
// not measured (a temperature of 0, a level a drive does not have, a size
// the drive did not tell).
inline constexpr const char* NotMeasuredText = "...";
// What a caption shows for a value that does not apply to the drive (an
// ATA feature of an NVMe drive).
inline constexpr const char* NotApplicableText = "---";
inline constexpr const char* AttributeOkText = "O.K.";
inline constexpr const char* AttributeBelowThresholdText = "!!!";

// The registers SMART RETURN STATUS answers with that decide the health flag.
struct ReturnStatusRegisters {
    uint8_t Status = 0;
    uint8_t LbaMid = 0;
    uint8_t LbaHigh = 0;
};

// True exactly when the request went through, the drive ended it without ERR
// and answered 0x4F/0xC2 (no threshold exceeded). Everything else, a drive
// reporting 0xF4/0x2C and a failed or refused command alike, is false.
bool EvaluateReturnStatus(bool sent, const ReturnStatusRegisters& registers);

// "O.K." or "ERROR", the caption of SMARTStatusL.
const char* SmartStatusText(bool statusOk);

struct DriveTemperatures {
    uint8_t DriveTemperature = 0;
    uint8_t AirflowLow = 0;
    uint8_t AirflowHigh = 0;
    uint8_t Airflow = 0;
    bool operator==(const DriveTemperatures&) const = default;
};

// True for the vendor codes whose attribute 194 is read as the drive
// temperature.
bool VendorReportsTemperature(char vendor);

// The temperatures in a data page: attribute 194 byte 0 for the vendors
// above (0 for any other drive), and from attribute 190 byte 0 (airflow),
// byte 2 (low) and byte 4, or byte 3 when byte 4 is 0 (high).
DriveTemperatures ReadDriveTemperatures(std::span<const uint8_t> dataPage, char vendor);

// The captions of the four temperature labels: the drive temperature always
// in decimal ("0" included), the airflow values in decimal or "..." for 0.
struct TemperatureCaptions {
    std::string HDDTempL = NotMeasuredText;
    std::string HDDTempLoL = NotMeasuredText;
    std::string HDDTempHiL = NotMeasuredText;
    std::string HDDAirTempL = NotMeasuredText;
    bool operator==(const TemperatureCaptions&) const = default;
};
TemperatureCaptions FormatTemperatureCaptions(const DriveTemperatures& temperatures);

// The six flag letters SCEPOF from bit 5 down to bit 0 of the low byte, "-"
// for a clear bit; bits 6-15 are ignored.
std::string FormatAttributeFlags(uint16_t flags);

// "!!!" when the value is strictly below the threshold, else "O.K."; a
// threshold of 0 can never give "!!!".
const char* AttributeStatusText(uint8_t value, uint8_t threshold);

} // namespace quorvane

#include "smart/SmartHealth.h"

#include <string_view>

#include "smart/SmartAttributes.h"

namespace quorvane {
namespace {

constexpr uint8_t ErrBit = 0x01;
constexpr uint8_t NoThresholdExceededMid = 0x4F;
constexpr uint8_t NoThresholdExceededHigh = 0xC2;

std::string DecimalOrNotRead(uint8_t value) {
    return value == 0 ? std::string(NotMeasuredText) : std::to_string(value);
}

} // namespace

bool EvaluateReturnStatus(bool sent, const ReturnStatusRegisters& registers) {
    // The request must have reached the drive at all.
    if (!sent)
        return false;
    // A drive that ended the command with ERR did not give a verdict.
    if ((registers.Status & ErrBit) != 0)
        return false;
    // The verdict: the key echoed back means no threshold is exceeded; any
    // other pair, 0xF4/0x2C included, counts as exceeded.
    return registers.LbaMid == NoThresholdExceededMid &&
           registers.LbaHigh == NoThresholdExceededHigh;
}

const char* SmartStatusText(bool statusOk) {
    return statusOk ? SmartStatusOkText : SmartStatusErrorText;
}

bool VendorReportsTemperature(char vendor) {
    return vendor != '\0' && std::string_view("AFHIMQSTW").find(vendor) != std::string_view::npos;
}

DriveTemperatures ReadDriveTemperatures(std::span<const uint8_t> dataPage, char vendor) {
    DriveTemperatures t;
    if (VendorReportsTemperature(vendor))
        t.DriveTemperature = FindSMARTAttribute(dataPage, SmartIdTemperature).RawBytes[0];
    const SMARTAttribute airflow = FindSMARTAttribute(dataPage, SmartIdAirflowTemperature);
    t.AirflowLow = airflow.RawBytes[2];
    t.AirflowHigh = airflow.RawBytes[4] != 0 ? airflow.RawBytes[4] : airflow.RawBytes[3];
    t.Airflow = airflow.RawBytes[0];
    return t;
}

TemperatureCaptions FormatTemperatureCaptions(const DriveTemperatures& temperatures) {
    TemperatureCaptions c;
    c.HDDTempL = std::to_string(temperatures.DriveTemperature);
    c.HDDTempLoL = DecimalOrNotRead(temperatures.AirflowLow);
    c.HDDTempHiL = DecimalOrNotRead(temperatures.AirflowHigh);
    c.HDDAirTempL = DecimalOrNotRead(temperatures.Airflow);
    return c;
}

std::string FormatAttributeFlags(uint16_t flags) {
    static constexpr std::string_view letters = "SCEPOF";
    std::string text(letters.size(), '-');
    for (size_t i = 0; i < letters.size(); ++i) {
        const unsigned bit = 5 - static_cast<unsigned>(i);
        if ((flags >> bit) & 1u)
            text[i] = letters[i];
    }
    return text;
}

const char* AttributeStatusText(uint8_t value, uint8_t threshold) {
    return value < threshold ? AttributeBelowThresholdText : AttributeOkText;
}

} // namespace quorvane

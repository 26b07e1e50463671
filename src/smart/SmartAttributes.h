// The S.M.A.R.T. attribute and threshold pages: lookups by attribute id and
// the attributes the program knows, in display order.
//
// Both pages hold 30 slots of 12 bytes from offset 2 (little-endian):
//
//   data page slot          threshold page slot
//   0     id (0 = empty)    0     id
//   1..2  status flags      1     threshold
//   3     current value     2..11 not read
//   4     worst value
//   5..10 raw value, 48 bits
//   11    reserved
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorvane {

inline constexpr size_t SmartPageBytes = 512;
inline constexpr size_t SmartFirstSlotOffset = 2;
inline constexpr size_t SmartSlotBytes = 12;
inline constexpr size_t SmartSlotCount = 30;

// One decoded attribute; every field is 0 for an attribute that is not found.
struct SMARTAttribute {
    uint8_t Value = 0;
    uint8_t Worst = 0;
    uint64_t Raw = 0; // RawBytes as one 48-bit little-endian number
    std::array<uint8_t, 6> RawBytes{};
    uint16_t Flags = 0;

    bool operator==(const SMARTAttribute&) const = default;
};

// How far a lookup walks the page. The program's own lookups examine slot 0
// always and stop at the first later empty slot, so attributes a drive
// places behind an empty slot are not found; the metrics export every
// attribute on the page and pass empty slots by.
enum class SlotWalk { StopAtEmpty, WholePage };

// Decodes the first slot of the data page whose id is id. A page shorter
// than 512 bytes is walked only as far as whole slots reach.
SMARTAttribute FindSMARTAttribute(std::span<const uint8_t> dataPage, uint8_t id,
                                  SlotWalk walk = SlotWalk::StopAtEmpty);

// The threshold of the first slot of the threshold page whose id is id, by
// the same walk; 0 when there is none.
uint8_t FindSMARTThreshold(std::span<const uint8_t> thresholdPage, uint8_t id,
                           SlotWalk walk = SlotWalk::StopAtEmpty);

// Every attribute on the data page in slot order, empty slots passed by, in
// one walk; a repeated id counts once, in its first slot, as the lookups
// take it.
struct PageAttribute {
    uint8_t Id = 0;
    SMARTAttribute Decoded;
};
std::vector<PageAttribute> SMARTAttributesOnPage(std::span<const uint8_t> dataPage);

struct SMARTAttributeName {
    uint8_t Id;
    std::string_view Name;
};

// The attributes the program shows, in display order. No other id is ever
// shown, written or evaluated. Names are shown exactly as they stand here,
// repeats and casing included.
inline constexpr std::array<SMARTAttributeName, 37> SMARTAttributeNames = {{
    {1, "Raw Read Error Rate"},
    {2, "Throughput Performance"},
    {3, "Spin Up Time"},
    {4, "Start/Stop Count"},
    {5, "Reallocated Sector Count"},
    {6, "Read Channel Margin"},
    {7, "Seek Error Rate"},
    {8, "Seek Time Performance"},
    {9, "Power-On Hours Count"},
    {10, "Spin Retry Count"},
    {11, "Calibration Retry Count"},
    {12, "Power Cycle Count"},
    {13, "Read Soft Error Rate"},
    {189, "High Fly Writes"},
    {190, "Airflow Temperature"},
    {191, "G-Sense Error Rate"},
    {192, "Power-Off Retract Count"},
    {193, "Load Cycle Count"},
    {194, "Temperature"},
    {195, "Hardware ECC Recovered"},
    {196, "Reallocation Event Count"},
    {197, "Current Pending Sector Count"},
    {198, "Uncorrectable Sector Count"},
    {199, "UltraDMA CRC Error Count"},
    {200, "Multi Zone Error Rate"},
    {201, "Soft Read Error Rate"},
    {220, "Disk Shift"},
    {221, "G-Sense Error Rate"},
    {222, "Loaded Hours"},
    {223, "Load Retry Count"},
    {224, "Load Friction"},
    {225, "Load Cycle Count"},
    {226, "Load-in Time"},
    {228, "Power-off Retract Count"},
    {231, "Temperature"},
    {240, "Head Flying Hours"},
    {250, "Read Error Retry Rate"},
}};

// Attribute ids the system looks at by number.
inline constexpr uint8_t SmartIdAirflowTemperature = 190;
inline constexpr uint8_t SmartIdTemperature = 194;

} // namespace quorvane

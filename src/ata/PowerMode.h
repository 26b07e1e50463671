// A drive's power mode, asked with CHECK POWER MODE. The command is answered
// from the drive's electronics alone, so asking never spins a drive up.
#pragma once

#include <cstdint>

#include "ata/DriveBus.h"

namespace quorvane {

enum class PowerMode {
    Unknown, // the drive did not say: no such command, an abort, no answer
    Active,
    Idle,
    Standby, // spun down
    Sleep,   // asleep until a reset; it wakes into standby
};

// The mode in Sector Count of CHECK POWER MODE's answer: 0xFF active (or
// idle), 0x80..0x83 idle, 0x00..0x02 standby, 0x40 standby with the NV cache
// powered, 0x41 spun up with the NV cache powered; anything else is unknown.
PowerMode DecodePowerMode(uint8_t sectorCount);

// Asks drive N for its power mode. A drive that cannot be opened, aborts the
// command or does not answer it is Unknown, and callers read it as usual.
//
// A sleeping drive does not listen until the host resets it, and the reset
// leaves it in standby. The host's kernel usually resets it and repeats the
// command on its own; when the request itself comes back failed it is sent
// once more on the same handle, and a drive that then answers standby was
// asleep.
PowerMode CheckPowerMode(DriveBus& bus, unsigned driveNumber);

// Standby and sleep: reading the drive would spin it up.
constexpr bool IsSpunDown(PowerMode mode) {
    return mode == PowerMode::Standby || mode == PowerMode::Sleep;
}

// "active", "idle", "standby", "sleep" or "unknown".
const char* PowerModeName(PowerMode mode);

} // namespace quorvane

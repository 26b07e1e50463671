// What the program and the privileged helper say to each other on the system
// bus, and the helper's check of every request.
//
//   SendAtaCommand(u drive, ay registers) -> (b ok, ay registers, ay data)
//
// registers: Features, Sector Count, LBA Low, LBA Mid, LBA High, Device,
// Command, then the previous Features, Sector Count, LBA Low, LBA Mid,
// LBA High. The answer has the same layout with Error in place of Features
// and Status in place of Command; data holds the 512 bytes of a data-in
// command that went through, else nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "ata/AtaCommand.h"
#include "ata/DeviceNames.h"
#include "nvme/NvmeCommand.h"

namespace quorvane {

inline constexpr const char* HelperBusName = "org.quorvane.Helper1";
inline constexpr const char* HelperObjectPath = "/org/quorvane/Helper1";
inline constexpr const char* HelperInterface = "org.quorvane.Helper1";
inline constexpr const char* HelperMethod = "SendAtaCommand";
inline constexpr const char* HelperNvmeMethod = "SendNvmeAdmin";
// Read-only properties: whether the helper's drives are simulated, and where
// they come from.
inline constexpr const char* HelperSimulatedProperty = "Simulated";
inline constexpr const char* HelperDescriptionProperty = "Description";

inline constexpr const char* HelperErrorNotAllowed = "org.quorvane.Helper1.Error.NotAllowed";
inline constexpr const char* HelperErrorNotAuthorized = "org.quorvane.Helper1.Error.NotAuthorized";
// Too many of the caller's commands are waiting for polkit already.
inline constexpr const char* HelperErrorBusy = "org.quorvane.Helper1.Error.Busy";

inline constexpr size_t HelperRegisterBytes = 12;
using HelperRegisters = std::array<uint8_t, HelperRegisterBytes>;

// The polkit action that guards a kind of access.
const char* HelperActionId(CommandAccess access);

// The 12-byte layout of a command's current and previous registers.
HelperRegisters EncodeHelperRegisters(const AtaCommand& cmd);
// Writes 12 bytes back into the registers (the reserved bytes become 0);
// false, with cmd unchanged, when the span is not 12 bytes long.
bool DecodeHelperRegisters(std::span<const uint8_t> bytes, AtaCommand& cmd);

// A request the helper carries: the command it builds itself from the row it
// matched, and the access that must be authorised.
struct HelperRequest {
    AtaCommand Command;
    CommandAccess Access;
};

// The helper's request check: drive 0..15, exactly 12 register bytes that are
// one row of the command table for that drive, and carriable by the command
// layer. nullopt for anything else.
std::optional<HelperRequest> CheckHelperRequest(uint32_t driveNumber,
                                                std::span<const uint8_t> registers);

inline constexpr size_t HelperNvmeCommandBytes = 32;
using HelperNvmeCommand = std::array<uint8_t, HelperNvmeCommandBytes>;

HelperNvmeCommand EncodeHelperNvmeCommand(const NvmeAdminCommand& cmd);

struct HelperNvmeRequest {
    NvmeAdminCommand Command;
    CommandAccess Access;
};

// The same check for NVMe: controller 0..15 and exactly 32 bytes that are
// one row of the NVMe command table; the data length comes from the row.
std::optional<HelperNvmeRequest> CheckHelperNvmeRequest(uint32_t controller,
                                                        std::span<const uint8_t> command);

} // namespace quorvane

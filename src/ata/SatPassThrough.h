// The SCSI/ATA Translation side of a pass-through request, as pure
// functions: the ATA PASS-THROUGH(16) CDB built from a command, and the
// command's result read back out of the SCSI answer and its sense data. The
// byte map is above the code in SatPassThrough.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "ata/AtaCommand.h"

namespace quorvane {

// Builds the ATA PASS-THROUGH(16) CDB for a command. ckCond asks the drive's
// registers back in the sense data.
std::array<uint8_t, 16> BuildPassThrough16(const AtaCommand& cmd, bool ckCond);

// Non-data commands are answered by their registers, so they ask for them
// (CK_COND). Data-in commands do not: their answer is the data, and an error
// still brings the registers back.
inline bool PassThroughWantsRegisters(const AtaCommand& cmd) {
    return !cmd.IsDataIn();
}

// What the sense data of a pass-through answer says.
struct SenseRegisters {
    AtaRegisters TaskFile;         // Error, Count, LBA, Device, Status as returned
    AtaRegisters PreviousTaskFile; // high-order bytes, when the answer carries them
    // The high-order bytes are known (descriptor with EXTEND, or a fixed
    // format answer whose flags say they are all zero).
    bool HighOrderKnown = false;
    // LBA Low, Mid and High were all in the sense; missing ones read as 0.
    bool AddressComplete = false;
};
// Reads the ATA registers out of sense data (descriptor format 0x72/0x73 with
// the ATA Status Return descriptor, or fixed format 0x70/0x71 in either
// libata layout). nullopt when the sense carries no ATA registers. Reads only
// the bytes of the span and within the sense's own additional length.
std::optional<SenseRegisters> ParseAtaStatusReturn(std::span<const uint8_t> sense);

// What one SG_IO request reported, as the kernel filled in sg_io_hdr.
struct PassThroughAnswer {
    uint8_t ScsiStatus = 0; // 0x00 GOOD, 0x02 CHECK CONDITION
    uint16_t HostStatus = 0;
    uint16_t DriverStatus = 0;
    int Resid = 0;                  // data bytes not transferred
    std::span<const uint8_t> Sense; // the sb_len_wr bytes the kernel wrote
};
inline constexpr uint8_t ScsiStatusGood = 0x00;
inline constexpr uint8_t ScsiStatusCheckCondition = 0x02;

// Turns an SG_IO answer into the command's result: true with the returned
// registers filled in, false when the request did not come back with a
// trustworthy answer (transport error, time-out, no registers where the
// command's answer is its registers, a refusal by the kernel, or an error
// report whose registers do not show ERR). A drive error with ERR set is
// true, so the caller sees ERR.
bool ApplyPassThroughAnswer(const PassThroughAnswer& answer, AtaCommand& cmd);

} // namespace quorvane

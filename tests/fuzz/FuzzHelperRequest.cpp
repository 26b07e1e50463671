// The privileged helper's check of a request that arrives on the system bus:
// a drive number and register bytes, both the input.
#include "FuzzSupport.h"
#include "ata/HelperProtocol.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t pick = in.Byte();
    // Mostly drive numbers near the allowed range, sometimes anything.
    uint32_t drive = pick % 20;
    if (pick & 0x80)
        drive = in.Word() | (uint32_t{in.Word()} << 16);
    const std::vector<uint8_t> registers = in.Rest();

    const auto request = CheckHelperRequest(drive, registers);
    if (!request)
        return 0;
    FUZZ_CHECK(drive <= MaxDriveNumber);
    FUZZ_CHECK(registers.size() == HelperRegisterBytes);
    const AtaCommand& cmd = request->Command;
    FUZZ_CHECK(AtaCommandIsCarriable(cmd));
    // The command carried is exactly the one asked for.
    const HelperRegisters encoded = EncodeHelperRegisters(cmd);
    FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), registers.begin(), registers.end()));
    // It is a row of the table, for that drive and no other.
    const AtaCommandRow* row = FindAtaCommandRow(drive, cmd.TaskFile, cmd.PreviousTaskFile);
    FUZZ_CHECK(row != nullptr);
    FUZZ_CHECK(row->Access == request->Access);
    FUZZ_CHECK(row->Flags == cmd.Flags);
    FUZZ_CHECK(((cmd.TaskFile.Device >> 4) & 1) == (drive & 1));
    FUZZ_CHECK(!CheckHelperRequest(drive ^ 1, registers).has_value());
    // The register layout reads back to itself.
    AtaCommand decoded;
    FUZZ_CHECK(DecodeHelperRegisters(registers, decoded));
    FUZZ_CHECK(decoded.TaskFile == cmd.TaskFile &&
               decoded.PreviousTaskFile == cmd.PreviousTaskFile);
    return 0;
}

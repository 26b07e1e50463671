// The SG_IO sense parser and the rules that turn an answer into a
// command's result, fed the kernel's answer from the input.
#include "FuzzSupport.h"
#include "ata/LinuxSgBus.h"
#include "ata/SatPassThrough.h"

using namespace quorvane;

namespace {

AtaCommand CommandOf(uint8_t selector) {
    switch (selector % 12) {
    case 0:
        return AtaCommand::SmartEnableOperations(selector >> 4);
    case 1:
        return AtaCommand::IdentifyDevice(selector >> 4);
    case 2:
        return AtaCommand::SmartReturnStatus(selector >> 4);
    case 3:
        return AtaCommand::SmartReadData(selector >> 4);
    case 4:
        return AtaCommand::SmartReadThresholds(selector >> 4);
    case 5:
        return AtaCommand::SmartEnableAutoOffline(selector >> 4);
    case 6:
        return AtaCommand::SmartEnableAutosave(selector >> 4);
    case 7:
        return AtaCommand::ReadNativeMaxAddressExt(selector >> 4);
    case 8:
        return AtaCommand::SetFeatures(selector >> 4, 0x42, 0x80);
    case 9:
        return AtaCommand::SetFeatures(selector >> 4, 0x85, 0);
    case 10:
        return AtaCommand::ReadSectors(selector >> 4, 0x0ABCDEF1);
    default:
        return AtaCommand::ReadSectorsExt(selector >> 4, 0x123456789ABCull);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t selector = in.Byte();
    const uint8_t status = in.Byte();
    const uint8_t host = in.Byte();
    const uint8_t driver = in.Byte();
    const uint8_t resid = in.Byte();
    // The sense as a heap block of its own size: a read past it is caught.
    const std::vector<uint8_t> sense = in.Rest();

    const auto regs = ParseAtaStatusReturn(sense);
    // Parsing never depends on bytes after the sense's own length.
    if (regs && sense.size() > 8) {
        std::vector<uint8_t> longer = sense;
        longer.resize(sense.size() + 32, 0xFF);
        const auto again = ParseAtaStatusReturn(longer);
        FUZZ_CHECK(again.has_value());
    }

    AtaCommand cmd = CommandOf(selector);
    const AtaCommand sent = cmd;
    const auto cdb = BuildPassThrough16(cmd, PassThroughWantsRegisters(cmd));
    FUZZ_CHECK(cdb[0] == 0x85);
    FUZZ_CHECK(cdb[14] == sent.TaskFile.Command);
    FUZZ_CHECK(AtaCommandIsCarriable(cmd));

    PassThroughAnswer answer;
    // Mostly the statuses a real answer has, sometimes anything.
    answer.ScsiStatus =
        (status & 0x80) ? status : ((status & 1) ? ScsiStatusCheckCondition : ScsiStatusGood);
    answer.HostStatus = (host & 0x80) ? host : 0;
    answer.DriverStatus = (driver & 0x80) ? driver : ((driver & 1) ? 0x08 : 0);
    answer.Resid = (resid & 0x80) ? resid : 0;
    answer.Sense = sense;
    const bool ok = ApplyPassThroughAnswer(answer, cmd);
    if (!ok)
        return 0;
    FUZZ_CHECK(answer.HostStatus == 0);
    if (regs) {
        FUZZ_CHECK(cmd.TaskFile == regs->TaskFile);
        FUZZ_CHECK(cmd.PreviousTaskFile == regs->PreviousTaskFile);
    } else {
        // Without registers only a data-in command that ended GOOD with all
        // its data counts, and then as a success.
        FUZZ_CHECK(sent.IsDataIn() && answer.ScsiStatus == ScsiStatusGood && answer.Resid == 0);
        FUZZ_CHECK((cmd.TaskFile.Status() & StatusErr) == 0);
    }
    if ((cmd.TaskFile.Status() & StatusErr) == 0) {
        if (sent.IsDataIn())
            FUZZ_CHECK(answer.Resid == 0);
        // A command answered in its registers got the whole address back.
        if (!sent.IsDataIn() && sent.TaskFile.Command == AtaCmdReadNativeMaxExt)
            FUZZ_CHECK(regs && regs->AddressComplete && regs->HighOrderKnown);
        if (!sent.IsDataIn() && sent.TaskFile.Features == SmartReturnStatus &&
            sent.TaskFile.Command == AtaCmdSmart)
            FUZZ_CHECK(regs && regs->AddressComplete);
    }
    return 0;
}

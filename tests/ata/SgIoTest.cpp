// The Linux pass-through layer without a device: the CDB it builds, the
// registers it reads back from sense data, and how it judges an answer.
// The captured buffers come from Linux 6.1 libata talking to QEMU's ATA disk
// (IDE and AHCI), apart from the SAT-layout fixed sense of newer kernels,
// which is built by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ata/LinuxSgBus.h"
#include "ata/SatPassThrough.h"

namespace quorvane {
namespace {

std::vector<uint8_t> Hex(std::string_view text) {
    std::vector<uint8_t> out;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        if (c == ' ')
            continue;
        const unsigned digit = (c >= '0' && c <= '9') ? unsigned(c - '0') : unsigned(c - 'a' + 10);
        value = value * 16 + digit;
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

std::vector<uint8_t> Cdb(const AtaCommand& cmd, bool ckCond) {
    const auto cdb = BuildPassThrough16(cmd, ckCond);
    return {cdb.begin(), cdb.end()};
}

// Sense data as the kernel returns it.
// SMART RETURN STATUS, success, descriptor format (as smartctl sent it: Count 0, LBA Low 0).
const char* const kSmartStatusOk =
    "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f 00 c2 a0 50";
// SMART ENABLE AUTO OFF-LINE aborted: fixed format in the old libata layout.
const char* const kAbortedOldFixed = "70 00 0b 00 00 00 00 0a 04 41 a0 f8 00 00 00 00 00 01";
// READ NATIVE MAX ADDRESS EXT of a 64 MiB disk: max LBA 131071, with EXTEND.
const char* const kNativeMax64MiB =
    "72 01 00 1d 00 00 00 0e 09 0c 01 00 00 00 00 ff 00 ff 00 01 e0 50";
// The same for a 3 TiB disk: max LBA 0x17FFFFFFF needs the high-order bytes.
const char* const kNativeMax3TiB =
    "72 01 00 1d 00 00 00 0e 09 0c 01 00 00 00 7f ff 01 ff 00 ff e0 50";
// A command the kernel refuses itself (SET FEATURES 0x03): ILLEGAL REQUEST,
// INVALID FIELD IN CDB with a field pointer, no registers.
const char* const kRefusedFixed =
    "70 00 05 00 00 00 00 12 00 00 00 00 24 00 00 c0 00 04 00 00 00 00 00 00 00 00";
const char* const kRefusedDescriptor = "72 05 24 00 00 00 00 00";
// READ SECTOR(S) EXT beyond the end: aborted, old fixed layout, flags 0xA0.
const char* const kReadPastEnd = "70 00 0b 00 00 00 00 0a 04 41 e0 01 00 00 00 00 a0 89";
// IDENTIFY with CK_COND on AHCI: ABORTED COMMAND, Status 0x58 (DRQ, no ERR).
const char* const kAhciCkCondArtefact = "70 00 0b 00 00 00 00 0a 00 58 a0 00 00 00 00 00 00 00";

// ---------------------------------------------------------------- CDB

struct CdbCase {
    const char* Name;
    AtaCommand Command;
    const char* Expected;
};

TEST(BuildPassThrough16, EveryCommandCarriesItsRegistersWithTheRightProtocol) {
    const CdbCase cases[] = {
        {"SMART ENABLE OPERATIONS", AtaCommand::SmartEnableOperations(0),
         "85 06 20 00 d8 00 01 00 01 00 4f 00 c2 a0 b0 00"},
        {"IDENTIFY DEVICE", AtaCommand::IdentifyDevice(0),
         "85 08 0e 00 00 00 00 00 00 00 00 00 00 a0 ec 00"},
        {"IDENTIFY DEVICE odd", AtaCommand::IdentifyDevice(3),
         "85 08 0e 00 00 00 00 00 00 00 00 00 00 b0 ec 00"},
        {"SMART RETURN STATUS", AtaCommand::SmartReturnStatus(0),
         "85 06 20 00 da 00 01 00 01 00 4f 00 c2 a0 b0 00"},
        {"SMART READ DATA odd", AtaCommand::SmartReadData(1),
         "85 08 0e 00 d0 00 01 00 01 00 4f 00 c2 b0 b0 00"},
        {"SMART READ THRESHOLDS", AtaCommand::SmartReadThresholds(2),
         "85 08 0e 00 d1 00 01 00 01 00 4f 00 c2 a0 b0 00"},
        {"SMART AUTO OFF-LINE", AtaCommand::SmartEnableAutoOffline(5),
         "85 06 20 00 db 00 f8 00 01 00 4f 00 c2 b0 b0 00"},
        {"SMART AUTOSAVE", AtaCommand::SmartEnableAutosave(4),
         "85 06 20 00 d2 00 f1 00 01 00 4f 00 c2 a0 b0 00"},
        {"READ NATIVE MAX ADDRESS EXT", AtaCommand::ReadNativeMaxAddressExt(0),
         "85 07 20 00 00 00 00 00 00 00 00 00 00 40 27 00"},
        {"READ NATIVE MAX ADDRESS EXT odd", AtaCommand::ReadNativeMaxAddressExt(15),
         "85 07 20 00 00 00 00 00 00 00 00 00 00 50 27 00"},
        {"enable AAM", AtaCommand::SetFeatures(0, 0x42, 0x80),
         "85 06 20 00 42 00 80 00 00 00 00 00 00 a0 ef 00"},
        {"disable AAM", AtaCommand::SetFeatures(1, 0xC2, 0x00),
         "85 06 20 00 c2 00 00 00 00 00 00 00 00 b0 ef 00"},
        {"enable APM", AtaCommand::SetFeatures(2, 0x05, 0xFE),
         "85 06 20 00 05 00 fe 00 00 00 00 00 00 a0 ef 00"},
        {"disable APM", AtaCommand::SetFeatures(7, 0x85, 0x00),
         "85 06 20 00 85 00 00 00 00 00 00 00 00 b0 ef 00"},
        {"CHECK POWER MODE odd", AtaCommand::CheckPowerMode(3),
         "85 06 20 00 00 00 00 00 00 00 00 00 00 b0 e5 00"},
        // 28-bit: LBA bits 24-27 travel in the Device byte.
        {"READ SECTOR(S)", AtaCommand::ReadSectors(1, 0x0BCDEF12),
         "85 08 0e 00 00 00 01 00 12 00 ef 00 cd 5b 20 00"},
        // 48-bit: bits 24-47 in the previous bytes 7, 9, 11.
        {"READ SECTOR(S) EXT", AtaCommand::ReadSectorsExt(0, 0xA1B2C3D4E5F6ull),
         "85 09 0e 00 00 00 01 c3 f6 b2 e5 a1 d4 40 24 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Cdb(c.Command, PassThroughWantsRegisters(c.Command)), Hex(c.Expected));
    }
}

TEST(BuildPassThrough16, OnlyNonDataCommandsAskForTheirRegisters) {
    EXPECT_TRUE(PassThroughWantsRegisters(AtaCommand::SmartReturnStatus(0)));
    EXPECT_TRUE(PassThroughWantsRegisters(AtaCommand::ReadNativeMaxAddressExt(0)));
    EXPECT_TRUE(PassThroughWantsRegisters(AtaCommand::SetFeatures(0, 0x42, 0x80)));
    EXPECT_TRUE(PassThroughWantsRegisters(AtaCommand::CheckPowerMode(0)));
    EXPECT_FALSE(PassThroughWantsRegisters(AtaCommand::IdentifyDevice(0)));
    EXPECT_FALSE(PassThroughWantsRegisters(AtaCommand::ReadSectorsExt(0, 0)));

    // CK_COND is one bit of byte 2 and touches nothing else.
    auto identify = Cdb(AtaCommand::IdentifyDevice(0), true);
    EXPECT_EQ(identify[2], 0x2E);
    auto status = Cdb(AtaCommand::SmartReturnStatus(0), false);
    EXPECT_EQ(status[2], 0x00);
    EXPECT_EQ(status[10], 0x4F);
}

TEST(BuildPassThrough16, HighOrderBytesOnlyGoOutWithExtend) {
    // A 28-bit command never carries previous bytes, even if they were set.
    AtaCommand cmd = AtaCommand::ReadSectors(0, 0);
    cmd.PreviousTaskFile.LbaLow = 0x77;
    const auto cdb = Cdb(cmd, false);
    EXPECT_EQ(cdb[1] & 0x01, 0);
    EXPECT_EQ(cdb[7], 0);
    // A 48-bit command sends all five of them, Features and Count included.
    AtaCommand ext = AtaCommand::ReadNativeMaxAddressExt(0);
    ext.PreviousTaskFile = {0x11, 0x22, 0x33, 0x44, 0x55, 0, 0, 0};
    EXPECT_EQ(Cdb(ext, true), Hex("85 07 20 11 00 22 00 33 00 44 00 55 00 40 27 00"));
}

// ---------------------------------------------------------------- sense parsing

TEST(ParseAtaStatusReturn, DescriptorFormatFromTheDrive) {
    const auto regs = ParseAtaStatusReturn(Hex(kSmartStatusOk));
    ASSERT_TRUE(regs);
    EXPECT_EQ(regs->TaskFile, (AtaRegisters{0x00, 0x00, 0x00, 0x4F, 0xC2, 0xA0, 0x50, 0}));
    EXPECT_TRUE(regs->AddressComplete);
    EXPECT_FALSE(regs->HighOrderKnown);
    EXPECT_EQ(regs->PreviousTaskFile, AtaRegisters{});

    // Without EXTEND the previous bytes are not taken even if nonzero.
    auto noExtend = Hex(kNativeMax3TiB);
    noExtend[10] = 0x00;
    const auto partial = ParseAtaStatusReturn(noExtend);
    ASSERT_TRUE(partial);
    EXPECT_FALSE(partial->HighOrderKnown);
    EXPECT_EQ(partial->PreviousTaskFile, AtaRegisters{});
}

TEST(ParseAtaStatusReturn, DescriptorWithExtendCarriesTheHighOrderBytes) {
    const auto small = ParseAtaStatusReturn(Hex(kNativeMax64MiB));
    ASSERT_TRUE(small);
    EXPECT_TRUE(small->HighOrderKnown);
    EXPECT_EQ(small->TaskFile.LbaLow, 0xFF);
    EXPECT_EQ(small->TaskFile.LbaMid, 0xFF);
    EXPECT_EQ(small->TaskFile.LbaHigh, 0x01);
    EXPECT_EQ(small->TaskFile.Device, 0xE0);

    const auto big = ParseAtaStatusReturn(Hex(kNativeMax3TiB));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->PreviousTaskFile, (AtaRegisters{0, 0x00, 0x7F, 0x01, 0x00, 0, 0, 0}));
    EXPECT_EQ(big->TaskFile, (AtaRegisters{0, 0x00, 0xFF, 0xFF, 0xFF, 0xE0, 0x50, 0}));
}

TEST(ParseAtaStatusReturn, DescriptorIsFoundBehindOtherDescriptors) {
    // An INFORMATION descriptor (code 0, 10 more bytes) ahead of the ATA one;
    // deferred-error code 0x73.
    const auto sense = Hex("73 01 00 1d 00 00 00 1a"
                           " 00 0a 80 00 00 00 00 00 00 00 00 00"
                           " 09 0c 00 04 00 01 00 02 00 03 00 04 f0 51");
    const auto regs = ParseAtaStatusReturn(sense);
    ASSERT_TRUE(regs);
    EXPECT_EQ(regs->TaskFile, (AtaRegisters{0x04, 0x01, 0x02, 0x03, 0x04, 0xF0, 0x51, 0}));
}

TEST(ParseAtaStatusReturn, FixedFormatInTheOldLibataLayout) {
    // Registers at bytes 8-11, LBA Low at 17; Mid and High were cut off.
    const auto regs = ParseAtaStatusReturn(Hex(kAbortedOldFixed));
    ASSERT_TRUE(regs);
    EXPECT_EQ(regs->TaskFile, (AtaRegisters{0x04, 0xF8, 0x01, 0x00, 0x00, 0xA0, 0x41, 0}));
    EXPECT_FALSE(regs->AddressComplete);

    // When the kernel returns all 20 bytes, Mid and High are there too.
    const auto full =
        ParseAtaStatusReturn(Hex("70 00 01 00 00 00 00 0c 00 50 a0 01 00 1d 00 00 00 01 4f c2"));
    ASSERT_TRUE(full);
    EXPECT_TRUE(full->AddressComplete);
    EXPECT_EQ(full->TaskFile.LbaMid, 0x4F);
    EXPECT_EQ(full->TaskFile.LbaHigh, 0xC2);
    EXPECT_EQ(full->TaskFile.Status(), 0x50);
}

TEST(ParseAtaStatusReturn, FixedFormatInTheSatLayout) {
    // VALID set: Error, Status, Device, Count at 3-6; flags and LBA at 8-11.
    const auto regs =
        ParseAtaStatusReturn(Hex("f0 00 0b 04 51 40 01 0a 00 10 20 30 00 00 00 00 00 00"));
    ASSERT_TRUE(regs);
    EXPECT_EQ(regs->TaskFile, (AtaRegisters{0x04, 0x01, 0x10, 0x20, 0x30, 0x40, 0x51, 0}));
    EXPECT_TRUE(regs->AddressComplete);
    EXPECT_FALSE(regs->HighOrderKnown); // a 28-bit answer

    // 48-bit answers: the flags tell whether the high-order bytes are all zero.
    const auto zeroHigh =
        ParseAtaStatusReturn(Hex("f0 00 01 00 50 40 00 0a 80 ff ff 01 00 1d 00 00 00 00"));
    ASSERT_TRUE(zeroHigh);
    EXPECT_TRUE(zeroHigh->HighOrderKnown);
    EXPECT_EQ(zeroHigh->PreviousTaskFile, AtaRegisters{});
    const auto lostHigh =
        ParseAtaStatusReturn(Hex("f0 00 01 00 50 40 00 0a a0 ff ff ff 00 1d 00 00 00 00"));
    ASSERT_TRUE(lostHigh);
    EXPECT_FALSE(lostHigh->HighOrderKnown);
}

TEST(ParseAtaStatusReturn, SenseWithoutRegistersGivesNothing) {
    EXPECT_FALSE(ParseAtaStatusReturn(Hex(kRefusedFixed)));
    EXPECT_FALSE(ParseAtaStatusReturn(Hex(kRefusedDescriptor)));
    EXPECT_FALSE(ParseAtaStatusReturn({}));
    // Unknown response codes and garbage.
    EXPECT_FALSE(ParseAtaStatusReturn(Hex("00 00 00 00 00 00 00 0e 09 0c 00 00 00 00 00 00")));
    EXPECT_FALSE(ParseAtaStatusReturn(Hex("7f ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff")));
    // The ATA descriptor claiming fewer than 12 bytes.
    EXPECT_FALSE(
        ParseAtaStatusReturn(Hex("72 01 00 1d 00 00 00 0c 09 0a 00 00 00 00 00 00 00 4f 00 c2")));
    // Empty descriptors run to the end without finding one.
    EXPECT_FALSE(ParseAtaStatusReturn(Hex("72 01 00 1d 00 00 00 08 01 00 01 00 01 00 01 00")));
}

TEST(ParseAtaStatusReturn, NeverTrustsBytesBeyondTheSenseOrItsLength) {
    // The additional length covers only part of the descriptor: the rest of
    // the buffer is not sense data.
    auto shortLength = Hex(kSmartStatusOk);
    shortLength[7] = 0x0D;
    EXPECT_FALSE(ParseAtaStatusReturn(shortLength));
    // A descriptor that claims to run past the sense.
    EXPECT_FALSE(ParseAtaStatusReturn(Hex("72 01 00 1d 00 00 00 ff 09 ff 00 00 00 00")));
    // Old fixed layout whose additional length stops before LBA Low.
    auto fixed = Hex(kAbortedOldFixed);
    fixed[7] = 0x04;
    const auto cut = ParseAtaStatusReturn(fixed);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->TaskFile.Status(), 0x41);
    EXPECT_EQ(cut->TaskFile.LbaLow, 0x00);
    EXPECT_FALSE(cut->AddressComplete);
}

TEST(ParseAtaStatusReturn, EveryTruncationIsHandledInsideTheBuffer) {
    // Each prefix lives in a buffer of exactly its size, so a read past the
    // end shows up under ASan or valgrind.
    const std::vector<uint8_t> buffers[] = {Hex(kSmartStatusOk), Hex(kAbortedOldFixed),
                                            Hex(kNativeMax3TiB), Hex(kRefusedFixed),
                                            Hex("f0 00 0b 04 51 40 01 0a 80 10 20 30")};
    for (const auto& full : buffers) {
        for (size_t n = 0; n <= full.size(); ++n) {
            auto prefix = std::make_unique<uint8_t[]>(n);
            std::copy_n(full.begin(), n, prefix.get());
            const auto regs = ParseAtaStatusReturn({prefix.get(), n});
            const bool descriptor = (full[0] & 0x7F) == 0x72;
            if (descriptor && n < full.size()) {
                EXPECT_FALSE(regs) << "descriptor cut to " << n << " bytes";
            }
            if (full == Hex(kAbortedOldFixed)) {
                EXPECT_EQ(regs.has_value(), n >= 12) << n;
                if (regs) {
                    EXPECT_EQ(regs->TaskFile.LbaLow, n >= 18 ? 0x01 : 0x00) << n;
                }
            }
        }
    }
    // Random bytes under each response code: no crash, no overread.
    std::mt19937 rng(12345);
    for (int round = 0; round < 4000; ++round) {
        const size_t n = rng() % 40;
        auto buf = std::make_unique<uint8_t[]>(n);
        for (size_t i = 0; i < n; ++i)
            buf[i] = static_cast<uint8_t>(rng());
        if (n > 0)
            buf[0] = static_cast<uint8_t>(0x70 + rng() % 4) | (rng() % 2 ? 0x80 : 0);
        if (n > 8 && rng() % 2)
            buf[8] = 0x09;
        (void)ParseAtaStatusReturn({buf.get(), n});
    }
}

// ---------------------------------------------------------------- judging the answer

PassThroughAnswer Good() {
    return {};
}
PassThroughAnswer CheckCondition(const std::vector<uint8_t>& sense) {
    PassThroughAnswer a;
    a.ScsiStatus = ScsiStatusCheckCondition;
    a.DriverStatus = 0x08;
    a.Sense = sense;
    return a;
}

TEST(ApplyPassThroughAnswer, DataInEndingGoodIsASuccessWithoutRegisters) {
    AtaCommand cmd = AtaCommand::IdentifyDevice(1);
    ASSERT_TRUE(ApplyPassThroughAnswer(Good(), cmd));
    EXPECT_TRUE(AtaSucceeded(true, cmd));
    EXPECT_EQ(cmd.TaskFile.Status(), 0x50);
    EXPECT_EQ(cmd.TaskFile.Error(), 0x00);
    EXPECT_EQ(cmd.TaskFile.Device, 0xB0);

    // Not all 512 bytes arrived.
    AtaCommand shortRead = AtaCommand::SmartReadData(0);
    PassThroughAnswer partial = Good();
    partial.Resid = 12;
    EXPECT_FALSE(ApplyPassThroughAnswer(partial, shortRead));
}

TEST(ApplyPassThroughAnswer, RegistersAreNeverMadeUpFromTheRequest) {
    // SMART RETURN STATUS answered GOOD without sense: the 4F/C2 in the
    // command are the request's own bytes, so this is a failed call.
    AtaCommand status = AtaCommand::SmartReturnStatus(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(Good(), status));

    // A success in the old fixed layout lost LBA Mid/High: no verdict.
    const auto lost = Hex("70 00 01 00 00 00 00 0a 00 50 a0 01 00 1d 00 00 00 01");
    AtaCommand status2 = AtaCommand::SmartReturnStatus(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(lost), status2));
    // ... while SET FEATURES, judged by Status, goes through with it.
    AtaCommand aam = AtaCommand::SetFeatures(0, 0x42, 0x80);
    EXPECT_TRUE(ApplyPassThroughAnswer(CheckCondition(lost), aam));
    EXPECT_EQ(aam.TaskFile.Status(), 0x50);

    // The kernel refused the command: no registers at all.
    const auto refusedFixed = Hex(kRefusedFixed);
    const auto refusedDesc = Hex(kRefusedDescriptor);
    AtaCommand setFeatures = AtaCommand::SetFeatures(0, 0x03, 0x46);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(refusedFixed), setFeatures));
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(refusedDesc), setFeatures));
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(refusedFixed), identify));
}

TEST(ApplyPassThroughAnswer, SmartStatusVerdictComesFromTheDrive) {
    const auto ok = Hex(kSmartStatusOk);
    AtaCommand cmd = AtaCommand::SmartReturnStatus(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(ok), cmd));
    EXPECT_TRUE(AtaSucceeded(true, cmd));
    EXPECT_EQ(cmd.TaskFile.LbaMid, SmartKeyMid);
    EXPECT_EQ(cmd.TaskFile.LbaHigh, SmartKeyHigh);

    const auto exceeded = Hex("72 01 00 1d 00 00 00 0e 09 0c 00 00 00 01 00 01 00 f4 00 2c a0 50");
    AtaCommand bad = AtaCommand::SmartReturnStatus(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(exceeded), bad));
    EXPECT_EQ(bad.TaskFile.LbaMid, SmartExceededMid);
    EXPECT_EQ(bad.TaskFile.LbaHigh, SmartExceededHigh);
}

TEST(ApplyPassThroughAnswer, DriveErrorsComeBackWithErrSet) {
    // SMART ENABLE AUTO OFF-LINE aborted, old fixed layout.
    const auto aborted = Hex(kAbortedOldFixed);
    AtaCommand offline = AtaCommand::SmartEnableAutoOffline(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(aborted), offline));
    EXPECT_FALSE(AtaSucceeded(true, offline));
    EXPECT_EQ(offline.TaskFile.Error(), ErrorAbrt);
    EXPECT_EQ(offline.TaskFile.LbaMid, 0x00); // lost, not the request's 0x4F

    // A sector read that failed (data-in, descriptor sense with ERR).
    const auto readError = Hex("72 0b 00 00 00 00 00 0e 09 0c 00 04 00 01 00 00 00 08 00 00 e0 41");
    AtaCommand read = AtaCommand::ReadSectors(0, 2048);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(readError), read));
    EXPECT_FALSE(AtaSucceeded(true, read));

    // A 48-bit read past the end, old fixed layout: ERR with what is left.
    const auto pastEnd = Hex(kReadPastEnd);
    AtaCommand readExt = AtaCommand::ReadSectorsExt(0, 0x123456789ull);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(pastEnd), readExt));
    EXPECT_FALSE(AtaSucceeded(true, readExt));
    EXPECT_EQ(readExt.TaskFile.Error(), ErrorAbrt);
    EXPECT_EQ(readExt.TaskFile.LbaLow, 0x89);
    EXPECT_EQ(readExt.PreviousTaskFile, AtaRegisters{}); // not known, not the request's
}

TEST(ApplyPassThroughAnswer, AnErrorReportWithoutErrIsAFailure) {
    // The AHCI artefact as the kernel reports it, and the same in descriptor format.
    const auto artefact = Hex(kAhciCkCondArtefact);
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(artefact), identify));
    const auto artefactDesc =
        Hex("72 0b 00 00 00 00 00 0e 09 0c 00 00 00 00 00 00 00 00 00 00 40 58");
    AtaCommand identify1 = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(artefactDesc), identify1));
    // The same Status in a success report is fine for a data-in command.
    const auto recovered = Hex("72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 00 00 00 a0 50");
    AtaCommand identify2 = AtaCommand::IdentifyDevice(0);
    EXPECT_TRUE(ApplyPassThroughAnswer(CheckCondition(recovered), identify2));
}

TEST(ApplyPassThroughAnswer, NativeMaxNeedsItsHighOrderBytes) {
    const auto big = Hex(kNativeMax3TiB);
    AtaCommand cmd = AtaCommand::ReadNativeMaxAddressExt(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(big), cmd));
    EXPECT_EQ(ReturnedLba48(cmd), 0x17FFFFFFFull);

    const auto small = Hex(kNativeMax64MiB);
    AtaCommand cmd64 = AtaCommand::ReadNativeMaxAddressExt(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(small), cmd64));
    EXPECT_EQ(ReturnedLba48(cmd64), 131071u);

    // No EXTEND in the answer: the high bytes are unknown.
    auto noExtend = Hex(kNativeMax3TiB);
    noExtend[10] = 0x00;
    AtaCommand cmd2 = AtaCommand::ReadNativeMaxAddressExt(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(noExtend), cmd2));

    // Fixed format: only "all high bytes zero" is an answer.
    const auto zeroHigh = Hex("f0 00 01 00 50 40 00 0a 80 ff ff 01 00 1d 00 00 00 00");
    AtaCommand cmd3 = AtaCommand::ReadNativeMaxAddressExt(0);
    ASSERT_TRUE(ApplyPassThroughAnswer(CheckCondition(zeroHigh), cmd3));
    EXPECT_EQ(ReturnedLba48(cmd3), 0x1FFFFu);
    const auto lostHigh = Hex("f0 00 01 00 50 40 00 0a a0 ff ff ff 00 1d 00 00 00 00");
    AtaCommand cmd4 = AtaCommand::ReadNativeMaxAddressExt(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition(lostHigh), cmd4));
}

TEST(ApplyPassThroughAnswer, TransportFailuresAreFailures) {
    const auto ok = Hex(kSmartStatusOk);
    PassThroughAnswer timedOut = CheckCondition(ok);
    timedOut.HostStatus = 0x03; // DID_TIME_OUT
    AtaCommand a = AtaCommand::SmartReturnStatus(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(timedOut, a));

    PassThroughAnswer driverTimeout = Good();
    driverTimeout.DriverStatus = 0x06; // DRIVER_TIMEOUT
    AtaCommand b = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(driverTimeout, b));

    PassThroughAnswer busy = Good();
    busy.ScsiStatus = 0x08; // BUSY
    AtaCommand c = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(busy, c));

    // CHECK CONDITION with no sense at all.
    AtaCommand d = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(ApplyPassThroughAnswer(CheckCondition({}), d));
}

// ---------------------------------------------------------------- the bus

TEST(LinuxSgBus, OpensOnlyDrivesZeroToFifteenThatAreDevices) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quorvane-sg-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "sda") << "not a device";

    LinuxSgBus files((dir / "sd").string());
    EXPECT_EQ(files.OpenDrive(0), nullptr); // a regular file
    EXPECT_EQ(files.OpenDrive(1), nullptr); // missing
    EXPECT_FALSE(files.PermissionDenied());
    EXPECT_FALSE(files.IsSimulated());
    fs::remove_all(dir);

    // "/dev/nul" + 'l' is /dev/null: a device that opens but takes no SG_IO.
    LinuxSgBus null("/dev/nul");
    EXPECT_EQ(null.OpenDrive(16), nullptr);
    auto handle = null.OpenDrive('l' - 'a');
    ASSERT_NE(handle, nullptr);
    AtaCommand cmd = AtaCommand::SmartReturnStatus(0);
    EXPECT_FALSE(handle->SendAtaCommand(cmd));
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    EXPECT_FALSE(handle->SendAtaCommand(identify));
}

TEST(LinuxSgBus, ADriveRefusedForLackOfPermissionIsRemembered) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("quorvane-perm-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    std::ofstream(dir / "sda") << "x";
    ASSERT_EQ(::chmod((dir / "sda").c_str(), 0), 0);

    // Root opens anything: try as an unprivileged user in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        LinuxSgBus bus((dir / "sd").string());
        const bool absent = bus.OpenDrive(0) == nullptr;
        ::_exit(absent && bus.PermissionDenied() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The permission check and the scan share one open of each node: OpenAll's
// descriptors serve the next OpenDrive of each drive, found or missing.
TEST(LinuxSgBus, OpenAllOpensEachNodeOnceForTheNextOpenDrive) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quorvane-all-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    fs::create_symlink("/dev/null", dir / "sda"); // a device
    std::ofstream(dir / "sdb") << "not a device";
    std::ofstream(dir / "sdc") << "x";
    ASSERT_EQ(::chmod((dir / "sdc").c_str(), 0), 0);

    // As an unprivileged user, so that sdc refuses (root opens anything).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(90);
        LinuxSgBus bus((dir / "sd").string());
        if (bus.OpenAll() || !bus.PermissionDenied())
            ::_exit(91); // sdc's refusal is not seen
        // The nodes change after the one open: the first OpenDrive of each
        // drive still gets what OpenAll found, the next one opens afresh.
        fs::remove(dir / "sda");
        fs::create_symlink("/dev/null", dir / "sdd");
        const struct {
            unsigned Drive;
            bool Found;
            int Code;
        } steps[] = {
            {0, true, 92},  // OpenAll's descriptor, though the node is gone
            {0, false, 93}, // opened again: gone
            {1, false, 94}, // a regular file is no drive
            {2, false, 95}, // refused
            {3, false, 96}, // missing when OpenAll looked
            {3, true, 97},  // there now
            {16, false, 98},
        };
        for (const auto& step : steps)
            if ((bus.OpenDrive(step.Drive) != nullptr) != step.Found)
                ::_exit(step.Code);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "90: no user change, 91: no refusal seen, 92..98: step";
}

} // namespace
} // namespace quorvane

// The privileged helper's request check: exactly the rows of the command
// table pass, anything else is refused.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ata/HelperProtocol.h"

namespace quorvane {
namespace {

std::optional<HelperRequest> Check(uint32_t drive, const AtaCommand& cmd) {
    const HelperRegisters regs = EncodeHelperRegisters(cmd);
    return CheckHelperRequest(drive, regs);
}

// A row's command with its free registers filled in the way a caller fills them.
AtaCommand Filled(const AtaCommandRow& row, unsigned n) {
    AtaCommand cmd = CommandFromRow(row, n);
    if (row.Free & RowFreeSectorCount)
        cmd.TaskFile.SectorCount = 0xFE;
    if (row.Free & RowFreeAddress) {
        cmd.TaskFile.LbaLow = 0x12;
        cmd.TaskFile.LbaMid = 0x34;
        cmd.TaskFile.LbaHigh = 0x56;
        if (row.Flags & AtaFlag48Bit) {
            cmd.PreviousTaskFile.LbaLow = 0x78;
            cmd.PreviousTaskFile.LbaMid = 0x9A;
            cmd.PreviousTaskFile.LbaHigh = 0xBC;
        } else {
            cmd.TaskFile.Device |= 0x0F;
        }
    }
    return cmd;
}

TEST(HelperRequest, EveryRowOfTheCommandTableIsCarriedAsTheRowSays) {
    ASSERT_GE(AtaCommandTable().size(), 15u);
    for (const AtaCommandRow& row : AtaCommandTable()) {
        for (unsigned n : {0u, 1u, 6u, 15u}) {
            for (const AtaCommand& sent : {CommandFromRow(row, n), Filled(row, n)}) {
                const auto request = Check(n, sent);
                ASSERT_TRUE(request) << row.Name << " drive " << n;
                EXPECT_EQ(request->Access, row.Access) << row.Name;
                // The helper's own request: the caller's registers, the row's
                // direction, size and 48-bit flag.
                EXPECT_EQ(request->Command.TaskFile, sent.TaskFile) << row.Name;
                EXPECT_EQ(request->Command.PreviousTaskFile, sent.PreviousTaskFile) << row.Name;
                EXPECT_EQ(request->Command.Flags, row.Flags) << row.Name;
                EXPECT_EQ(request->Command.DataLength, sent.DataLength) << row.Name;
            }
        }
    }
}

TEST(HelperRequest, TheConstructorsCommandsNeedTheirOwnKindOfAccess) {
    const unsigned n = 5;
    struct Case {
        AtaCommand Command;
        CommandAccess Access;
    };
    const Case cases[] = {
        {AtaCommand::SmartEnableOperations(n), CommandAccess::ReadSmart},
        {AtaCommand::IdentifyDevice(n), CommandAccess::ReadSmart},
        {AtaCommand::SmartReturnStatus(n), CommandAccess::ReadSmart},
        {AtaCommand::SmartReadData(n), CommandAccess::ReadSmart},
        {AtaCommand::SmartReadThresholds(n), CommandAccess::ReadSmart},
        {AtaCommand::SmartEnableAutoOffline(n), CommandAccess::ReadSmart},
        {AtaCommand::SmartEnableAutosave(n), CommandAccess::ReadSmart},
        {AtaCommand::ReadNativeMaxAddressExt(n), CommandAccess::ReadSmart},
        {AtaCommand::SetFeatures(n, 0x42, 0x80), CommandAccess::SetFeatures},
        {AtaCommand::SetFeatures(n, 0xC2, 0), CommandAccess::SetFeatures},
        {AtaCommand::SetFeatures(n, 0x05, 0xFE), CommandAccess::SetFeatures},
        {AtaCommand::SetFeatures(n, 0x85, 0), CommandAccess::SetFeatures},
        {AtaCommand::CheckPowerMode(n), CommandAccess::ReadSmart},
        {AtaCommand::ReadSectors(n, 0), CommandAccess::ReadSectors},
        {AtaCommand::ReadSectors(n, 0x0FFFFFFF), CommandAccess::ReadSectors},
        {AtaCommand::ReadSectorsExt(n, 0), CommandAccess::ReadSectors},
        {AtaCommand::ReadSectorsExt(n, 0xFFFFFFFFFFFFull), CommandAccess::ReadSectors},
    };
    for (const auto& c : cases) {
        const auto request = Check(n, c.Command);
        ASSERT_TRUE(request) << int{c.Command.TaskFile.Command};
        EXPECT_EQ(request->Access, c.Access) << int{c.Command.TaskFile.Command};
        EXPECT_EQ(request->Command.Flags, c.Command.Flags);
    }
    EXPECT_STREQ(HelperActionId(CommandAccess::ReadSmart), "org.quorvane.helper.read-smart");
    EXPECT_STREQ(HelperActionId(CommandAccess::SetFeatures), "org.quorvane.helper.set-features");
    EXPECT_STREQ(HelperActionId(CommandAccess::ReadSectors), "org.quorvane.helper.read-sectors");
    EXPECT_STREQ(HelperActionId(CommandAccess::RunSelfTest), "org.quorvane.helper.run-selftest");
    EXPECT_EQ(Check(n, AtaCommand::SmartSelfTest(n, SelfTestKind::Extended))->Access,
              CommandAccess::RunSelfTest);
}

// Registers as 12 bytes: Features, Count, LBA Low/Mid/High, Device, Command,
// previous Features, Count, LBA Low/Mid/High.
using Bytes = std::vector<uint8_t>;

TEST(HelperRequest, EverythingElseIsRefused) {
    const unsigned n = 2; // even: Device 0xA0, LBA Device 0x40
    struct Case {
        const char* What;
        Bytes Registers;
        uint32_t Drive = n;
    };
    const Case cases[] = {
        // Commands outside the table, data-out ones first.
        {"WRITE SECTOR(S)", {0, 1, 0, 0, 0, 0x40, 0x30, 0, 0, 0, 0, 0}},
        {"WRITE SECTOR(S) EXT", {0, 1, 0, 0, 0, 0x40, 0x34, 0, 0, 0, 0, 0}},
        {"WRITE DMA", {0, 1, 0, 0, 0, 0x40, 0xCA, 0, 0, 0, 0, 0}},
        {"SMART WRITE LOG", {0xD6, 1, 0x80, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"DOWNLOAD MICROCODE", {0x07, 1, 0, 0, 0, 0xA0, 0x92, 0, 0, 0, 0, 0}},
        {"SECURITY ERASE UNIT", {0, 0, 0, 0, 0, 0xA0, 0xF4, 0, 0, 0, 0, 0}},
        {"SET MAX ADDRESS EXT", {0, 0, 0, 0, 0, 0x40, 0x37, 0, 0, 0, 0, 0}},
        {"READ DMA EXT", {0, 1, 0, 0, 0, 0x40, 0x25, 0, 0, 0, 0, 0}},
        {"NOP", {0, 0, 0, 0, 0, 0xA0, 0x00, 0, 0, 0, 0, 0}},
        // Table commands with other features.
        // Self-tests in captive mode hold the drive; only off-line ones pass.
        {"SMART EXECUTE OFF-LINE IMMEDIATE captive short", {0xD4, 0, 0x81, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART EXECUTE OFF-LINE IMMEDIATE off-line collection", {0xD4, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART EXECUTE OFF-LINE IMMEDIATE with a count", {0xD4, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART READ LOG of a vendor log", {0xD5, 1, 0x80, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART READ LOG of 2 sectors", {0xD5, 2, 0x06, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"READ LOG EXT of page 1", {0, 1, 0x07, 1, 0, 0x40, 0x2F, 0, 0, 0, 0, 0}},
        {"READ LOG EXT of the NCQ log", {0, 1, 0x10, 0, 0, 0x40, 0x2F, 0, 0, 0, 0, 0}},
        {"SMART DISABLE OPERATIONS", {0xD9, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SET FEATURES enable write cache", {0x02, 0, 0, 0, 0, 0xA0, 0xEF, 0, 0, 0, 0, 0}},
        {"SET FEATURES disable write cache", {0x82, 0, 0, 0, 0, 0xA0, 0xEF, 0, 0, 0, 0, 0}},
        {"SET FEATURES transfer mode", {0x03, 0x46, 0, 0, 0, 0xA0, 0xEF, 0, 0, 0, 0, 0}},
        {"IDENTIFY with features", {0x01, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0}},
        // Other fixed registers.
        {"SMART READ DATA without key", {0xD0, 1, 1, 0, 0, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART READ DATA half key", {0xD0, 1, 1, 0x4F, 0x00, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART RETURN STATUS exceeded key", {0xDA, 1, 1, 0xF4, 0x2C, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"SMART ENABLE count 2", {0xD8, 2, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}},
        {"IDENTIFY with an address", {0, 0, 1, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0}},
        {"SET FEATURES with an address", {0x42, 0x80, 0, 0, 1, 0xA0, 0xEF, 0, 0, 0, 0, 0}},
        // More than one sector.
        {"READ SECTOR(S) of 2", {0, 2, 0, 0, 0, 0x40, 0x20, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) of 256", {0, 0, 0, 0, 0, 0x40, 0x20, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) EXT of 2", {0, 2, 0, 0, 0, 0x40, 0x24, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) EXT of 257", {0, 1, 0, 0, 0, 0x40, 0x24, 0, 1, 0, 0, 0}},
        // Another drive, or another addressing, than the drive number says.
        {"IDENTIFY of the odd drive", {0, 0, 0, 0, 0, 0xB0, 0xEC, 0, 0, 0, 0, 0}},
        {"IDENTIFY with the LBA bit", {0, 0, 0, 0, 0, 0xE0, 0xEC, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) of the odd drive", {0, 1, 0, 0, 0, 0x50, 0x20, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) without LBA", {0, 1, 0, 0, 0, 0xA0, 0x20, 0, 0, 0, 0, 0}},
        {"READ SECTOR(S) EXT with address bits in Device",
         {0, 1, 0, 0, 0, 0x41, 0x24, 0, 0, 0, 0, 0}},
        {"READ NATIVE MAX of the odd drive", {0, 0, 0, 0, 0, 0x50, 0x27, 0, 0, 0, 0, 0}},
        // Previous registers where the row sends none.
        {"IDENTIFY with previous bytes", {0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 1, 0, 0}},
        {"READ SECTOR(S) with previous bytes", {0, 1, 0, 0, 0, 0x40, 0x20, 0, 0, 0, 0, 1}},
        {"READ NATIVE MAX with previous bytes", {0, 0, 0, 0, 0, 0x40, 0x27, 0, 0, 0, 1, 0}},
        {"READ SECTOR(S) EXT with previous features", {0, 1, 0, 0, 0, 0x40, 0x24, 1, 0, 0, 0, 0}},
        // No such drive, or no such request.
        {"drive 16", {0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0}, 16},
        {"drive 0xFFFFFFFF", {0, 0, 0, 0, 0, 0xB0, 0xEC, 0, 0, 0, 0, 0}, 0xFFFFFFFF},
        {"no registers", {}},
        {"11 bytes", {0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0}},
        {"13 bytes", {0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(CheckHelperRequest(c.Drive, c.Registers)) << c.What;

    // The same IDENTIFY is fine for the drives its Device byte names.
    EXPECT_TRUE(CheckHelperRequest(2, Bytes{0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(CheckHelperRequest(15, Bytes{0, 0, 0, 0, 0, 0xB0, 0xEC, 0, 0, 0, 0, 0}));
}

TEST(HelperRequest, RegistersTravelAsTwelveBytes) {
    AtaCommand cmd = AtaCommand::ReadSectorsExt(1, 0xBC9A78563412ull);
    const HelperRegisters regs = EncodeHelperRegisters(cmd);
    EXPECT_EQ(regs, (HelperRegisters{0, 1, 0x12, 0x34, 0x56, 0x50, 0x24, 0, 0, 0x78, 0x9A, 0xBC}));

    // An answer: Error, Count, LBA, Device, Status, then the high-order bytes.
    AtaCommand answer = AtaCommand::ReadNativeMaxAddressExt(0);
    const Bytes back{0x04, 0, 0x11, 0x22, 0x33, 0x40, 0x51, 0, 0, 0x44, 0x55, 0x66};
    ASSERT_TRUE(DecodeHelperRegisters(back, answer));
    EXPECT_EQ(answer.TaskFile.Error(), 0x04);
    EXPECT_EQ(answer.TaskFile.Status(), 0x51);
    EXPECT_EQ(ReturnedLba48(answer), 0x665544332211ull);
    EXPECT_EQ(answer.Flags, AtaFlagDrdyRequired | AtaFlag48Bit);
    const AtaCommand before = answer;
    EXPECT_FALSE(DecodeHelperRegisters(Bytes(11, 0xFF), answer));
    EXPECT_FALSE(DecodeHelperRegisters(Bytes(13, 0xFF), answer));
    EXPECT_EQ(answer.TaskFile, before.TaskFile);
    EXPECT_EQ(answer.PreviousTaskFile, before.PreviousTaskFile);
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// NVMe: the four reads pass with the length their row gives; a command the
// table does not hold (Format NVM, Security Send, a vendor opcode, a write of
// a feature), a length of the caller's choosing or a bad controller never do.
TEST(HelperNvmeRequest, OnlyTheTablesReadsPassWithTheirOwnLength) {
    for (const NvmeAdminCommand& cmd :
         {NvmeAdminCommand::IdentifyController(), NvmeAdminCommand::IdentifyNamespace(),
          NvmeAdminCommand::HealthLog(), NvmeAdminCommand::ErrorLog(1),
          NvmeAdminCommand::ErrorLog(64)}) {
        const auto request = CheckHelperNvmeRequest(15, EncodeHelperNvmeCommand(cmd));
        ASSERT_TRUE(request) << NvmeCommandName(cmd);
        EXPECT_EQ(request->Command.DataLength, cmd.DataLength) << NvmeCommandName(cmd);
        EXPECT_EQ(request->Access, CommandAccess::ReadSmart);
    }
    struct Case {
        const char* What;
        std::function<void(NvmeAdminCommand&)> Change;
    };
    const Case refused[] = {
        {"Format NVM", [](NvmeAdminCommand& c) { c.Opcode = 0x80; }},
        {"Security Send", [](NvmeAdminCommand& c) { c.Opcode = 0x81; }},
        {"Set Features", [](NvmeAdminCommand& c) { c.Opcode = 0x09; }},
        {"vendor opcode", [](NvmeAdminCommand& c) { c.Opcode = 0xC0; }},
        {"another log", [](NvmeAdminCommand& c) { c.Cdw[0] = (c.Cdw[0] & ~0xFFu) | 0x03; }},
        {"a longer health log", [](NvmeAdminCommand& c) { c.Cdw[0] += 1u << 16; }},
        {"dword 11 set", [](NvmeAdminCommand& c) { c.Cdw[1] = 1; }},
        {"dword 15 set", [](NvmeAdminCommand& c) { c.Cdw[5] = 1; }},
        {"another namespace", [](NvmeAdminCommand& c) { c.Nsid = 2; }},
    };
    for (const Case& c : refused) {
        NvmeAdminCommand cmd = NvmeAdminCommand::HealthLog();
        c.Change(cmd);
        EXPECT_FALSE(CheckHelperNvmeRequest(0, EncodeHelperNvmeCommand(cmd))) << c.What;
    }
    // An error log of part of an entry, or of more than 4096 bytes.
    for (const uint32_t dwords : {15u, 17u, 1025u}) {
        NvmeAdminCommand cmd = NvmeAdminCommand::ErrorLog(1);
        cmd.Cdw[0] = NvmeLogError | ((dwords - 1) << 16);
        EXPECT_FALSE(CheckHelperNvmeRequest(0, EncodeHelperNvmeCommand(cmd))) << dwords;
    }
    const auto bytes = EncodeHelperNvmeCommand(NvmeAdminCommand::HealthLog());
    EXPECT_FALSE(CheckHelperNvmeRequest(16, bytes));
    EXPECT_FALSE(CheckHelperNvmeRequest(0, std::span(bytes).first(31)));
    auto padded = bytes;
    padded[1] = 1; // the bytes after the opcode are zero
    EXPECT_FALSE(CheckHelperNvmeRequest(0, padded));
}

} // namespace
} // namespace quorvane

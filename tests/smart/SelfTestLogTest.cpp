// The self-test logs (06h, 07h) and error logs (01h, 03h) decoded from pages
// made byte by byte as a drive writes them: every status, the circular index,
// the failing LBA, bad pages, and the error entries' registers.
#include <gtest/gtest.h>

#include <numeric>

#include "app/SelfTests.h"
#include "ata/SimulatedBus.h"
#include "common/TestDrives.h"
#include "smart/SelfTestLog.h"

namespace quorvane {
namespace {

// A 512-byte log sector put together field by field; Sealed() puts the
// checksum in byte 511 so that the sector sums to 0 modulo 256.
class PageBuilder {
public:
    PageBuilder& Le(size_t at, uint64_t value, size_t bytes = 1) {
        for (size_t i = 0; i < bytes; ++i)
            page_.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
        return *this;
    }
    std::vector<uint8_t> Sealed() const {
        std::vector<uint8_t> page = page_;
        page[511] = 0;
        page[511] = static_cast<uint8_t>(256 - std::accumulate(page.begin(), page.end(), 0u) % 256);
        return page;
    }

    // One self-test entry in slot k (0-based): 06h has 21 of 24 bytes from
    // byte 2 with a 28-bit LBA, 07h 19 of 26 from byte 4 with a 48-bit one.
    // The checkpoint byte (4) is set too, which no field may read.
    PageBuilder& SelfTest(bool ext, size_t k, uint8_t sub, uint8_t statusByte, uint16_t hours,
                          uint64_t lba) {
        const size_t at = ext ? 4 + k * 26 : 2 + k * 24;
        return Le(at, sub).Le(at + 1, statusByte).Le(at + 2, hours, 2).Le(at + 4, 0x5A)
            .Le(at + 5, lba, ext ? 6 : 4);
    }
    PageBuilder& SelfTestIndex(bool ext, size_t index) {
        return ext ? Le(2, index, 2) : Le(508, index);
    }
    // The n-th test a drive ran (1-based), written where the drive writes
    // it: the slot after the last, round to the first; the index follows.
    PageBuilder& Record(bool ext, size_t n, uint8_t sub, uint8_t statusByte, uint16_t hours) {
        const size_t slot = (n - 1) % (ext ? 19 : 21);
        return SelfTest(ext, slot, sub, statusByte, hours, ext ? 0xFFFFFFFFFFFF : 0xFFFFFFFF)
            .SelfTestIndex(ext, slot + 1);
    }

private:
    std::vector<uint8_t> page_ = std::vector<uint8_t>(512, 0);
};

PageBuilder Revision1() { return PageBuilder().Le(0, 1); }

TEST(SelfTestLog, EveryStatusItsTextVerdictAndFailingLba) {
    struct Row {
        uint8_t Status;
        const char* Text;
        bool Failed;
    };
    const Row rows[] = {
        {0, "Completed without error", false},
        {1, "Aborted by host", false},
        {2, "Interrupted (host reset)", false},
        {3, "Fatal or unknown error", true},
        {4, "Completed: unknown failure", true},
        {5, "Completed: electrical failure", true},
        {6, "Completed: servo/seek failure", true},
        {7, "Completed: read failure", true},
        {8, "Completed: handling damage??", true},
        {10, "Unknown status (0xa)", false},
        {15, "Self-test routine in progress", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int{row.Status});
        EXPECT_EQ(SelfTestStatusText(row.Status), row.Text);
        EXPECT_EQ(SelfTestFailed(row.Status), row.Failed);
        // Newest in slot 1 with an LBA, older in slot 0 with the all-ones
        // "none"; the remaining tenths in the low nibble.
        for (const bool ext : {false, true}) {
            const uint64_t lba = ext ? 0x123456789ABCull : 0x0ABCDEF1ull;
            const uint64_t none = ext ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFull;
            const uint8_t byte = static_cast<uint8_t>(row.Status << 4 | 3);
            const auto page = Revision1()
                                  .SelfTest(ext, 0, 0x01, byte, 0x0102, none)
                                  .SelfTest(ext, 1, 0x82, byte, 0xFEDC, lba)
                                  .SelfTestIndex(ext, 2)
                                  .Sealed();
            const auto log = DecodeSelfTestLog(page, ext);
            ASSERT_TRUE(log) << ext;
            ASSERT_EQ(log->size(), 2u) << ext;
            const SelfTestEntry& newest = (*log)[0];
            EXPECT_EQ(newest.Subcommand, 0x82);
            EXPECT_EQ(newest.Status, row.Status);
            EXPECT_EQ(newest.PercentRemaining, 30);
            EXPECT_EQ(newest.PowerOnHours, 0xFEDC);
            EXPECT_EQ(newest.FirstFailingLba, row.Failed ? std::optional(lba) : std::nullopt) << ext;
            EXPECT_EQ((*log)[1].PowerOnHours, 0x0102);
            EXPECT_EQ((*log)[1].FirstFailingLba, std::nullopt) << ext;
        }
    }
    const std::pair<uint8_t, const char*> kinds[] = {
        {0x00, "Offline"},           {0x01, "Short offline"},      {0x02, "Extended offline"},
        {0x03, "Conveyance offline"}, {0x04, "Selective offline"}, {0x7F, "Abort offline test"},
        {0x81, "Short captive"},     {0x82, "Extended captive"},   {0x84, "Selective captive"},
        {0x05, "Reserved (0x05)"},   {0x40, "Vendor (0x40)"},      {0x9A, "Vendor (0x9a)"},
    };
    for (const auto& [sub, text] : kinds)
        EXPECT_EQ(SelfTestKindText(sub), text) << int{sub};
}

TEST(SelfTestLog, CircularIndexNewestFirstInBothLayouts) {
    // More tests than the log holds: the oldest are overwritten, and the
    // entries come newest first back round the end of the table. The hours
    // number the tests; the kinds follow the test number's lowest bit.
    for (const bool ext : {false, true}) {
        const size_t capacity = ext ? 19 : 21;
        for (const size_t written : {size_t{5}, capacity, capacity + 4, 3 * capacity - 1}) {
            SCOPED_TRACE(std::to_string(ext) + " " + std::to_string(written));
            PageBuilder page = Revision1();
            for (size_t n = 1; n <= written; ++n)
                page.Record(ext, n, static_cast<uint8_t>(1 + n % 2), 0x00, static_cast<uint16_t>(n));
            const auto log = DecodeSelfTestLog(page.Sealed(), ext);
            ASSERT_TRUE(log);
            ASSERT_EQ(log->size(), std::min(written, capacity));
            for (size_t i = 0; i < log->size(); ++i) {
                EXPECT_EQ((*log)[i].PowerOnHours, written - i) << i;
                EXPECT_EQ((*log)[i].Subcommand, 1 + (written - i) % 2) << i;
            }
        }
        // A blank entry between used ones (some drives leave them) hides
        // nothing older: slots 0, 1 and 3 used, index 4.
        const auto gap = Revision1()
                             .SelfTest(ext, 0, 0x01, 0x00, 10, 0)
                             .SelfTest(ext, 1, 0x02, 0x74, 11, 0x4321)
                             .SelfTest(ext, 3, 0x01, 0x00, 13, 0)
                             .SelfTestIndex(ext, 4)
                             .Sealed();
        const auto log = DecodeSelfTestLog(gap, ext);
        ASSERT_TRUE(log);
        ASSERT_EQ(log->size(), 3u) << ext;
        EXPECT_EQ((*log)[0].PowerOnHours, 13);
        EXPECT_EQ((*log)[1], (SelfTestEntry{0x02, 7, 40, 11, 0x4321}));
        EXPECT_EQ((*log)[2].PowerOnHours, 10);
        // Index 0: nothing logged, whatever the table holds.
        const auto none = Revision1().SelfTest(ext, 0, 0x01, 0x00, 10, 0).Sealed();
        EXPECT_EQ(DecodeSelfTestLog(none, ext), std::vector<SelfTestEntry>{});
    }
}

TEST(SelfTestLog, BadPagesAreUnreadableAndNothingElse) {
    const auto good06 = Revision1().Record(false, 1, 0x01, 0x00, 7).Sealed();
    const auto good07 = Revision1().Record(true, 1, 0x01, 0x00, 7).Sealed();
    const auto good01 = Revision1().Le(1, 1).Le(2 + 60 + 28, 9, 2).Le(452, 1, 2).Sealed();
    const auto good03 = Revision1().Le(2, 1, 2).Le(4 + 90 + 32, 9, 2).Le(500, 1, 2).Sealed();
    auto wrongSum = [](std::vector<uint8_t> page) {
        page[511] ^= 0x01;
        return page;
    };
    auto index = [](std::vector<uint8_t> page, size_t at, uint8_t value) {
        page[at] = value;
        page[511] = static_cast<uint8_t>(page[511] - value + 1); // sealed again (it was 1)
        return page;
    };
    EXPECT_TRUE(DecodeSelfTestLog(good06, false));
    EXPECT_TRUE(DecodeSelfTestLog(good07, true));
    EXPECT_EQ(DecodeErrorLog(good01, false)->Entries.size(), 1u);
    EXPECT_EQ(DecodeErrorLog(good03, true)->Entries.size(), 1u);
    const std::vector<uint8_t> shortPage(100, 0);
    struct Bad {
        const char* Why;
        std::vector<uint8_t> Page;
        bool Ext;
        bool SelfTest;
    };
    const Bad bad[] = {
        {"06h checksum", wrongSum(good06), false, true},
        {"07h checksum", wrongSum(good07), true, true},
        {"01h checksum", wrongSum(good01), false, false},
        {"03h checksum", wrongSum(good03), true, false},
        {"06h index 22", index(good06, 508, 22), false, true},
        {"07h index 20", index(good07, 2, 20), true, true},
        {"01h index 6", index(good01, 1, 6), false, false},
        {"03h index 5", index(good03, 2, 5), true, false},
        {"short 06h", shortPage, false, true},
        {"short 01h", shortPage, false, false},
    };
    for (const Bad& b : bad) {
        if (b.SelfTest)
            EXPECT_EQ(DecodeSelfTestLog(b.Page, b.Ext), std::nullopt) << b.Why;
        else
            EXPECT_FALSE(DecodeErrorLog(b.Page, b.Ext).has_value()) << b.Why;
    }
    EXPECT_FALSE(LogChecksumOk(wrongSum(good06)));
    // The pages themselves are fine, yet the drive's directory lists the
    // self-test log with 0 pages: "log unreadable", and the error log the
    // directory lists still reads.
    test::DriveDir dir;
    dir.AddRealDrive(0, "Hitachi_HDS721010CLA632");
    dir.WriteBytes(0, "selftest-log.bin", good06);
    dir.WriteBytes(0, "smart-error-log.bin", good01);
    dir.WriteBytes(0, "log-directory.bin",
                   PageBuilder().Le(0, 1).Le(2 * LogSummaryError, 1, 2).Sealed());
    SimulatedBus bus(dir.Path());
    HDD drive;
    std::string why;
    EXPECT_EQ(ReadSelfTestLog(bus, drive, why), std::nullopt);
    EXPECT_EQ(why, LogUnreadableText);
    why.clear();
    const auto errors = ReadAtaErrorLog(bus, drive, why);
    ASSERT_TRUE(errors) << why;
    EXPECT_EQ(errors->ErrorCount, 1u);
    ASSERT_EQ(errors->Entries.size(), 1u);
    EXPECT_EQ(errors->Entries[0].PowerOnHours, 9);
    // Listed again, the same self-test page reads.
    dir.WriteBytes(0, "log-directory.bin",
                   PageBuilder().Le(0, 1).Le(2 * LogSummaryError, 1, 2).Le(2 * LogSelfTest, 1, 2).Sealed());
    SimulatedBus listed(dir.Path());
    const auto tests = ReadSelfTestLog(listed, drive, why);
    ASSERT_TRUE(tests) << why;
    EXPECT_EQ(tests->size(), 1u);
}

TEST(SelfTestLog, ErrorLogEntriesWithRegistersStateAndHours) {
    // 01h: five entries of 90 bytes from byte 2, the pointer (1-based) in
    // byte 1, the count at 452. Each: five 12-byte command structures (the
    // failing command last), then the error structure (30 bytes). Seven
    // errors so far, the newest in slot 1: all five slots are used.
    PageBuilder summary = Revision1();
    summary.Le(1, 2).Le(452, 7, 2);
    for (size_t slot = 0; slot < 5; ++slot) {
        const size_t at = 2 + slot * 90;
        summary.Le(at + 4 * 12 + 7, 0xC8)                 // an older command
            .Le(at + 60 + 27, 0x03)                        // state
            .Le(at + 60 + 28, 100 + slot, 2);              // hours
    }
    const size_t newest = 2 + 1 * 90;
    summary.Le(newest + 3 * 12 + 7, 0xEC)                  // the command before
        .Le(newest + 4 * 12 + 1, 0x11)                     // features
        .Le(newest + 4 * 12 + 2, 0x08)                     // count
        .Le(newest + 4 * 12 + 3, 0x0FABCD, 3)              // LBA low, mid, high
        .Le(newest + 4 * 12 + 6, 0xE7)                     // device: LBA, bits 27:24 = 7
        .Le(newest + 4 * 12 + 7, 0x25)                     // READ DMA EXT
        .Le(newest + 60 + 1, 0x40)                         // error: UNC
        .Le(newest + 60 + 7, 0x51)                         // status
        .Le(newest + 60 + 27, 0x14)                        // state, vendor nibble high
        .Le(newest + 60 + 28, 0x1234, 2);
    const auto log = DecodeErrorLog(summary.Sealed(), false);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->ErrorCount, 7u);
    ASSERT_EQ(log->Entries.size(), 5u);
    const ErrorLogEntry& e = log->Entries[0];
    EXPECT_EQ(e.PowerOnHours, 0x1234);
    EXPECT_EQ(e.Command, 0x25);
    EXPECT_EQ(e.Features, 0x11);
    EXPECT_EQ(e.SectorCount, 0x08);
    EXPECT_EQ(e.Lba, 0x70FABCDu);
    EXPECT_EQ(e.Device, 0xE7);
    EXPECT_EQ(e.Error, 0x40);
    EXPECT_EQ(e.Status, 0x51);
    EXPECT_EQ(ErrorStateText(e.State), "Off-line or self-test");
    // Then back round: slots 0, 4, 3, 2.
    const uint16_t hours[] = {100, 104, 103, 102};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log->Entries[i + 1].PowerOnHours, hours[i]);
        EXPECT_EQ(log->Entries[i + 1].Command, 0xC8);
        EXPECT_EQ(ErrorStateText(log->Entries[i + 1].State), "Active or idle");
    }

    // 03h: four entries of 124 bytes from byte 4, the index word at 2, the
    // count at 500. Command structures of 18 bytes with 16-bit features and
    // count and the LBA bytes in the order 7:0, 31:24, 15:8, 39:32, 23:16,
    // 47:40; the error structure (34 bytes) after them. Two errors: slots
    // 0 and 1, the others zero-filled.
    PageBuilder ext = Revision1();
    ext.Le(2, 2, 2).Le(500, 2, 2);
    ext.Le(4 + 90 + 31, 0x02).Le(4 + 90 + 32, 5, 2).Le(4 + 4 * 18 + 12, 0xB0);
    const size_t at = 4 + 124;
    const size_t cmd = at + 4 * 18;
    ext.Le(cmd + 1, 0xD5).Le(cmd + 2, 0x01)                // features 01D5h
        .Le(cmd + 3, 0x00).Le(cmd + 4, 0x01)               // count 0100h
        .Le(cmd + 5, 0x66).Le(cmd + 6, 0x33).Le(cmd + 7, 0x55)
        .Le(cmd + 8, 0x22).Le(cmd + 9, 0x44).Le(cmd + 10, 0x11) // LBA 112233445566h
        .Le(cmd + 11, 0x40).Le(cmd + 12, 0x25)
        .Le(at + 90 + 1, 0x04).Le(at + 90 + 11, 0x51)
        .Le(at + 90 + 31, 0x01).Le(at + 90 + 32, 0xBEEF, 2);
    const auto extLog = DecodeErrorLog(ext.Sealed(), true);
    ASSERT_TRUE(extLog);
    EXPECT_EQ(extLog->ErrorCount, 2u);
    ASSERT_EQ(extLog->Entries.size(), 2u);
    const ErrorLogEntry& x = extLog->Entries[0];
    EXPECT_EQ(x.PowerOnHours, 0xBEEF);
    EXPECT_EQ(x.Command, 0x25);
    EXPECT_EQ(x.Features, 0x01D5);
    EXPECT_EQ(x.SectorCount, 0x0100);
    EXPECT_EQ(x.Lba, 0x112233445566u);
    EXPECT_EQ(x.Device, 0x40);
    EXPECT_EQ(x.Error, 0x04);
    EXPECT_EQ(x.Status, 0x51);
    EXPECT_EQ(ErrorStateText(x.State), "Sleep");
    EXPECT_EQ(extLog->Entries[1].PowerOnHours, 5);
    EXPECT_EQ(extLog->Entries[1].Command, 0xB0);
    EXPECT_EQ(ErrorStateText(extLog->Entries[1].State), "Standby");

    // A count above the entries written (a drive that cleared its log):
    // only written entries come out, never a zero-filled one.
    ext.Le(500, 9, 2);
    const auto cleared = DecodeErrorLog(ext.Sealed(), true);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->ErrorCount, 9u);
    EXPECT_EQ(cleared->Entries.size(), 2u);
}

} // namespace
} // namespace quorvane

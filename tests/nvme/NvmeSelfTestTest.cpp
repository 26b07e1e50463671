// NVMe Device Self-test on made answers (QEMU's controller has none): the
// log's layout, and a simulated controller that has the command against one
// that answers Invalid Command Opcode.
#include <gtest/gtest.h>

#include "app/Scan.h"
#include "app/SelfTests.h"
#include "ata/SimulatedBus.h"
#include "common/TestDrives.h"
#include "nvme/NvmeHealth.h"

namespace quorvane {
namespace {

TEST(NvmeSelfTestLog, ResultsNewestFirstUnusedLeftOutLbaOnlyWhenValid) {
    std::vector<uint8_t> page(564, 0);
    page[0] = 0x2; // an extended test runs
    page[1] = 40;
    for (size_t k = 0; k < 20; ++k)
        page[4 + k * 28] = 0x0F;
    auto entry = [&](size_t k, uint8_t code, uint8_t result, uint8_t valid, uint64_t lba) {
        uint8_t* e = page.data() + 4 + k * 28;
        e[0] = static_cast<uint8_t>(code << 4 | result);
        e[2] = valid;
        e[4] = 17; // power-on hours
        for (int i = 0; i < 8; ++i)
            e[16 + i] = static_cast<uint8_t>(lba >> (8 * i));
    };
    entry(0, 1, 7, 0x02, 123456789012ull); // a failed segment, LBA valid
    entry(1, 2, 0, 0x00, 99);              // passed: the LBA bytes are no address
    entry(2, 1, 1, 0x00, 0);               // aborted by the host
    const auto log = DecodeNvmeSelfTestLog(page);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->CurrentOperation, 2);
    EXPECT_EQ(log->CompletionPercent, 40);
    ASSERT_EQ(log->Results.size(), 3u);
    EXPECT_EQ(log->Results[0].FailingLba, 123456789012ull);
    EXPECT_FALSE(log->Results[1].FailingLba);
    EXPECT_TRUE(NvmeSelfTestFailed(log->Results[0].Result));
    EXPECT_FALSE(NvmeSelfTestFailed(log->Results[2].Result)); // an abort is no failure
    EXPECT_EQ(NvmeSelfTestResultText(7), "Completed: one or more segments failed");
    EXPECT_FALSE(DecodeNvmeSelfTestLog(std::span(page).first(563)));
}

// The sample controller lists Device Self-test in OACS; without the bit it is
// offered nothing and the controller refuses the command.
TEST(NvmeSelfTest, RunsToItsEndOnAControllerThatHasIt) {
    for (const bool has : {true, false}) {
        SCOPED_TRACE(has);
        test::DriveDir dir;
        dir.AddRealNvme(0, "Samsung_SSD_970_EVO_Plus_1TB--4B2QEXM7",
                        "selftest = fail\nselftest-steps = 2\nselftest-lba = 777");
        auto ctrl = test::ReadBytes(dir.Folder(0) / "identify-ctrl.bin");
        ASSERT_TRUE(ctrl[256] & NvmeOacsSelfTest);
        if (!has)
            ctrl[256] &= static_cast<uint8_t>(~NvmeOacsSelfTest);
        dir.WriteBytes(0, "identify-ctrl.bin", ctrl);
        SimulatedBus bus(dir.Path());
        ProgramData data;
        HeadlessScanView view;
        ASSERT_TRUE(ScanDrives(data, bus, view, Settings{}));
        HDD& drive = data.Drives[1];
        if (!has) {
            EXPECT_TRUE(OfferedSelfTests(drive).empty());
            EXPECT_EQ(StartSelfTest(bus, drive, SelfTestKind::Short), SelfTestStart::NotOffered);
            continue;
        }
        ASSERT_EQ(StartSelfTest(bus, drive, SelfTestKind::Short), SelfTestStart::Started);
        std::string why;
        ASSERT_TRUE(ReadSelfTestLog(bus, drive, why));
        EXPECT_EQ(SelfTestHint(drive), "self-test 50 %");
        const auto entries = ReadSelfTestLog(bus, drive, why);
        ASSERT_TRUE(entries);
        EXPECT_EQ(SelfTestHint(drive), "");
        ASSERT_EQ(entries->size(), 1u);
        EXPECT_EQ(SelfTestEntryText(entries->front()),
                  "Short, Completed: one or more segments failed, 0 h, first failing LBA 777");
        // The tick sees the failed entry as the newest and counts the drive failing.
        FollowDriveLogs(bus, drive, true);
        EXPECT_TRUE(drive.Reading.Logs.SelfTestFailing);
    }
}

} // namespace
} // namespace quorvane

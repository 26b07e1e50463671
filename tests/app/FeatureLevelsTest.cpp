// AAM and APM: reading and setting the levels on simulated drives built from
// real IDENTIFY dumps, and what the two groups show.
#include <gtest/gtest.h>

#include "common/FeatureDumps.h"
#include "common/TestDrives.h"
#include "app/FeatureLevels.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

using namespace test; // the feature dumps

FeatureLevels Levels(uint8_t current, uint8_t second, bool enabled, bool supported) {
    FeatureLevels levels;
    levels.CurrentLevel = current;
    levels.SecondLevel = second;
    levels.Enabled = enabled;
    levels.Supported = supported;
    return levels;
}

const FeatureLevels ReadFailed = Levels(0xFF, 0xFF, false, false);

TEST(FeatureLevelsDecode, RealDumps) {
    struct Case {
        const char* Dump;
        FeatureLevels Aam, Apm;
    };
    const Case cases[] = {
        {Samsung, Levels(128, 254, true, true), Levels(128, 0, true, true)},
        {SamsungAamOff, Levels(0, 254, false, true), Levels(0, 0, false, false)},
        {MaxtorApmOff, Levels(192, 192, true, true), Levels(0, 0, false, true)},
        {IbmApmOnly, Levels(0, 0, false, false), Levels(254, 64, true, true)},
        {WdcAamOff, Levels(254, 128, false, true), Levels(0, 0, false, false)},
        {HitachiNeither, Levels(0, 0, false, false), Levels(0, 0, false, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Dump);
        const auto page = test::PageOf(c.Dump, "identify");
        EXPECT_EQ(DecodeFeatureLevels(page, Feature::AAM), c.Aam);
        EXPECT_EQ(DecodeFeatureLevels(page, Feature::APM), c.Apm);
    }
    // A short page reads the missing words as 0.
    const std::vector<uint8_t> shortPage(100, 0xFF);
    EXPECT_EQ(DecodeFeatureLevels(shortPage, Feature::AAM), Levels(0, 0, false, false));
}

// Drives scanned from a drive directory, with the command log of the bus.
class FeatureTest : public ::testing::Test {
protected:
    void Scan() {
        bus = std::make_unique<SimulatedBus>(dir.Path());
        HeadlessScanView noView;
        ASSERT_TRUE(ScanDrives(data, *bus, noView, Settings{}));
    }
    // The drive directory read again by a fresh bus, after its files changed.
    void Reopen() { bus = std::make_unique<SimulatedBus>(dir.Path()); }
    size_t Sent() const { return bus->SentCommands().size(); }
    std::vector<SimulatedBus::SentCommand> SentSince(size_t from) const {
        const auto& all = bus->SentCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }
    // A real dump with its identify page changed by edit.
    template <typename Edit> void AddEditedDrive(unsigned n, const char* dump, Edit edit) {
        dir.AddRealDrive(n, dump);
        auto page = test::PageOf(dump, "identify");
        edit(page);
        dir.WriteBytes(n, "identify.bin", page);
    }

    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
    ProgramData data;
    const InfoPanel& panel = data.Screen.Info;
};

TEST_F(FeatureTest, GetSendsOneIdentifyOnAnOpenOfItsOwn) {
    dir.AddRealDrive(0, HitachiNeither);
    dir.AddRealDrive(3, Samsung);
    Scan();
    const size_t before = Sent();
    const int opens = bus->OpenCount();
    EXPECT_EQ(GetAAM(*bus, data, 2), Levels(128, 254, true, true));
    EXPECT_EQ(GetAPM(*bus, data, 2), Levels(128, 0, true, true));
    EXPECT_EQ(bus->OpenCount() - opens, 2);
    EXPECT_EQ(bus->OpenHandles(), 0);
    const auto sent = SentSince(before);
    ASSERT_EQ(sent.size(), 2u);
    for (const auto& c : sent) {
        EXPECT_EQ(c.DriveNumber, 3u);
        EXPECT_EQ(c.TaskFile.Command, AtaCmdIdentify);
        EXPECT_EQ(c.TaskFile.Device, 0xB0); // odd drive number
        EXPECT_EQ(c.Flags, AtaFlagDataIn);
    }
}

TEST_F(FeatureTest, FailedReadsGiveTheStartValues) {
    dir.AddRealDrive(0, Samsung);
    dir.AddRealDrive(1, Samsung);
    dir.AddRealDrive(2, Samsung);
    Scan();
    // After the scan: drive 0's request fails, drive 1 is gone, drive 2 aborts.
    dir.WriteFile(0, "drive.ini", "[drive]\nfail = identify\n");
    std::filesystem::remove_all(dir.Folder(1));
    dir.WriteFile(2, "drive.ini", "[drive]\nabort = identify\n");
    Reopen();
    EXPECT_EQ(GetAAM(*bus, data, 1), ReadFailed);
    EXPECT_EQ(GetAPM(*bus, data, 1), ReadFailed);
    EXPECT_EQ(GetAAM(*bus, data, 2), ReadFailed);
    // Only a request that does not go through fails; an aborted IDENTIFY
    // brings no data, which reads as a drive without the feature.
    EXPECT_EQ(GetAAM(*bus, data, 3), Levels(0, 0, false, false));
    EXPECT_EQ(bus->OpenHandles(), 0);

    // No slot, or one beyond the drives found: nothing is sent.
    const size_t before = Sent();
    EXPECT_EQ(GetAAM(*bus, data, 0), ReadFailed);
    EXPECT_EQ(GetAPM(*bus, data, 4), ReadFailed);
    EXPECT_EQ(GetAPM(*bus, data, 7), ReadFailed);
    EXPECT_FALSE(SetAAM(*bus, data, 0, 128, true));
    EXPECT_FALSE(SetAPM(*bus, data, 4, 128, true));
    EXPECT_EQ(Sent(), before);
}

TEST_F(FeatureTest, SetSendsTheSubcommandWithTheLevelInSectorCount) {
    dir.AddRealDrive(0, Samsung);
    dir.AddRealDrive(1, Samsung);
    Scan();
    struct Case {
        int Slot;
        bool Aam;
        uint8_t Level;
        bool Enable;
        uint8_t Subcommand, Device;
    };
    // Levels outside the ranges the standard gives are sent as they are.
    const Case cases[] = {
        {1, true, 200, true, 0x42, 0xA0}, {1, true, 0, false, 0xC2, 0xA0},
        {2, false, 1, true, 0x05, 0xB0},  {2, false, 7, false, 0x85, 0xB0},
        {2, true, 5, true, 0x42, 0xB0},
    };
    for (const Case& c : cases) {
        const size_t before = Sent();
        EXPECT_TRUE(c.Aam ? SetAAM(*bus, data, c.Slot, c.Level, c.Enable)
                          : SetAPM(*bus, data, c.Slot, c.Level, c.Enable));
        const auto sent = SentSince(before);
        ASSERT_EQ(sent.size(), 1u);
        AtaRegisters expected;
        expected.Features = c.Subcommand;
        expected.SectorCount = c.Level;
        expected.Device = c.Device;
        expected.Command = AtaCmdSetFeatures;
        EXPECT_EQ(sent[0].TaskFile, expected) << int{c.Subcommand};
        EXPECT_EQ(sent[0].PreviousTaskFile, AtaRegisters{});
        EXPECT_EQ(sent[0].Flags, 0);
    }
    // The drive keeps what it was told.
    EXPECT_EQ(GetAAM(*bus, data, 1), Levels(200, 254, false, true)); // disabling keeps the level
    EXPECT_EQ(GetAPM(*bus, data, 2), Levels(1, 0, false, true));
    EXPECT_EQ(GetAAM(*bus, data, 2), Levels(5, 254, true, true));
    EXPECT_EQ(bus->OpenHandles(), 0);
}

TEST_F(FeatureTest, SetIsJudgedByTheRequestAlone) {
    dir.AddRealDrive(0, Samsung, "abort = set-features");
    dir.AddRealDrive(1, Samsung, "fail = set-features");
    Scan();
    EXPECT_TRUE(SetAAM(*bus, data, 1, 200, true));
    EXPECT_EQ(SendFeatureLevel(*bus, data, 1, Feature::AAM, 200, true), SetFeatureResult::Aborted);
    EXPECT_FALSE(SetAPM(*bus, data, 2, 200, true));
    EXPECT_EQ(SendFeatureLevel(*bus, data, 2, Feature::APM, 200, true), SetFeatureResult::NotSent);
    EXPECT_EQ(SendFeatureLevel(*bus, data, 2, Feature::AAM, 200, false), SetFeatureResult::NotSent);
    dir.WriteFile(1, "drive.ini", "");
    Reopen();
    EXPECT_EQ(SendFeatureLevel(*bus, data, 2, Feature::APM, 200, true), SetFeatureResult::Done);
}

// The groups after a read, case by case.
TEST(FeatureGroupState, SupportedAndEnabledShowsBothLevels) {
    const FeatureGroupState group = AAMGroupState(Levels(128, 254, true, true), {});
    EXPECT_TRUE(group.Checked);
    EXPECT_TRUE(group.CheckBoxEnabled);
    EXPECT_EQ(group.LevelPosition, 128);
    EXPECT_TRUE(group.LevelEnabled);
    EXPECT_EQ(group.CurrentLevelCaption, "128");
    EXPECT_TRUE(group.CurrentLevelEnabled);
    EXPECT_EQ(group.RecommendedLevelCaption, "254");
    EXPECT_TRUE(group.RecommendedLevelEnabled);
    EXPECT_TRUE(group.GetEnabled);
    EXPECT_TRUE(group.SetEnabled);
    // APM the same way, except the levels that stand for none.
    EXPECT_EQ(APMGroupState(Levels(128, 254, true, true), {}), group);

    // 0xFF is no level for both; 0 only for APM.
    FeatureGroupState noLevel = group;
    noLevel.LevelPosition = 0;
    noLevel.CurrentLevelCaption = "...";
    noLevel.RecommendedLevelCaption = "...";
    EXPECT_EQ(AAMGroupState(Levels(0xFF, 254, true, true), {}), noLevel);
    EXPECT_EQ(APMGroupState(Levels(0xFF, 254, true, true), {}), noLevel);
    EXPECT_EQ(APMGroupState(Levels(0, 64, true, true), {}), noLevel);
    const FeatureGroupState aamZero = AAMGroupState(Levels(0, 64, true, true), {});
    EXPECT_EQ(aamZero.CurrentLevelCaption, "0");
    EXPECT_EQ(aamZero.RecommendedLevelCaption, "64");
}

TEST(FeatureGroupState, DisabledLeavesTheSecondLevelLabelAsItWas) {
    const FeatureGroupState before = AAMGroupState(Levels(128, 254, true, true), {});
    const FeatureGroupState aam = AAMGroupState(Levels(0, 17, false, true), before);
    EXPECT_FALSE(aam.Checked);
    EXPECT_TRUE(aam.CheckBoxEnabled);
    EXPECT_EQ(aam.LevelPosition, 0);
    EXPECT_FALSE(aam.LevelEnabled);
    EXPECT_EQ(aam.CurrentLevelCaption, "...");
    EXPECT_FALSE(aam.CurrentLevelEnabled);
    EXPECT_EQ(aam.RecommendedLevelCaption, "254"); // not the drive's 17
    EXPECT_TRUE(aam.RecommendedLevelEnabled);
    EXPECT_TRUE(aam.GetEnabled);
    EXPECT_TRUE(aam.SetEnabled);

    // APM greys its check box as well.
    FeatureGroupState apm = aam;
    apm.CheckBoxEnabled = false;
    EXPECT_EQ(APMGroupState(Levels(0, 17, false, true), before), apm);

    // After a drive without the feature the label stays greyed with "...".
    const FeatureGroupState none = AAMGroupState(Levels(0, 0, false, false), before);
    const FeatureGroupState next = AAMGroupState(Levels(0, 17, false, true), none);
    EXPECT_EQ(next.RecommendedLevelCaption, "...");
    EXPECT_FALSE(next.RecommendedLevelEnabled);
    EXPECT_TRUE(next.GetEnabled);
}

TEST(FeatureGroupState, NotSupportedGreysTheWholeGroup) {
    FeatureGroupState off;
    off.Checked = false;
    off.CheckBoxEnabled = false;
    off.LevelPosition = 0;
    off.LevelEnabled = false;
    off.CurrentLevelCaption = "...";
    off.CurrentLevelEnabled = false;
    off.RecommendedLevelCaption = "...";
    off.RecommendedLevelEnabled = false;
    off.GetEnabled = false;
    off.SetEnabled = false;
    const FeatureGroupState shown = AAMGroupState(Levels(128, 254, true, true), {});
    // A drive that says it is enabled but not supported is not supported.
    EXPECT_EQ(AAMGroupState(Levels(128, 254, true, false), shown), off);
    EXPECT_EQ(APMGroupState(ReadFailed, shown), off);
}

TEST(FeatureGroupState, MovingTheBarShowsItsPosition) {
    FeatureGroupState group = AAMGroupState(Levels(128, 254, true, true), {});
    MoveFeatureLevel(group, 200);
    EXPECT_EQ(group.LevelPosition, 200);
    EXPECT_EQ(group.CurrentLevelCaption, "200");
    EXPECT_EQ(group.RecommendedLevelCaption, "254");
    MoveFeatureLevel(group, 255);
    EXPECT_EQ(group.LevelPosition, 254);
    EXPECT_EQ(group.CurrentLevelCaption, "254");
    MoveFeatureLevel(group, -3);
    EXPECT_EQ(group.CurrentLevelCaption, "0");
}

// The handlers on the drives: read, move, set, read again.
TEST_F(FeatureTest, BarAt200IsSentWithTheEnableSubcommandAndReadBack) {
    dir.AddRealDrive(0, Samsung);
    Scan();
    FeatureGroupState aam;
    AAMGetExecute(aam, *bus, data, 1);
    EXPECT_EQ(aam.CurrentLevelCaption, "128");
    EXPECT_EQ(aam.RecommendedLevelCaption, "254");
    const size_t before = Sent();
    MoveFeatureLevel(aam, 200);
    EXPECT_EQ(aam.CurrentLevelCaption, "200");
    EXPECT_EQ(Sent(), before); // nothing is sent while the bar moves
    AAMSetExecute(aam, *bus, data, 1);
    const auto sent = SentSince(before);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].TaskFile.Command, AtaCmdSetFeatures);
    EXPECT_EQ(sent[0].TaskFile.Features, 0x42);
    EXPECT_EQ(sent[0].TaskFile.SectorCount, 200);
    EXPECT_EQ(sent[1].TaskFile.Command, AtaCmdIdentify);
    EXPECT_EQ(aam, AAMGroupState(Levels(200, 254, true, true), {}));
    EXPECT_EQ(bus->OpenHandles(), 0);
}

TEST_F(FeatureTest, SetOnADisabledFeatureSendsTheDisableSubcommandWithLevel0) {
    dir.AddRealDrive(0, SamsungAamOff);
    dir.AddRealDrive(1, MaxtorApmOff);
    Scan();
    FeatureGroupState aam, apm;
    AAMGetExecute(aam, *bus, data, 1);
    APMGetExecute(apm, *bus, data, 2);
    const size_t before = Sent();
    AAMSetExecute(aam, *bus, data, 1);
    APMSetExecute(apm, *bus, data, 2);
    const auto sent = SentSince(before);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].TaskFile.Features, 0xC2);
    EXPECT_EQ(sent[0].TaskFile.SectorCount, 0);
    EXPECT_EQ(sent[2].TaskFile.Features, 0x85);
    EXPECT_EQ(sent[2].TaskFile.SectorCount, 0);
    EXPECT_EQ(sent[3].DriveNumber, 1u);
    EXPECT_FALSE(aam.Checked);
    EXPECT_TRUE(aam.CheckBoxEnabled);
    EXPECT_FALSE(apm.CheckBoxEnabled);
    EXPECT_TRUE(apm.SetEnabled);
}

TEST_F(FeatureTest, AbortedOrFailedSetIsSeenOnlyInTheReadThatFollows) {
    dir.AddRealDrive(0, Samsung, "abort = set-features");
    dir.AddRealDrive(1, Samsung, "fail = set-features");
    Scan();
    for (int slot : {1, 2}) {
        FeatureGroupState apm;
        APMGetExecute(apm, *bus, data, slot);
        MoveFeatureLevel(apm, 200);
        const size_t before = Sent();
        APMSetExecute(apm, *bus, data, slot);
        EXPECT_EQ(SentSince(before).size(), 2u); // the set, then the read
        EXPECT_EQ(apm.CurrentLevelCaption, "128") << slot;
        EXPECT_EQ(apm.LevelPosition, 128);
    }
}

TEST_F(FeatureTest, ApmEnabledAtLevel0ShowsNoLevel) {
    // A made drive: the Samsung with APM on and its level byte 0.
    AddEditedDrive(0, Samsung, [](std::vector<uint8_t>& id) { id[91 * 2] = 0; });
    dir.AddRealDrive(1, IbmApmOnly);
    Scan();
    FeatureGroupState apm;
    APMGetExecute(apm, *bus, data, 1);
    EXPECT_TRUE(apm.Checked);
    EXPECT_EQ(apm.LevelPosition, 0);
    EXPECT_EQ(apm.CurrentLevelCaption, "...");
    EXPECT_EQ(apm.RecommendedLevelCaption, "...");
    // A drive told to use level 0 answers the same way.
    APMGetExecute(apm, *bus, data, 2);
    EXPECT_EQ(apm.CurrentLevelCaption, "254");
    EXPECT_EQ(apm.RecommendedLevelCaption, "64");
    MoveFeatureLevel(apm, 0);
    APMSetExecute(apm, *bus, data, 2);
    EXPECT_EQ(GetAPM(*bus, data, 2), Levels(0, 64, true, true));
    EXPECT_EQ(apm.CurrentLevelCaption, "...");
    EXPECT_EQ(apm.RecommendedLevelCaption, "...");
}

// ShowDriveInfo reads both groups of the shown drive.
struct PanelRecorder final : HeadlessScanView {
    std::vector<InfoPanel> Shown;
    void InfoPanelChanged(const InfoPanel& panel) override { Shown.push_back(panel); }
};

TEST_F(FeatureTest, ShowDriveInfoReadsBothGroupsOfTheShownDrive) {
    dir.AddRealDrive(0, Samsung);
    dir.AddRealDrive(1, SamsungAamOff);
    dir.AddRealDrive(2, HitachiNeither);
    Scan();
    // The scan showed slot 1.
    EXPECT_EQ(panel.AAMGB, AAMGroupState(Levels(128, 254, true, true), {}));
    EXPECT_EQ(panel.APMGB.CurrentLevelCaption, "128");
    EXPECT_EQ(panel.APMGB.RecommendedLevelCaption, "0");

    PanelRecorder view;
    const size_t before = Sent();
    ShowDriveInfo(data, *bus, 2, view);
    const auto sent = SentSince(before);
    ASSERT_EQ(sent.size(), 2u);
    for (const auto& c : sent) {
        EXPECT_EQ(c.DriveNumber, 1u);
        EXPECT_EQ(c.TaskFile.Command, AtaCmdIdentify);
    }
    ASSERT_EQ(view.Shown.size(), 1u);
    // AAM supported but off: the recommended 254 of slot 1 stays.
    EXPECT_FALSE(view.Shown[0].AAMGB.Checked);
    EXPECT_TRUE(view.Shown[0].AAMGB.CheckBoxEnabled);
    EXPECT_EQ(view.Shown[0].AAMGB.RecommendedLevelCaption, "254");
    EXPECT_FALSE(view.Shown[0].APMGB.GetEnabled);
    EXPECT_EQ(view.Shown[0].HDDModelL, "SAMSUNG HD501LJ");

    ShowDriveInfo(data, *bus, 3, view);
    EXPECT_FALSE(panel.AAMGB.SetEnabled);
    EXPECT_FALSE(panel.APMGB.SetEnabled);

    // The drive fails IDENTIFY after the scan: the groups grey out.
    dir.WriteFile(0, "drive.ini", "[drive]\nfail = identify\n");
    Reopen();
    ShowDriveInfo(data, *bus, 1, view);
    EXPECT_EQ(panel.HDDModelL, "SAMSUNG HS122JC");
    EXPECT_FALSE(panel.AAMGB.GetEnabled);
    EXPECT_EQ(panel.AAMGB.CurrentLevelCaption, "...");
    EXPECT_FALSE(panel.APMGB.LevelEnabled);
}

} // namespace
} // namespace quorvane

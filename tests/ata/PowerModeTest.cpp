// CHECK POWER MODE on simulated drives, and what the answer means.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/TestDrives.h"
#include "ata/PowerMode.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

constexpr const char* kDrive = "ST9160821AS--3.CLH";

// The command bytes drive n received, in order.
std::vector<uint8_t> CommandsTo(const SimulatedBus& bus, unsigned n) {
    std::vector<uint8_t> out;
    for (const auto& sent : bus.SentCommands())
        if (sent.DriveNumber == n)
            out.push_back(sent.TaskFile.Command);
    return out;
}

// Moves drive.ini's time on, so a rewrite is seen whatever the clock's grain.
void Rewrite(test::DriveDir& dir, unsigned n, const std::string& ini) {
    const auto file = dir.Folder(n) / "drive.ini";
    const auto before = std::filesystem::last_write_time(file);
    dir.WriteFile(n, "drive.ini", "[drive]\n" + ini + "\n");
    std::filesystem::last_write_time(file, before + std::chrono::seconds(1));
}

TEST(PowerMode, SectorCountAnswers) {
    EXPECT_EQ(DecodePowerMode(0xFF), PowerMode::Active);
    EXPECT_EQ(DecodePowerMode(0x41), PowerMode::Active);
    for (uint8_t idle : {0x80, 0x81, 0x82, 0x83})
        EXPECT_EQ(DecodePowerMode(idle), PowerMode::Idle) << int(idle);
    for (uint8_t standby : {0x00, 0x01, 0x02, 0x40})
        EXPECT_EQ(DecodePowerMode(standby), PowerMode::Standby) << int(standby);
    for (uint8_t other : {0x03, 0x3F, 0x42, 0x7F, 0x84, 0xFE})
        EXPECT_EQ(DecodePowerMode(other), PowerMode::Unknown) << int(other);
    EXPECT_TRUE(IsSpunDown(PowerMode::Standby));
    EXPECT_TRUE(IsSpunDown(PowerMode::Sleep));
    EXPECT_FALSE(IsSpunDown(PowerMode::Idle));
    EXPECT_FALSE(IsSpunDown(PowerMode::Unknown));
}

TEST(PowerMode, SimulatedDrivesAnswerTheirModeInSectorCount) {
    test::DriveDir dir;
    dir.AddRealDrive(0, kDrive);
    dir.AddRealDrive(1, kDrive, "power = idle");
    dir.AddRealDrive(2, kDrive, "power = Standby");
    dir.AddRealDrive(3, kDrive, "power = spinning"); // not a mode: active
    SimulatedBus bus(dir.Path());
    const uint8_t expected[] = {0xFF, 0x80, 0x00, 0xFF};
    for (unsigned n = 0; n < 4; ++n) {
        AtaCommand cmd = AtaCommand::CheckPowerMode(n);
        auto handle = bus.OpenDrive(n);
        ASSERT_TRUE(handle && handle->SendAtaCommand(cmd));
        EXPECT_TRUE(AtaSucceeded(true, cmd));
        EXPECT_EQ(cmd.TaskFile.SectorCount, expected[n]) << n;
    }
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Active);
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Idle);
    EXPECT_EQ(CheckPowerMode(bus, 2), PowerMode::Standby);
    EXPECT_EQ(bus.OpenHandles(), 0);
}

TEST(PowerMode, AskingAndIdentifyKeepAStandbyDriveDownAReadSpinsItUp) {
    test::DriveDir dir;
    dir.AddRealDrive(0, kDrive, "power = standby");
    SimulatedBus bus(dir.Path());
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    ASSERT_TRUE(SendOnce(bus, 0, identify));
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    AtaCommand data = AtaCommand::SmartReadData(0);
    ASSERT_TRUE(AtaSucceeded(SendOnce(bus, 0, data), data));
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Active);

    // drive.ini rewritten while the bus runs: the drive went down again.
    Rewrite(dir, 0, "power = standby");
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    Rewrite(dir, 0, "power = active");
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Active);
}

// Changes the file's time does not show: a rewrite within the clock's grain
// (its time put back), drive.ini replaced by a rename, made where there was
// none, and deleted (the mode stays what it was).
TEST(PowerMode, EveryKindOfChangeToDriveIniIsSeenByTheNextCommand) {
    test::DriveDir dir;
    dir.AddRealDrive(0, kDrive, "power = standby");
    dir.AddRealDrive(1, kDrive);
    SimulatedBus bus(dir.Path());
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Active);
    const auto file = dir.Folder(0) / "drive.ini";

    const auto before = std::filesystem::last_write_time(file);
    dir.WriteFile(0, "drive.ini", "[drive]\npower = idle\n");
    std::filesystem::last_write_time(file, before);
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Idle);

    dir.WriteFile(0, "next.ini", "[drive]\npower = standby\n");
    std::filesystem::rename(dir.Folder(0) / "next.ini", file);
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Active); // drive 1 untouched

    dir.WriteFile(1, "drive.ini", "[drive]\npower = standby\n");
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Standby);
    std::filesystem::remove(dir.Folder(1) / "drive.ini");
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Standby);

    // Another file written beside it changes nothing.
    dir.WriteFile(0, "notes.txt", "power = active");
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    EXPECT_EQ(bus.OpenHandles(), 0);
}

TEST(PowerMode, ASleepingDriveMissesOneRequestAndWakesIntoStandby) {
    test::DriveDir dir;
    dir.AddRealDrive(0, kDrive, "power = sleep");
    dir.AddRealDrive(1, kDrive, "power = sleep");
    SimulatedBus bus(dir.Path());

    // Any first command is lost, and the drive is in standby afterwards.
    AtaCommand status = AtaCommand::SmartReturnStatus(1);
    EXPECT_FALSE(SendOnce(bus, 1, status));
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Standby);

    // Asked while asleep: the repeat finds it in standby, so it was asleep.
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Sleep);
    EXPECT_EQ(CommandsTo(bus, 0), (std::vector<uint8_t>{0xE5, 0xE5}));
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Standby);
    EXPECT_EQ(bus.OpenHandles(), 0);
}

TEST(PowerMode, DrivesThatDoNotSayAreUnknown) {
    test::DriveDir dir;
    dir.AddRealDrive(0, kDrive, "abort = check-power-mode");
    dir.AddRealDrive(1, kDrive, "fail = check-power-mode");
    dir.AddRealDrive(2, kDrive, "power = standby\nabort = check-power-mode");
    SimulatedBus bus(dir.Path());
    EXPECT_EQ(CheckPowerMode(bus, 0), PowerMode::Unknown); // unsupported
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Unknown); // no answer, twice
    EXPECT_EQ(CommandsTo(bus, 1).size(), 2u);
    EXPECT_EQ(CheckPowerMode(bus, 2), PowerMode::Unknown);
    EXPECT_EQ(CheckPowerMode(bus, 5), PowerMode::Unknown); // no such drive
    EXPECT_EQ(bus.OpenHandles(), 0);
    EXPECT_STREQ(PowerModeName(PowerMode::Unknown), "unknown");
    EXPECT_STREQ(PowerModeName(PowerMode::Sleep), "sleep");
}

} // namespace
} // namespace quorvane

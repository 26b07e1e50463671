// The simulated drive answers by register contents, like a drive.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <vector>

#include "common/TestDrives.h"
#include "ata/Identify.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

bool Send(SimulatedBus& bus, unsigned n, AtaCommand& cmd) {
    auto handle = bus.OpenDrive(n);
    return handle && handle->SendAtaCommand(cmd);
}

bool Aborted(const AtaCommand& cmd) {
    return (cmd.TaskFile.Status() & StatusErr) != 0 && cmd.TaskFile.Error() == ErrorAbrt;
}

// The native maximum address drive n answers with, or nullopt on a failure.
std::optional<uint64_t> NativeMax(SimulatedBus& bus, unsigned n) {
    AtaCommand cmd = AtaCommand::ReadNativeMaxAddressExt(n);
    if (!AtaSucceeded(Send(bus, n, cmd), cmd))
        return std::nullopt;
    return ReturnedLba48(cmd);
}

TEST(SimulatedBus, TheCommandLogKeepsOnlyTheLatestCommands) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    SimulatedBus bus(dir.Path());
    // Days of monitoring in a few seconds: three log limits' worth of commands.
    const size_t total = 3 * SimulatedBus::SentLogLimit + 7;
    for (size_t i = 0; i < total; ++i) {
        const unsigned n = i + 1 == total ? 1 : 0; // the very last goes to drive 1
        AtaCommand cmd = AtaCommand::CheckPowerMode(n);
        ASSERT_TRUE(Send(bus, n, cmd));
    }
    EXPECT_EQ(bus.SentCommands().size(), SimulatedBus::SentLogLimit);
    EXPECT_EQ(bus.SentTotal(), total);
    EXPECT_EQ(bus.SentCommands().back().DriveNumber, 1u);
    EXPECT_EQ(bus.SentCommands().front().DriveNumber, 0u);
    EXPECT_EQ(bus.SentCommands().back().TaskFile.Command, AtaCmdCheckPowerMode);
}

TEST(SimulatedBus, ALogFileGetsOneLinePerCommandTheDriveReceived) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "log = commands.log\nabort = identify");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    SimulatedBus bus(dir.Path());
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    EXPECT_TRUE(Send(bus, 0, identify)); // aborted commands were received too
    AtaCommand other = AtaCommand::CheckPowerMode(1);
    EXPECT_TRUE(Send(bus, 1, other)); // drive 1 keeps no log
    AtaCommand unknown = AtaCommand::CheckPowerMode(0);
    unknown.TaskFile.Command = 0xE7; // FLUSH CACHE: no name of its own
    EXPECT_TRUE(Send(bus, 0, unknown));
    AtaCommand status = AtaCommand::SmartReturnStatus(0);
    EXPECT_TRUE(Send(bus, 0, status));

    std::ifstream log(dir.Folder(0) / "commands.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"identify", "0xe7", "smart-status"}));
    EXPECT_FALSE(std::filesystem::exists(dir.Folder(1) / "commands.log"));
}

TEST(SimulatedBus, NativeMaxIsADecimalOrHexAddress) {
    test::DriveDir dir;
    // 312581808 sectors: the default native max is 312581807.
    const char* const values[] = {"0100", "0x1F4",           "312585903",
                                  "-1",   "12abc",           "0x",
                                  "",     "281474976710656", "99999999999999999999999"};
    for (unsigned n = 0; n < std::size(values); ++n)
        dir.AddRealDrive(n, "ST9160821AS--3.CLH", std::string("native-max = ") + values[n]);
    SimulatedBus bus(dir.Path());
    EXPECT_EQ(NativeMax(bus, 0), 100u); // a leading zero is no octal number
    EXPECT_EQ(NativeMax(bus, 1), 0x1F4u);
    EXPECT_EQ(NativeMax(bus, 2), 312585903u);
    // Signs, junk, and addresses beyond 48 bits leave the default.
    for (unsigned n = 3; n < std::size(values); ++n)
        EXPECT_EQ(NativeMax(bus, n), 312581807u) << values[n];
}

TEST(SimulatedBus, StatusExceededIsReadWithoutRegardToCase) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "status = Exceeded");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "status = ok");
    SimulatedBus bus(dir.Path());
    for (unsigned n : {0u, 1u}) {
        AtaCommand cmd = AtaCommand::SmartReturnStatus(n);
        ASSERT_TRUE(AtaSucceeded(Send(bus, n, cmd), cmd));
        EXPECT_EQ(cmd.TaskFile.LbaMid, n == 0 ? SmartExceededMid : SmartKeyMid);
        EXPECT_EQ(cmd.TaskFile.LbaHigh, n == 0 ? SmartExceededHigh : SmartKeyHigh);
    }
}

TEST(SimulatedBus, AnswersByRegisterContents) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "fail = identify\nabort = smart-read-data");
    SimulatedBus bus(dir.Path());

    // Unknown commands, unknown SMART subcommands and SMART without its key abort.
    AtaCommand flushCache = AtaCommand::SetFeatures(0, 0, 0);
    flushCache.TaskFile.Command = 0xE7;
    EXPECT_TRUE(Send(bus, 0, flushCache));
    EXPECT_TRUE(Aborted(flushCache));
    AtaCommand readLog = AtaCommand::SmartEnableOperations(0);
    readLog.TaskFile.Features = 0xD5;
    EXPECT_TRUE(Send(bus, 0, readLog));
    EXPECT_TRUE(Aborted(readLog));
    AtaCommand noKey = AtaCommand::SmartReturnStatus(0);
    noKey.TaskFile.LbaMid = 0;
    EXPECT_TRUE(Send(bus, 0, noKey));
    EXPECT_TRUE(Aborted(noKey));
    AtaCommand badFeature = AtaCommand::SetFeatures(0, 0x03, 0x46);
    EXPECT_TRUE(Send(bus, 0, badFeature));
    EXPECT_TRUE(Aborted(badFeature));
    // No disk.img: every sector read is outside the image.
    AtaCommand sector = AtaCommand::ReadSectors(0, 0);
    EXPECT_TRUE(Send(bus, 0, sector));
    EXPECT_TRUE(Aborted(sector));

    // fail: the request itself fails; abort: the drive answers ERR/ABRT.
    AtaCommand identify = AtaCommand::IdentifyDevice(1);
    EXPECT_FALSE(Send(bus, 1, identify));
    AtaCommand data = AtaCommand::SmartReadData(1);
    EXPECT_TRUE(Send(bus, 1, data));
    EXPECT_TRUE(Aborted(data));
    EXPECT_EQ(bus.OpenHandles(), 0);
}

TEST(SimulatedBus, SetFeaturesChangesTheAamAndApmWords) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "TOSHIBA_MK1651GSY--38IGT0G5T"); // supports both
    SimulatedBus bus(dir.Path());
    auto identify = [&] {
        AtaCommand cmd = AtaCommand::IdentifyDevice(0);
        EXPECT_TRUE(AtaSucceeded(Send(bus, 0, cmd), cmd));
        return cmd.Data;
    };
    const auto before = identify();
    AtaCommand aam = AtaCommand::SetFeatures(0, 0x42, 0x80);
    AtaCommand apm = AtaCommand::SetFeatures(0, 0x05, 0xFE);
    ASSERT_TRUE(AtaSucceeded(Send(bus, 0, aam), aam));
    ASSERT_TRUE(AtaSucceeded(Send(bus, 0, apm), apm));
    auto after = identify(); // a later open sees the change
    EXPECT_NE(IdentifyWord(after, 86) & (1u << 9), 0u);
    EXPECT_EQ(IdentifyWord(after, 94) & 0xFF, 0x80);
    EXPECT_EQ(IdentifyWord(after, 94) >> 8, IdentifyWord(before, 94) >> 8);
    EXPECT_NE(IdentifyWord(after, 86) & (1u << 3), 0u);
    EXPECT_EQ(IdentifyWord(after, 91) & 0xFF, 0xFE);

    AtaCommand aamOff = AtaCommand::SetFeatures(0, 0xC2, 0);
    AtaCommand apmOff = AtaCommand::SetFeatures(0, 0x85, 0);
    ASSERT_TRUE(AtaSucceeded(Send(bus, 0, aamOff), aamOff));
    ASSERT_TRUE(AtaSucceeded(Send(bus, 0, apmOff), apmOff));
    after = identify();
    EXPECT_EQ(IdentifyWord(after, 86) & ((1u << 9) | (1u << 3)), 0u);
}

TEST(SimulatedBus, SetFeaturesOfAnUnsupportedFeatureIsAborted) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");        // APM only
    dir.AddRealDrive(1, "SAMSUNG_HD501LJ--CR100-12"); // AAM only
    SimulatedBus bus(dir.Path());
    for (auto [n, subcommand, accepted] : {std::tuple{0u, 0x42, false},
                                           {0u, 0xC2, false},
                                           {0u, 0x05, true},
                                           {0u, 0x85, true},
                                           {1u, 0x42, true},
                                           {1u, 0xC2, true},
                                           {1u, 0x05, false},
                                           {1u, 0x85, false}}) {
        AtaCommand cmd = AtaCommand::SetFeatures(n, static_cast<uint8_t>(subcommand), 0x80);
        ASSERT_TRUE(Send(bus, n, cmd));
        EXPECT_EQ(Aborted(cmd), !accepted) << n << " " << subcommand;
    }
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    ASSERT_TRUE(Send(bus, 0, identify));
    EXPECT_EQ(IdentifyWord(identify.Data, 86) & (1u << 9), 0u);
    EXPECT_EQ(IdentifyWord(identify.Data, 94),
              IdentifyWord(test::PageOf("ST9160821AS--3.CLH", "identify"), 94));
}

} // namespace
} // namespace quorvane

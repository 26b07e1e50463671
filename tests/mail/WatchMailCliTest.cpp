// quorvane-cli watch mailing warnings about a failing drive to a real SMTP
// server on loopback, with the settings file's SMTP keys and repeat rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "MailTestSupport.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

class WatchMail : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sink_.Running()) << sink_.StartError();
        drives_.AddRealDrive(0, "ST9160821AS--3.CLH");
        drives_.AddRealDrive(1, "WDC_WD20EARS-00MVWB0", "status = exceeded");
        settings_ = drives_.Path() + "-settings.ini";
    }
    void TearDown() override { std::filesystem::remove(settings_); }
    void Settings(bool warnings) {
        std::ofstream(settings_) << "[Settings]\n"
                                 << "SMTP Host=127.0.0.1\n"
                                 << "SMTP Port=" << sink_.Port() << "\n"
                                 << "SMTP From=monitor@example.com\n"
                                 << "SMTP Mail=ops@example.com\n"
                                 << "SMTP Security=1\n"
                                 << "SMTP Warnings=" << (warnings ? 1 : 0) << "\n"
                                 << "SMTP Warning Repeat=60\n";
    }
    test::RunResult Watch(std::vector<std::string> more) {
        std::vector<std::string> argv = {QUORVANE_CLI, "--drives", drives_.Path(), "--settings",
                                         settings_,    "watch",    "--count",      "2",
                                         "--interval", "1"};
        argv.insert(argv.end(), more.begin(), more.end());
        return test::RunProgram(argv, {"LC_ALL=C"});
    }
    static int Count(const std::string& text, const std::string& part) {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    test::SinkServer sink_;
    test::DriveDir drives_;
    std::string settings_;
};

TEST_F(WatchMail, AFailingDriveGivesOneWarningMailOverTwoTicks) {
    Settings(true);
    const auto run = Watch({});
    ASSERT_EQ(run.ExitStatus, 0) << run.Error;
    EXPECT_EQ(Count(run.Output, "2  WDC WD20EARS-00MVWB0  44 C  ERROR"), 2) << run.Output;
    EXPECT_EQ(Count(run.Output, "1  ST9160821AS  38 C  O.K."), 2) << run.Output;
    EXPECT_EQ(Count(run.Error, "Report sending O.K."), 1) << run.Error;
    const auto message = sink_.Message(1);
    ASSERT_FALSE(message.empty());
    std::string all;
    for (const auto& [name, bytes] : message)
        all += bytes;
    EXPECT_NE(all.find("ops@example.com"), std::string::npos);
    EXPECT_NE(all.find("WDC WD20EARS-00MVWB0"), std::string::npos);
    // The second tick's failure is the same one: the repeat rule holds it back.
    EXPECT_TRUE(sink_.Message(2, std::chrono::milliseconds(500)).empty());
}

TEST_F(WatchMail, NoMailAndTheSwitchOffSendNothing) {
    for (bool noMail : {true, false}) {
        Settings(noMail);
        const auto run =
            Watch(noMail ? std::vector<std::string>{"--no-mail"} : std::vector<std::string>{});
        ASSERT_EQ(run.ExitStatus, 0) << run.Error;
        EXPECT_EQ(Count(run.Output, "ERROR"), 2) << run.Output;
        EXPECT_EQ(run.Error.find("Report sending"), std::string::npos) << run.Error;
    }
    EXPECT_TRUE(sink_.Message(1, std::chrono::milliseconds(500)).empty());
}

} // namespace
} // namespace quorvane

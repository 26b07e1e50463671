// quorvane-cli settings, run as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "common/RunCli.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::CliRun;

// quorvane-cli with the environment assignments env before it.
CliRun RunSettingsCli(const std::string& env, const std::string& args) {
    const std::string command =
        "LC_ALL=C " + env + " '" + std::string(QUORVANE_CLI) + "' " + args + " 2>/dev/null";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    test::ExpectValidJson(args, run.Out);
    return run;
}

class SettingsCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quorvane-settings-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = (dir_ / "my settings.ini").string();
        std::ofstream(file_) << "[Settings]\nRefresh Interval=0x3C\nHDD2 Temperature Icon=0\n"
                                "SMTP Host=mail.example.net\nSMTP Password=hunter2\n"
                                "SMTP Security=3\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string file_;
};

TEST_F(SettingsCli, ListsTheFileAndEveryEffectiveValueButNeverThePassword) {
    const CliRun run = RunSettingsCli("", "--settings '" + file_ + "' settings");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.find("hunter2"), std::string::npos);
    std::string expected =
        "Settings file: " + file_ + "\nS.M.A.R.T. Monitoring=1\nRefresh Interval=60\n";
    for (int slot = 1; slot <= 6; ++slot) {
        const std::string hdd = "HDD" + std::to_string(slot) + " Temperature Icon";
        expected += hdd + "=" + (slot == 2 ? "0" : "1") + "\n" + hdd + " FColor=65535\n" + hdd +
                    " BColor=0\n";
    }
    expected += "SMTP Host=mail.example.net\nSMTP Login=support\n"
                "SMTP From=support@quorvane.example.org\nSMTP Mail=support@quorvane.example.org\n"
                "SMTP Port=25\nSMTP Password=(set)\nSMTP Authentication=0\nSMTP Security=3\n"
                "SMTP Reports=0\nSMTP Warnings=0\nSMTP Warning Repeat=60\nSMTP Delay=20\n"
                "Alert Sound=0\nBalloon Hints=0\nLet Drives Sleep=0\n"
                "Warn on Rising Sector Counts=1\nHistory File=\n";
    EXPECT_EQ(run.Out, expected);
}

TEST_F(SettingsCli, JsonAndTheVariableAndAMissingFile) {
    CliRun run = RunSettingsCli("QUORVANE_SETTINGS='" + file_ + "'", "settings --json");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(test::JsonField(run.Out, "d['settings_file']['path'], d['settings_file']['exists'], "
                                       "d['quorvane']['simulated'], list(d['settings'].items())[:3]"),
              file_ + " True None [('S.M.A.R.T. Monitoring', True), ('Refresh Interval', 60), "
                      "('HDD1 Temperature Icon', True)]\n")
        << run.Out;
    EXPECT_EQ(test::JsonField(run.Out, "[(k, d['settings'][k]) for k in ['HDD2 Temperature Icon', "
                                       "'SMTP Password', 'SMTP Authentication', 'SMTP Security']], "
                                       "list(d['settings'])[-1], d['settings']['Let Drives Sleep'], "
                                       "d['settings']['Warn on Rising Sector Counts']"),
              "[('HDD2 Temperature Icon', False), ('SMTP Password', '(set)'), ('SMTP Authentication', "
              "False), ('SMTP Security', 3)] History File False True\n");
    EXPECT_EQ(run.Out.find("hunter2"), std::string::npos);

    // --settings comes before the variable; a missing file gives the defaults
    // and is not created.
    const std::string missing = (dir_ / "none.ini").string();
    run = RunSettingsCli("QUORVANE_SETTINGS='" + file_ + "'",
                         "--settings '" + missing + "' settings");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.rfind("Settings file: " + missing +
                                " (not there: every key has its default)\n"
                                "S.M.A.R.T. Monitoring=1\nRefresh Interval=15\n",
                            0),
              0u)
        << run.Out;
    EXPECT_NE(run.Out.find("\nSMTP Password=(empty)\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));

    // Without either: the config folder.
    run = RunSettingsCli("XDG_CONFIG_HOME='" + dir_.string() + "' QUORVANE_SETTINGS=", "settings");
    EXPECT_EQ(
        run.Out.rfind("Settings file: " + dir_.string() + "/Quorvane/Quorvane.ini (not there", 0),
        0u)
        << run.Out;

    EXPECT_EQ(RunSettingsCli("", "settings extra").Status, 2);
    EXPECT_EQ(RunSettingsCli("", "--settings").Status, 2);
}

TEST_F(SettingsCli, BytesOfAnyKindGiveValidJsonAndNoEscapeSequence) {
    // A Latin-1 umlaut and an escape sequence, as a hand edit may leave them.
    std::ofstream(file_) << "[Settings]\nSMTP Login=J\xF6rg\x1B[31m\nSMTP From=Jörg <a@b>\n";
    CliRun run = RunSettingsCli("", "--settings '" + file_ + "' settings");
    EXPECT_NE(run.Out.find("\nSMTP Login=J\xC3\xB6rg?[31m\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\nSMTP From=Jörg <a@b>\n"), std::string::npos) << run.Out;

    run = RunSettingsCli("", "--settings '" + file_ +
                                 "' settings --json | /usr/bin/python3 -c 'import json, sys; "
                                 "d = json.load(sys.stdin)[\"settings\"]; "
                                 "print(ascii(d[\"SMTP Login\"]), ascii(d[\"SMTP From\"]))'");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "'J\\xf6rg\\x1b[31m' 'J\\xf6rg <a@b>'\n");
}

} // namespace
} // namespace quorvane

// The small INI reader and writer behind drive.ini and the settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "shell/IniFile.h"

namespace quorvane {
namespace {

TEST(IniFile, SectionsAndKeysIgnoreCaseAndTheFirstKeyWins) {
    const auto ini = IniFile::Parse("; comment\n[Drive]\n Status = exceeded \nstatus = ok\n"
                                    "junk line\n[other]\nkey=\n[DRIVE]\nfail = identify\n");
    EXPECT_EQ(ini.Get("drive", "STATUS"), "exceeded");
    EXPECT_EQ(ini.Get("drive", "fail"), "identify"); // a repeated section continues the first
    EXPECT_EQ(ini.Get("other", "key"), "");
    EXPECT_FALSE(ini.Get("other", "missing").has_value());
    EXPECT_FALSE(ini.Get("nowhere", "status").has_value());
}

TEST(IniFile, AByteOrderMarkDoesNotHideTheFirstSection) {
    const auto ini = IniFile::Parse("\xEF\xBB\xBF[drive]\r\nstatus = exceeded\r\n");
    EXPECT_EQ(ini.Get("drive", "status"), "exceeded");
}

TEST(IniFile, KeysOutsideASectionAreIgnored) {
    const auto ini = IniFile::Parse("status = exceeded\n[drive]\n");
    EXPECT_FALSE(ini.Get("drive", "status").has_value());
}

TEST(IniFile, SaveReplacesTheFileWholeOrNotAtAll) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quorvane-ini-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    IniFile ini;
    ini.Set("Main", "Refresh", "60");
    ini.Set("main", "refresh", "120"); // the same key
    ini.Set("Main", "Alert", "1");
    ASSERT_TRUE(ini.Save((dir / "a.ini").string()));
    const auto back = IniFile::Load((dir / "a.ini").string());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->Get("MAIN", "Refresh"), "120");
    EXPECT_EQ(back->ToText(), "[Main]\nRefresh=120\nAlert=1\n");

    // A folder that does not exist: nothing is written, nothing is left behind.
    EXPECT_FALSE(ini.Save((dir / "missing" / "b.ini").string()));
    EXPECT_FALSE(IniFile::Load((dir / "missing" / "b.ini").string()).has_value());
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1u);
    fs::remove_all(dir);
}

} // namespace
} // namespace quorvane

// The small INI reader and writer behind drive.ini and the settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/IniFile.h"

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

TEST(IniFile, ManySectionsKeepTheirOrderAndRepeatsContinueTheFirst) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "[S" + std::to_string(i) + "]\nkey = " + std::to_string(i) + "\n";
    text += "[s1500]\nKEY = late\nnew = added\n"; // a repeat: its first key is not the first
    auto ini = IniFile::Parse(text);
    EXPECT_EQ(ini.Get("s0", "key"), "0");
    EXPECT_EQ(ini.Get("S2999", "Key"), "2999");
    EXPECT_EQ(ini.Get("s1500", "key"), "1500");
    EXPECT_EQ(ini.Get("S1500", "NEW"), "added");
    EXPECT_FALSE(ini.Get("s3000", "key").has_value());
    // Set finds what Parse read, in any case, and adds the rest at the end.
    ini.Set("s7", "KEY", "seven");
    ini.Set("s7", "other", "x");
    ini.Set("Fresh", "a", "1");
    EXPECT_EQ(ini.Get("S7", "key"), "seven");
    const std::string out = ini.ToText();
    EXPECT_EQ(out.rfind("[S0]\nkey=0\n\n[S1]\nkey=1\n", 0), 0u);
    EXPECT_NE(out.find("\n[S7]\nkey=seven\nother=x\n\n[S8]\n"), std::string::npos);
    EXPECT_NE(out.find("\n[S1500]\nkey=1500\nnew=added\n\n[S1501]"), std::string::npos);
    EXPECT_TRUE(out.ends_with("\n\n[Fresh]\na=1\n")) << out.substr(out.size() - 40);
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

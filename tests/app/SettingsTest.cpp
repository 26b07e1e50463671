// The settings: defaults of a first start, the settings file and the autostart entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/Settings.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// A fresh folder that nobody but the test uses, removed at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quorvane-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp");
        root_ = pattern;
        // Traversable, so a test can also run a step as an unprivileged user.
        fs::permissions(root_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (const auto& entry : fs::recursive_directory_iterator(root_, ec))
            if (entry.is_directory(ec) && !entry.is_symlink(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string operator/(const std::string& name) const { return (root_ / name).string(); }
    const fs::path& Path() const { return root_; }

private:
    fs::path root_;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Fixture(const std::string& name) {
    return ReadText(std::string(QUORVANE_TEST_DATA) + "/settings/" + name);
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0xFFFF;
    return st.st_mode & 07777;
}

// Paths into folder: the settings file, the autostart entry and an executable.
SettingsPaths PathsIn(const TempFolder& folder) {
    return {folder / "Quorvane.ini", folder / "autostart/Quorvane.desktop",
            "/opt/Quorvane/bin/quorvane"};
}

// Runs step in a child process as an unprivileged user (root writes anywhere);
// true when the step returned true.
bool AsUnprivilegedUser(const std::function<bool()>& step) {
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::_exit(step() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> ValueLines(const Settings& s) {
    std::vector<std::string> lines;
    for (const auto& v : SettingValues(s, SettingsSlots, true))
        lines.push_back(v.Key + "=" + v.Value);
    return lines;
}

TEST(Settings, AFirstStartMonitorsEveryFifteenSecondsWithYellowOnBlackIcons) {
    TempFolder folder;
    const Settings s = LoadSettings(folder / "Quorvane.ini");
    EXPECT_TRUE(s.SMARTMonitoring);
    EXPECT_EQ(s.RefreshInterval, 15);
    for (int slot = 1; slot <= SettingsSlots; ++slot) {
        EXPECT_TRUE(s.TraySlot(slot).TrayIcon) << slot;
        EXPECT_EQ(s.TraySlot(slot).TrayFontColor, 0x0000FFFFu) << slot;
        EXPECT_EQ(s.TraySlot(slot).TrayBackColor, 0u) << slot;
    }
    EXPECT_FALSE(s.SMTPReports);
    EXPECT_FALSE(s.SMTPWarnings);
    EXPECT_FALSE(s.SMTPAuthentication);
    EXPECT_EQ(s.SMTPHost, "smtp.quorvane.example.org");
    EXPECT_EQ(s.SMTPMail, "support@quorvane.example.org");
    EXPECT_EQ(s.SMTPPort, "25");
    EXPECT_EQ(s.SMTPPassword, "");
    EXPECT_EQ(s.SMTPDelay, 20);
    EXPECT_FALSE(s.AlertSound);
    EXPECT_FALSE(s.BalloonHints);
    EXPECT_EQ(s.SMTPWarningRepeat, 60);
    EXPECT_EQ(s.SMTPSecurity, SMTPSecurityMode::Auto);
    EXPECT_FALSE(s.LetDrivesSleep);
    EXPECT_FALSE(s.AutoRun);
    // Reading creates nothing.
    EXPECT_TRUE(fs::is_empty(folder.Path()));
}

TEST(Settings, TraySlotsAreNumberedOneToSix) {
    Settings s;
    s.TraySlot(6).TrayBackColor = 0x00112233;
    EXPECT_EQ(s.Tray[5].TrayBackColor, 0x00112233u);
    EXPECT_THROW(s.TraySlot(0), std::out_of_range);
    EXPECT_THROW(s.TraySlot(7), std::out_of_range);
}

TEST(Settings, AHandEditedFileIsReadAsProfileFunctionsReadIt) {
    TempFolder folder;
    WriteText(folder / "Quorvane.ini", Fixture("hand-edited.ini"));
    const Settings s = LoadSettings(folder / "Quorvane.ini");
    EXPECT_FALSE(s.SMARTMonitoring);  // mixed case, blanks, behind a BOM
    EXPECT_EQ(s.RefreshInterval, 60); // $3C
    EXPECT_EQ(s.RAWValues, 0);        // never read
    EXPECT_FALSE(s.TraySlot(1).TrayIcon);
    EXPECT_EQ(s.TraySlot(1).TrayFontColor, 0x0000FFu); // 0x prefix
    EXPECT_EQ(s.TraySlot(1).TrayBackColor, 0x00FF00u); // x prefix
    EXPECT_TRUE(s.TraySlot(2).TrayIcon);               // missing
    EXPECT_EQ(s.TraySlot(2).TrayFontColor, 0x00FFFFu); // "yellow" does not convert
    EXPECT_EQ(s.TraySlot(2).TrayBackColor, 255u);
    EXPECT_FALSE(s.TraySlot(3).TrayIcon);
    EXPECT_EQ(s.TraySlot(3).TrayFontColor, 0xFF0000u);
    EXPECT_EQ(s.TraySlot(4).TrayBackColor, 0u); // beyond 24 bits
    EXPECT_EQ(s.SMTPHost, "mail.example.net");  // not the [Other] section's, quotes gone
    EXPECT_EQ(s.SMTPLogin, "someone");
    EXPECT_EQ(s.SMTPFrom, "support@quorvane.example.org");
    EXPECT_EQ(s.SMTPPassword, "  two spaces  ");
    EXPECT_EQ(s.SMTPPort, "587");
    EXPECT_TRUE(s.SMTPReports);                        // 2 is true
    EXPECT_EQ(s.SMTPDelay, 45);                        // 0X2d
    EXPECT_EQ(s.SMTPSecurity, SMTPSecurityMode::Auto); // 7 is no mode
    EXPECT_FALSE(s.AlertSound);                        // junk
    EXPECT_TRUE(s.BalloonHints);                       // -1
}

TEST(Settings, SavingAHandEditedFileReplacesKeysInPlaceAndKeepsEverythingElse) {
    TempFolder folder;
    const auto paths = PathsIn(folder);
    WriteText(paths.SettingsFile, Fixture("hand-edited.ini"));
    Settings s = LoadSettings(paths.SettingsFile);
    s.RefreshInterval = 120;
    s.RAWValues = 1;
    s.TraySlot(2).TrayFontColor = 0x00123456;
    s.TraySlot(3).TrayIcon = true; // slot 3 holds no drive now: not written
    s.SMTPSecurity = SMTPSecurityMode::StartTLS;
    ASSERT_TRUE(SaveSettings(paths, s, 2).Written);
    EXPECT_EQ(ReadText(paths.SettingsFile), Fixture("hand-edited.saved.ini"));

    // What was saved is what is read: slot 3 as it was in the file.
    Settings expected = s;
    expected.RAWValues = 0;
    expected.TraySlot(3).TrayIcon = false;
    EXPECT_EQ(ValueLines(LoadSettings(paths.SettingsFile)), ValueLines(expected));
}

TEST(Settings, ANewFileHoldsTheKeysInTheirOrderAndIsPrivate) {
    TempFolder folder;
    SettingsPaths paths = PathsIn(folder);
    paths.SettingsFile = folder / "config/Quorvane/Quorvane.ini"; // neither folder exists
    Settings s;
    s.SMTPPassword = "se cret\"";
    ASSERT_TRUE(SaveSettings(paths, s, 1).Written);
    EXPECT_EQ(ReadText(paths.SettingsFile), Fixture("new-one-drive.ini"));
    EXPECT_EQ(ModeOf(paths.SettingsFile), 0600u);
    EXPECT_EQ(ModeOf(folder / "config"), 0700u);
    EXPECT_EQ(ModeOf(folder / "config/Quorvane"), 0700u);
    // The password stands in the file as typed.
    EXPECT_NE(ReadText(paths.SettingsFile).find("\nSMTP Password=se cret\"\n"), std::string::npos);
    EXPECT_EQ(LoadSettings(paths.SettingsFile).SMTPPassword, "se cret\"");

    // An existing file keeps its mode; one that holds a password loses its
    // group's and others' bits, which the save says once.
    ::chmod(paths.SettingsFile.c_str(), 0644);
    const SaveOutcome narrowed = SaveSettings(paths, s, 1);
    ASSERT_TRUE(narrowed.Written);
    EXPECT_EQ(ModeOf(paths.SettingsFile), 0600u);
    EXPECT_EQ(narrowed.Notice,
              paths.SettingsFile + " holds the SMTP password: only its owner may read it now");
    const SaveOutcome again = SaveSettings(paths, s, 1);
    ASSERT_TRUE(again.Written);
    EXPECT_EQ(again.Notice, "");
    EXPECT_EQ(ModeOf(paths.SettingsFile), 0600u);
    s.SMTPPassword.clear();
    for (unsigned mode : {0644u, 0640u}) {
        ::chmod(paths.SettingsFile.c_str(), mode);
        const SaveOutcome kept = SaveSettings(paths, s, 1);
        ASSERT_TRUE(kept.Written);
        EXPECT_EQ(ModeOf(paths.SettingsFile), mode);
        EXPECT_EQ(kept.Notice, "");
    }
}

TEST(Settings, TwoDrivesAfterSixLeaveTheKeysOfSlotsThreeToSix) {
    TempFolder folder;
    const auto paths = PathsIn(folder);
    Settings six;
    for (int slot = 1; slot <= 6; ++slot) {
        six.TraySlot(slot).TrayFontColor = static_cast<uint32_t>(slot);
        six.TraySlot(slot).TrayIcon = slot % 2 == 0;
    }
    ASSERT_TRUE(SaveSettings(paths, six, 6).Written);
    Settings two = six;
    for (int slot = 1; slot <= 6; ++slot)
        two.TraySlot(slot).TrayFontColor = 0x00ABCDEF;
    ASSERT_TRUE(SaveSettings(paths, two, 2).Written);

    const Settings back = LoadSettings(paths.SettingsFile);
    for (int slot = 1; slot <= 6; ++slot) {
        EXPECT_EQ(back.TraySlot(slot).TrayFontColor, slot <= 2 ? 0x00ABCDEFu : unsigned(slot));
        EXPECT_EQ(back.TraySlot(slot).TrayIcon, slot % 2 == 0);
    }
    // No drive at all writes no per-drive key; a count above six is six.
    TempFolder other;
    SaveSettings(PathsIn(other), six, 0);
    EXPECT_EQ(ReadText(other / "Quorvane.ini").find("HDD"), std::string::npos);
    SaveSettings(PathsIn(other), six, 9);
    EXPECT_NE(ReadText(other / "Quorvane.ini").find("HDD6 Temperature Icon BColor=0"),
              std::string::npos);
    EXPECT_EQ(ReadText(other / "Quorvane.ini").find("HDD7"), std::string::npos);
}

TEST(Settings, IntervalsOutsideTheirRangesAreHeldToThem) {
    TempFolder folder;
    const auto load = [&](const std::string& lines) {
        WriteText(folder / "Quorvane.ini", "[Settings]\n" + lines);
        return LoadSettings(folder / "Quorvane.ini");
    };
    Settings s = load("Refresh Interval=0\nSMTP Delay=0\nSMTP Warning Repeat=-5\n");
    EXPECT_EQ(s.RefreshInterval, 15);
    EXPECT_EQ(s.SMTPDelay, 10);
    EXPECT_EQ(s.SMTPWarningRepeat, 0);
    s = load("Refresh Interval=70000\nSMTP Delay=$FFFFFFFF\nSMTP Warning Repeat=99999\n");
    EXPECT_EQ(s.RefreshInterval, 900);
    EXPECT_EQ(s.SMTPDelay, 10); // -1
    EXPECT_EQ(s.SMTPWarningRepeat, 1440);
    s = load("Refresh Interval=37\nSMTP Delay=180\nSMTP Warning Repeat=0\nSMTP Reports=1\n");
    EXPECT_EQ(s.RefreshInterval, 37); // inside the range, even off the up-down's step
    EXPECT_EQ(s.SMTPDelay, 180);
    EXPECT_EQ(s.SMTPWarningRepeat, 0);
    EXPECT_TRUE(s.SMTPReports);
}

TEST(Settings, AFileThatCannotBeWrittenIsLeftAsItWasAndTheEntryUntouched) {
    TempFolder folder;
    const auto paths = PathsIn(folder);
    WriteText(paths.SettingsFile, "[Settings]\nRefresh Interval=30\n");
    ::chmod(paths.SettingsFile.c_str(), 0644);
    ::chmod(folder.Path().c_str(), 0555);
    Settings s;
    s.RefreshInterval = 600;
    s.AutoRun = true;
    EXPECT_TRUE(AsUnprivilegedUser([&] {
        const SaveOutcome outcome = SaveSettings(paths, s, 1);
        return !outcome.Written && outcome.Message == "Unable to write to " + paths.SettingsFile;
    }));
    EXPECT_EQ(ReadText(paths.SettingsFile), "[Settings]\nRefresh Interval=30\n");
    EXPECT_FALSE(fs::exists(paths.AutostartEntry));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1u); // no temporary file left behind

    // A file that is there but cannot be read is not replaced by one without
    // its other lines.
    ::chmod(folder.Path().c_str(), 0777);
    ::chmod(paths.SettingsFile.c_str(), 0222);
    if (::geteuid() == 0) { // the user's own file, which the user could replace
        ASSERT_EQ(::chown(paths.SettingsFile.c_str(), 65534, 65534), 0);
    }
    EXPECT_TRUE(AsUnprivilegedUser([&] { return !SaveSettings(paths, s, 1).Written; }));
    ::chmod(paths.SettingsFile.c_str(), 0644);
    EXPECT_EQ(ReadText(paths.SettingsFile), "[Settings]\nRefresh Interval=30\n");
}

TEST(Settings, ASymlinkIsFollowedAndAFolderOrFifoIsNotReplaced) {
    TempFolder folder;
    SettingsPaths paths = PathsIn(folder);
    WriteText(folder / "real/settings.ini", "[Settings]\nAlert Sound=0\n");
    fs::create_symlink("real/settings.ini", paths.SettingsFile);
    Settings s;
    s.AlertSound = true;
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
    EXPECT_TRUE(fs::is_symlink(paths.SettingsFile));
    EXPECT_EQ(fs::read_symlink(paths.SettingsFile), "real/settings.ini");
    EXPECT_TRUE(LoadSettings(folder / "real/settings.ini").AlertSound);

    // A link to a file not made yet: the file is made where the link leads.
    fs::create_symlink("real/new.ini", folder / "dangling.ini");
    paths.SettingsFile = folder / "dangling.ini";
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.ini"));
    EXPECT_TRUE(LoadSettings(folder / "real/new.ini").AlertSound);
    EXPECT_EQ(ModeOf(folder / "real/new.ini"), 0600u);

    // A folder or a FIFO in the file's place is read as no file and not replaced.
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    for (const char* name : {"real", "fifo"}) {
        paths.SettingsFile = folder / name;
        EXPECT_TRUE(LoadSettings(paths.SettingsFile).SMARTMonitoring);
        EXPECT_FALSE(SaveSettings(paths, s, 0).Written) << name;
    }
    EXPECT_TRUE(fs::is_directory(folder / "real"));
    EXPECT_TRUE(fs::is_fifo(folder / "fifo"));
}

TEST(SettingsPaths, TheVariableThenAPortableCopyThenTheConfigFolder) {
    TempFolder folder;
    const std::string exe = folder / "bin/quorvane";
    WriteText(exe, "");
    SettingsEnvironment env{std::nullopt, folder / "xdg", folder / "home"};

    SettingsPaths paths = FindSettingsPaths(exe, env);
    EXPECT_EQ(paths.SettingsFile, folder / "xdg/Quorvane/Quorvane.ini");
    EXPECT_EQ(paths.AutostartEntry, folder / "xdg/autostart/Quorvane.desktop");
    EXPECT_EQ(paths.Executable, exe);

    // Without the variable, or with a relative one, ~/.config.
    for (const auto& xdg : {std::optional<std::string>{}, std::optional<std::string>{"rel/xdg"}}) {
        env.XdgConfigHome = xdg;
        paths = FindSettingsPaths(exe, env);
        EXPECT_EQ(paths.SettingsFile, folder / "home/.config/Quorvane/Quorvane.ini");
        EXPECT_EQ(paths.AutostartEntry, folder / "home/.config/autostart/Quorvane.desktop");
    }

    // A portable copy: the file beside the executable.
    WriteText(folder / "bin/Quorvane.ini", "");
    EXPECT_EQ(FindSettingsPaths(exe, env).SettingsFile, folder / "bin/Quorvane.ini");

    // QUORVANE_SETTINGS comes first; a relative name is taken from here.
    env.QuorvaneSettings = folder / "elsewhere.ini";
    EXPECT_EQ(FindSettingsPaths(exe, env).SettingsFile, folder / "elsewhere.ini");
    env.QuorvaneSettings = "my.ini";
    EXPECT_EQ(FindSettingsPaths(exe, env).SettingsFile, fs::current_path() / "my.ini");
}

TEST(Autorun, TheExecIsThePathInQuotesEscapedForADesktopEntry) {
    EXPECT_EQ(AutostartExec("/usr/bin/quorvane"), "\"/usr/bin/quorvane\"");
    EXPECT_EQ(AutostartExec("/home/a b/100%/$x`y\"z"), "\"/home/a b/100%%/\\\\$x\\\\`y\\\\\"z\"");
    EXPECT_EQ(AutostartExec("/odd\\name"), "\"/odd\\\\\\\\name\"");
}

TEST(Autorun, PresentOnlyWhenTheEntryStartsThisVeryPathAndIsNotHidden) {
    TempFolder folder;
    const std::string entry = folder / "Quorvane.desktop";
    const std::string exe = "/opt/Quorvane/bin/quorvane";
    EXPECT_FALSE(ReadAutorun(entry, exe)); // missing

    const auto with = [&](const std::string& text) {
        WriteText(entry, text);
        return ReadAutorun(entry, exe);
    };
    EXPECT_TRUE(with("[Desktop Entry]\nType=Application\nExec=\"/opt/Quorvane/bin/quorvane\"\n"));
    EXPECT_TRUE(with("[Desktop Entry]\r\nExec = nice \"/opt/Quorvane/bin/quorvane\" --x\r\n"));
    EXPECT_FALSE(with("[Desktop Entry]\nExec=\"/opt/quorvane/bin/quorvane\"\n")); // letter case
    EXPECT_FALSE(with("[Desktop Entry]\nExec=\"/usr/bin/quorvane\"\n"));          // another copy
    EXPECT_FALSE(with("[Desktop Entry]\nExec=/opt/Quorvane/bin/quorvane\n"));     // not quoted
    EXPECT_FALSE(with("[Desktop Entry]\nExec=\"/opt/Quorvane/bin/quorvane\"\nHidden=true\n"));
    EXPECT_TRUE(with("[Desktop Entry]\nExec=\"/opt/Quorvane/bin/quorvane\"\nHidden=false\n"));
    EXPECT_FALSE(with("[Desktop Action x]\nExec=\"/opt/Quorvane/bin/quorvane\"\n"));
    EXPECT_FALSE(with("[Desktop Entry]\nExec=\"/usr/bin/quorvane\"\n"
                      "Exec=\"/opt/Quorvane/bin/quorvane\"\n")); // the first Exec counts
}

TEST(Autorun, SavingWritesReplacesKeepsOrDeletesTheEntry) {
    TempFolder folder;
    const auto paths = PathsIn(folder);
    Settings s;
    s.AutoRun = true;
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
    EXPECT_EQ(ReadText(paths.AutostartEntry), "[Desktop Entry]\nType=Application\nName=Quorvane\n"
                                              "Exec=\"/opt/Quorvane/bin/quorvane\"\n");
    EXPECT_EQ(ModeOf(folder / "autostart"), 0700u);
    EXPECT_TRUE(ReadAutorun(paths.AutostartEntry, paths.Executable));

    // An entry that already starts this program stays as the user left it.
    const std::string own = "[Desktop Entry]\nName=Mine\nExec=\"/opt/Quorvane/bin/quorvane\"\n";
    WriteText(paths.AutostartEntry, own);
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
    EXPECT_EQ(ReadText(paths.AutostartEntry), own);

    // One for another copy, or a hidden one, is replaced.
    for (const char* other :
         {"[Desktop Entry]\nExec=\"/usr/bin/quorvane\"\n",
          "[Desktop Entry]\nExec=\"/opt/Quorvane/bin/quorvane\"\nHidden=true\n"}) {
        WriteText(paths.AutostartEntry, other);
        ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
        EXPECT_TRUE(ReadAutorun(paths.AutostartEntry, paths.Executable)) << other;
    }

    // Unchecked: deleted, whichever copy it starts.
    WriteText(paths.AutostartEntry, "[Desktop Entry]\nExec=\"/usr/bin/quorvane\"\n");
    s.AutoRun = false;
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written);
    EXPECT_FALSE(fs::exists(paths.AutostartEntry));
    ASSERT_TRUE(SaveSettings(paths, s, 0).Written); // nothing to delete
    EXPECT_FALSE(fs::exists(paths.AutostartEntry));
}

TEST(Autorun, AnAutostartFolderThatCannotBeWrittenIsSkipped) {
    TempFolder folder;
    const auto paths = PathsIn(folder);
    fs::create_directories(folder / "autostart");
    ::chmod((folder / "autostart").c_str(), 0555);
    Settings s;
    s.AutoRun = true;
    ::chmod(folder.Path().c_str(), 0777);
    // The settings are written; the entry quietly is not.
    EXPECT_TRUE(AsUnprivilegedUser([&] { return SaveSettings(paths, s, 0).Written; }));
    EXPECT_FALSE(fs::exists(paths.AutostartEntry));
    EXPECT_NE(ReadText(paths.SettingsFile).find("Alert Sound=0"), std::string::npos);
}

} // namespace
} // namespace quorvane

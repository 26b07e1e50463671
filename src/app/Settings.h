// Every setting of the program in one struct, with the defaults a first start
// without a settings file gets. The windows mirror it; the core reads its
// options from it; the settings file stores it under [Settings].
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane {

// Slots 1..6 of the drive table, one tray icon each.
inline constexpr int SettingsSlots = 6;

// The ranges of the two up-down controls; a stored value outside is clamped.
inline constexpr int MinRefreshInterval = 15; // seconds
inline constexpr int MaxRefreshInterval = 900;
inline constexpr int MinSMTPDelay = 10; // minutes
inline constexpr int MaxSMTPDelay = 180;
// "SMTP Warning Repeat" in minutes: 0 repeats with every cycle, at most a day.
inline constexpr int MaxSMTPWarningRepeat = 1440;

// "SMTP Security": how the mail client protects the connection.
enum class SMTPSecurityMode : int { Auto = 0, None = 1, StartTLS = 2, TLS = 3 };

// The program's own placeholders for the mail texts, under its own domain.
inline constexpr const char* DefaultSMTPHost = "smtp.quorvane.example.org";
inline constexpr const char* DefaultSMTPLogin = "support";
inline constexpr const char* DefaultSMTPFrom = "support@quorvane.example.org";
inline constexpr const char* DefaultSMTPMail = "support@quorvane.example.org";

// The tray icon of one drive slot: "HDDn Temperature Icon", "... FColor",
// "... BColor". Colours are 0x00BBGGRR.
struct TraySettings {
    bool TrayIcon = true;
    uint32_t TrayFontColor = 0x0000FFFF; // yellow
    uint32_t TrayBackColor = 0x00000000; // black
};

struct Settings {
    bool SMARTMonitoring = true; // "S.M.A.R.T. Monitoring", SMARTMonCB
    int RefreshInterval = 15;    // "Refresh Interval", seconds, HDDRefreshIntUD
    int RAWValues = 0;           // "RAW Values": 0 HEX, 1 DEC; written, never read

    std::array<TraySettings, SettingsSlots> Tray{}; // slot n is Tray[n - 1]

    std::string SMTPHost = DefaultSMTPHost;   // "SMTP Host", SMTPHostE
    std::string SMTPLogin = DefaultSMTPLogin; // "SMTP Login", SMTPLoginE
    std::string SMTPFrom = DefaultSMTPFrom;   // "SMTP From", SMTPFromE
    std::string SMTPMail = DefaultSMTPMail;   // "SMTP Mail", SMTPMailE
    std::string SMTPPort = "25";              // "SMTP Port", SMTPPortE (a text)
    std::string SMTPPassword;                 // "SMTP Password", SMTPPswE, plain text
    bool SMTPAuthentication = false;          // "SMTP Authentication", AuthenticationCB
    SMTPSecurityMode SMTPSecurity = SMTPSecurityMode::Auto; // "SMTP Security", SMTPSecurityCB
    bool SMTPReports = false;                               // "SMTP Reports", SMTPReportsCB
    bool SMTPWarnings = false;                              // "SMTP Warnings", SMTPWarningsCB
    int SMTPWarningRepeat = 60; // "SMTP Warning Repeat", minutes; 0 repeats every cycle
    int SMTPDelay = 20;         // "SMTP Delay", minutes, SMTPDelayUD

    bool AlertSound = false;     // "Alert Sound", AlertCB
    bool BalloonHints = false;   // "Balloon Hints", BallHCB
    bool LetDrivesSleep = false; // "Let Drives Sleep": leave a drive in standby unread
    // "Warn on Rising Sector Counts", RisingCB: an amber frame, a balloon and a
    // warning mail when 05h, C5h, C6h or the media errors rise.
    bool WarnOnRisingSectorCounts = true;
    // "History File": where the history is kept; empty for the front end's
    // own place (the user's state folder, or the watch service's).
    std::string HistoryFile;

    // AutoRunCB: whether the desktop's autostart entry points at this program.
    // It lives in the autostart folder, not in the settings file.
    bool AutoRun = false;

    // The tray settings of slot 1..6; any other slot is a programming error.
    TraySettings& TraySlot(int slot) { return Tray.at(SlotIndex(slot)); }
    const TraySettings& TraySlot(int slot) const { return Tray.at(SlotIndex(slot)); }

private:
    static size_t SlotIndex(int slot) {
        if (slot < 1 || slot > SettingsSlots)
            throw std::out_of_range("settings slot " + std::to_string(slot));
        return static_cast<size_t>(slot - 1);
    }
};

// The name of the settings file, and of its section.
inline constexpr const char* SettingsFileName = "Quorvane.ini";
inline constexpr const char* SettingsSection = "Settings";

// What decides where the files are: the process's environment, as values so a
// test can give its own.
struct SettingsEnvironment {
    std::optional<std::string> QuorvaneSettings; // QUORVANE_SETTINGS: the file itself
    std::optional<std::string> XdgConfigHome;    // XDG_CONFIG_HOME
    std::optional<std::string> Home;             // HOME
    static SettingsEnvironment FromProcess();
};

// Where the settings and the autostart entry live, all absolute.
struct SettingsPaths {
    // QUORVANE_SETTINGS when set; else "Quorvane.ini" beside the executable
    // when one is there (a portable copy); else
    // $XDG_CONFIG_HOME/Quorvane/Quorvane.ini (~/.config without the variable).
    std::string SettingsFile;
    // $XDG_CONFIG_HOME/autostart/Quorvane.desktop.
    std::string AutostartEntry;
    // The running program, as the autostart entry starts it.
    std::string Executable;
};
SettingsPaths FindSettingsPaths(const std::string& executable, const SettingsEnvironment& env);
// The running program's absolute path (/proc/self/exe); empty when unknown.
std::string RunningExecutable();

// Every key of the file with its value as the file stores it, in the order
// the file is written. Keys of slots 1..slots only; "RAW Values" only when
// withRawValues.
enum class SettingKind { Bool, Integer, Text };
struct SettingValue {
    std::string Key;
    std::string Value;
    SettingKind Kind;
};
std::vector<SettingValue> SettingValues(const Settings& settings, int slots, bool withRawValues);

// Reads the settings file; a missing file, a missing key or a value that does
// not convert gives the key's default. "RAW Values" is not read. Nothing is
// created.
Settings LoadSettings(const std::string& settingsFile);

struct SaveOutcome {
    bool Written = false;
    std::string Message; // "Unable to write to <file>" when not written
    // Said once, when this save took the group's and others' read access
    // from a file that holds the password (PasswordFileNarrowedText).
    std::string Notice;
};
// Writes the file's keys (per-drive keys of slots 1..driveCount only; the
// keys of other slots and every other line stay as they are) in one atomic
// replacement, then updates the autostart entry from settings.AutoRun. When
// the file cannot be written nothing changes, the entry included. An
// existing file keeps its mode, less the group's and others' bits when it
// holds a password.
SaveOutcome SaveSettings(const SettingsPaths& paths, const Settings& settings, int driveCount);
// "<file> holds the SMTP password: only its owner may read it now".
std::string PasswordFileNarrowedText(const std::string& settingsFile);

// The Exec value that starts executable: its path in double quotes, quoted as
// desktop entries require.
std::string AutostartExec(const std::string& executable);
// True when the entry exists, is not hidden and its Exec value contains the
// quoted executable (exact, case-sensitive).
bool ReadAutorun(const std::string& entryFile, const std::string& executable);
// Checked: writes the entry unless it already starts executable. Unchecked:
// deletes it. A folder that cannot be written is skipped silently.
void UpdateAutorun(const std::string& entryFile, const std::string& executable, bool autoRun);

} // namespace quorvane

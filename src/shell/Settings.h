// Every setting of the program in one struct, with the defaults a first start
// without a settings file gets. The windows mirror it; the core reads its
// options from it; the settings file stores it under [Settings].
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvane {

// Slots 1..6 of the drive table, one tray icon each.
inline constexpr int SettingsSlots = 6;

// The ranges of the two up-down controls; a stored value outside is clamped.
inline constexpr int MinRefreshInterval = 15; // seconds
inline constexpr int MaxRefreshInterval = 900;
inline constexpr int MinSMTPDelay = 10; // minutes
inline constexpr int MaxSMTPDelay = 180;

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

} // namespace quorvane

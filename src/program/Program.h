// The program put together once: the drives, the settings and where they
// live, the drive table with its screen state, the monitoring session and the
// report service. Each front end (the desktop program, quorvane-cli, the
// watch service) builds one and hands it the ports it shows things through.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/DriveTable.h"
#include "app/Settings.h"
#include "ata/DriveBus.h"
#include "history/HistoryStore.h"
#include "mail/ReportService.h"
#include "monitor/MonitorSession.h"

namespace quorvane {

// What a front end shows the monitoring and the mail through. The views must
// outlive the program's attachment to them (Detach, or the program's end).
struct ProgramPorts {
    MonitorView* Monitor = nullptr;
    WarningMail* Warnings = nullptr;
    ReportWindow* Reports = nullptr;
    std::unique_ptr<UiHandOver> HandOver;
};

class HistoryRecorder;

// The history file of a front end that names none: the service's state folder
// ($STATE_DIRECTORY, /var/lib/quorvane for the watch unit), else
// $XDG_STATE_HOME/Quorvane/history.db (~/.local/state without the variable).
std::string DefaultHistoryFile();

// How long the history holds quiet ticks before writing them (StoreOptions).
inline constexpr history::Seconds QuietHistoryWrite = 300;

class Program {
public:
    Program(std::unique_ptr<DriveBus> bus, SettingsPaths paths);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Where the settings of a front end live: QUORVANE_SETTINGS, the portable
    // file beside the executable or the user's configuration folder; a
    // settings file given on the command line goes first.
    static SettingsPaths FindPaths(const std::string& settingsFile = {});

    ProgramData& Data() { return data_; }
    const ProgramData& Data() const { return data_; }
    Settings& Options() { return settings_; }
    const Settings& Options() const { return settings_; }
    DriveBus& Bus() { return *bus_; }
    const DriveBus& Bus() const { return *bus_; }
    const SettingsPaths& Paths() const { return paths_; }

    // Reads the settings file into Options() (a missing file gives the
    // defaults) and the autostart entry into its AutoRun.
    void LoadSettings();
    // Writes Options() to the settings file and the autostart entry.
    SaveOutcome SaveSettings() const;

    // Makes the monitoring session and the report service over the front
    // end's ports; a second Attach replaces the first.
    void Attach(
        ProgramPorts ports,
        ReportService::ClientFactory makeClient = [] { return std::make_unique<SmtpClient>(); });
    // Ends the session and the service (cutting any report worker off the
    // views) before the views go.
    void Detach();
    bool Attached() const { return session_ != nullptr; }
    // Attached only.
    MonitorSession& Session() { return *session_; }
    const MonitorSession& Session() const { return *session_; }
    ReportService& Reports() { return *reports_; }

    // The history file: the one given here (watch --history), else the
    // "History File" setting, else DefaultHistoryFile().
    void SetHistoryFile(std::string file);
    std::string HistoryFile() const;
    // The store of HistoryFile(), made on first use; every tick of an
    // attached session is recorded in it.
    history::HistoryStore& History();

private:
    ProgramData data_;
    Settings settings_;
    SettingsPaths paths_;
    std::unique_ptr<DriveBus> bus_;
    std::string historyFile_;
    std::unique_ptr<history::HistoryStore> history_;
    std::unique_ptr<HistoryRecorder> recorder_;
    std::unique_ptr<MonitorSession> session_;
    std::unique_ptr<ReportService> reports_;
};

} // namespace quorvane

#include "program/Program.h"

#include <cstdlib>
#include <ctime>

#include "program/HistoryRecorder.h"

namespace quorvane {

Program::Program(std::unique_ptr<DriveBus> bus, SettingsPaths paths)
    : paths_(std::move(paths)), bus_(std::move(bus)) {}

Program::~Program() {
    Detach();
}

SettingsPaths Program::FindPaths(const std::string& settingsFile) {
    SettingsEnvironment env = SettingsEnvironment::FromProcess();
    if (!settingsFile.empty())
        env.QuorvaneSettings = settingsFile;
    return FindSettingsPaths(RunningExecutable(), env);
}

void Program::LoadSettings() {
    settings_ = quorvane::LoadSettings(paths_.SettingsFile);
    settings_.AutoRun = ReadAutorun(paths_.AutostartEntry, paths_.Executable);
}

SaveOutcome Program::SaveSettings() const {
    return quorvane::SaveSettings(paths_, settings_, data_.DriveCount);
}

std::string DefaultHistoryFile() {
    const char* service = std::getenv("STATE_DIRECTORY");
    if (service != nullptr && *service == '/') {
        const std::string first(service, std::string_view(service).find(':') == std::string::npos
                                             ? std::string_view(service).size()
                                             : std::string_view(service).find(':'));
        return first + "/history.db";
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/')
        return std::string(state) + "/Quorvane/history.db";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : "/") +
           "/.local/state/Quorvane/history.db";
}

std::string Program::HistoryFile() const {
    if (!historyFile_.empty())
        return historyFile_;
    if (!settings_.HistoryFile.empty())
        return settings_.HistoryFile;
    return DefaultHistoryFile();
}

void Program::SetHistoryFile(std::string file) {
    historyFile_ = std::move(file);
    if (session_)
        History(); // an attached session records into the new file from its next tick
}

history::HistoryStore& Program::History() {
    // A changed setting counts from the next use on.
    if (!history_ || history_->Path() != HistoryFile()) {
        if (session_)
            session_->SetRecorder(nullptr);
        recorder_.reset();
        // Quiet ticks go in together, every few minutes: a tick that only
        // adds temperatures costs no transaction. A changed value, a query
        // and the program's end write them at once.
        history::StoreOptions options;
        options.QuietWrite = QuietHistoryWrite;
        history_ = std::make_unique<history::HistoryStore>(HistoryFile(), options);
        recorder_ = std::make_unique<HistoryRecorder>(
            *history_, [] { return static_cast<history::Seconds>(std::time(nullptr)); });
        if (session_)
            session_->SetRecorder(recorder_.get());
    }
    return *history_;
}

void Program::Attach(ProgramPorts ports, ReportService::ClientFactory makeClient) {
    Detach();
    session_ =
        std::make_unique<MonitorSession>(data_, *bus_, settings_, *ports.Monitor, *ports.Warnings);
    History();
    session_->SetRecorder(recorder_.get());
    reports_ = std::make_unique<ReportService>(*ports.Reports, std::move(ports.HandOver),
                                               std::move(makeClient));
}

void Program::Detach() {
    // The service first: its workers may still hand a step to the views.
    reports_.reset();
    session_.reset();
}

} // namespace quorvane

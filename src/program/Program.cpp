#include "program/Program.h"

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

void Program::Attach(ProgramPorts ports, ReportService::ClientFactory makeClient) {
    Detach();
    session_ =
        std::make_unique<MonitorSession>(data_, *bus_, settings_, *ports.Monitor, *ports.Warnings);
    reports_ = std::make_unique<ReportService>(*ports.Reports, std::move(ports.HandOver),
                                               std::move(makeClient));
}

void Program::Detach() {
    // The service first: its workers may still hand a step to the views.
    reports_.reset();
    session_.reset();
}

} // namespace quorvane

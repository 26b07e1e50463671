// quorvane-cli: headless access to the core.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drive/DriveBus.h"

namespace quorvane::cli {

// What every subcommand gets: its own arguments (after the subcommand name)
// and the drive bus chosen from --drives / QUORVANE_DRIVES.
struct CliContext {
    std::vector<std::string> Args;
    std::string DrivesDir; // empty: the real drives
    // --settings FILE; empty: QUORVANE_SETTINGS or the usual place.
    std::string SettingsFile;
    // Creates the bus on first use (a subcommand that needs no drives never opens one).
    DriveBus& Bus();

private:
    std::unique_ptr<DriveBus> bus_;
};

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// Subcommands: each in its own file.
int RunScan(CliContext& ctx);
int RunSmart(CliContext& ctx);
int RunReport(CliContext& ctx);
int RunMbr(CliContext& ctx);
int RunMail(CliContext& ctx);
int RunSettings(CliContext& ctx);
int RunAam(CliContext& ctx);
int RunApm(CliContext& ctx);
int RunMetrics(CliContext& ctx);
int RunWatch(CliContext& ctx);

// Helpers shared by the subcommands.
std::string JsonString(const std::string& text);
// Parses a slot argument "1".."6"; false when it is not a number in 1..6.
bool ParseSlot(const std::string& text, int& slot);
// Tells whether args holds the flag (and removes it).
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);

} // namespace quorvane::cli

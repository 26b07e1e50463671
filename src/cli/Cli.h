// quorvane-cli: headless access to the core.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ata/DriveBus.h"
#include "program/Program.h"

namespace quorvane::cli {

// What every subcommand gets: its own arguments (after the subcommand name)
// and the program over the drive bus chosen from --drives / QUORVANE_DRIVES.
struct CliContext {
    std::vector<std::string> Args;
    std::string DrivesDir; // empty: the real drives
    // --settings FILE; empty: QUORVANE_SETTINGS or the usual place.
    std::string SettingsFile;
    // The program, made on first use (a subcommand that needs no drives
    // never opens one).
    Program& App();
    DriveBus& Bus() { return App().Bus(); }
    // Where the settings live, --settings first.
    SettingsPaths Paths() const { return Program::FindPaths(SettingsFile); }

private:
    std::unique_ptr<Program> app_;
};

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
// watch found no drive to watch: waiting and scanning again would find none
// either, so quorvane-watch.service does not restart on it.
inline constexpr int ExitNoDrives = 3;

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
int RunLog(CliContext& ctx);
int RunSelfTest(CliContext& ctx);
int RunHistory(CliContext& ctx);

// Helpers shared by the subcommands.
// Parses a slot argument "1".."6"; false when it is not a number in 1..6.
bool ParseSlot(const std::string& text, int& slot);
// Tells whether args holds the flag (and removes it).
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);

// Argument mistakes explain themselves: "quorvane-cli COMMAND: PROBLEM" on
// one line, then the command's usage, both on standard error; ExitUsage.
int UsageError(const std::string& command, const std::string& problem, const std::string& usage);
// A command's usage from the table of commands: "usage: quorvane-cli
// [--drives DIR] smart SLOT [--dec] [--json]" and the lines under it, without
// a final newline; empty for no command.
std::string CommandUsage(const std::string& name);
// What is wrong with a slot argument; empty for a slot 1..6.
std::string SlotProblem(const std::string& text);
// What is wrong with an argument a command does not take: an option that
// belongs before the command, an unknown option or a word too many.
std::string UnexpectedArgument(const std::string& command, const std::string& arg);
// What is wrong with the arguments a command has left once it took its
// options, when it wants exactly the operands names (e.g. {"SLOT", "FILE"});
// empty when they fit.
std::string OperandProblem(const std::string& command, const std::vector<std::string>& args,
                           const std::vector<std::string>& names);

} // namespace quorvane::cli

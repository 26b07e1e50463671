// The commands of quorvane-cli as one table: what the parser dispatches on,
// what --help lists and what each command's usage line says.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace quorvane::cli {

struct Command {
    const char* Name;
    // The options of quorvane-cli itself that the command heeds, written as
    // they stand before it: "[--drives DIR] [--settings FILE]"; may be empty.
    const char* Before;
    // What follows the name: "SLOT [--dec] [--json]". Its "--" words are the
    // options the command takes; usage and --help wrap it to their width.
    const char* Arguments;
    // The --help description, one line per '\n'. Empty: the command is
    // described together with the next row (aam with apm).
    const char* Help;
    // Lines printed under the usage line(s); may be empty.
    const char* UsageNote;
    int (*Run)(CliContext& ctx);
};

std::span<const Command> Commands();
// The row of a command; nullptr for no command.
const Command* FindCommand(const std::string& name);

// CommandUsage (in Cli.h, for the commands) is made from the row too.
// The options a command takes ("--json", "--set", ...), as its arguments
// name them.
std::vector<std::string> CommandOptions(const Command& command);
// Whether some command takes the option (so it goes after the command).
bool IsCommandOption(const std::string& arg);
// The "commands:" part of --help: one block per row.
void PrintCommandList(std::ostream& out);

} // namespace quorvane::cli

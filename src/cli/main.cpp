// quorvane-cli: the core's operations without a display.
#include <filesystem>
#include <iostream>

#include "cli/Cli.h"
#include "cli/Commands.h"
#include "ata/BusSelect.h"
#include "platform/Version.h"

namespace quorvane::cli {

Program& CliContext::App() {
    if (!app_)
        app_ = std::make_unique<Program>(MakeDriveBus(DrivesDir), Paths());
    return *app_;
}

bool ParseSlot(const std::string& text, int& slot) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '6')
        return false;
    slot = text[0] - '0';
    return true;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

int UsageError(const std::string& command, const std::string& problem, const std::string& usage) {
    std::cerr << "quorvane-cli " << command << ": " << problem << "\n" << usage << "\n";
    return ExitUsage;
}

std::string SlotProblem(const std::string& text) {
    int slot = 0;
    if (ParseSlot(text, slot))
        return {};
    return "'" + text + "' is no slot; SLOT is a drive slot, 1..6";
}

namespace {

// The options of quorvane-cli itself, which come before the command.
bool IsProgramOption(const std::string& arg) {
    return arg == "--drives" || arg == "--settings" || arg == "--version" || arg == "--help" ||
           arg == "-h";
}

constexpr const char* ProgramOptions = "--drives DIR, --settings FILE, --version and --help";

} // namespace

std::string UnexpectedArgument(const std::string& command, const std::string& arg) {
    if (arg == "--drives" || arg == "--settings")
        return arg + (arg == "--drives" ? " DIR" : " FILE") +
               " goes before the command: quorvane-cli " + arg +
               (arg == "--drives" ? " DIR " : " FILE ") + command + " ...";
    if (IsProgramOption(arg))
        return arg + " goes before the command: quorvane-cli " + arg;
    if (arg.size() > 1 && arg[0] == '-')
        return "unknown option '" + arg + "'";
    return "unexpected argument '" + arg + "'";
}

std::string OperandProblem(const std::string& command, const std::vector<std::string>& args,
                           const std::vector<std::string>& names) {
    for (const std::string& arg : args)
        if (arg.size() > 1 && arg[0] == '-')
            return UnexpectedArgument(command, arg);
    if (args.size() < names.size())
        return names[args.size()] + " is missing";
    if (args.size() > names.size())
        return UnexpectedArgument(command, args[names.size()]);
    return {};
}

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: quorvane-cli [--drives DIR] [--settings FILE] COMMAND [ARGS]\n"
           "       quorvane-cli --version\n";
    PrintCommandList(out);
    out << "--drives DIR (or QUORVANE_DRIVES=DIR) uses the simulated drives in DIR.\n"
           "--settings FILE (or QUORVANE_SETTINGS=FILE) reads the settings from FILE.\n";
}

} // namespace
} // namespace quorvane::cli

int main(int argc, char** argv) {
    using namespace quorvane::cli;
    CliContext ctx;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string command;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (command.empty() && arg == "--drives") {
            if (i + 1 >= args.size()) {
                std::cerr << "quorvane-cli: --drives needs a directory\n";
                return ExitUsage;
            }
            ctx.DrivesDir = args[++i];
        } else if (command.empty() && arg == "--settings") {
            if (i + 1 >= args.size()) {
                std::cerr << "quorvane-cli: --settings needs a file\n";
                return ExitUsage;
            }
            ctx.SettingsFile = args[++i];
        } else if (command.empty() && arg == "--version") {
            std::cout << "quorvane-cli " << quorvane::ProgramVersion() << "\n";
            return ExitOk;
        } else if (command.empty() && (arg == "--help" || arg == "-h")) {
            PrintUsage(std::cout);
            return ExitOk;
        } else if (command.empty() && arg.size() > 1 && arg[0] == '-') {
            // An option of a command put before it, or no option at all.
            std::string later = "COMMAND";
            for (size_t j = i + 1; j < args.size(); ++j)
                if (FindCommand(args[j])) {
                    later = args[j];
                    break;
                }
            std::cerr << "quorvane-cli: "
                      << (IsCommandOption(arg)
                              ? arg + " goes after the command: quorvane-cli " + later + " ... " +
                                    arg + "; before it come only "
                              : "unknown option '" + arg + "'; before the command come only ")
                      << ProgramOptions << "\n";
            return ExitUsage;
        } else if (command.empty()) {
            command = arg;
        } else {
            ctx.Args.push_back(arg);
        }
    }
    // A folder of simulated drives that is not there is the user's mistake,
    // not an empty machine: say so instead of "no drives found".
    if (!ctx.DrivesDir.empty()) {
        std::error_code ec;
        const auto status = std::filesystem::status(ctx.DrivesDir, ec);
        if (!std::filesystem::exists(status)) {
            std::cerr << "quorvane-cli: --drives " << ctx.DrivesDir << ": no such directory\n";
            return ExitUsage;
        }
        if (!std::filesystem::is_directory(status)) {
            std::cerr << "quorvane-cli: --drives " << ctx.DrivesDir << ": not a directory\n";
            return ExitUsage;
        }
    }
    const Command* found = FindCommand(command);
    if (!found) {
        std::cerr << "quorvane-cli: "
                  << (command.empty() ? "no command given" : "unknown command '" + command + "'")
                  << "\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    return found->Run(ctx);
}

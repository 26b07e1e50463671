#include "cli/Commands.h"

#include <algorithm>

namespace quorvane::cli {
namespace {

constexpr const char* SlotAndLevel = "  SLOT is a drive slot, 1..6; LEVEL is 0..254";

constexpr Command Table[] = {
    {"scan", "[--drives DIR]", "[--json]", "list the drives that answer S.M.A.R.T.", "", RunScan},
    {"smart", "[--drives DIR]", "SLOT [--dec] [--json]",
     "S.M.A.R.T. status, temperatures, attributes", "", RunSmart},
    {"report", "[--drives DIR]", "SLOT FILE [--dec]", "write the S.M.A.R.T. report file", "",
     RunReport},
    {"mbr", "[--drives DIR]", "SLOT [--json]", "partition table and boot sectors", "", RunMbr},
    {"selftest", "[--drives DIR]", "SLOT short|extended|conveyance|abort [--wait]",
     "start or abort the drive's self-test;\n"
     "--wait follows it to its end",
     "", RunSelfTest},
    {"log", "[--drives DIR]", "SLOT selftest|error [--json]",
     "the drive's self-test or error log", "", RunLog},
    {"aam", "[--drives DIR]", "SLOT [--set LEVEL | --off] [--json]", "", SlotAndLevel, RunAam},
    {"apm", "[--drives DIR]", "SLOT [--set LEVEL | --off] [--json]",
     "read the AAM / APM level; --set LEVEL\n"
     "(0..254) enables it at LEVEL, --off\n"
     "disables it, then it is read again",
     SlotAndLevel, RunApm},
    {"mail", "",
     "--host H [--port P] [--login L] [--auth] --from F --to T [--subject S] [--body-file F] "
     "[--security auto|none|starttls|tls] [--ca-file FILE]",
     "send one message (password in\n"
     "QUORVANE_SMTP_PASSWORD)",
     "The password is read from QUORVANE_SMTP_PASSWORD.", RunMail},
    {"settings", "[--settings FILE]", "[--json]", "the settings file and every setting in it", "",
     RunSettings},
    {"metrics", "[--drives DIR] [--settings FILE]", "",
     "every drive read once, as Prometheus metrics", "", RunMetrics},
    {"history", "[--drives DIR] [--settings FILE]",
     "SLOT [--since 7d|DATE] [--attribute ID] [--csv | --json]",
     "the drive's temperatures and attribute\n"
     "changes from the history file",
     "  ID is an attribute id in hex (05, C5) or a counter's name; DATE is 2026-12-03 [14:20]",
     RunHistory},
    {"watch", "[--drives DIR] [--settings FILE]",
     "[--interval S] [--count N] [--metrics FILE] [--history FILE] [--no-mail]",
     "monitor until SIGTERM/SIGINT or N ticks:\n"
     "one line per drive per tick, the metrics\n"
     "file rewritten, warnings mailed",
     "", RunWatch},
};

// Usage lines are at most this wide; in --help a synopsis wraps before
// HelpWidth and the descriptions start at HelpColumn.
constexpr size_t UsageWidth = 88;
constexpr size_t HelpWidth = 70;
constexpr size_t HelpColumn = 37;

// The words of a synopsis; a bracketed group ("[--set LEVEL | --off]") is
// one word, so a line never breaks inside it.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    for (char c : text) {
        if (c == ' ' && depth == 0) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            continue;
        }
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        word += c;
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// first, then the words of text, on lines of at most width columns; a line
// after the first starts with indent spaces.
std::vector<std::string> Wrap(std::string first, const std::string& text, size_t width,
                              size_t indent) {
    std::vector<std::string> lines{std::move(first)};
    for (const std::string& word : Words(text)) {
        if (lines.back().size() + 1 + word.size() > width)
            lines.push_back(std::string(indent - 1, ' '));
        lines.back() += " " + word;
    }
    return lines;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(separator, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

std::span<const Command> Commands() {
    return Table;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : Table)
        if (name == command.Name)
            return &command;
    return nullptr;
}

std::string CommandUsage(const std::string& name) {
    const Command* command = FindCommand(name);
    if (!command)
        return {};
    const std::string before = command->Before;
    // After the program's options the arguments start too far right to line
    // up under: continue under "quorvane-cli" instead.
    std::string first = "usage: quorvane-cli " + (before.empty() ? "" : before + " ") + name;
    const size_t indent = before.empty() ? first.size() + 1 : std::string("usage: ").size();
    std::string usage;
    for (const std::string& line : Wrap(std::move(first), command->Arguments, UsageWidth, indent))
        usage += (usage.empty() ? "" : "\n") + line;
    if (*command->UsageNote != '\0')
        usage += std::string("\n") + command->UsageNote;
    return usage;
}

std::vector<std::string> CommandOptions(const Command& command) {
    std::vector<std::string> options;
    for (std::string token : Split(command.Arguments, ' ')) {
        token.erase(0, token.find_first_not_of('['));
        token.erase(token.find_last_not_of(']') + 1);
        if (token.size() > 2 && token.rfind("--", 0) == 0)
            options.push_back(token);
    }
    return options;
}

bool IsCommandOption(const std::string& arg) {
    for (const Command& command : Table) {
        const std::vector<std::string> options = CommandOptions(command);
        if (std::find(options.begin(), options.end(), arg) != options.end())
            return true;
    }
    return false;
}

void PrintCommandList(std::ostream& out) {
    out << "commands:\n";
    for (const Command& command : Table) {
        const std::string name = command.Name;
        std::vector<std::string> lines =
            Wrap("  " + name, command.Arguments, HelpWidth, name.size() + 3);
        const std::vector<std::string> help = Split(command.Help, '\n');
        for (size_t i = 0; i < help.size(); ++i) {
            // The first line of the description goes beside the synopsis when
            // there is room, else under it like the rest.
            if (i > 0 || lines.back().size() >= HelpColumn)
                lines.emplace_back();
            lines.back().resize(HelpColumn, ' ');
            lines.back() += help[i];
        }
        for (const std::string& line : lines)
            out << line << "\n";
    }
}

} // namespace quorvane::cli

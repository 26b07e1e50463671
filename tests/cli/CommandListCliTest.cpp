// Every command --help lists is one the parser runs, with the usage and the
// options the listing gives it.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::RunCli;

// Runs of blanks as one space, no blank at either end.
std::string Squeeze(const std::string& text) {
    std::istringstream words(text);
    std::string out, word;
    while (words >> word)
        out += (out.empty() ? "" : " ") + word;
    return out;
}

// The synopses of the "commands:" part of --help, one per command: a line
// indented by two starts one, a line indented further (but not as far as the
// descriptions) continues it; a description follows after two blanks.
std::vector<std::string> ListedSynopses(const std::string& help) {
    std::vector<std::string> synopses;
    std::istringstream lines(help.substr(help.find("\ncommands:\n") + 11));
    for (std::string line; std::getline(lines, line) && line.rfind("  ", 0) == 0;) {
        const size_t indent = line.find_first_not_of(' ');
        if (indent >= 37)
            continue;
        const std::string text = Squeeze(line.substr(indent, line.find("  ", indent) - indent));
        if (indent == 2)
            synopses.push_back(text);
        else if (!synopses.empty())
            synopses.back() += " " + text;
    }
    return synopses;
}

TEST(CliCommandList, EachListedCommandHasThatUsageAndTakesItsOptions) {
    test::DriveDir dir; // no drive: a command that gets as far as a scan stops there
    const std::string settings = "--settings '" + dir.Path() + "/none.ini' ";
    const CliRun help = RunCli(dir.Path(), "--help");
    ASSERT_EQ(help.Status, 0);
    const std::vector<std::string> synopses = ListedSynopses(help.Out);
    ASSERT_EQ(synopses.size(), 13u) << help.Out;
    for (const std::string& synopsis : synopses) {
        const std::string command = synopsis.substr(0, synopsis.find(' '));
        const CliRun bogus = RunCli(dir.Path(), settings + command + " --bogus");
        EXPECT_EQ(bogus.Status, 2) << command;
        const std::string said = "quorvane-cli " + command + ": unknown option '--bogus'\n";
        ASSERT_EQ(bogus.Err.substr(0, said.size()), said) << bogus.Err;
        // The usage under it: the listed synopsis after the program options.
        const std::string usage = Squeeze(bogus.Err.substr(said.size()));
        EXPECT_EQ(usage.rfind("usage: quorvane-cli ", 0), 0u) << usage;
        EXPECT_NE((usage + " ").find(" " + synopsis + " "), std::string::npos)
            << command << ": " << usage << "\nlisted: " << synopsis;

        std::istringstream words(synopsis);
        for (std::string word; words >> word;) {
            const size_t start = word.find("--");
            if (start == std::string::npos)
                continue;
            const std::string option = word.substr(start, word.find(']') - start);
            // The command knows the option it lists...
            const CliRun after = RunCli(dir.Path(), settings + command + " " + option);
            EXPECT_EQ(after.Err.find("unknown option"), std::string::npos)
                << command << " " << option << ": " << after.Err;
            // ...and put before the command, it is sent after it.
            const CliRun before = RunCli(dir.Path(), option + " " + command);
            EXPECT_EQ(before.Err.rfind("quorvane-cli: " + option +
                                           " goes after the command: quorvane-cli " + command +
                                           " ... " + option + ";",
                                       0),
                      0u)
                << before.Err;
        }
    }
}

} // namespace
} // namespace quorvane

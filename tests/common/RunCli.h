// Runs quorvane-cli as a user runs it and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TestDrives.h"

namespace quorvane::test {

struct CliRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// The problems check_json.py finds in a --json output of the command, one a
// line; empty when it is valid against docs/json/COMMAND.schema.json.
inline std::string JsonSchemaProblems(const std::string& command, const std::string& json) {
    static int checks = 0;
    const std::string file = ::testing::TempDir() + "quorvane-json-" + std::to_string(::getpid()) +
                             "-" + std::to_string(checks++) + ".json";
    std::ofstream(file, std::ios::binary) << json;
    const std::string line = "/usr/bin/python3 '" + std::string(QUORVANE_SOURCE_DIR) +
                             "/tests/common/check_json.py' '" + std::string(QUORVANE_SOURCE_DIR) +
                             "/docs/json' " + command + " '" + file + "' 2>&1";
    std::string problems;
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            problems.append(buffer, n);
        if (::pclose(pipe) != 0 && problems.empty())
            problems = "check_json.py failed";
    }
    std::remove(file.c_str());
    return problems;
}

// Every --json output a test makes is held to its schema: the command is
// the first word of args that names one.
inline void ExpectValidJson(const std::string& args, const std::string& out) {
    std::istringstream words(args);
    bool json = false;
    std::string command;
    for (std::string word; words >> word;) {
        json = json || word == "--json";
        if (command.empty() && (word == "scan" || word == "smart" || word == "mbr" ||
                                word == "aam" || word == "apm" || word == "log" ||
                                word == "settings" || word == "selftest" || word == "history"))
            command = word;
    }
    // A mistake in the arguments prints nothing on standard output; a pipe
    // hands the document on.
    if (!json || command.empty() || out.empty() || args.find('|') != std::string::npos)
        return;
    EXPECT_EQ(JsonSchemaProblems(command, out), "") << args << "\n" << out;
}

// print(EXPRESSION) in Python with d the parsed document: Python's json
// module reads the output independently of the code that wrote it.
inline std::string JsonField(const std::string& json, const std::string& expression) {
    static int fields = 0;
    const std::string base = ::testing::TempDir() + "quorvane-field-" + std::to_string(::getpid()) +
                             "-" + std::to_string(fields++);
    std::ofstream(base + ".json", std::ios::binary) << json;
    std::ofstream(base + ".py") << "import json, sys\n"
                                   "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                   "print("
                                << expression << ")\n";
    std::string out;
    const std::string line = "/usr/bin/python3 '" + base + ".py' '" + base + ".json' 2>&1";
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    std::remove((base + ".json").c_str());
    std::remove((base + ".py").c_str());
    return out;
}

// quorvane-cli --drives DRIVES ARGS in the C locale; a --json output is
// checked against its schema.
inline CliRun RunCli(const std::string& drives, const std::string& args) {
    // One file per process and run: ctest runs test cases in parallel.
    static int runs = 0;
    const std::string errFile = ::testing::TempDir() + "quorvane-cli-stderr-" +
                                std::to_string(::getpid()) + "-" + std::to_string(runs++);
    const std::string command = "LC_ALL=C '" + std::string(QUORVANE_CLI) + "' --drives '" + drives +
                                "' " + args + " 2>'" + errFile + "'";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto err = ReadBytes(errFile);
    run.Err.assign(err.begin(), err.end());
    std::remove(errFile.c_str());
    ExpectValidJson(args, run.Out);
    return run;
}

} // namespace quorvane::test

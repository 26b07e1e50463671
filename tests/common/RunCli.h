// Runs quorvane-cli as a user runs it and keeps what it printed.
#pragma once

#include <cstdio>
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

// quorvane-cli --drives DRIVES ARGS in the C locale.
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
    return run;
}

} // namespace quorvane::test

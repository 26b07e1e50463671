// quorvane-cli watch as a process of its own, running while the test looks
// at what it prints and writes, and ended by a signal.
#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/TestDrives.h"

extern char** environ;

namespace quorvane::test {

class WatchProcess {
public:
    // Runs QUORVANE_CLI with args, standard output and error into files in
    // folder; the C locale.
    WatchProcess(const std::vector<std::string>& args, const std::string& folder)
        : out_(folder + "/watch.out"), err_(folder + "/watch.err") {
        std::vector<std::string> argv = {QUORVANE_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (auto& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        std::vector<std::string> env = {"LC_ALL=C"};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("LC_ALL=", 0) != 0)
                env.emplace_back(*e);
        std::vector<char*> rawEnv;
        for (auto& e : env)
            rawEnv.push_back(e.data());
        rawEnv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), rawEnv.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WatchProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    WatchProcess(const WatchProcess&) = delete;
    WatchProcess& operator=(const WatchProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    std::string Out() const { return Text(out_); }
    std::string Err() const { return Text(err_); }

    // Waits (bounded) until standard output holds at least `lines` lines.
    bool WaitForLines(size_t lines, std::chrono::seconds bound = std::chrono::seconds(30)) const {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            const std::string out = Out();
            if (static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= lines)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void Signal(int signal) const { ::kill(pid_, signal); }

    // The exit status once it ended within bound; -1 when it did not end or
    // was killed by a signal.
    int Wait(std::chrono::milliseconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (pid_ > 0) {
            int status = 0;
            const pid_t got = ::waitpid(pid_, &status, WNOHANG);
            if (got == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() >= end)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

private:
    static std::string Text(const std::string& path) {
        const auto bytes = ReadBytes(path);
        return {bytes.begin(), bytes.end()};
    }

    std::string out_, err_;
    pid_t pid_ = -1;
};

} // namespace quorvane::test

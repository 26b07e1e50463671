// What a command does not need is not loaded: only mail over TLS loads
// OpenSSL and only the helper's path loads libsystemd, so reading drives
// directly starts without either.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/TestDrives.h"

namespace quorvane {
namespace {

// What the dynamic loader reports loading while quorvane-cli runs.
std::string LoadedFiles(const std::string& drives, const std::string& args, int& status) {
    const std::string command = "LC_ALL=C LD_DEBUG=files '" + std::string(QUORVANE_CLI) +
                                "' --drives '" + drives + "' " + args + " 2>&1 >/dev/null";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

TEST(StartCost, CommandsThatSendNoMailNeitherLoadOpenSslNorLibsystemd) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    for (const char* args : {"--version", "scan", "smart 1", "mbr 1", "aam 1", "settings"}) {
        int status = -1;
        const std::string loaded = LoadedFiles(dir.Path(), args, status);
        SCOPED_TRACE(args);
        // The loader did report: the C library is always there.
        ASSERT_NE(loaded.find("libc.so"), std::string::npos) << loaded;
        for (const char* library : {"libssl", "libcrypto", "libsystemd"})
            EXPECT_EQ(loaded.find(library), std::string::npos) << library << " in\n" << loaded;
    }
}

} // namespace
} // namespace quorvane

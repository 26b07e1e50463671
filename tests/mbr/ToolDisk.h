// Disk images for the MBR tests, made by the real tools: sfdisk writes the
// partition table, mkfs.fat / mkntfs / mkfs.exfat / mkswap / mkfs.ext4 each
// make a file system in a file of its own, and dd copies that file into the
// image at the partition's offset. Images are sparse files in a temporary
// drive directory, so a large disk costs only the blocks written.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "common/TestDrives.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "mbr/MbrReading.h"

namespace quorvane::test {

// Runs a shell command and returns its standard output; the exit status goes
// to status.
inline std::string Capture(const std::string& command, int* status = nullptr) {
    // The tools live in /usr/sbin, which a user's PATH may lack.
    const std::string full = "export PATH=\"$PATH:/usr/sbin:/sbin\" LC_ALL=C; " + command;
    std::string out;
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return out;
    }
    std::array<char, 4096> buf{};
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    const int rc = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// Runs a tool; a failure fails the test with the tool's output.
inline void Run(const std::string& command) {
    int status = 0;
    const std::string out = Capture("{ " + command + "; } 2>&1", &status);
    ASSERT_EQ(status, 0) << command << "\n" << out;
}

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// KEY=value lines of `blkid -o export`.
inline std::map<std::string, std::string> Blkid(const std::filesystem::path& file) {
    std::map<std::string, std::string> values;
    std::istringstream lines(Capture("blkid -p -o export " + Quote(file)));
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

// The value after "Key:" in ntfsinfo's output, trimmed.
inline std::string NtfsInfoField(const std::string& info, const std::string& key) {
    const auto at = info.find(key + ":");
    if (at == std::string::npos)
        return {};
    auto begin = info.find_first_not_of(" \t", at + key.size() + 1);
    const auto end = info.find('\n', at);
    if (begin == std::string::npos || begin > end)
        return {};
    auto value = info.substr(begin, end - begin);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    return value;
}

// A drive directory with one simulated drive whose disk.img is put together
// by the tools.
class ToolDisk {
public:
    // Drive number n with the pages of a real drive (tests/data/smart-pages).
    explicit ToolDisk(const std::string& driveName = "ST9160821AS--3.CLH", unsigned n = 0)
        : number_(n) {
        dir_.AddRealDrive(n, driveName);
        work_ = std::filesystem::path(dir_.Path()) / "work";
        std::filesystem::create_directories(work_);
    }

    std::filesystem::path Image() const { return dir_.Folder(number_) / "disk.img"; }
    std::filesystem::path Work(const std::string& name) const { return work_ / name; }
    const DriveDir& Dir() const { return dir_; }

    // A sparse image of `sectors` sectors with the partition table an sfdisk
    // script describes ("label: dos" is added).
    void Partition(uint64_t sectors, const std::string& script) {
        Run("truncate -s " + std::to_string(sectors * 512) + " " + Quote(Image()));
        const auto scriptFile = Work("sfdisk.txt");
        std::ofstream(scriptFile) << "label: dos\nunit: sectors\n" << script;
        Run("sfdisk -q " + Quote(Image()) + " < " + Quote(scriptFile));
    }

    // A sparse image of `sectors` sectors partitioned by sgdisk with the
    // arguments given (a GPT behind its protective MBR).
    void PartitionGpt(uint64_t sectors, const std::string& sgdiskArgs) {
        Run("truncate -s " + std::to_string(sectors * 512) + " " + Quote(Image()));
        Run("sgdisk " + sgdiskArgs + " " + Quote(Image()) + " >/dev/null");
    }

    // Makes a file system in a sparse file of `bytes` with a command in which
    // {} stands for the file, and copies it into the image at `start`.
    std::filesystem::path Format(const std::string& name, uint64_t bytes,
                                 const std::string& command, uint32_t start) {
        const auto file = Work(name);
        Run("truncate -s " + std::to_string(bytes) + " " + Quote(file));
        std::string cmd = command;
        for (auto at = cmd.find("{}"); at != std::string::npos; at = cmd.find("{}"))
            cmd.replace(at, 2, Quote(file));
        Run(cmd);
        Run("dd if=" + Quote(file) + " of=" + Quote(Image()) +
            " bs=512 seek=" + std::to_string(start) + " conv=notrunc,sparse status=none");
        return file;
    }

    // Scans the directory and reads the MBR window's data of slot 1.
    std::optional<PartitionTable> Read() {
        bus_ = std::make_unique<SimulatedBus>(dir_.Path());
        HeadlessScanView view;
        data_ = ProgramData{};
        if (!ScanDrives(data_, *bus_, view, Settings{}))
            return std::nullopt;
        return ReadMbr(*bus_, data_, 1, NoVolumeNames{});
    }
    const SimulatedBus& Bus() const { return *bus_; }
    const ProgramData& Data() const { return data_; }

    // The sectors read from the drive, in order.
    std::vector<uint64_t> SectorsRead() const {
        std::vector<uint64_t> lbas;
        for (const auto& c : bus_->SentCommands()) {
            const auto& tf = c.TaskFile;
            if (tf.Command != AtaCmdReadSectors && tf.Command != AtaCmdReadSectorsExt)
                continue;
            uint64_t lba = tf.LbaLow | uint64_t{tf.LbaMid} << 8 | uint64_t{tf.LbaHigh} << 16;
            lba |= tf.Command == AtaCmdReadSectorsExt ? uint64_t{c.PreviousTaskFile.LbaLow} << 24
                                                      : uint64_t{tf.Device & 0x0Fu} << 24;
            lbas.push_back(lba);
        }
        return lbas;
    }

private:
    DriveDir dir_;
    unsigned number_;
    std::filesystem::path work_;
    std::unique_ptr<SimulatedBus> bus_;
    ProgramData data_;
};

} // namespace quorvane::test

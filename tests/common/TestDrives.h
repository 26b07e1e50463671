// Helpers for tests that need simulated drives: a temporary drive directory
// filled from the real page dumps in tests/data/smart-pages.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorvane::test {

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::filesystem::path PagesDir() {
    return std::filesystem::path(QUORVANE_TEST_DATA) / "smart-pages";
}

inline std::vector<uint8_t> PageOf(const std::string& name, const std::string& page) {
    return ReadBytes(PagesDir() / (name + "." + page + ".bin"));
}

// A drive directory in a fresh temporary folder, removed at the end of the test.
class DriveDir {
public:
    DriveDir() {
        root_ =
            std::filesystem::temp_directory_path() /
            ("quorvane-drives-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~DriveDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    DriveDir(const DriveDir&) = delete;
    DriveDir& operator=(const DriveDir&) = delete;

    std::string Path() const { return root_.string(); }
    std::filesystem::path Folder(unsigned n) const { return root_ / ("drive" + std::to_string(n)); }

    // Drive n with the three pages of a real drive; ini is drive.ini's text.
    void AddRealDrive(unsigned n, const std::string& name, const std::string& ini = "") {
        std::filesystem::create_directories(Folder(n));
        for (const char* page : {"identify", "smart-data", "smart-thresholds"})
            std::filesystem::copy_file(PagesDir() / (name + "." + page + ".bin"),
                                       Folder(n) / (std::string(page) + ".bin"));
        if (!ini.empty())
            WriteFile(n, "drive.ini", "[drive]\n" + ini + "\n");
    }
    // Folder n as an NVMe controller with the pages of a real drive
    // (tests/data/nvme/NAME); extra is more of drive.ini's [drive] lines.
    void AddRealNvme(unsigned n, const std::string& name, const std::string& extra = "") {
        std::filesystem::create_directories(Folder(n));
        for (const char* page : {"identify-ctrl", "identify-ns", "smart-log"})
            std::filesystem::copy_file(NvmeDir() / name / (std::string(page) + ".bin"),
                                       Folder(n) / (std::string(page) + ".bin"));
        WriteFile(n, "drive.ini", "[drive]\nkind = nvme\n" + extra + "\n");
    }
    static std::filesystem::path NvmeDir() {
        return std::filesystem::path(QUORVANE_TEST_DATA) / "nvme";
    }
    void WriteFile(unsigned n, const std::string& file, const std::string& text) {
        std::filesystem::create_directories(Folder(n));
        std::ofstream(Folder(n) / file, std::ios::binary) << text;
    }
    void WriteBytes(unsigned n, const std::string& file, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(Folder(n));
        std::ofstream out(Folder(n) / file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path root_;
    static inline int counter_ = 0;
};

} // namespace quorvane::test

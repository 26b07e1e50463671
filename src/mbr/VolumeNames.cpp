#include "mbr/VolumeNames.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "app/DriveTable.h"

namespace quorvane {
namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        const size_t space = line.find(' ');
        const auto field = line.substr(0, space);
        if (!field.empty())
            fields.push_back(field);
        if (space == std::string_view::npos)
            break;
        line.remove_prefix(space + 1);
    }
    return fields;
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && IsOctal(text[i + 1]) &&
            IsOctal(text[i + 2]) && IsOctal(text[i + 3])) {
            const int value =
                (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            if (value <= 0xFF) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace

char FindDosLetter(const VolumeNames& names, unsigned driveNumber, int partition) {
    const char letter = names.DosLetter(driveNumber, partition);
    return letter >= 'A' && letter <= 'Z' ? letter : ' ';
}

std::string PartitionDeviceName(unsigned driveNumber, int partition) {
    return KernelDriveName(driveNumber) + std::to_string(partition);
}

std::vector<std::string> MountPointsOf(std::string_view mountInfo, const std::string& devicePath,
                                       std::optional<std::pair<unsigned, unsigned>> deviceNumber) {
    std::string number;
    if (deviceNumber)
        number = std::to_string(deviceNumber->first) + ":" + std::to_string(deviceNumber->second);
    std::vector<std::string> points;
    while (!mountInfo.empty()) {
        const size_t end = mountInfo.find('\n');
        const auto line = mountInfo.substr(0, end);
        mountInfo.remove_prefix(end == std::string_view::npos ? mountInfo.size() : end + 1);
        const auto fields = SplitFields(line);
        // id parent major:minor root mount-point options [optional...] - type source super
        size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-")
            ++separator;
        if (fields.size() < 6 || separator + 2 >= fields.size())
            continue;
        const bool byNumber = !number.empty() && fields[2] == number;
        const bool bySource = Unescape(fields[separator + 2]) == devicePath;
        if (byNumber || bySource)
            points.push_back(Unescape(fields[4]));
    }
    return points;
}

LinuxVolumeNames::LinuxVolumeNames(std::string mountInfoPath, std::string deviceDir)
    : mountInfoPath_(std::move(mountInfoPath)), deviceDir_(std::move(deviceDir)) {}

std::vector<std::string> LinuxVolumeNames::MountPoints(unsigned driveNumber, int partition) const {
    if (driveNumber > MaxDriveNumber || partition < 1)
        return {};
    const std::string device = deviceDir_ + "/" + PartitionDeviceName(driveNumber, partition);
    std::optional<std::pair<unsigned, unsigned>> number;
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        number = std::pair{static_cast<unsigned>(major(st.st_rdev)),
                           static_cast<unsigned>(minor(st.st_rdev))};
    std::ifstream file(mountInfoPath_);
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return MountPointsOf(text.str(), device, number);
}

std::unique_ptr<VolumeNames> MakeVolumeNames(const DriveBus& bus) {
    if (bus.IsSimulated())
        return std::make_unique<NoVolumeNames>();
    return std::make_unique<LinuxVolumeNames>();
}

} // namespace quorvane

#include "platform/Platform.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/utsname.h>

namespace quorvane {

std::string KernelVersionNumbers(const std::string& release) {
    std::string out;
    size_t pos = 0;
    for (int part = 0; part < 3; ++part) {
        std::string digits;
        while (pos < release.size() && std::isdigit(static_cast<unsigned char>(release[pos])) &&
               digits.size() < 9)
            digits += release[pos++];
        if (digits.empty()) {
            if (part == 0)
                return "";
            digits = "0";
        }
        out += (part ? "." : "") + std::to_string(std::stoul(digits));
        // Go on only across a dot that is followed by a number.
        if (pos + 1 < release.size() && release[pos] == '.' &&
            std::isdigit(static_cast<unsigned char>(release[pos + 1])))
            ++pos;
        else
            pos = release.size();
    }
    return out;
}

namespace {

// An os-release value: unquoted, or in single or double quotes, where a
// backslash escapes the next character.
std::string UnquoteValue(const std::string& raw) {
    if (raw.empty() || (raw[0] != '"' && raw[0] != '\''))
        return raw;
    const char quote = raw[0];
    std::string out;
    for (size_t i = 1; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == quote)
            break;
        if (c == '\\' && quote == '"' && i + 1 < raw.size())
            out += raw[++i];
        else
            out += c;
    }
    return out;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string OsReleasePrettyName(const std::string& osReleaseText) {
    std::istringstream in(osReleaseText);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 12, "PRETTY_NAME=") != 0)
            continue;
        std::string value = line.substr(start + 12);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        found = UnquoteValue(value); // the last assignment wins, as in a shell
    }
    // Control characters have no place in a label.
    for (char& c : found)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return found;
}

std::string LinuxVersionText(const std::string& kernelRelease, const std::string& osReleaseText) {
    const std::string numbers = KernelVersionNumbers(kernelRelease);
    const std::string name = OsReleasePrettyName(osReleaseText);
    if (numbers.empty())
        return name;
    return name.empty() ? numbers : numbers + " " + name;
}

std::string RunningSystemText() {
    utsname u{};
    const std::string release = ::uname(&u) == 0 ? u.release : "";
    std::string osRelease = ReadFile("/etc/os-release");
    if (osRelease.empty())
        osRelease = ReadFile("/usr/lib/os-release");
    return LinuxVersionText(release, osRelease);
}

namespace {

// A higher priority than normal programs, as far as the user may raise it.
constexpr int HighPriorityNice = -10;

// Raises one thread (on Linux the nice value belongs to a thread, and
// PRIO_PROCESS with a thread id names that thread). A thread already higher
// keeps its priority.
bool RaiseThread(id_t tid) {
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0 && current <= HighPriorityNice)
        return true;
    return ::setpriority(PRIO_PROCESS, tid, HighPriorityNice) == 0;
}

} // namespace

bool RaiseProcessPriority() {
    // The calling thread first: threads it starts later inherit its value.
    const bool raised = RaiseThread(0);
    // Threads started already (by a library, say) are raised one by one.
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        const std::string name = task.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            RaiseThread(static_cast<id_t>(std::stoul(name)));
    }
    return raised;
}

} // namespace quorvane

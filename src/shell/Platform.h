// What the About group says about the operating system, and the process's
// priority.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// The version record of a Windows system: platform id 2 is the NT family,
// product type 1 a workstation edition.
struct OSVersion {
    uint32_t Major = 0;
    uint32_t Minor = 0;
    uint32_t Build = 0;
    uint32_t PlatformId = 0;
    uint32_t ProductType = 0;
};

// The Windows name for a version (" Windows 7", with its leading space), or
// nothing for a version the table does not know.
std::string WindowsName(uint32_t major, uint32_t minor, uint32_t productType);
// "6.1.7601 Windows 7": the numbers, then the name.
std::string WindowsVersionText(const OSVersion& version);

// "6.1.0" from a kernel release such as "6.1.0-18-amd64": the first three
// dot-separated numbers, a missing one counted as 0; empty when the release
// does not start with a number.
std::string KernelVersionNumbers(const std::string& release);
// The PRETTY_NAME value of an os-release text, quotes and escapes removed;
// empty when there is none.
std::string OsReleasePrettyName(const std::string& osReleaseText);
// The kernel's numbers, a space and the distribution's name; either part may
// be missing. Empty when both are.
std::string LinuxVersionText(const std::string& kernelRelease, const std::string& osReleaseText);
// The same for the running system: uname and /etc/os-release (or
// /usr/lib/os-release).
std::string RunningSystemText();

// Raises the process's scheduling priority: the calling thread and every
// thread running already, so that threads started later inherit it. Call it
// before the first thread starts. A refusal (no privilege) is ignored; true
// when the calling thread was raised.
bool RaiseProcessPriority();

} // namespace quorvane

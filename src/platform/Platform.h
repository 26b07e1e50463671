// What the About group says about the operating system, and the process's
// priority.
#pragma once

#include <string>

namespace quorvane {

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

// One running copy per user: a lock file held with flock for the life of the
// process. The kernel drops the lock when the process ends in any way, so a
// crashed copy never blocks the next start.
#pragma once

#include <string>

namespace quorvane {

inline constexpr const char* SingleInstanceName = "SMARTMutex";

// The lock file of the name: in $XDG_RUNTIME_DIR, else in the temp directory
// ($TMPDIR or /tmp) with the user id in the name.
std::string SingleInstanceLockPath(const std::string& name = SingleInstanceName);

class SingleInstance {
public:
    explicit SingleInstance(std::string lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Result {
        Acquired,      // this process holds the lock (also when it held it already)
        HeldElsewhere, // another running copy holds it
        Unavailable,   // the lock file cannot be opened: no way to tell
    };
    Result Acquire();
    bool Held() const { return fd_ >= 0; }
    const std::string& LockPath() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace quorvane

// One running copy per user: a lock file held with flock for the life of the
// process. The kernel drops the lock when the process ends in any way, so a
// crashed copy never blocks the next start. The file lives where only its
// user can make it, and a lock file of another user is never honoured, so
// nobody else can keep the program from running.
#pragma once

#include <string>

namespace quorvane {

inline constexpr const char* SingleInstanceName = "SMARTMutex";

// A folder of this user's own that nobody else can write in: $XDG_RUNTIME_DIR
// when it is one; else "quorvane-UID" in $TMPDIR (or /tmp), made with mode
// 0700 when missing and used only when it is a real folder owned by this
// user (a wider mode of the user's own folder is narrowed). Empty when there
// is no such folder.
std::string PrivateRuntimeDir();

// The lock file of the name in PrivateRuntimeDir(); empty when there is none.
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
        Unavailable,   // no lock file of this user's could be opened: no way to tell
    };
    Result Acquire();
    bool Held() const { return fd_ >= 0; }
    const std::string& LockPath() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace quorvane

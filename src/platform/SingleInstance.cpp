#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

// A real folder (not a link) of this user, written by nobody else.
bool IsOwnPrivateFolder(const std::string& path, bool narrowMode) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = narrowMode && ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::string PrivateRuntimeDir() {
    // The session's runtime folder is made 0700 for its user by the login.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && runtime[0] == '/' && IsOwnPrivateFolder(runtime, false))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && tmp[0] == '/' ? tmp : "/tmp";
    const std::string dir = base + "/quorvane-" + std::to_string(::geteuid());
    // Made here or found: either way it must be ours. Somebody else's folder
    // of the name (made first to take the name) is not used.
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return IsOwnPrivateFolder(dir, true) ? dir : std::string();
}

std::string SingleInstanceLockPath(const std::string& name) {
    const std::string dir = PrivateRuntimeDir();
    return dir.empty() ? std::string() : dir + "/" + name + ".lock";
}

SingleInstance::SingleInstance(std::string lockPath) : path_(std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_); // closing the file releases the lock
}

SingleInstance::Result SingleInstance::Acquire() {
    if (fd_ >= 0)
        return Result::Acquired;
    if (path_.empty())
        return Result::Unavailable;
    const int fd = ::open(path_.c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0)
        return Result::Unavailable;
    // Only a lock of this user's own counts: a file somebody else made (or a
    // FIFO, a device) and locks says nothing about a running copy.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace quorvane

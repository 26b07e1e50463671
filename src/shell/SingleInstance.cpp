#include "shell/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvane {

std::string SingleInstanceLockPath(const std::string& name) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    return dir + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

SingleInstance::SingleInstance(std::string lockPath) : path_(std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_); // closing the file releases the lock
}

SingleInstance::Result SingleInstance::Acquire() {
    if (fd_ >= 0)
        return Result::Acquired;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace quorvane

#include "platform/SafeWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

// Symlink hops before giving up, as the kernel's own limit.
constexpr int MaxLinkHops = 40;

std::string Reason(int err) {
    return std::strerror(err);
}

bool Fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

bool FailErrno(std::string* error, const std::string& path, int err) {
    return Fail(error, "could not write " + path + ": " + Reason(err));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symlinks ends at (which need not exist yet). A relative
// link is taken from the folder of the link itself.
bool FollowLinks(const std::string& path, std::string& target, int& err) {
    target = path;
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) {
            err = errno;
            return false;
        }
        if (static_cast<size_t>(n) >= link.size()) { // changed while we read it
            err = ENAMETOOLONG;
            return false;
        }
        link.resize(static_cast<size_t>(n));
        target = (link.front() == '/') ? link : FolderOf(target) + "/" + link;
    }
    err = ELOOP;
    return false;
}

bool WriteAll(int fd, std::string_view text, int& err) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The process's umask, read without changing it (umask() would, for a moment,
// for every thread).
unsigned CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<unsigned>(mask);
}

// A device or FIFO: opened without following a link, and without waiting for
// a FIFO's reader (none is an error, not a hang).
bool WriteInPlace(const std::string& shown, const std::string& target, std::string_view text,
                  std::string* error) {
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return FailErrno(error, shown, errno == ENXIO ? EPIPE : errno);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int err = 0;
    const bool written = WriteAll(fd, text, err);
    if (::close(fd) != 0 && written)
        return FailErrno(error, shown, errno);
    return written || FailErrno(error, shown, err);
}

// A temporary file of a random name, created exclusively and never through a
// link; nobody else can open it while it is incomplete.
int CreateTemporary(const std::string& folder, const std::string& name, std::string& temp,
                    int& err) {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[12];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            err = errno ? errno : EIO;
            return -1;
        }
        std::string suffix;
        for (unsigned char byte : random)
            suffix += Letters[byte % (sizeof Letters - 1)];
        temp = folder + "/." + name + "." + suffix;
        const int fd = ::open(
            temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            err = errno;
            return -1;
        }
    }
    err = EEXIST;
    return -1;
}

} // namespace

bool SafeWriteFile(const std::string& path, std::string_view text, unsigned newFileMode,
                   std::string* error) {
    if (path.empty())
        return Fail(error, "could not write: no file name");
    std::string target;
    int err = 0;
    if (!FollowLinks(path, target, err))
        return FailErrno(error, path, err);

    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return FailErrno(error, path, errno);
    if (exists && S_ISDIR(old.st_mode))
        return FailErrno(error, path, EISDIR);
    if (exists && !S_ISREG(old.st_mode))
        return WriteInPlace(path, target, text, error);

    std::string temp;
    const int fd = CreateTemporary(FolderOf(target), NameOf(target), temp, err);
    if (fd < 0)
        return FailErrno(error, path, err);
    auto abandon = [&](int reason) {
        ::close(fd);
        ::unlink(temp.c_str());
        return FailErrno(error, path, reason);
    };
    if (!WriteAll(fd, text, err))
        return abandon(err);
    if (exists) {
        // The replacement is the same file to its owner and to everyone else.
        struct stat now {};
        if (::fstat(fd, &now) != 0)
            return abandon(errno);
        if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0)
            return abandon(errno);
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return abandon(errno);
    } else if (::fchmod(fd, newFileMode & 0777 & ~CurrentUmask()) != 0) {
        return abandon(errno);
    }
    if (::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        err = errno;
        ::unlink(temp.c_str());
        return FailErrno(error, path, err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        err = errno;
        ::unlink(temp.c_str());
        return FailErrno(error, path, err);
    }
    // The rename itself survives a power cut only once the folder is synced.
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

std::string UnableToWriteText(const std::string& path) {
    return "Unable to write to " + path;
}

} // namespace quorvane

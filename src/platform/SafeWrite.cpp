#include "platform/SafeWrite.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorvane {
namespace {

// Symlink hops before giving up, as the kernel's own limit.
constexpr int MaxLinkHops = 40;

// The longest a FIFO's reader or a device may take to take the whole text.
// A reader that reads takes a report at once; one that does not must not hold
// up a caller that has its stop signals blocked while it writes.
constexpr std::chrono::milliseconds InPlaceWriteWait(1000);

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes it now; false (and errno set) when the close failed.
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

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

// The last part of a path; "." when it ends in a slash (the folder itself).
std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.empty() ? "." : name;
}

// Where the walk along a chain of links stands: a name in a folder that is
// held open, so nothing renamed above it can move the walk elsewhere.
struct Place {
    Descriptor Folder;    // O_PATH
    std::string FolderAs; // as it was reached, for messages and relative links
    std::string Name;
    std::string As; // the whole path as it was reached
};

bool OpenPlace(int at, const std::string& folderAs, const std::string& folder,
               const std::string& name, Place& place, int& err) {
    Descriptor fd(::openat(at, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) {
        err = errno;
        return false;
    }
    place.Folder = std::move(fd);
    place.FolderAs = folderAs;
    place.Name = name;
    place.As = folderAs == "/" ? "/" + name : folderAs + "/" + name;
    return true;
}

// Writes all of text to a descriptor opened without blocking, waiting for
// room at most until the deadline. A reader that leaves on the way gives
// EPIPE, never a SIGPIPE to the program.
bool WriteAllWithin(int fd, std::string_view text, std::chrono::milliseconds wait, int& err) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    sigset_t pending;
    sigpending(&pending);
    const bool pipeWasPending = sigismember(&pending, SIGPIPE) == 1;

    size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) {
            err = EIO;
            ok = false;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            err = errno;
            ok = false;
        } else {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                err = ETIMEDOUT;
                ok = false;
                break;
            }
            // Room, an error or the reader's end: the next write tells which.
            pollfd room{fd, POLLOUT, 0};
            if (::poll(&room, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
                err = errno;
                ok = false;
            }
        }
    }

    if (!ok && err == EPIPE && !pipeWasPending) {
        const timespec now{};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ok;
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

enum class Step { Done, Failed, Again };

// A FIFO or character device, written where it is. It is opened again from
// the descriptor whose type was checked (so it cannot have been swapped for
// something else in between), without waiting for a FIFO's reader: none is an
// error, not a hang.
Step WriteInPlace(const std::string& path, const Place& at, int node, const struct stat& seen,
                  std::string_view text, std::string* error) {
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
    Descriptor fd(::open(("/proc/self/fd/" + std::to_string(node)).c_str(), flags));
    if (!fd.Valid() && errno == ENOENT) {
        // No /proc: by name, and the descriptor must still be the same node.
        fd = Descriptor(::openat(at.Folder.Get(), at.Name.c_str(), flags | O_NOFOLLOW));
        struct stat now {};
        if (fd.Valid() && (::fstat(fd.Get(), &now) != 0 || now.st_dev != seen.st_dev ||
                           now.st_ino != seen.st_ino))
            return Step::Again;
        if (!fd.Valid() && errno == ELOOP)
            return Step::Again;
    }
    if (!fd.Valid()) {
        if (errno == ENXIO && S_ISFIFO(seen.st_mode))
            Fail(error, "could not write " + path + ": no program reads this FIFO");
        else
            FailErrno(error, path, errno);
        return Step::Failed;
    }
    int err = 0;
    if (!WriteAllWithin(fd.Get(), text, InPlaceWriteWait, err)) {
        if (err == ETIMEDOUT)
            Fail(error, "could not write " + path + ": not taken within " +
                            std::to_string(InPlaceWriteWait.count() / 1000) + " s");
        else
            FailErrno(error, path, err);
        return Step::Failed;
    }
    if (!fd.Close()) {
        FailErrno(error, path, errno);
        return Step::Failed;
    }
    return Step::Done;
}

// A temporary file of a random name, created exclusively and never through a
// link; nobody else can open it while it is incomplete.
int CreateTemporary(int folder, const std::string& name, std::string& temp, int& err) {
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
        temp = "." + name + "." + suffix;
        const int fd =
            ::openat(folder, temp.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
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

struct ModeRule {
    unsigned NewFileMode;
    bool Private; // an existing file loses its group's and others' bits
};

// A regular file (old) or none: a complete temporary file renamed over the
// name. The rename replaces the name, whatever was put there meanwhile, and
// never writes into anything else.
bool Replace(const std::string& path, const Place& at, const struct stat* old,
             std::string_view text, ModeRule rule, bool* narrowed, std::string* error) {
    const int folder = at.Folder.Get();
    std::string temp;
    int err = 0;
    Descriptor fd(CreateTemporary(folder, at.Name, temp, err));
    if (!fd.Valid())
        return FailErrno(error, path, err);
    auto abandon = [&](int reason) {
        fd = Descriptor();
        ::unlinkat(folder, temp.c_str(), 0);
        return FailErrno(error, path, reason);
    };
    if (!WriteAll(fd.Get(), text, err))
        return abandon(err);
    if (old) {
        // The replacement is the same file to its owner and to everyone else,
        // but never runs as its owner or group: no setuid, setgid or sticky bit.
        struct stat now {};
        if (::fstat(fd.Get(), &now) != 0)
            return abandon(errno);
        if ((now.st_uid != old->st_uid || now.st_gid != old->st_gid) &&
            ::fchown(fd.Get(), old->st_uid, old->st_gid) != 0)
            return abandon(errno);
        const unsigned mode = old->st_mode & (rule.Private ? 0700u : 0777u);
        if (::fchmod(fd.Get(), mode) != 0)
            return abandon(errno);
        if (narrowed)
            *narrowed = (old->st_mode & 0077u) != 0 && rule.Private;
    } else if (::fchmod(fd.Get(), rule.NewFileMode & 0777 & ~CurrentUmask()) != 0) {
        return abandon(errno);
    }
    if (::fsync(fd.Get()) != 0)
        return abandon(errno);
    if (!fd.Close()) {
        err = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        return FailErrno(error, path, err);
    }
    if (::renameat(folder, temp.c_str(), folder, at.Name.c_str()) != 0) {
        err = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        return FailErrno(error, path, err);
    }
    // The rename itself survives a power cut only once the folder is synced.
    const Descriptor synced(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (synced.Valid())
        ::fsync(synced.Get());
    return true;
}

// The link at `at`, opened as itself: followed when root or the writer owns
// it, in any folder (the kernel's protected_symlinks rule, whatever its
// switch says), so nobody can plant a link that makes the writer replace a
// file of their choosing. On success `at` is where the link leads.
Step FollowLink(const std::string& path, Place& at, int node, std::string* error) {
    struct stat link {};
    if (::fstat(node, &link) != 0) {
        FailErrno(error, path, errno);
        return Step::Failed;
    }
    if (link.st_uid != 0 && link.st_uid != ::geteuid()) {
        const std::string owner =
            "a symbolic link owned by another user (uid " + std::to_string(link.st_uid) + ")";
        Fail(error,
             (at.As == path ? path + " is " + owner : path + " leads to " + at.As + ", " + owner) +
                 "; not followed, not written");
        return Step::Failed;
    }
    // The text of this very link (a link's text never changes).
    std::string text(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlinkat(node, "", text.data(), text.size());
    if (n <= 0 || static_cast<size_t>(n) >= text.size()) {
        FailErrno(error, path, n < 0 ? errno : n == 0 ? ENOENT : ENAMETOOLONG);
        return Step::Failed;
    }
    text.resize(static_cast<size_t>(n));
    const std::string folder = FolderOf(text);
    const std::string folderAs = text.front() == '/' ? folder
                                 : folder == "."     ? at.FolderAs
                                                     : at.FolderAs + "/" + folder;
    Place next;
    int err = 0;
    if (!OpenPlace(at.Folder.Get(), folderAs, folder, NameOf(text), next, err)) {
        FailErrno(error, path, err);
        return Step::Failed;
    }
    at = std::move(next);
    return Step::Again;
}

bool WriteFile(const std::string& path, std::string_view text, ModeRule rule, bool* narrowed,
               std::string* error) {
    if (narrowed)
        *narrowed = false;
    if (path.empty())
        return Fail(error, "could not write: no file name");
    Place at;
    int err = 0;
    if (!OpenPlace(AT_FDCWD, FolderOf(path), FolderOf(path), NameOf(path), at, err))
        return FailErrno(error, path, err);
    at.As = path;

    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        // Every decision below is taken on this descriptor, the node itself,
        // not on a name that could be swapped after the look.
        const Descriptor node(
            ::openat(at.Folder.Get(), at.Name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!node.Valid()) {
            if (errno != ENOENT)
                return FailErrno(error, path, errno);
            return Replace(path, at, nullptr, text, rule, narrowed, error);
        }
        struct stat st {};
        if (::fstat(node.Get(), &st) != 0)
            return FailErrno(error, path, errno);
        Step step = Step::Failed;
        if (S_ISLNK(st.st_mode))
            step = FollowLink(path, at, node.Get(), error);
        else if (S_ISDIR(st.st_mode))
            return FailErrno(error, path, EISDIR);
        else if (S_ISBLK(st.st_mode))
            return Fail(error, path + " is a block device; not written");
        else if (S_ISREG(st.st_mode))
            return Replace(path, at, &st, text, rule, narrowed, error);
        else
            step = WriteInPlace(path, at, node.Get(), st, text, error);
        if (step != Step::Again)
            return step == Step::Done;
    }
    return FailErrno(error, path, ELOOP);
}

} // namespace

bool SafeWriteFile(const std::string& path, std::string_view text, unsigned newFileMode,
                   std::string* error) {
    return WriteFile(path, text, {newFileMode, false}, nullptr, error);
}

bool SafeWritePrivateFile(const std::string& path, std::string_view text, bool* narrowed,
                          std::string* error) {
    return WriteFile(path, text, {NewFileModePrivate, true}, narrowed, error);
}

std::string UnableToWriteText(const std::string& path) {
    return "Unable to write to " + path;
}

} // namespace quorvane

// close-watch LOG FILE... -- COMMAND [ARGS...]: runs COMMAND (its output and
// exit status are close-watch's own) while an inotify watch on each FILE
// records who opened and closed it; appends one line per event to LOG,
// "NAME IN_OPEN", "NAME IN_CLOSE_NOWRITE" or "NAME IN_CLOSE_WRITE".
//
// Linked statically for the QEMU guest, which has only busybox. udev's watch
// rule fires on IN_CLOSE_WRITE of a disk's node and re-probes the disk, so a
// command that only reads a drive must leave no such line.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: close-watch LOG FILE... -- COMMAND [ARGS...]\n");
    return 125;
}

// Appends every event waiting on fd to log; false on a read error.
bool Drain(int fd, const std::vector<std::string>& names, const std::vector<int>& watches,
           FILE* log) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            std::string name = "?";
            for (size_t i = 0; i < watches.size(); ++i)
                if (watches[i] == event->wd)
                    name = names[i];
            if (event->mask & IN_OPEN)
                std::fprintf(log, "%s IN_OPEN\n", name.c_str());
            if (event->mask & IN_CLOSE_NOWRITE)
                std::fprintf(log, "%s IN_CLOSE_NOWRITE\n", name.c_str());
            if (event->mask & IN_CLOSE_WRITE)
                std::fprintf(log, "%s IN_CLOSE_WRITE\n", name.c_str());
            if (event->mask & IN_Q_OVERFLOW)
                std::fprintf(log, "? IN_Q_OVERFLOW\n");
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    int separator = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            separator = i;
            break;
        }
    }
    if (separator < 3 || separator + 1 >= argc)
        return Usage();
    FILE* log = std::fopen(argv[1], "a");
    if (!log) {
        std::fprintf(stderr, "close-watch: %s: %s\n", argv[1], std::strerror(errno));
        return 125;
    }
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        std::perror("close-watch: inotify_init1");
        return 125;
    }
    std::vector<std::string> names;
    std::vector<int> watches;
    for (int i = 2; i < separator; ++i) {
        const int wd = inotify_add_watch(fd, argv[i], IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
        if (wd < 0) {
            std::fprintf(stderr, "close-watch: %s: %s\n", argv[i], std::strerror(errno));
            return 125;
        }
        const char* slash = std::strrchr(argv[i], '/');
        names.emplace_back(slash ? slash + 1 : argv[i]);
        watches.push_back(wd);
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("close-watch: fork");
        return 125;
    }
    if (child == 0) {
        execvp(argv[separator + 1], argv + separator + 1);
        std::fprintf(stderr, "close-watch: %s: %s\n", argv[separator + 1], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("close-watch: waitpid");
            return 125;
        }
    }
    // The kernel queues the events before close() returns in the child, so
    // everything the command did is there once it has been reaped.
    if (!Drain(fd, names, watches, log) || std::fclose(log) != 0) {
        std::perror("close-watch: event log");
        return 125;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// tray_start: starts a tray program on the X display in $DISPLAY (which needs
// a system tray) and measures it from outside, the same way for any program:
//   tray_start [--icons N] [--idle SECONDS] [--settle SECONDS] [--tick SECONDS] -- COMMAND [ARGS...]
// prints
//   start_ms     from the fork to the moment the N-th tray icon window got
//                its first Expose (an icon window is one carrying _XEMBED_INFO
//                that a tray reparented)
//   rss_kb       the program's resident set at the end of the idle time
//   cpu_ms_tick  CPU time of all its threads during the idle time (which
//                starts --settle seconds, default 3, after the icons showed),
//                per --tick seconds: the mean over the idle time's windows of
//                one tick each
//   cpu_ms_tick_median  the median window
// and stops the program. With --idle 0 only start_ms is measured.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

Atom xembedInfo;
std::set<Window> icons;   // embedded icon windows seen
std::set<Window> exposed; // of those, the ones that got an Expose

bool IsIcon(Display* d, Window w) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int ok = XGetWindowProperty(d, w, xembedInfo, 0, 2, False, AnyPropertyType, &type,
                                      &format, &items, &after, &data);
    if (data)
        XFree(data);
    return ok == Success && type != None;
}

// Every window gets SubstructureNotify, so a reparent anywhere is heard.
void WatchTree(Display* d, Window w) {
    XSelectInput(d, w, SubstructureNotifyMask);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return;
    for (unsigned i = 0; i < n; ++i)
        WatchTree(d, children[i]);
    if (children)
        XFree(children);
}

void TakeIcon(Display* d, Window w) {
    if (icons.count(w) || !IsIcon(d, w))
        return;
    icons.insert(w);
    XSelectInput(d, w, ExposureMask | StructureNotifyMask);
    // An icon mapped before the Expose mask was in place is drawn already.
    XWindowAttributes a{};
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable)
        exposed.insert(w);
}

long long ThreadsCpuNs(pid_t pid) {
    long long sum = 0;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* tasks = opendir(dir.c_str())) {
        while (dirent* e = readdir(tasks)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream in(dir + "/" + e->d_name + "/schedstat");
            long long ns = 0;
            if (in >> ns)
                sum += ns;
        }
        closedir(tasks);
    }
    return sum;
}

long RssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    unsigned wanted = 6;
    double idle = 45, tick = 15, settle = 3;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (i + 1 >= argc)
            break;
        if (!std::strcmp(argv[i], "--icons"))
            wanted = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--idle"))
            idle = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--settle"))
            settle = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--tick"))
            tick = std::atof(argv[++i]);
    }
    if (i >= argc - 1 || wanted == 0 || tick <= 0) {
        std::fprintf(stderr, "usage: tray_start [--icons N] [--idle S] [--settle S] [--tick S] -- COMMAND...\n");
        return 2;
    }
    char** command = argv + i + 1;
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "tray_start: cannot open the display\n");
        return 1;
    }
    xembedInfo = XInternAtom(d, "_XEMBED_INFO", False);
    WatchTree(d, DefaultRootWindow(d));
    XSync(d, False);

    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    const auto deadline = t0 + std::chrono::seconds(20);
    double startMs = -1;
    while (Clock::now() < deadline) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == CreateNotify)
                WatchTree(d, e.xcreatewindow.window);
            else if (e.type == ReparentNotify && e.xreparent.parent != DefaultRootWindow(d))
                TakeIcon(d, e.xreparent.window);
            else if (e.type == MapNotify)
                TakeIcon(d, e.xmap.window);
            else if (e.type == Expose && icons.count(e.xexpose.window))
                exposed.insert(e.xexpose.window);
        }
        if (exposed.size() >= wanted) {
            startMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "tray_start: %s ended before its icons showed\n", command[0]);
            return 1;
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(d), &fds);
        timeval tv{0, 2000};
        select(ConnectionNumber(d) + 1, &fds, nullptr, nullptr, &tv);
    }
    int rc = 0;
    if (startMs < 0) {
        std::fprintf(stderr, "tray_start: %zu of %u icons showed in 20 s\n", exposed.size(), wanted);
        rc = 1;
    } else {
        std::printf("start_ms %.1f\n", startMs);
        if (idle > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(settle));
            // The idle time in windows of one tick each: their mean, and
            // their median, which a one-time cost does not move.
            std::vector<double> windows;
            long long before = ThreadsCpuNs(pid);
            const long long first = before;
            for (double waited = 0; waited + tick <= idle; waited += tick) {
                std::this_thread::sleep_for(std::chrono::duration<double>(tick));
                const long long now = ThreadsCpuNs(pid);
                windows.push_back((now - before) / 1e6);
                before = now;
            }
            std::printf("rss_kb %ld\n", RssKb(pid));
            if (!windows.empty()) {
                std::printf("cpu_ms_tick %.3f\n", (before - first) / 1e6 / windows.size());
                std::sort(windows.begin(), windows.end());
                const size_t n = windows.size();
                std::printf("cpu_ms_tick_median %.3f\n",
                            n % 2 ? windows[n / 2] : (windows[n / 2 - 1] + windows[n / 2]) / 2);
            }
        }
    }
    std::fflush(stdout);
    kill(pid, SIGTERM);
    int status = 0;
    for (int n = 0; n < 100 && waitpid(pid, &status, WNOHANG) == 0; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    XCloseDisplay(d);
    return rc;
}

// SafeWriteFile: what is replaced, what is written in place, what is kept,
// and that nobody can make it write somewhere else.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/TestDrives.h"
#include "platform/SafeWrite.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    const auto bytes = test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Runs step in a child process, as uid (with that number as its group) when
// that is not the test's own, while the test does meanwhile. The step's
// result, or nullopt when the child was killed or had not ended within 5 s
// (it is killed then); seconds is how long it ran.
std::optional<bool> InChild(uid_t uid, const std::function<bool()>& step, double* seconds = nullptr,
                            const std::function<void()>& meanwhile = {}) {
    const auto bound = std::chrono::seconds(5);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        if (uid != ::geteuid() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(3);
        ::_exit(step() ? 0 : 1);
    }
    if (meanwhile)
        meanwhile();
    int status = 0;
    pid_t got = 0;
    while ((got = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - start < bound)
        ::usleep(2000);
    if (seconds)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (got != child) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return std::nullopt;
    }
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

class SafeWrite : public ::testing::Test {
protected:
    SafeWrite() {
        dir = fs::temp_directory_path() /
              ("quorvane-safewrite-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        oldMask = ::umask(022);
    }
    ~SafeWrite() override {
        ::umask(oldMask);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    size_t Entries(const fs::path& folder) const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
    }
    static unsigned ModeOf(const fs::path& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }
    fs::path dir;
    mode_t oldMask = 0;
};

TEST_F(SafeWrite, APlantedTemporaryNameIsNeverFollowed) {
    // The names an older writer used (FILE.tmp.PID) and a few obvious others,
    // each a link to a file that must stay untouched.
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "precious";
    const fs::path target = dir / "r.txt";
    for (const std::string& name :
         {"r.txt.tmp." + std::to_string(::getpid()), std::string("r.txt.tmp"),
          std::string("r.txt~"), std::string(".r.txt.tmp")})
        fs::create_symlink(victim, dir / name);
    std::string error;
    ASSERT_TRUE(SafeWriteFile(target.string(), "report", NewFileModeDefault, &error)) << error;
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_EQ(ReadText(target), "report");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    EXPECT_EQ(Entries(dir), 6u); // victim, four links, the report
}

TEST_F(SafeWrite, AnIncompleteFileIsPrivateAndHasAnUnguessableName) {
    // The writer is killed half-way (file size limit, SIGXFSZ's default
    // action), so its temporary file stays behind to be looked at.
    const fs::path target = dir / "r.txt";
    std::ofstream(target) << "old";
    for (int run = 0; run < 2; ++run) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit noCore{0, 0}, limit{4096, 4096};
            setrlimit(RLIMIT_CORE, &noCore);
            setrlimit(RLIMIT_FSIZE, &limit);
            SafeWriteFile(target.string(), std::string(100000, 'x'));
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    }
    EXPECT_EQ(ReadText(target), "old");
    std::vector<std::string> temps;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path() == target)
            continue;
        temps.push_back(entry.path().filename().string());
        EXPECT_EQ(ModeOf(entry.path()), 0600u) << entry.path();
        EXPECT_EQ(entry.path().filename().string().find(std::to_string(::getpid())),
                  std::string::npos);
    }
    ASSERT_EQ(temps.size(), 2u); // one per run: two runs never chose the same name
    EXPECT_NE(temps[0], temps[1]);
}

TEST_F(SafeWrite, NewFilesGetTheRequestedModeLessTheUmask) {
    ASSERT_TRUE(SafeWriteFile((dir / "report").string(), "r"));
    EXPECT_EQ(ModeOf(dir / "report"), 0644u);
    ASSERT_TRUE(SafeWriteFile((dir / "settings").string(), "s", NewFileModePrivate));
    EXPECT_EQ(ModeOf(dir / "settings"), 0600u);
    EXPECT_EQ(Entries(dir), 2u);
}

TEST_F(SafeWrite, AnExistingFileKeepsItsModeAndOwner) {
    const fs::path target = dir / "shared.txt";
    std::ofstream(target) << std::string(5000, 'x'); // longer than the new text
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    // Even a file kept private is not widened by a caller's new-file mode.
    ASSERT_TRUE(SafeWriteFile(target.string(), "new", 0666));
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(ModeOf(target), 0640u);
    if (root) {
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(Entries(dir), 1u);
}

TEST_F(SafeWrite, ASymlinkIsFollowedAndStaysALink) {
    fs::create_directories(dir / "real");
    const fs::path real = dir / "real" / "report.txt";
    std::ofstream(real) << "old text";
    ASSERT_EQ(::chmod(real.c_str(), 0604), 0);
    // A relative link is read from the link's own folder, through a second link.
    fs::create_directories(dir / "links");
    fs::create_symlink("../real/report.txt", dir / "links" / "first");
    fs::create_symlink("first", dir / "links" / "second");
    std::string error;
    ASSERT_TRUE(SafeWriteFile((dir / "links" / "second").string(), "new text", 0666, &error))
        << error;
    EXPECT_TRUE(fs::is_symlink(dir / "links" / "first"));
    EXPECT_TRUE(fs::is_symlink(dir / "links" / "second"));
    EXPECT_EQ(ReadText(real), "new text");
    EXPECT_EQ(ModeOf(real), 0604u);
    EXPECT_EQ(Entries(dir / "links"), 2u);
    EXPECT_EQ(Entries(dir / "real"), 1u); // the temporary file was beside the real file

    // A link to a file not there yet creates that file.
    fs::create_symlink(dir / "real" / "later.txt", dir / "links" / "dangling");
    ASSERT_TRUE(SafeWriteFile((dir / "links" / "dangling").string(), "later"));
    EXPECT_TRUE(fs::is_symlink(dir / "links" / "dangling"));
    EXPECT_EQ(ReadText(dir / "real" / "later.txt"), "later");

    // A loop of links is an error, not a hang.
    fs::create_symlink("loop-b", dir / "links" / "loop-a");
    fs::create_symlink("loop-a", dir / "links" / "loop-b");
    EXPECT_FALSE(SafeWriteFile((dir / "links" / "loop-a").string(), "x", 0666, &error));
    EXPECT_NE(error.find("loop-a"), std::string::npos) << error;
}

// As root, a writer that replaced devices would replace the system's own:
// the test then makes its own nodes of the same devices.
fs::path DeviceNode(const fs::path& dir, const char* name, unsigned minor) {
    const fs::path system = fs::path("/dev") / name;
    if (::geteuid() != 0)
        return system;
    const fs::path own = dir / name;
    EXPECT_EQ(::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)), 0) << own;
    return own;
}

TEST_F(SafeWrite, DevicesAreWrittenInPlaceAndTheirFailuresReported) {
    fs::create_directories(dir / "dev");
    const fs::path full = DeviceNode(dir / "dev", "full", 7);
    const fs::path null = DeviceNode(dir / "dev", "null", 3);
    std::string error;
    EXPECT_FALSE(SafeWriteFile(full.string(), "report", 0666, &error));
    EXPECT_EQ(error, "could not write " + full.string() + ": No space left on device");
    EXPECT_TRUE(fs::is_character_file(full));

    error.clear();
    EXPECT_TRUE(SafeWriteFile(null.string(), "report", 0666, &error)) << error;
    EXPECT_TRUE(fs::is_character_file(null));

    // A link to a device reaches the device too.
    fs::create_symlink(full, dir / "full");
    EXPECT_FALSE(SafeWriteFile((dir / "full").string(), "report", 0666, &error));
    EXPECT_TRUE(fs::is_symlink(dir / "full"));
    EXPECT_TRUE(fs::is_character_file(full));
    EXPECT_EQ(Entries(dir), 2u);

    EXPECT_FALSE(SafeWriteFile(dir.string(), "report", 0666, &error));
    EXPECT_EQ(error, "could not write " + dir.string() + ": Is a directory");
}

TEST_F(SafeWrite, AFifoIsWrittenToItsReaderAndWithoutOneFails) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    // No reader: an error at once, no wait for one.
    EXPECT_FALSE(SafeWriteFile(fifo.string(), "report", 0666, &error));
    EXPECT_NE(error.find(fifo.string()), std::string::npos) << error;

    // The reader opens first, so the writer finds it there.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string text(20000, 'r'); // more than one write's worth may need
    std::string got;
    std::thread drain([&] {
        char buffer[4096];
        for (int idle = 0; got.size() < text.size() && idle < 2000;) {
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<size_t>(n));
            else {
                ++idle;
                ::usleep(1000);
            }
        }
    });
    EXPECT_TRUE(SafeWriteFile(fifo.string(), text, 0666, &error)) << error;
    drain.join();
    ::close(reader);
    EXPECT_EQ(got, text);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Entries(dir), 1u);
}

TEST_F(SafeWrite, ALinkIsFollowedOnlyWhenRootOrTheWriterOwnsIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "links of other users can only be made by root";
    constexpr uid_t Root = 0, Nobody = 65534, Other = 65533;
    struct Case {
        uid_t Writer;
        std::vector<uid_t> Links; // the owners along a chain of links, first one first
        int Refused;              // the link refused, or -1: followed
    };
    const Case cases[] = {
        {Root, {Nobody}, 0},      {Root, {Root}, -1},           {Nobody, {Nobody}, -1},
        {Nobody, {Root}, -1},     {Nobody, {Other}, 0},         {Root, {Root, Nobody}, 1},
        {Root, {Root, Root}, -1}, {Nobody, {Nobody, Other}, 1},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(row));
        // Anyone may plant a link here, and no sticky bit asks the kernel to
        // guard its links.
        const fs::path folder = dir / std::to_string(row++);
        fs::create_directories(folder);
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        const fs::path target = folder / "target";
        std::ofstream(target) << "precious";
        ASSERT_EQ(::chown(target.c_str(), c.Writer, c.Writer), 0);
        std::vector<fs::path> links;
        for (size_t k = 0; k < c.Links.size(); ++k)
            links.push_back(folder / ("link" + std::to_string(k)));
        for (size_t k = 0; k < links.size(); ++k) {
            fs::create_symlink(k + 1 < links.size() ? links[k + 1].filename() : "target", links[k]);
            ASSERT_EQ(::lchown(links[k].c_str(), c.Links[k], c.Links[k]), 0);
        }
        std::string expected;
        if (c.Refused >= 0) {
            const std::string owner = "a symbolic link owned by another user (uid " +
                                      std::to_string(c.Links[static_cast<size_t>(c.Refused)]) + ")";
            expected = (c.Refused == 0
                            ? links[0].string() + " is " + owner
                            : links[0].string() + " leads to " +
                                  links[static_cast<size_t>(c.Refused)].string() + ", " + owner) +
                       "; not followed, not written";
        }
        const auto ok = InChild(c.Writer, [&] {
            std::string error;
            const bool written = SafeWriteFile(links[0].string(), "new", 0666, &error);
            if (written != (c.Refused < 0) || error != expected)
                std::fprintf(stderr, "written %d: %s\n", written, error.c_str());
            return written == (c.Refused < 0) && error == expected;
        });
        EXPECT_EQ(ok, std::optional<bool>(true));
        EXPECT_EQ(ReadText(target), c.Refused < 0 ? "new" : "precious");
        for (size_t k = 0; k < links.size(); ++k) {
            struct stat st {};
            ASSERT_EQ(::lstat(links[k].c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            EXPECT_EQ(st.st_uid, c.Links[k]);
            EXPECT_EQ(fs::read_symlink(links[k]),
                      k + 1 < links.size() ? links[k + 1].filename() : "target");
        }
        EXPECT_EQ(Entries(folder), links.size() + 1); // no temporary file left
    }
}

// A block device major no driver has taken, so even a writer that opened the
// node could not reach a disk.
unsigned UnusedBlockMajor() {
    std::ifstream devices("/proc/devices");
    std::set<unsigned> taken;
    bool block = false;
    for (std::string line; std::getline(devices, line);) {
        if (line.rfind("Block devices:", 0) == 0)
            block = true;
        unsigned major = 0;
        if (block && std::istringstream(line) >> major)
            taken.insert(major);
    }
    for (unsigned major = 240; major <= 254; ++major) // for local, experimental use
        if (!taken.count(major))
            return major;
    return 0;
}

TEST_F(SafeWrite, ABlockDeviceIsNeverWrittenNorReplaced) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "device nodes can only be made by root";
    const unsigned major = UnusedBlockMajor();
    ASSERT_NE(major, 0u);
    const fs::path node = dir / "m.prom";
    ASSERT_EQ(::mknod(node.c_str(), S_IFBLK | 0666, makedev(major, 0)), 0);
    fs::create_symlink(node, dir / "link"); // root's own link, followed to the node
    for (const fs::path& path : {node, dir / "link"}) {
        std::string error;
        EXPECT_FALSE(SafeWriteFile(path.string(), "metrics", 0666, &error));
        EXPECT_EQ(error, path.string() + " is a block device; not written");
    }
    struct stat st {};
    ASSERT_EQ(::lstat(node.c_str(), &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(major, 0));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(Entries(dir), 2u);
}

TEST_F(SafeWrite, AFifoThatTakesNothingFailsSoonAndItsReaderLeavingKillsNobody) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string text(1 << 20, 'm'); // far more than a pipe holds
    enum class Reader { None, NeverReads, Leaves };
    for (Reader reader : {Reader::None, Reader::NeverReads, Reader::Leaves}) {
        SCOPED_TRACE(static_cast<int>(reader));
        const int end = reader == Reader::None ? -1 : ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_EQ(end >= 0, reader != Reader::None);
        const std::string expected = "could not write " + fifo.string() +
                                     (reader == Reader::None ? ": no program reads this FIFO"
                                      : reader == Reader::NeverReads ? ": not taken within 1 s"
                                                                     : ": Broken pipe");
        double seconds = 0;
        const auto ok = InChild(
            ::geteuid(),
            [&] {
                if (end >= 0)
                    ::close(end); // the test's reader is the only one
                std::string error;
                const bool written = SafeWriteFile(fifo.string(), text, 0666, &error);
                if (error != expected)
                    std::fprintf(stderr, "%s\n", error.c_str());
                return !written && error == expected;
            },
            &seconds,
            [&] {
                // The reader that leaves goes as soon as the writer has begun.
                if (reader == Reader::Leaves) {
                    pollfd data{end, POLLIN, 0};
                    ::poll(&data, 1, 3000);
                }
                if (reader != Reader::NeverReads && end >= 0)
                    ::close(end);
            });
        if (reader == Reader::NeverReads)
            ::close(end);
        EXPECT_EQ(ok, std::optional<bool>(true)) << "after " << seconds << " s";
        std::printf("[          ] reader %d: ended after %.3f s\n", static_cast<int>(reader),
                    seconds);
        EXPECT_TRUE(fs::is_fifo(fifo));
    }
    EXPECT_EQ(Entries(dir), 1u);
}

TEST_F(SafeWrite, NoSetuidSetgidOrStickyBitIsCarriedOverAndAHardLinkKeepsItsFile) {
    // A report's name made a second name of a program that runs as its owner:
    // the name gets an ordinary file, and the program stays as it was.
    const fs::path program = dir / "program";
    std::ofstream(program) << "#!/bin/sh\n";
    ASSERT_EQ(::chmod(program.c_str(), 06755), 0);
    const unsigned programMode = ModeOf(program); // setgid stays only for a group of ours
    const fs::path target = dir / "r.txt";
    fs::create_hard_link(program, target);
    ASSERT_TRUE(SafeWriteFile(target.string(), "report"));
    EXPECT_EQ(ReadText(target), "report");
    EXPECT_EQ(ModeOf(target), 0755u);
    EXPECT_EQ(ReadText(program), "#!/bin/sh\n");
    EXPECT_EQ(ModeOf(program), programMode);
    EXPECT_EQ(fs::hard_link_count(program), 1u);

    ASSERT_EQ(::chmod(target.c_str(), 07750), 0);
    ASSERT_TRUE(SafeWriteFile(target.string(), "again"));
    EXPECT_EQ(ModeOf(target), 0750u);
    EXPECT_EQ(Entries(dir), 2u);
}

TEST_F(SafeWrite, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    const fs::path target = dir / "r.txt";
    std::ofstream(target) << "the previous report";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const bool ok = SafeWriteFile(target.string(), std::string(5000, 'x'), 0666, &error);
        _exit(!ok && error == "could not write " + target.string() + ": File too large" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadText(target), "the previous report");
    EXPECT_EQ(Entries(dir), 1u);

    std::string error;
    EXPECT_FALSE(SafeWriteFile((dir / "missing" / "r.txt").string(), "x", 0666, &error));
    EXPECT_EQ(error, "could not write " + (dir / "missing" / "r.txt").string() +
                         ": No such file or directory");
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

} // namespace
} // namespace quorvane

// The About group's system text and the single-instance lock.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Platform.h"
#include "platform/SingleInstance.h"

namespace quorvane {
namespace {

TEST(Platform, KernelReleaseGivesThreeNumbers) {
    EXPECT_EQ(KernelVersionNumbers("6.1.0-18-amd64"), "6.1.0");
    EXPECT_EQ(KernelVersionNumbers("5.15.153.1-microsoft-standard-WSL2"), "5.15.153");
    EXPECT_EQ(KernelVersionNumbers("6.8.0"), "6.8.0");
    EXPECT_EQ(KernelVersionNumbers("6.9-rc1"), "6.9.0");
    EXPECT_EQ(KernelVersionNumbers("4"), "4.0.0");
    EXPECT_EQ(KernelVersionNumbers("6.01.002"), "6.1.2");
    EXPECT_EQ(KernelVersionNumbers(""), "");
    EXPECT_EQ(KernelVersionNumbers("linux-6.1"), "");
    EXPECT_EQ(KernelVersionNumbers("99999999999999999999.1"), "999999999.0.0");
}

TEST(Platform, PrettyNameIsReadFromOsRelease) {
    EXPECT_EQ(OsReleasePrettyName("NAME=\"Debian GNU/Linux\"\n"
                                  "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=Arch\r\n"), "Arch");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME='Fedora Linux 40'\n"), "Fedora Linux 40");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"Say \\\"hi\\\" \\\\ now\"\n"),
              "Say \"hi\" \\ now");
    EXPECT_EQ(OsReleasePrettyName("# PRETTY_NAME=\"no\"\nNAME=x\n"), "");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"unterminated"), "unterminated");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"a\tb\"\n"), "a b");
    EXPECT_EQ(OsReleasePrettyName(""), "");
}

TEST(Platform, SystemTextJoinsNumbersAndName) {
    const std::string osRelease = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n";
    EXPECT_EQ(LinuxVersionText("6.1.0-18-amd64", osRelease),
              "6.1.0 Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(LinuxVersionText("6.1.0-18-amd64", ""), "6.1.0");
    EXPECT_EQ(LinuxVersionText("", osRelease), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(LinuxVersionText("", ""), "");
    // This machine runs a kernel, so at least its numbers show.
    const std::string running = RunningSystemText();
    ASSERT_FALSE(running.empty());
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(running[0])));
}

// Runs RaiseProcessPriority in a child started at the given nice value and
// returns the child's nice value afterwards; nullopt when the start value
// could not be set (no privilege).
std::optional<int> NiceAfterRaise(int startNice) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setpriority(PRIO_PROCESS, 0, startNice) != 0)
            ::_exit(255);
        RaiseProcessPriority();
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, 0);
        ::_exit(errno != 0 ? 254 : nice + 20); // 0..39
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 254)
        ADD_FAILURE() << "the child did not report its priority";
    if (WEXITSTATUS(status) == 255)
        return std::nullopt;
    return WEXITSTATUS(status) - 20;
}

TEST(Platform, PriorityIsRaisedButNeverLowered) {
    // A normal start is raised when the user may; a refusal leaves it as it was.
    const auto fromNormal = NiceAfterRaise(0);
    ASSERT_TRUE(fromNormal.has_value());
    EXPECT_LE(*fromNormal, 0);
    // A copy started at a higher priority than the raise would give keeps it.
    const auto fromHigh = NiceAfterRaise(-15);
    if (!fromHigh)
        GTEST_SKIP() << "no privilege to start at a raised priority";
    EXPECT_EQ(*fromHigh, -15);
}

// The nice value of every thread of this process, from /proc/self/task/*/stat
// (the 19th field; the name in parentheses may itself hold spaces).
std::vector<int> ThreadNiceValues() {
    std::vector<int> values;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 19 && fields >> field; ++i) {
        }
        values.push_back(std::stoi(field));
    }
    return values;
}

TEST(Platform, EveryThreadIsRaisedAndNewOnesInheritIt) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Threads started before the raise, as a toolkit starts its own.
        std::promise<void> done;
        std::shared_future<void> finish = done.get_future().share();
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i)
            threads.emplace_back([finish] { finish.wait(); });
        if (!RaiseProcessPriority())
            ::_exit(255);
        threads.emplace_back([finish] { finish.wait(); }); // and one after it
        ::usleep(20000);
        const auto nice = ThreadNiceValues();
        int wrong = 0;
        for (int value : nice)
            wrong += value != -10;
        done.set_value();
        for (auto& t : threads)
            t.join();
        ::_exit(nice.size() == 5 ? wrong : 100);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 255)
        GTEST_SKIP() << "no privilege to raise the priority";
    EXPECT_NE(WEXITSTATUS(status), 100) << "the child did not see its five threads";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "threads left at a lower priority";
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("quorvane-lock-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(SingleInstanceTest, ASecondHolderIsRefusedUntilTheFirstEnds) {
    const std::string path = (dir / "SMARTMutex.lock").string();
    auto first = std::make_unique<SingleInstance>(path);
    EXPECT_EQ(first->Acquire(), SingleInstance::Result::Acquired);
    EXPECT_EQ(first->Acquire(), SingleInstance::Result::Acquired);
    {
        SingleInstance second(path);
        EXPECT_EQ(second.Acquire(), SingleInstance::Result::HeldElsewhere);
        EXPECT_FALSE(second.Held());
    }
    // The lock file stays behind, as after a crash; it blocks nobody.
    first.reset();
    ASSERT_TRUE(std::filesystem::exists(path));
    SingleInstance third(path);
    EXPECT_EQ(third.Acquire(), SingleInstance::Result::Acquired);
}

TEST_F(SingleInstanceTest, AnUnusableLockFileIsToldApart) {
    SingleInstance missingDir((dir / "no-such-dir" / "x.lock").string());
    EXPECT_EQ(missingDir.Acquire(), SingleInstance::Result::Unavailable);
    // A symbolic link is not followed.
    std::filesystem::create_symlink(dir / "target", dir / "link.lock");
    SingleInstance link((dir / "link.lock").string());
    EXPECT_EQ(link.Acquire(), SingleInstance::Result::Unavailable);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

unsigned ModeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

TEST_F(SingleInstanceTest, TheLockLivesInAFolderOfTheUsersOwn) {
    const std::string runtime = (dir / "runtime").string();
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", &runtime);
        EXPECT_EQ(SingleInstanceLockPath(), runtime + "/SMARTMutex.lock");
    }
    // Without a runtime folder, or with one anybody may write in: a folder of
    // the user's own in the temporary directory, never the shared one itself.
    const std::string tmp = (dir / "tmp").string();
    std::filesystem::create_directories(tmp);
    const std::string own = tmp + "/quorvane-" + std::to_string(::geteuid());
    ScopedEnv tmpdir("TMPDIR", &tmp);
    for (const std::string* value : {static_cast<const std::string*>(nullptr), &tmp}) {
        ::chmod(tmp.c_str(), 01777);
        ScopedEnv xdg("XDG_RUNTIME_DIR", value);
        EXPECT_EQ(SingleInstanceLockPath(), own + "/SMARTMutex.lock");
        EXPECT_EQ(ModeOf(own), 0700u);
        SingleInstance lock(SingleInstanceLockPath());
        EXPECT_EQ(lock.Acquire(), SingleInstance::Result::Acquired);
        EXPECT_EQ(ModeOf(own + "/SMARTMutex.lock"), 0600u);
    }
    ScopedEnv xdg("XDG_RUNTIME_DIR", nullptr);
    // The user's own folder made too wide is narrowed.
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(SingleInstanceLockPath(), own + "/SMARTMutex.lock");
    EXPECT_EQ(ModeOf(own), 0700u);
    // A link in the folder's place is not followed.
    std::filesystem::remove_all(own);
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_symlink(dir / "elsewhere", own);
    EXPECT_EQ(SingleInstanceLockPath(), "");
    EXPECT_EQ(SingleInstance(SingleInstanceLockPath()).Acquire(),
              SingleInstance::Result::Unavailable);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
}

// Another user: the tests run as root can make files of "nobody".
constexpr uid_t OtherUser = 65534;

TEST_F(SingleInstanceTest, AnotherUsersFolderOrLockIsNeverHonoured) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making another user's files needs root";
    // The other user made the folder first, to take its name.
    const std::string tmp = (dir / "tmp").string();
    std::filesystem::create_directories(tmp);
    const std::string own = tmp + "/quorvane-" + std::to_string(::geteuid());
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(::chown(own.c_str(), OtherUser, OtherUser), 0);
    ScopedEnv tmpdir("TMPDIR", &tmp);
    ScopedEnv noXdg("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(SingleInstanceLockPath(), "");
    // Nor is another user's runtime folder taken for this user's.
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", &own);
        EXPECT_EQ(SingleInstanceLockPath(), "");
    }

    // A locked lock file of the other user's in a folder this user may use:
    // the program does not take it for a copy of its own running already.
    const std::string path = (dir / "SMARTMutex.lock").string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchown(fd, OtherUser, OtherUser), 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    SingleInstance mine(path);
    EXPECT_EQ(mine.Acquire(), SingleInstance::Result::Unavailable);
    EXPECT_FALSE(mine.Held());
    ::close(fd);
}

} // namespace
} // namespace quorvane

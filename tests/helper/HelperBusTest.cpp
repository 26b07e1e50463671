// The whole privileged path on a private system bus: a dbus-daemon of the
// test's own with the project's bus policy and activation file, polkit played
// by python3-dbusmock's polkitd template, quorvane-helper on simulated
// drives, and quorvane-cli run as an unprivileged user.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <list>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>

#include "common/RunCli.h"
#include "common/TestDrives.h"
#include "ata/HelperBus.h"
#include "ata/HelperProtocol.h"
#include "ata/Identify.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr const char* ReadSmart = "org.quorvane.helper.read-smart";
constexpr const char* SetFeaturesAction = "org.quorvane.helper.set-features";
constexpr const char* ReadSectorsAction = "org.quorvane.helper.read-sectors";
constexpr const char* Nobody = "65534";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A process the test started; stopped and reaped when the object goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        std::vector<char*> args, envp;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    pid_t pid_ = -1;
};

struct Reply {
    std::string Error; // the D-Bus error name; empty when the call was answered
    bool Ok = false;
    Bytes Registers;
    Bytes Data;
};

// A connection of its own, as another program on the bus has: its calls go
// out without waiting for one another, and their answers are kept in the
// order they arrive.
class Caller {
public:
    struct Answer {
        size_t Call = 0;   // which of the calls sent, from 0
        std::string Error; // the D-Bus error name; empty when the call was answered
        bool Ok = false;
        std::chrono::milliseconds After{0}; // from sending to the answer
    };

    Caller() {
        if (sd_bus_open_system(&bus_) < 0)
            bus_ = nullptr;
    }
    ~Caller() { sd_bus_flush_close_unref(bus_); }
    Caller(const Caller&) = delete;
    Caller& operator=(const Caller&) = delete;
    bool Connected() const { return bus_ != nullptr; }

    void Send(uint32_t drive, const AtaCommand& cmd) {
        sd_bus_message* call = nullptr;
        const HelperRegisters regs = EncodeHelperRegisters(cmd);
        sent_.push_back({this, sent_.size(), std::chrono::steady_clock::now()});
        if (sd_bus_message_new_method_call(bus_, &call, HelperBusName, HelperObjectPath,
                                           HelperInterface, HelperMethod) < 0 ||
            sd_bus_message_append(call, "u", drive) < 0 ||
            sd_bus_message_append_array(call, 'y', regs.data(), regs.size()) < 0 ||
            sd_bus_call_async(bus_, nullptr, call, &Caller::OnAnswer, &sent_.back(), 60'000'000) <
                0)
            ADD_FAILURE() << "call " << sent_.size() - 1 << " could not be sent";
        sd_bus_message_unref(call);
    }

    // Reads answers until there are `count` of them or `limit` has passed.
    bool WaitForAnswers(size_t count, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (answers_.size() < count) {
            const int r = sd_bus_process(bus_, nullptr);
            if (r < 0)
                return false;
            if (r > 0)
                continue;
            const auto left = until - std::chrono::steady_clock::now();
            if (left <= 0s)
                return false;
            sd_bus_wait(bus_,
                        static_cast<uint64_t>(
                            std::chrono::duration_cast<std::chrono::microseconds>(left).count()));
        }
        return true;
    }
    const std::vector<Answer>& Answers() const { return answers_; }

private:
    struct Sent {
        Caller* Self;
        size_t Call;
        std::chrono::steady_clock::time_point At;
    };
    static int OnAnswer(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const auto* sent = static_cast<const Sent*>(userdata);
        Answer answer;
        answer.Call = sent->Call;
        answer.After = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - sent->At);
        if (const sd_bus_error* e = sd_bus_message_get_error(m)) {
            answer.Error = e->name ? e->name : "?";
        } else {
            int ok = 0;
            sd_bus_message_read(m, "b", &ok);
            answer.Ok = ok != 0;
        }
        sent->Self->answers_.push_back(answer);
        return 0;
    }

    sd_bus* bus_ = nullptr;
    std::list<Sent> sent_; // where each answer finds its call
    std::vector<Answer> answers_;
};

class PrivateSystemBus : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "only root may own the helper's name on the bus (its bus policy)";
        for (const char* tool : {"/usr/bin/dbus-daemon", "/usr/bin/python3", "/usr/bin/setpriv"})
            ASSERT_EQ(::access(tool, X_OK), 0) << tool << " is missing (scripts/install-deps.sh)";

        char templ[] = "/tmp/quorvane-bus-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        // The unprivileged user must reach the socket.
        ::chmod(dir_.c_str(), 0755);
        fs::create_directories(dir_ / "services");
        // Copies the unprivileged user can run wherever the build tree is.
        for (const char* program : {QUORVANE_CLI, QUORVANE_HELPER}) {
            const fs::path copy = dir_ / fs::path(program).filename();
            fs::copy_file(program, copy);
            fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        }
        address_ = "unix:path=" + (dir_ / "system_bus_socket").string();

        drives_.AddRealDrive(0, "ST9160821AS--3.CLH");
        drives_.AddRealDrive(1, "WDC_WD20EARS-00MVWB0", "status = exceeded");
        // An NVMe controller too: its reads go through SendNvmeAdmin.
        drives_.AddRealNvme(2, "KBG30ZMS256G_NVMe_TOSHIBA_256GB--ADDA0105", "critical-warning = 0x01");
        Bytes disk(4 * 512, 0);
        disk[446] = 0x80;
        disk[450] = 0x07;
        disk[454] = 1; // first sector 1
        disk[458] = 3; // 3 sectors
        disk[510] = 0x55;
        disk[511] = 0xAA;
        drives_.WriteBytes(0, "disk.img", disk);

        WriteServiceFile(std::string(QUORVANE_HELPER) + " --idle-exit 3");
        WriteBusConfig();
        bus_ = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/dbus-daemon",
                                     "--config-file=" + (dir_ / "bus.conf").string(), "--nofork",
                                     "--nopidfile"},
            // Activated services inherit this environment: the helper finds
            // the bus and its simulated drives through it.
            std::vector<std::string>{"PATH=/usr/bin:/bin", "DBUS_SYSTEM_BUS_ADDRESS=" + address_,
                                     "QUORVANE_DRIVES=" + drives_.Path()});
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        for (auto until = std::chrono::steady_clock::now() + 10s;
             !conn_ && std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(20ms)) {
            sd_bus* bus = nullptr;
            if (sd_bus_open_system(&bus) >= 0 && sd_bus_is_open(bus) >= 0 && Ping(bus))
                conn_ = bus;
            else
                sd_bus_flush_close_unref(bus);
        }
        ASSERT_NE(conn_, nullptr) << "the private dbus-daemon did not come up";

        polkit_ = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template", "polkitd",
                                     "-l", (dir_ / "polkit.log").string()},
            std::vector<std::string>{"PATH=/usr/bin:/bin", "DBUS_SYSTEM_BUS_ADDRESS=" + address_});
        ASSERT_TRUE(WaitFor([&] { return HasOwner("org.freedesktop.PolicyKit1"); }, 20s))
            << "the polkitd mock did not come up";
    }

    void TearDown() override {
        sd_bus_flush_close_unref(conn_);
        polkit_.reset();
        bus_.reset();
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    void WriteServiceFile(const std::string& exec) {
        std::string text = ReadText(fs::path(QUORVANE_SOURCE_DIR) /
                                    "resources/dbus/org.quorvane.Helper1.service.in");
        const std::string key = "@QUORVANE_HELPER_PATH@";
        text.replace(text.find(key), key.size(), exec);
        std::ofstream(dir_ / "services/org.quorvane.Helper1.service") << text;
    }

    // The default policy of a system bus (deny, then allow the bus itself),
    // the fake polkit, and the helper's own policy file as installed.
    void WriteBusConfig() {
        std::ofstream(dir_ / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <listen>"
            << address_
            << "</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <servicedir>"
            << (dir_ / "services").string()
            << "</servicedir>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n"
               "    <deny own=\"*\"/>\n"
               "    <deny send_type=\"method_call\"/>\n"
               "    <allow send_type=\"signal\"/>\n"
               "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
               "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
               "    <allow receive_type=\"method_call\"/>\n"
               "    <allow receive_type=\"method_return\"/>\n"
               "    <allow receive_type=\"error\"/>\n"
               "    <allow receive_type=\"signal\"/>\n"
               "    <allow send_destination=\"org.freedesktop.DBus\"\n"
               "           send_interface=\"org.freedesktop.DBus\"/>\n"
               "    <allow send_destination=\"org.freedesktop.DBus\"\n"
               "           send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
               "    <allow send_destination=\"org.freedesktop.PolicyKit1\"/>\n"
               "  </policy>\n"
               "  <policy user=\"root\">\n"
               "    <allow own=\"org.freedesktop.PolicyKit1\"/>\n"
               "  </policy>\n"
               "  <include>"
            << QUORVANE_SOURCE_DIR
            << "/resources/dbus/org.quorvane.Helper1.conf</include>\n"
               "</busconfig>\n";
    }

    static bool Ping(sd_bus* bus) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "GetId", &error, nullptr, "");
        sd_bus_error_free(&error);
        return r >= 0;
    }

    bool HasOwner(const char* name) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int owned = 0;
        if (sd_bus_call_method(conn_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                               name) >= 0)
            sd_bus_message_read(reply, "b", &owned);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return owned != 0;
    }

    // The process id of the helper now owning its name, 0 when none does.
    uint32_t HelperPid() {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        uint32_t pid = 0;
        if (sd_bus_call_method(conn_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID", &error, &reply,
                               "s", HelperBusName) >= 0)
            sd_bus_message_read(reply, "u", &pid);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return pid;
    }

    template <class F> static bool WaitFor(F done, std::chrono::seconds limit) {
        for (auto until = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(50ms))
            if (done())
                return true;
        return false;
    }

    // Tells the polkit mock which actions it grants.
    void Allow(const std::vector<std::string>& actions) { Mock("SetAllowed", actions); }
    // The polkit mock answers no check of these actions until it is told to
    // release them: as a password dialog that nobody answers yet.
    void HoldChecksOf(const std::vector<std::string>& actions) {
        Mock("SimulateHangActions", actions);
    }
    void ReleaseHeldChecks() { Mock("ReleaseHangingCalls", {}, false); }

    // A call on the polkit mock's control interface, with a list of strings.
    void Mock(const char* method, const std::vector<std::string>& strings, bool withList = true) {
        sd_bus_message* call = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        ASSERT_GE(sd_bus_message_new_method_call(conn_, &call, "org.freedesktop.PolicyKit1",
                                                 "/org/freedesktop/PolicyKit1/Authority",
                                                 "org.freedesktop.DBus.Mock", method),
                  0);
        if (withList) {
            ASSERT_GE(sd_bus_message_open_container(call, 'a', "s"), 0);
            for (const auto& a : strings)
                ASSERT_GE(sd_bus_message_append(call, "s", a.c_str()), 0);
            ASSERT_GE(sd_bus_message_close_container(call), 0);
        }
        const int r = sd_bus_call(conn_, call, 0, &error, nullptr);
        EXPECT_GE(r, 0) << method << ": " << (error.message ? error.message : "");
        sd_bus_message_unref(call);
        sd_bus_error_free(&error);
    }

    // The mock's template has no CancelCheckAuthorization; one that only
    // logs its call is enough.
    void AddCancelCheckAuthorization() {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int r = sd_bus_call_method(
            conn_, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
            "org.freedesktop.DBus.Mock", "AddMethod", &error, nullptr, "sssss",
            "org.freedesktop.PolicyKit1.Authority", "CancelCheckAuthorization", "s", "", "");
        EXPECT_GE(r, 0) << (error.message ? error.message : "");
        sd_bus_error_free(&error);
    }

    // SendAtaCommand(drive, registers) from the test's own connection.
    Reply Call(uint32_t drive, const Bytes& registers) {
        sd_bus_message* call = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        Reply result;
        sd_bus_message_new_method_call(conn_, &call, HelperBusName, HelperObjectPath,
                                       HelperInterface, HelperMethod);
        sd_bus_message_append(call, "u", drive);
        sd_bus_message_append_array(call, 'y', registers.data(), registers.size());
        if (sd_bus_call(conn_, call, 30'000'000, &error, &reply) < 0) {
            result.Error = error.name ? error.name : "?";
        } else {
            int ok = 0;
            const void* p = nullptr;
            size_t n = 0;
            sd_bus_message_read(reply, "b", &ok);
            result.Ok = ok != 0;
            if (sd_bus_message_read_array(reply, 'y', &p, &n) >= 0)
                result.Registers.assign(static_cast<const uint8_t*>(p),
                                        static_cast<const uint8_t*>(p) + n);
            if (sd_bus_message_read_array(reply, 'y', &p, &n) >= 0)
                result.Data.assign(static_cast<const uint8_t*>(p),
                                   static_cast<const uint8_t*>(p) + n);
        }
        sd_bus_message_unref(call);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return result;
    }
    Reply Call(uint32_t drive, const AtaCommand& cmd) {
        const HelperRegisters regs = EncodeHelperRegisters(cmd);
        return Call(drive, Bytes(regs.begin(), regs.end()));
    }

    // A call with arguments of any signature; the error name, empty on success.
    template <class... Args> std::string CallWith(const char* signature, Args... args) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int r = sd_bus_call_method(conn_, HelperBusName, HelperObjectPath, HelperInterface,
                                         HelperMethod, &error, nullptr, signature, args...);
        std::string name = r < 0 ? (error.name ? error.name : "?") : "";
        sd_bus_error_free(&error);
        return name;
    }

    // quorvane-cli as the unprivileged user, on whatever drives it chooses.
    test::CliRun RunCliAsUser(const std::string& args) {
        const fs::path errFile = dir_ / "cli-stderr";
        const std::string command = std::string("/usr/bin/setpriv --reuid=") + Nobody +
                                    " --regid=" + Nobody + " --clear-groups /usr/bin/env -i " +
                                    "DBUS_SYSTEM_BUS_ADDRESS=" + address_ + " LC_ALL=C '" +
                                    (dir_ / "quorvane-cli").string() + "' " + args + " 2>'" +
                                    errFile.string() + "'";
        test::CliRun run;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return run;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.Out.append(buffer, n);
        const int status = ::pclose(pipe);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Err = ReadText(errFile);
        test::ExpectValidJson(args, run.Out);
        return run;
    }

    std::string PolkitLog() { return ReadText(dir_ / "polkit.log"); }
    // The AAM level drive 1 reports (IDENTIFY word 94), -1 when unread.
    int AamLevel() {
        const Reply identify = Call(1, AtaCommand::IdentifyDevice(1));
        return identify.Ok && identify.Data.size() == AtaSectorSize ? identify.Data[94 * 2] : -1;
    }
    std::string UniqueName() {
        const char* name = nullptr;
        sd_bus_get_unique_name(conn_, &name);
        return name ? name : "";
    }

    fs::path dir_;
    std::string address_;
    test::DriveDir drives_;
    std::unique_ptr<Child> bus_;
    std::unique_ptr<Child> polkit_;
    sd_bus* conn_ = nullptr;
};

TEST_F(PrivateSystemBus, AUserScansAndReadsSmartThroughTheHelperAsDirectly) {
    Allow({ReadSmart});
    // Nothing runs before the first call: the bus starts the helper.
    EXPECT_FALSE(HasOwner(HelperBusName));

    for (const char* args :
         {"scan --json", "scan", "smart 1 --json", "smart 2 --json", "smart 1", "smart 3",
          "smart 3 --json --dec", "log 3 error --json", "metrics"}) {
        const test::CliRun direct = test::RunCli(drives_.Path(), args);
        const test::CliRun helped = RunCliAsUser(args);
        EXPECT_EQ(helped.Status, direct.Status) << args << "\n" << helped.Err;
        EXPECT_EQ(helped.Out, direct.Out) << args << "\n" << helped.Err;
        EXPECT_FALSE(direct.Out.empty()) << args;
    }
    const test::CliRun scan = RunCliAsUser("scan");
    EXPECT_NE(scan.Out.find("WDC WD20EARS-00MVWB0"), std::string::npos) << scan.Out;
    EXPECT_EQ(scan.Err, "quorvane-cli: using the privileged helper org.quorvane.Helper1 on the "
                        "system bus (simulated drives in " +
                            drives_.Path() + ")\n");
    EXPECT_TRUE(HasOwner(HelperBusName));

    // polkit was asked about the calling connection, for the read access.
    const Reply identify = Call(0, AtaCommand::IdentifyDevice(0));
    EXPECT_EQ(identify.Error, "");
    EXPECT_TRUE(identify.Ok);
    EXPECT_EQ(identify.Data, test::PageOf("ST9160821AS--3.CLH", "identify"));
    EXPECT_EQ(identify.Registers.size(), HelperRegisterBytes);
    std::string log = PolkitLog();
    while (!log.empty() && log.back() == '\n')
        log.pop_back();
    const std::string last = log.substr(log.rfind('\n') + 1);
    EXPECT_NE(last.find("CheckAuthorization"), std::string::npos) << last;
    EXPECT_NE(last.find("'system-bus-name'"), std::string::npos) << last;
    EXPECT_NE(last.find("'name'): dbus.String('" + UniqueName() + "'"), std::string::npos) << last;
    EXPECT_NE(last.find(std::string("\"") + ReadSmart + "\""), std::string::npos) << last;
}

TEST_F(PrivateSystemBus, EachKindOfAccessNeedsItsOwnGrant) {
    Allow({ReadSmart});
    auto helper = HelperBus::Find();
    ASSERT_TRUE(helper);
    EXPECT_TRUE(helper->IsSimulated());
    EXPECT_EQ(helper->Describe(), "simulated drives in " + drives_.Path());

    // Drive 1 (slot 2) has AAM.
    auto aamLevel = [&] {
        AtaCommand identify = AtaCommand::IdentifyDevice(1);
        EXPECT_TRUE(SendOnce(*helper, 1, identify));
        return identify.Data[94 * 2];
    };
    const uint8_t before = aamLevel();
    ASSERT_NE(before, 0x80);
    AtaCommand set = AtaCommand::SetFeatures(1, 0x42, 0x80);
    EXPECT_FALSE(SendOnce(*helper, 1, set));
    EXPECT_EQ(aamLevel(), before);
    EXPECT_EQ(Call(1, AtaCommand::SetFeatures(1, 0x42, 0x80)).Error, HelperErrorNotAuthorized);
    const test::CliRun refused = RunCliAsUser("aam 2 --set 128 --json");
    EXPECT_EQ(refused.Status, 1) << refused.Out;
    EXPECT_EQ(aamLevel(), before);
    AtaCommand sector = AtaCommand::ReadSectors(0, 0);
    EXPECT_FALSE(SendOnce(*helper, 0, sector));
    EXPECT_EQ(Call(0, AtaCommand::ReadSectors(0, 0)).Error, HelperErrorNotAuthorized);
    const test::CliRun mbr = RunCliAsUser("mbr 1 --json");
    EXPECT_NE(mbr.Status, 0) << mbr.Out;

    Allow({ReadSmart, SetFeaturesAction});
    const test::CliRun setDirect = test::RunCli(drives_.Path(), "aam 2 --set 128 --json");
    const test::CliRun setHelped = RunCliAsUser("aam 2 --set 128 --json");
    EXPECT_EQ(setDirect.Status, 0) << setDirect.Err;
    EXPECT_EQ(setHelped.Status, 0) << setHelped.Err;
    EXPECT_EQ(setHelped.Out, setDirect.Out);
    EXPECT_EQ(aamLevel(), 0x80);
    EXPECT_FALSE(SendOnce(*helper, 0, sector));

    Allow({ReadSmart, ReadSectorsAction});
    sector = AtaCommand::ReadSectors(0, 0);
    ASSERT_TRUE(AtaSucceeded(SendOnce(*helper, 0, sector), sector));
    EXPECT_EQ(sector.Data[510], 0x55);
    EXPECT_EQ(sector.Data[511], 0xAA);
    const test::CliRun direct = test::RunCli(drives_.Path(), "mbr 1 --json");
    const test::CliRun helped = RunCliAsUser("mbr 1 --json");
    EXPECT_EQ(helped.Status, 0) << helped.Err;
    EXPECT_EQ(helped.Out, direct.Out);

    // Without any grant even the scan finds nothing.
    Allow({});
    AtaCommand enable = AtaCommand::SmartEnableOperations(0);
    EXPECT_FALSE(SendOnce(*helper, 0, enable));
    EXPECT_EQ(RunCliAsUser("scan").Status, 1);
}

TEST_F(PrivateSystemBus, TheHelperRefusesWhatIsNotInTheTableAndSurvivesGarbage) {
    Allow({ReadSmart, SetFeaturesAction, ReadSectorsAction});
    ASSERT_TRUE(Call(0, AtaCommand::IdentifyDevice(0)).Ok);
    const uint32_t pid = HelperPid();
    ASSERT_NE(pid, 0u);

    // Forbidden commands and registers.
    EXPECT_EQ(Call(0, Bytes{0, 1, 0, 0, 0, 0x40, 0x30, 0, 0, 0, 0, 0}).Error,
              HelperErrorNotAllowed);
    EXPECT_EQ(Call(0, Bytes{0, 0, 0, 0, 0, 0xA0, 0xF4, 0, 0, 0, 0, 0}).Error,
              HelperErrorNotAllowed);
    EXPECT_EQ(Call(0, Bytes{0xD4, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0, 0, 0, 0}).Error,
              HelperErrorNotAllowed);
    EXPECT_EQ(Call(0, Bytes{0x02, 0, 0, 0, 0, 0xA0, 0xEF, 0, 0, 0, 0, 0}).Error,
              HelperErrorNotAllowed);
    EXPECT_EQ(Call(0, Bytes{0, 2, 0, 0, 0, 0x40, 0x20, 0, 0, 0, 0, 0}).Error,
              HelperErrorNotAllowed);
    // Wrong lengths and drive numbers.
    for (size_t size : {0u, 1u, 11u, 13u, 512u, 65536u})
        EXPECT_EQ(Call(0, Bytes(size, 0xEC)).Error, HelperErrorNotAllowed) << size;
    for (uint32_t drive : {16u, 255u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(Call(drive, AtaCommand::IdentifyDevice(drive)).Error, HelperErrorNotAllowed)
            << drive;
    // Arguments of the wrong types.
    const std::string invalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
    EXPECT_EQ(CallWith(""), invalidArgs);
    EXPECT_EQ(CallWith("s", "identify"), invalidArgs);
    EXPECT_EQ(CallWith("u", 0u), invalidArgs);
    EXPECT_EQ(CallWith("ayu", 0, 0u), invalidArgs);
    EXPECT_EQ(CallWith("uayu", 0u, 0, 1u), invalidArgs);
    EXPECT_EQ(CallWith("iay", -1, 0), invalidArgs);

    // A drive the helper cannot open is a failed command, as directly.
    const Reply absent = Call(9, AtaCommand::IdentifyDevice(9));
    EXPECT_EQ(absent.Error, "");
    EXPECT_FALSE(absent.Ok);
    EXPECT_TRUE(absent.Data.empty());

    // Still the same helper, still answering.
    EXPECT_EQ(HelperPid(), pid);
    const Reply status = Call(1, AtaCommand::SmartReturnStatus(1));
    ASSERT_TRUE(status.Ok);
    EXPECT_EQ(status.Registers[3], SmartExceededMid);
    EXPECT_EQ(status.Registers[4], SmartExceededHigh);
    EXPECT_TRUE(status.Data.empty());
}

TEST_F(PrivateSystemBus, TheHelperEndsWhenIdleAndTheNextCallStartsItAgain) {
    Allow({ReadSmart});
    ASSERT_TRUE(Call(0, AtaCommand::IdentifyDevice(0)).Ok);
    const uint32_t first = HelperPid();
    ASSERT_NE(first, 0u);
    // The test's activation file starts it with a 3 s idle time.
    EXPECT_TRUE(WaitFor([&] { return !HasOwner(HelperBusName); }, 30s));
    ASSERT_TRUE(Call(0, AtaCommand::IdentifyDevice(0)).Ok);
    const uint32_t second = HelperPid();
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
}

TEST_F(PrivateSystemBus, AHelperThatCannotStartLeavesTheDirectPath) {
    WriteServiceFile("/bin/false");
    Allow({ReadSmart});
    EXPECT_FALSE(HelperBus::Find());
    const test::CliRun scan = RunCliAsUser("scan");
    EXPECT_EQ(scan.Status, 1);
    EXPECT_EQ(scan.Err.find("using"), std::string::npos) << scan.Err;
    EXPECT_NE(scan.Err.find("S.M.A.R.T. HDD(s) not found!"), std::string::npos) << scan.Err;
}

TEST_F(PrivateSystemBus, OnlyRootMayOwnTheHelpersName) {
    const fs::path errFile = dir_ / "helper-stderr";
    const std::string command =
        std::string("/usr/bin/setpriv --reuid=") + Nobody + " --regid=" + Nobody +
        " --clear-groups /usr/bin/env -i DBUS_SYSTEM_BUS_ADDRESS=" + address_ + " '" +
        (dir_ / "quorvane-helper").string() + "' 2>'" + errFile.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadText(errFile).rfind("quorvane-helper: cannot own org.quorvane.Helper1: ", 0), 0u)
        << ReadText(errFile);
    EXPECT_FALSE(HasOwner(HelperBusName));
}

// A caller waiting for polkit (for an administrator's password, say) holds
// up no other caller; it may have only a few requests waiting at once, and
// those are carried when polkit answers.
TEST_F(PrivateSystemBus, ACallerWaitingForPolkitHoldsUpNoOtherCaller) {
    Allow({ReadSmart, SetFeaturesAction});
    HoldChecksOf({SetFeaturesAction});
    const int before = AamLevel(); // also starts the helper
    ASSERT_GE(before, 0);
    ASSERT_NE(before, 0x80);
    const uint32_t pid = HelperPid();

    Caller a, b;
    ASSERT_TRUE(a.Connected() && b.Connected());
    for (int i = 0; i < 5; ++i)
        a.Send(1, AtaCommand::SetFeatures(1, 0x42, 0x80));
    // Four wait for polkit; the fifth is turned away at once.
    EXPECT_TRUE(a.WaitForAnswers(1, 10s)) << "no answer to caller A while its checks are held";
    b.Send(0, AtaCommand::IdentifyDevice(0));
    const bool bAnswered = b.WaitForAnswers(1, 20s);
    EXPECT_TRUE(bAnswered) << "caller B was not answered while caller A waited for polkit";
    ASSERT_EQ(a.Answers().size(), 1u);
    EXPECT_EQ(a.Answers()[0].Call, 4u);
    EXPECT_EQ(a.Answers()[0].Error, HelperErrorBusy);
    ASSERT_TRUE(bAnswered);
    EXPECT_EQ(b.Answers()[0].Error, "");
    EXPECT_TRUE(b.Answers()[0].Ok);
    std::cout << "caller A's fifth request: " << a.Answers()[0].Error << " after "
              << a.Answers()[0].After.count() << " ms; caller B answered in "
              << b.Answers()[0].After.count() << " ms while A's four checks were held\n";

    // Waiting checks keep the helper from ending for idleness (3 s here).
    std::this_thread::sleep_for(4s);
    EXPECT_EQ(HelperPid(), pid);
    ReleaseHeldChecks();
    ASSERT_TRUE(a.WaitForAnswers(5, 20s));
    std::vector<size_t> carried;
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(a.Answers()[i].Error, "") << i;
        EXPECT_TRUE(a.Answers()[i].Ok) << i;
        carried.push_back(a.Answers()[i].Call);
    }
    std::sort(carried.begin(), carried.end());
    EXPECT_EQ(carried, (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_EQ(AamLevel(), 0x80);
}

// A check polkit does not answer in time is withdrawn from polkit by the
// cancellation id it was given, and refused; polkit's late answer carries
// nothing.
TEST_F(PrivateSystemBus, ACheckPolkitDoesNotAnswerInTimeIsCancelled) {
    WriteServiceFile(std::string(QUORVANE_HELPER) + " --idle-exit 3 --polkit-timeout 2");
    AddCancelCheckAuthorization();
    Allow({ReadSmart, SetFeaturesAction});
    HoldChecksOf({SetFeaturesAction});
    const int before = AamLevel();
    ASSERT_GE(before, 0);
    ASSERT_NE(before, 0x80);

    const auto start = std::chrono::steady_clock::now();
    const Reply held = Call(1, AtaCommand::SetFeatures(1, 0x42, 0x80));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_EQ(held.Error, HelperErrorNotAuthorized);
    std::cout << "held check answered " << held.Error << " after " << took.count() << " ms\n";

    ASSERT_TRUE(WaitFor(
        [&] { return PolkitLog().find("CancelCheckAuthorization") != std::string::npos; }, 10s))
        << PolkitLog();
    // The log has a line per call: "TIME METHOD ARGS", a check's last
    // argument being its cancellation id.
    std::istringstream log(PolkitLog());
    std::string id;
    for (std::string line; std::getline(log, line);)
        if (line.find(" CheckAuthorization ") != std::string::npos &&
            line.find(SetFeaturesAction) != std::string::npos && line.back() == '"')
            id = line.substr(line.rfind('"', line.size() - 2));
    EXPECT_GT(id.size(), 2u) << PolkitLog();
    EXPECT_NE(PolkitLog().find(" CancelCheckAuthorization " + id + "\n"), std::string::npos)
        << id << "\n"
        << PolkitLog();

    ReleaseHeldChecks();
    EXPECT_EQ(AamLevel(), before);
}

} // namespace
} // namespace quorvane

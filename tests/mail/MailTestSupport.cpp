#include "MailTestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// Every scripted session ends within this time, whatever the client does.
constexpr auto SessionBound = seconds(20);

std::uint16_t BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int BindLoopback() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return fd;
}

void SendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t sent = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        done += static_cast<size_t>(sent);
    }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Sends a scripted answer; false (connection closed) when it ends in CloseConnection.
bool SendReply(int client, const std::string& reply) {
    const bool closing = reply.size() >= CloseConnection.size() &&
                         reply.compare(reply.size() - CloseConnection.size(),
                                       CloseConnection.size(), CloseConnection) == 0;
    SendAll(client, closing ? reply.substr(0, reply.size() - CloseConnection.size()) : reply);
    if (closing)
        close(client);
    return !closing;
}

} // namespace

std::string WillingReply(const std::string& command) {
    if (StartsWith(command, "EHLO"))
        return "250-scripted.test greets you\r\n250 8BITMIME\r\n";
    if (StartsWith(command, "HELO"))
        return "250 scripted.test\r\n";
    if (command == "DATA")
        return "354 End data with <CR><LF>.<CR><LF>\r\n";
    if (command == ".")
        return "250 Queued\r\n";
    if (command == "QUIT")
        return "221 Bye\r\n";
    if (command == "RSET" || StartsWith(command, "MAIL FROM:") || StartsWith(command, "RCPT TO:"))
        return "250 OK\r\n";
    return "500 Unrecognised command\r\n";
}

ScriptedServer::ScriptedServer(std::string greeting, Responder respond)
    : greeting_(std::move(greeting)), respond_(std::move(respond)) {
    listener_ = BindLoopback();
    if (listener_ >= 0 && listen(listener_, 1) == 0)
        port_ = BoundPort(listener_);
    thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        close(listener_);
}

void ScriptedServer::WaitUntilDone() {
    if (thread_.joinable())
        thread_.join();
}

std::vector<std::string> ScriptedServer::Commands() {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string ScriptedServer::Data() {
    std::lock_guard lock(mutex_);
    return data_;
}

bool ScriptedServer::ClientClosed() {
    std::lock_guard lock(mutex_);
    return clientClosed_;
}

void ScriptedServer::Run() {
    if (port_ == 0)
        return;
    const auto deadline = Clock::now() + SessionBound;
    int client = -1;
    while (client < 0 && !stop_ && Clock::now() < deadline) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) > 0)
            client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0)
        return;
    if (!SendReply(client, greeting_))
        return;
    std::string buffer;
    bool inData = false;
    while (!stop_ && Clock::now() < deadline) {
        pollfd entry{client, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0)
            continue;
        char chunk[4096];
        const ssize_t got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) {
            std::lock_guard lock(mutex_);
            // A reset counts too: the client closes without reading the QUIT answer.
            clientClosed_ = got == 0 || errno == ECONNRESET;
            break;
        }
        buffer.append(chunk, static_cast<size_t>(got));
        size_t end;
        while ((end = buffer.find("\r\n")) != std::string::npos) {
            const std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            {
                std::lock_guard lock(mutex_);
                if (inData)
                    data_ += line + "\r\n";
                if (!inData || line == ".")
                    commands_.push_back(line);
            }
            if (inData && line != ".")
                continue;
            inData = false;
            const std::string reply = respond_(line);
            if (!SendReply(client, reply))
                return;
            inData = line == "DATA" && StartsWith(reply, "354");
        }
    }
    close(client);
}

StreamingServer::StreamingServer(std::string greeting, std::string piece,
                                 std::chrono::milliseconds pause)
    : greeting_(std::move(greeting)), piece_(std::move(piece)), pause_(pause) {
    listener_ = BindLoopback();
    if (listener_ >= 0 && listen(listener_, 1) == 0)
        port_ = BoundPort(listener_);
    thread_ = std::thread([this] { Run(); });
}

StreamingServer::~StreamingServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        close(listener_);
}

void StreamingServer::Run() {
    if (port_ == 0)
        return;
    const auto deadline = Clock::now() + SessionBound;
    int client = -1;
    while (client < 0 && !stop_ && Clock::now() < deadline) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) > 0)
            client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0)
        return;
    std::string pending = greeting_ + piece_;
    while (!stop_ && Clock::now() < deadline) {
        pollfd entry{client, POLLOUT, 0};
        if (poll(&entry, 1, 50) <= 0)
            continue;
        if (entry.revents & (POLLERR | POLLHUP))
            break;
        const ssize_t sent =
            send(client, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break; // the client has gone
        if (sent > 0)
            pending.erase(0, static_cast<size_t>(sent));
        if (pending.empty()) {
            if (pause_.count() > 0)
                std::this_thread::sleep_for(pause_);
            pending = piece_;
        }
    }
    close(client);
}

RefusingPort::RefusingPort() {
    fd_ = BindLoopback();
    if (fd_ >= 0)
        port_ = BoundPort(fd_);
}

RefusingPort::~RefusingPort() {
    if (fd_ >= 0)
        close(fd_);
}

StalledListener::StalledListener() {
    listener_ = BindLoopback();
    if (listener_ < 0 || listen(listener_, 0) != 0)
        return;
    port_ = BoundPort(listener_);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    // One completed connection fills a queue of length 0; the kernel then
    // drops further connection requests instead of answering them.
    for (int i = 0; i < 2; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers_.push_back(filler);
    }
    // Let the first one settle in the queue before the client under test tries.
    pollfd entry{fillers_[0], POLLOUT, 0};
    poll(&entry, 1, 2000);
}

StalledListener::~StalledListener() {
    for (const int filler : fillers_)
        close(filler);
    if (listener_ >= 0)
        close(listener_);
}

TestCertificates::TestCertificates() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quorvane-certs-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = "cannot create a temporary directory";
        return;
    }
    directory_ = pattern;
    // P-256 keys: quick to make. Valid from now for two days.
    const std::string script = R"(set -e
cd "$1"
key="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
openssl req -x509 $key -keyout ca.key -out ca.pem -days 2 -subj "/CN=Quorvane Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
leaf() {
  openssl req $key -keyout "$1.key" -out "$1.csr" -subj "/CN=$2"
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile "$1.ext" -out "$1.pem"
}
leaf localhost localhost "DNS:localhost,IP:127.0.0.1"
leaf other other.test "DNS:other.test"
openssl req -x509 $key -keyout self.key -out self.pem -days 2 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
)";
    const RunResult made = RunProgram({"/bin/sh", "-c", script, "sh", directory_});
    made_ = made.ExitStatus == 0;
    if (!made_)
        error_ = "openssl could not make the test certificates: " + made.Error;
}

TestCertificates::~TestCertificates() {
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates certificates;
    return certificates;
}

SinkServer::SinkServer(std::optional<std::pair<std::string, std::string>> login)
    : SinkServer(SinkOptions{std::move(login)}) {}

SinkServer::SinkServer(const SinkOptions& options) {
    const auto& login = options.Login;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quorvane-sink-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        startError_ = "cannot create a temporary directory";
        return;
    }
    directory_ = pattern;
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     QUORVANE_SOURCE_DIR "/tests/mail/smtp_sink.py", directory_};
    if (login)
        argv.insert(argv.end(), {"--auth-login", login->first, login->second});
    if (options.PlainOnly)
        argv.emplace_back("--plain-only");
    if (options.Mode != SinkOptions::Tls::None) {
        const auto& certificates = TestCertificates::Get();
        if (!certificates.Made()) {
            startError_ = certificates.Error();
            return;
        }
        argv.emplace_back(options.Mode == SinkOptions::Tls::StartTls ? "--starttls"
                                                                     : "--implicit-tls");
        argv.insert(argv.end(), {"--cert", certificates.Cert(options.Certificate), "--key",
                                 certificates.Key(options.Certificate)});
        if (options.OnlyTls11)
            argv.insert(argv.end(), {"--max-tls", "1.1"});
    }
    std::vector<char*> args;
    for (auto& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        startError_ = "pipe failed";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    // The sink prints its port once it listens.
    std::string line;
    const auto deadline = Clock::now() + seconds(30);
    while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd entry{out[0], POLLIN, 0};
        if (poll(&entry, 1, 100) <= 0)
            continue;
        char chunk[64];
        const ssize_t got = read(out[0], chunk, sizeof chunk);
        if (got <= 0)
            break;
        line.append(chunk, static_cast<size_t>(got));
    }
    close(out[0]);
    const int port = std::atoi(line.c_str());
    if (port > 0 && port < 65536)
        port_ = static_cast<std::uint16_t>(port);
    else
        startError_ = "the aiosmtpd sink did not start (is python3-aiosmtpd installed?)";
}

SinkServer::~SinkServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

int SinkServer::Count() const {
    int count = 0;
    while (std::filesystem::is_directory(std::filesystem::path(directory_) /
                                         std::to_string(count + 1)))
        ++count;
    return count;
}

std::map<std::string, std::string> SinkServer::Message(int n,
                                                       std::chrono::milliseconds wait) const {
    return Files(std::to_string(n), wait);
}

std::string SinkServer::ServerNames() const {
    return ReadFileBytes(directory_ + "/server-names");
}

std::map<std::string, std::string> SinkServer::Session(int n,
                                                       std::chrono::milliseconds wait) const {
    return Files("session-" + std::to_string(n), wait);
}

std::map<std::string, std::string> SinkServer::Files(const std::string& name,
                                                     std::chrono::milliseconds wait) const {
    std::map<std::string, std::string> files;
    const std::filesystem::path dir = std::filesystem::path(directory_) / name;
    const auto deadline = Clock::now() + wait;
    while (!std::filesystem::is_directory(dir) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
        files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    return files;
}

RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> argStore = argv;
    std::vector<char*> args;
    for (auto& arg : argStore)
        args.push_back(arg.data());
    args.push_back(nullptr);
    std::vector<std::string> envStore = extraEnvironment;
    for (char** variable = environ; *variable != nullptr; ++variable)
        envStore.emplace_back(*variable);
    std::vector<char*> env;
    for (auto& variable : envStore)
        env.push_back(variable.data());
    env.push_back(nullptr);

    RunResult result;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    const auto deadline = Clock::now() + seconds(60);
    pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.Output, &result.Error};
    while ((streams[0].fd >= 0 || streams[1].fd >= 0) && Clock::now() < deadline) {
        if (poll(streams, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t got = read(streams[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                texts[i]->append(chunk, static_cast<size_t>(got));
            } else {
                close(streams[i].fd);
                streams[i].fd = -1; // poll skips negative descriptors
            }
        }
    }
    for (const auto& stream : streams) {
        if (stream.fd >= 0)
            close(stream.fd);
    }
    if (Clock::now() >= deadline)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace quorvane::test

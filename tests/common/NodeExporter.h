// A real node_exporter with only its textfile collector, started by a test on
// a free loopback port, and a scrape of its /metrics page.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvane::test {

inline constexpr const char* NodeExporterProgram = "/usr/bin/prometheus-node-exporter";

// A port nobody listens on right now.
inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// GET path from 127.0.0.1:port; the body, or empty when nothing answered.
inline std::string HttpGet(int port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string request =
            "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char buffer[8192];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                reply.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    const size_t body = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.", 0) != 0 || reply.find(" 200 ") == std::string::npos ||
        body == std::string::npos)
        return {};
    return reply.substr(body + 4);
}

class NodeExporter {
public:
    // Serves the *.prom files of directory; Port() is 0 when it did not start.
    explicit NodeExporter(const std::string& directory) {
        for (int attempt = 0; attempt < 3 && port_ == 0; ++attempt) {
            const int port = FreeLoopbackPort();
            std::vector<std::string> argv = {
                NodeExporterProgram,
                "--web.listen-address=127.0.0.1:" + std::to_string(port),
                "--collector.disable-defaults",
                "--collector.textfile",
                "--collector.textfile.directory=" + directory,
                "--log.level=error",
            };
            std::vector<char*> args;
            for (auto& arg : argv)
                args.push_back(arg.data());
            args.push_back(nullptr);
            pid_ = ::fork();
            if (pid_ == 0) {
                ::execv(args[0], args.data());
                ::_exit(127);
            }
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
            while (std::chrono::steady_clock::now() < deadline) {
                if (!HttpGet(port, "/metrics").empty()) {
                    port_ = port;
                    break;
                }
                if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    pid_ = -1; // exited: the port was taken meanwhile, or it cannot run
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (port_ == 0)
                Stop();
        }
    }
    ~NodeExporter() { Stop(); }
    NodeExporter(const NodeExporter&) = delete;
    NodeExporter& operator=(const NodeExporter&) = delete;

    int Port() const { return port_; }
    std::string Scrape() const { return port_ ? HttpGet(port_, "/metrics") : std::string(); }

private:
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace quorvane::test

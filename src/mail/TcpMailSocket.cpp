#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

#include "mail/MailSocket.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;

std::string ErrnoText(int number) {
    return SocketErrorText(number, std::system_category().message(number) + ".");
}

std::string ResolverText(int code) {
    switch (code) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_FAIL:
        return SocketErrorText(code, "Host not found.");
    case EAI_SYSTEM:
        return ErrnoText(errno);
    default:
        return SocketErrorText(code, std::string(gai_strerror(code)) + ".");
    }
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class TcpMailSocket : public MailSocket {
public:
    ~TcpMailSocket() override { Close(); }

    SocketResult Open(const std::string& host, std::uint16_t port, int timeoutMs) override {
        Close();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int code = getaddrinfo(host.c_str(), nullptr, &hints, &found);
            if (code != 0)
                return SocketResult::Failure(ResolverText(code));
            address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
            freeaddrinfo(found);
        }

        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return SocketResult::Failure(ErrnoText(errno));
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (errno != EINPROGRESS)
                return FailAndClose(ErrnoText(errno));
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            const int ready = WaitFor(POLLOUT, deadline);
            if (ready < 0)
                return FailAndClose(ErrnoText(errno));
            if (ready == 0)
                return FailAndClose("Connect timed out.");
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error != 0)
                return FailAndClose(ErrnoText(error));
        }
        return {};
    }

    bool IsOpen() const override { return fd_ >= 0; }

    SocketResult Write(std::string_view data, int timeoutMs) override {
        if (fd_ < 0)
            return SocketResult::Failure(ErrnoText(ENOTCONN));
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!data.empty()) {
            const ssize_t sent = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                data.remove_prefix(static_cast<size_t>(sent));
                continue;
            }
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return SocketResult::Failure(ErrnoText(errno));
            const int ready = WaitFor(POLLOUT, deadline);
            if (ready < 0)
                return SocketResult::Failure(ErrnoText(errno));
            if (ready == 0)
                return SocketResult::Failure(ErrnoText(ETIMEDOUT));
        }
        return {};
    }

    SocketResult Read(std::string& buffer, int timeoutMs) override {
        if (fd_ < 0)
            return SocketResult::Failure(ErrnoText(ENOTCONN));
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            char chunk[4096];
            const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
            if (got > 0) {
                buffer.append(chunk, static_cast<size_t>(got));
                return {};
            }
            if (got == 0)
                return {true, true, {}};
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return SocketResult::Failure(ErrnoText(errno));
            const int ready = WaitFor(POLLIN, deadline);
            if (ready < 0)
                return SocketResult::Failure(ErrnoText(errno));
            if (ready == 0)
                return SocketResult::Failure(ErrnoText(ETIMEDOUT));
        }
    }

    void Close() override {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    // 1 when the socket is ready, 0 at the deadline, -1 on an error (errno set).
    int WaitFor(short events, Clock::time_point deadline) {
        for (;;) {
            pollfd entry{fd_, events, 0};
            const int ready = poll(&entry, 1, RemainingMs(deadline));
            if (ready >= 0 || errno != EINTR)
                return ready > 0 ? 1 : ready;
        }
    }

    SocketResult FailAndClose(std::string text) {
        Close();
        return SocketResult::Failure(std::move(text));
    }

    int fd_ = -1;
};

} // namespace

std::string SocketErrorText(int number, const std::string& text) {
    return "Socket Error # " + std::to_string(number) + "\r\n" + text;
}

std::unique_ptr<MailSocket> MakeTcpMailSocket() {
    return std::make_unique<TcpMailSocket>();
}

} // namespace quorvane

// smtp-sink PORT DIR: a plain SMTP server on 127.0.0.1:PORT that takes every
// message and writes it to DIR/mail-N.txt (N = 1, 2, ...), the envelope lines
// ("MAIL FROM:...", "RCPT TO:...") first, then the data up to the "." line.
// It returns once it listens and serves from a child in the background until
// it is killed (the guest powers off after its steps) or 10 minutes pass.
//
// Linked statically for the QEMU guest, which has only busybox. It offers no
// STARTTLS and no AUTH, so a client set to plain SMTP talks to it as to a
// willing relay. A message file appears whole (written aside, then renamed).
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Send(const std::string& text) {
        for (size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(fd_, text.data() + at, text.size() - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            at += static_cast<size_t>(n);
        }
        return true;
    }

    // One line without its CR LF; false at the end of the stream.
    bool ReadLine(std::string& line) {
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return true;
            }
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

bool StartsWith(const std::string& line, const char* word) {
    return strncasecmp(line.c_str(), word, std::strlen(word)) == 0;
}

bool Store(const std::string& dir, int number, const std::string& text) {
    const std::string path = dir + "/mail-" + std::to_string(number) + ".txt";
    const std::string aside = path + ".part";
    FILE* f = std::fopen(aside.c_str(), "w");
    if (!f)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written && std::rename(aside.c_str(), path.c_str()) == 0;
}

// One SMTP session; the message count goes up for every message stored.
void Serve(Connection& c, const std::string& dir, int& stored) {
    if (!c.Send("220 smtp-sink ready\r\n"))
        return;
    std::string envelope, line;
    while (c.ReadLine(line)) {
        std::string answer;
        if (StartsWith(line, "EHLO") || StartsWith(line, "HELO")) {
            answer = "250 smtp-sink\r\n";
        } else if (StartsWith(line, "MAIL") || StartsWith(line, "RCPT")) {
            envelope += line + "\n";
            answer = "250 OK\r\n";
        } else if (StartsWith(line, "RSET")) {
            envelope.clear();
            answer = "250 OK\r\n";
        } else if (StartsWith(line, "NOOP")) {
            answer = "250 OK\r\n";
        } else if (StartsWith(line, "DATA")) {
            if (!c.Send("354 end with <CR><LF>.<CR><LF>\r\n"))
                return;
            std::string text = envelope + "\n";
            while (c.ReadLine(line) && line != ".")
                text += line + "\n";
            if (line != ".")
                return;
            envelope.clear();
            answer = Store(dir, stored + 1, text) ? (++stored, "250 queued\r\n")
                                                  : "451 cannot store the message\r\n";
        } else if (StartsWith(line, "QUIT")) {
            c.Send("221 bye\r\n");
            return;
        } else {
            answer = "502 not implemented\r\n";
        }
        if (!c.Send(answer))
            return;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[1]) <= 0 || std::atoi(argv[1]) > 65535) {
        std::fprintf(stderr, "usage: smtp-sink PORT DIR\n");
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0) {
        std::fprintf(stderr, "smtp-sink: 127.0.0.1:%s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("smtp-sink: fork");
        return 1;
    }
    if (child > 0)
        return 0; // listening: a client may connect from now on
    // The child must not hold the caller's output open, or whoever waits for
    // that output to end waits for the sink.
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::setsid();
    ::alarm(600);
    std::signal(SIGPIPE, SIG_IGN);
    int stored = 0;
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        Connection c(fd);
        Serve(c, argv[2], stored);
    }
}

// Servers and fixtures for the SMTP client tests; loopback only, every wait bounded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "platform/LocalClock.h"

namespace quorvane::test {

// A clock and locale that never change; dates in the C formats.
class FixedClock : public LocalClock {
public:
    FixedClock(LocalDateTime now, std::string locale) : now_(now), locale_(std::move(locale)) {}
    LocalDateTime Now() const override { return now_; }
    std::string ShortDate(const LocalDateTime& m) const override { return c_.ShortDate(m); }
    std::string LongTime(const LocalDateTime& m) const override { return c_.LongTime(m); }
    std::string LocaleName() const override { return locale_; }

private:
    LocalDateTime now_;
    std::string locale_;
    SystemLocalClock c_{"C"};
};

// What a scripted server answers to one command line (CR LF removed). The
// answer is sent as it is, so it carries its own CR LFs; an empty answer sends
// nothing. An answer (or greeting) ending in CloseConnection closes the
// connection after sending what stands before it.
using Responder = std::function<std::string(const std::string& command)>;
inline const std::string CloseConnection = "<close>";

// The answers of a plain, willing server without AUTH.
std::string WillingReply(const std::string& command);

// A one-connection SMTP server on a loopback thread that sends a greeting,
// answers each command through a responder and records what it received.
// After a 354 answer to DATA it takes the message up to the "." line.
class ScriptedServer {
public:
    ScriptedServer(std::string greeting, Responder respond);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Waits (bounded) until the client has closed the connection or the
    // server has closed it, then tells what was received.
    void WaitUntilDone();
    std::vector<std::string> Commands();
    // The message bytes after DATA's 354, up to and including the "." line.
    std::string Data();
    bool ClientClosed();

private:
    void Run();

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::string greeting_;
    Responder respond_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string data_;
    bool clientClosed_ = false;
};

// A one-connection server that sends a greeting and then the same piece
// again and again, `pause` apart, until the client closes the connection.
class StreamingServer {
public:
    StreamingServer(std::string greeting, std::string piece, std::chrono::milliseconds pause);
    ~StreamingServer();
    StreamingServer(const StreamingServer&) = delete;
    StreamingServer& operator=(const StreamingServer&) = delete;

    std::uint16_t Port() const { return port_; }

private:
    void Run();

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::string greeting_;
    std::string piece_;
    std::chrono::milliseconds pause_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// A loopback port on which nothing listens: bound, never listening, kept
// until destroyed so that no one else takes it.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    std::uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A loopback listener whose accept queue is full, so that a further
// connection attempt is never completed.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    std::uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    std::vector<int> fillers_;
    std::uint16_t port_ = 0;
};

// A test CA and server certificates made by the openssl command in a fresh
// temporary directory, once per test program: "localhost" (for localhost and
// 127.0.0.1) and "other" (for other.test) signed by the CA, "self" a
// self-signed one for localhost and 127.0.0.1. Each has NAME.pem and NAME.key.
class TestCertificates {
public:
    static const TestCertificates& Get();
    bool Made() const { return made_; }
    const std::string& Error() const { return error_; }
    std::string CaFile() const { return directory_ + "/ca.pem"; }
    std::string Cert(const std::string& name) const { return directory_ + "/" + name + ".pem"; }
    std::string Key(const std::string& name) const { return directory_ + "/" + name + ".key"; }
    ~TestCertificates();

private:
    TestCertificates();
    std::string directory_;
    bool made_ = false;
    std::string error_;
};

struct SinkOptions {
    // With credentials, AUTH is offered (LOGIN and PLAIN, or PLAIN alone) and required.
    std::optional<std::pair<std::string, std::string>> Login;
    bool PlainOnly = false;
    enum class Tls { None, StartTls, Implicit } Mode = Tls::None;
    std::string Certificate = "localhost"; // a TestCertificates name
    bool OnlyTls11 = false;                // the server speaks TLS 1.0 and 1.1 only
};

// The aiosmtpd sink (tests/mail/smtp_sink.py) under Debian's python3, on a
// free loopback port, storing messages in a fresh temporary directory.
class SinkServer {
public:
    // With credentials, AUTH LOGIN is offered and required.
    explicit SinkServer(std::optional<std::pair<std::string, std::string>> login = {});
    explicit SinkServer(const SinkOptions& options);
    ~SinkServer();
    SinkServer(const SinkServer&) = delete;
    SinkServer& operator=(const SinkServer&) = delete;

    bool Running() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    const std::string& StartError() const { return startError_; }
    // The stored files of message number n (1, 2, ...): name -> bytes. Empty
    // when it has not arrived within a few seconds.
    std::map<std::string, std::string>
    Message(int n, std::chrono::milliseconds wait = std::chrono::seconds(10)) const;
    // What the server received on its connection number n (1, 2, ...) once
    // it ended: "clear" and "secure" -> bytes. Empty when it has not ended
    // within a few seconds.
    std::map<std::string, std::string>
    Session(int n, std::chrono::milliseconds wait = std::chrono::seconds(10)) const;
    // The server names the TLS handshakes so far were sent, one a line,
    // "(none)" for a handshake without.
    std::string ServerNames() const;
    // How many messages are stored at this moment (no waiting).
    int Count() const;

private:
    std::map<std::string, std::string> Files(const std::string& name,
                                             std::chrono::milliseconds wait) const;

    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string directory_;
    std::string startError_;
};

// Runs a program with arguments and extra environment; returns its exit
// status, standard output and standard error. Ends it if it takes longer than 60 s.
struct RunResult {
    int ExitStatus = -1;
    std::string Output;
    std::string Error;
};
RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extraEnvironment = {});

std::string ReadFileBytes(const std::string& path);

} // namespace quorvane::test

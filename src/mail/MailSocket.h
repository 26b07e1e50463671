// The connection an SMTP session runs over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane {

struct SocketResult {
    bool Ok = true;
    bool PeerClosed = false; // Read only: the server closed its side, nothing came
    std::string Error;       // the failure's text when !Ok

    static SocketResult Failure(std::string text) { return {false, false, std::move(text)}; }
};

class MailSocket {
public:
    virtual ~MailSocket() = default;
    // Resolves host (a name or dotted IPv4 address) to an IPv4 address and
    // connects within timeoutMs. A failure leaves the socket closed, with
    // "Connect timed out." or "Socket Error # <number>" CR LF <text>.
    virtual SocketResult Open(const std::string& host, std::uint16_t port, int timeoutMs) = 0;
    virtual bool IsOpen() const = 0;
    // Sends all of data, waiting at most timeoutMs for the peer to take it.
    virtual SocketResult Write(std::string_view data, int timeoutMs) = 0;
    // Appends what has arrived to buffer, waiting at most timeoutMs for it.
    virtual SocketResult Read(std::string& buffer, int timeoutMs) = 0;
    // Closing a closed socket does nothing.
    virtual void Close() = 0;
};

// TCP over the POSIX socket interface, non-blocking with poll for every wait.
std::unique_ptr<MailSocket> MakeTcpMailSocket();

// The text of a socket error: "Socket Error # <number>" CR LF <text>.
std::string SocketErrorText(int number, const std::string& text);

} // namespace quorvane

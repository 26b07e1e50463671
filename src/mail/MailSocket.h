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

// Whom a TLS handshake expects at the other end.
struct TlsPeer {
    // The host the user typed: sent as the server name (a host name only) and
    // checked against the certificate's names (or its IP addresses).
    std::string Host;
    // A PEM file of further trust anchors, besides the system's; may be empty.
    std::string CaFile;
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
    // Turns the open connection into a TLS connection: the handshake (TLS
    // 1.2 at least) within timeoutMs, the certificate chain checked against
    // the trust store and the name against peer.Host. Reads and writes go
    // through TLS from then on, with their time-outs as before. A failure
    // leaves a connection fit only for Close.
    virtual SocketResult StartTls(const TlsPeer& peer, int timeoutMs) {
        (void)peer;
        (void)timeoutMs;
        return SocketResult::Failure("TLS is not available on this connection.");
    }
    // True between a successful StartTls and Close.
    virtual bool Encrypted() const { return false; }
};

// TCP over the POSIX socket interface, non-blocking with poll for every wait.
std::unique_ptr<MailSocket> MakeTcpMailSocket();

// TLS (OpenSSL) over another socket, which carries the encrypted bytes and
// keeps its time-outs. Until StartTls it passes everything through as it is.
// The system's trust store is OpenSSL's default one, so SSL_CERT_FILE and
// SSL_CERT_DIR choose another.
std::unique_ptr<MailSocket> MakeTlsMailSocket(std::unique_ptr<MailSocket> inner);

// The text of a socket error: "Socket Error # <number>" CR LF <text>.
std::string SocketErrorText(int number, const std::string& text);

} // namespace quorvane

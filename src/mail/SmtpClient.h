// The SMTP client that carries one report to the mail server: connect,
// optionally AUTH LOGIN, send, disconnect. One session at a time, all calls
// blocking, every wait bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/MailMessage.h"
#include "mail/MailSocket.h"
#include "platform/LocalClock.h"
#include "app/Settings.h"

namespace quorvane {

inline constexpr int DefaultSmtpReadTimeoutMs = 60000;
inline constexpr size_t MaxSmtpReplyLine = 16384;
// One reply may hold at most this many lines (empty ones included) and bytes
// (line ends included); a server that streams continuation lines for ever
// fails the step instead of filling the memory.
inline constexpr size_t MaxSmtpReplyLines = 512;
inline constexpr size_t MaxSmtpReplyBytes = 64 * 1024;

// How the session is protected is the settings' SMTPSecurityMode: Auto
// speaks TLS from the first byte on port 465, else STARTTLS when the server
// offers it, else plain, but never with the login switch on: credentials
// go over TLS or not at all. None is plain throughout, the password in
// clear included; StartTLS needs the server's STARTTLS; TLS speaks it from
// the first byte.
inline constexpr std::uint16_t ImplicitTlsPort = 465;

// Why Auto ended a session with the login switch on: the server (or someone
// between) left STARTTLS out.
inline constexpr const char* PasswordWithheldText =
    "The server offered no STARTTLS: the password is not sent unencrypted.";

// What the security choices do, for the SMTP window's security combo.
inline constexpr const char* SmtpSecurityHint =
    "How the connection to the server is protected.\n"
    "Auto: SSL/TLS on port 465, else STARTTLS when the server offers it.\n"
    "Without STARTTLS, Auto never sends the password: with Authentication\n"
    "on the report fails, with it off the report goes out unencrypted.\n"
    "None: no encryption; the password goes out unencrypted.\n"
    "STARTTLS, SSL/TLS: encrypted, or the report fails.";

struct SmtpConfig {
    std::string Host;
    std::uint16_t Port = 25;
    std::string Username;
    std::string Password;
    // The login switch: when on, AUTH LOGIN, or AUTH PLAIN when the server
    // offers PLAIN but not LOGIN; when off, no authentication.
    bool UseLogin = false;
    std::string MailAgent = "Quorvane";
    std::string HeloName; // empty: the computer's host name
    // How long one whole reply (or the sending of one command) may take. A
    // server that goes silent, or keeps a reply going line after line, ends
    // the session with a socket time-out error instead of holding the report
    // worker, and with it the program's exit, for ever.
    int ReadTimeoutMs = DefaultSmtpReadTimeoutMs;
    SMTPSecurityMode Security = SMTPSecurityMode::Auto;
    // A PEM file of trust anchors for the server's certificate besides the
    // system's; empty for the system's alone.
    std::string CaFile;
};

// Why a step failed: the text, and for an unexpected reply its code.
struct SmtpError {
    int ReplyCode = 0;
    std::string Text; // reply lines joined with CR LF, or the socket's text
    // Auto ended the session before AUTH because it was not encrypted.
    bool PasswordWithheld = false;
};

class SmtpClient {
public:
    explicit SmtpClient(std::unique_ptr<MailSocket> socket = MakeTlsMailSocket(MakeTcpMailSocket()),
                        std::unique_ptr<LocalClock> clock = std::make_unique<SystemLocalClock>());
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    SmtpConfig Config;

    // Opens the connection, reads the greeting (220) and introduces the client
    // with EHLO, or HELO when EHLO is not answered with 250. TLS as
    // Config.Security says: from the first byte, or STARTTLS followed by a
    // second EHLO whose answer alone counts. Under Auto with the login switch
    // on, a session left unencrypted fails here (PasswordWithheldText), so
    // neither the password nor the message goes out. On any failure the
    // session is closed again ("QUIT" sent if the connection is open and not
    // left half-way into TLS) and false returned; LastError() says why.
    bool Connect(int timeoutMs);
    bool Connected() const;
    // The SASL mechanisms the EHLO reply offered, upper-case, each once.
    const std::vector<std::string>& AuthSchemes() const { return authSchemes_; }
    bool OffersAuthScheme(std::string_view name) const;
    // Whether Authenticate has a mechanism to use: LOGIN or PLAIN.
    bool OffersAuthentication() const;
    // True while the session runs over TLS.
    bool Encrypted() const;
    // AUTH LOGIN (or AUTH PLAIN, see UseLogin) when the login switch is on;
    // either way the session counts as authenticated afterwards. Only None
    // lets the credentials go over a session without TLS.
    bool Authenticate();
    // RSET, MAIL FROM, RCPT TO for each recipient, DATA, the message, ".".
    // True when the server accepted the message.
    bool Send(const MailMessage& message);
    // Sends "QUIT" without waiting for the answer and closes the connection.
    void Disconnect();

    const SmtpError& LastError() const { return lastError_; }

private:
    struct Reply {
        int Code = 0;
        std::vector<std::string> Lines;
    };

    bool Introduce(); // true when the server offered STARTTLS
    void StartTls();
    void DoAuthenticate();
    void DoSend(const MailMessage& message);
    Reply Command(std::string_view line, std::initializer_list<int> allowed);
    Reply ReadReply();
    // One line of the reply being read; counts it against the reply's bounds.
    struct ReplyBudget {
        std::chrono::steady_clock::time_point Deadline;
        size_t Lines = 0;
        size_t Bytes = 0;
    };
    std::string ReadLine(ReplyBudget& budget);
    void Write(std::string_view data);
    std::string HeloName() const;

    std::unique_ptr<MailSocket> socket_;
    std::unique_ptr<LocalClock> clock_;
    std::string received_; // bytes read but not yet taken as lines
    bool peerClosed_ = false;
    bool noQuit_ = false; // the connection is half-way into TLS: nothing more goes over it
    bool authenticated_ = false;
    std::vector<std::string> authSchemes_;
    SmtpError lastError_;
};

} // namespace quorvane

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

#include "mail/MailLocale.h"
#include "mail/MailMessage.h"
#include "mail/MailSocket.h"

namespace quorvane {

inline constexpr int DefaultSmtpReadTimeoutMs = 60000;
inline constexpr size_t MaxSmtpReplyLine = 16384;
// One reply may hold at most this many lines (empty ones included) and bytes
// (line ends included); a server that streams continuation lines for ever
// fails the step instead of filling the memory.
inline constexpr size_t MaxSmtpReplyLines = 512;
inline constexpr size_t MaxSmtpReplyBytes = 64 * 1024;

struct SmtpSettings {
    std::string Host;
    std::uint16_t Port = 25;
    std::string Username;
    std::string Password;
    bool UseLogin = false; // the login switch: AUTH LOGIN when on, no authentication when off
    std::string MailAgent = "Quorvane";
    std::string HeloName; // empty: the computer's host name
    // How long one whole reply (or the sending of one command) may take. A
    // server that goes silent, or keeps a reply going line after line, ends
    // the session with a socket time-out error instead of holding the report
    // worker, and with it the program's exit, for ever.
    int ReadTimeoutMs = DefaultSmtpReadTimeoutMs;
};

// Why a step failed: the text, and for an unexpected reply its code.
struct SmtpError {
    int ReplyCode = 0;
    std::string Text; // reply lines joined with CR LF, or the socket's text
};

class SmtpClient {
public:
    explicit SmtpClient(std::unique_ptr<MailSocket> socket = MakeTcpMailSocket(),
                        std::unique_ptr<MailLocale> locale = MakeSystemMailLocale());
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    SmtpSettings Settings;

    // Opens the connection, reads the greeting (220) and introduces the client
    // with EHLO, or HELO when EHLO is not answered with 250. On any failure the
    // session is closed again ("QUIT" sent if the connection is open) and
    // false returned; LastError() says why.
    bool Connect(int timeoutMs);
    bool Connected() const;
    // The SASL mechanisms the EHLO reply offered, upper-case, each once.
    const std::vector<std::string>& AuthSchemes() const { return authSchemes_; }
    bool OffersAuthScheme(std::string_view name) const;
    // AUTH LOGIN when the login switch is on; either way the session counts
    // as authenticated afterwards.
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

    void Introduce();
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
    std::unique_ptr<MailLocale> locale_;
    std::string received_; // bytes read but not yet taken as lines
    bool peerClosed_ = false;
    bool authenticated_ = false;
    std::vector<std::string> authSchemes_;
    SmtpError lastError_;
};

} // namespace quorvane

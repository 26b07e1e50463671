#include "mail/SmtpClient.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <unistd.h>

#include "mail/Base64.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;

// A failed step; caught at the edge of each public operation.
struct StepFailure {
    SmtpError Error;
};

[[noreturn]] void Fail(int code, std::string text) {
    throw StepFailure{{code, std::move(text)}};
}

[[noreturn]] void WithholdPassword() {
    throw StepFailure{{0, PasswordWithheldText, true}};
}

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
}

std::string Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

int ReplyCodeOf(std::string_view line) {
    if (line.size() < 3)
        return 0;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i > 0 ? "\r\n" : "") + lines[i];
    return text;
}

std::string ReplyTextOf(const std::string& line) {
    return line.size() > 4 ? line.substr(4) : "";
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0;
}

} // namespace

SmtpClient::SmtpClient(std::unique_ptr<MailSocket> socket, std::unique_ptr<LocalClock> clock)
    : socket_(std::move(socket)), clock_(std::move(clock)) {}

SmtpClient::~SmtpClient() {
    Disconnect();
}

bool SmtpClient::Connect(int timeoutMs) {
    Disconnect(); // every session starts from a new connection
    lastError_ = {};
    authSchemes_.clear();
    const SocketResult opened = socket_->Open(Config.Host, Config.Port, timeoutMs);
    if (!opened.Ok) {
        lastError_.Text = opened.Error;
        return false;
    }
    const SMTPSecurityMode security = Config.Security;
    try {
        if (security == SMTPSecurityMode::TLS ||
            (security == SMTPSecurityMode::Auto && Config.Port == ImplicitTlsPort))
            StartTls();
        const Reply greeting = ReadReply();
        if (greeting.Code != 220)
            Fail(greeting.Code, JoinLines(greeting.Lines));
        const bool offersStartTls = Introduce();
        if (!socket_->Encrypted() && (security == SMTPSecurityMode::StartTLS ||
                                      (security == SMTPSecurityMode::Auto && offersStartTls))) {
            if (!offersStartTls)
                Fail(0, "STARTTLS not offered");
            Command("STARTTLS", {220});
            // Whatever came in clear after the 220 is no one's to trust.
            received_.clear();
            StartTls();
            authSchemes_.clear();
            Introduce();
        }
        // Whoever strips STARTTLS from the EHLO answer must not be handed the
        // password (nor, with it, the message the server would refuse without
        // it). Loopback is no exception: None is the way to send in clear.
        if (security == SMTPSecurityMode::Auto && Config.UseLogin && !socket_->Encrypted())
            WithholdPassword();
        return true;
    } catch (const StepFailure& failure) {
        lastError_ = failure.Error;
        Disconnect();
        return false;
    }
}

bool SmtpClient::Connected() const {
    return socket_->IsOpen() && !peerClosed_;
}

bool SmtpClient::OffersAuthScheme(std::string_view name) const {
    const std::string wanted = Upper(name);
    return std::find(authSchemes_.begin(), authSchemes_.end(), wanted) != authSchemes_.end();
}

bool SmtpClient::OffersAuthentication() const {
    return OffersAuthScheme("LOGIN") || OffersAuthScheme("PLAIN");
}

bool SmtpClient::Encrypted() const {
    return socket_->Encrypted();
}

bool SmtpClient::Authenticate() {
    lastError_ = {};
    try {
        DoAuthenticate();
        return true;
    } catch (const StepFailure& failure) {
        lastError_ = failure.Error;
        return false;
    }
}

bool SmtpClient::Send(const MailMessage& message) {
    lastError_ = {};
    try {
        DoSend(message);
        return true;
    } catch (const StepFailure& failure) {
        lastError_ = failure.Error;
        return false;
    }
}

void SmtpClient::Disconnect() {
    if (socket_->IsOpen()) {
        if (!peerClosed_ && !noQuit_)
            socket_->Write("QUIT\r\n", Config.ReadTimeoutMs); // the answer is not awaited
        socket_->Close();
    }
    received_.clear();
    peerClosed_ = false;
    noQuit_ = false;
    authenticated_ = false;
}

bool SmtpClient::Introduce() {
    const Reply ehlo = Command("EHLO " + HeloName(), {});
    if (ehlo.Code != 250) {
        Command("HELO " + HeloName(), {250});
        return false;
    }
    bool offersStartTls = false;
    for (const auto& line : ehlo.Lines) {
        const std::string upper = Upper(line);
        if (upper == "STARTTLS" || upper.rfind("STARTTLS ", 0) == 0)
            offersStartTls = true;
        if (upper.rfind("AUTH ", 0) != 0 && upper.rfind("AUTH=", 0) != 0)
            continue;
        size_t pos = 5;
        while (pos < upper.size()) {
            const size_t end = std::min(upper.find_first_of(" =", pos), upper.size());
            const std::string name = upper.substr(pos, end - pos);
            if (!name.empty() && !OffersAuthScheme(name))
                authSchemes_.push_back(name);
            pos = end + 1;
        }
    }
    return offersStartTls;
}

void SmtpClient::StartTls() {
    noQuit_ = true;
    const SocketResult started =
        socket_->StartTls({Config.Host, Config.CaFile}, Config.ReadTimeoutMs);
    if (!started.Ok)
        Fail(0, started.Error);
    noQuit_ = false;
}

void SmtpClient::DoAuthenticate() {
    if (Config.UseLogin && Config.Security != SMTPSecurityMode::None && !socket_->Encrypted())
        WithholdPassword();
    if (Config.UseLogin && !OffersAuthScheme("LOGIN") && OffersAuthScheme("PLAIN")) {
        // One line: authorisation identity (none), NUL, user name, NUL, password.
        Command("AUTH PLAIN " + EncodeBase64(std::string(1, '\0') + Config.Username +
                                             std::string(1, '\0') + Config.Password),
                {235});
    } else if (Config.UseLogin) {
        Command("AUTH LOGIN", {334});
        Command(EncodeBase64(Config.Username), {334});
        Command(EncodeBase64(Config.Password), {235});
    }
    authenticated_ = true;
}

void SmtpClient::DoSend(const MailMessage& message) {
    Command("RSET", {});
    if (Config.UseLogin && OffersAuthentication() && !authenticated_)
        DoAuthenticate();
    Command("MAIL FROM:<" + message.From.Address + ">", {250});
    for (const auto& recipient : message.Recipients)
        Command("RCPT TO:<" + recipient.Address + ">", {250, 251});
    Command("DATA", {354});

    const LocalDateTime now = clock_->Now();
    const HeaderCharset charset = HeaderCharsetForLocale(clock_->LocaleName());
    std::string data;
    for (const auto& line :
         BuildHeaderBlock(message, Config.MailAgent,
                          FormatMailDate(now.UtcSeconds, now.UtcOffsetMinutes), charset))
        data += line + "\r\n";
    data += "\r\n";
    for (const auto& line : message.Body) {
        if (!line.empty() && line[0] == '.')
            data += '.'; // transparency: the server takes one leading "." away again
        data += line + "\r\n";
    }
    Write(data);
    Command(".", {250});
}

SmtpClient::Reply SmtpClient::Command(std::string_view line, std::initializer_list<int> allowed) {
    Write(std::string(line) + "\r\n");
    Reply reply = ReadReply();
    if (allowed.size() > 0 &&
        std::find(allowed.begin(), allowed.end(), reply.Code) == allowed.end())
        Fail(reply.Code, JoinLines(reply.Lines));
    return reply;
}

SmtpClient::Reply SmtpClient::ReadReply() {
    ReplyBudget budget{Clock::now() + std::chrono::milliseconds(Config.ReadTimeoutMs)};
    std::string first;
    while (first.empty())
        first = Trim(ReadLine(budget));
    Reply reply;
    reply.Code = ReplyCodeOf(first);
    reply.Lines.push_back(ReplyTextOf(first));
    if (first.size() >= 4 && first[3] == '-') {
        const std::string last = Upper(first.substr(0, 3)) + " ";
        for (;;) {
            const std::string line = Trim(ReadLine(budget));
            if (line.empty())
                continue;
            reply.Lines.push_back(ReplyTextOf(line));
            if (line.size() < 4 || Upper(line.substr(0, 4)) == last)
                break;
        }
    }
    return reply;
}

std::string SmtpClient::ReadLine(ReplyBudget& budget) {
    for (;;) {
        const size_t end = received_.find('\n');
        if (end != std::string::npos) {
            std::string line = received_.substr(0, end);
            received_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() > MaxSmtpReplyLine)
                Fail(0, "Max line length exceeded.");
            budget.Bytes += end + 1;
            if (++budget.Lines > MaxSmtpReplyLines || budget.Bytes > MaxSmtpReplyBytes)
                Fail(0, "Max reply size exceeded.");
            return line;
        }
        // Room for the longest line and its CR; anything longer cannot end in time.
        if (received_.size() > MaxSmtpReplyLine + 1)
            Fail(0, "Max line length exceeded.");
        if (peerClosed_)
            Fail(0, "Connection Closed Gracefully.");
        // The time limit holds for the whole reply, however steadily it trickles in.
        if (Clock::now() >= budget.Deadline)
            Fail(0, SocketErrorText(ETIMEDOUT, std::system_category().message(ETIMEDOUT) + "."));
        const SocketResult read = socket_->Read(received_, RemainingMs(budget.Deadline));
        if (!read.Ok)
            Fail(0, read.Error);
        if (read.PeerClosed)
            peerClosed_ = true;
    }
}

void SmtpClient::Write(std::string_view data) {
    const SocketResult written = socket_->Write(data, Config.ReadTimeoutMs);
    if (!written.Ok)
        Fail(0, written.Error);
}

std::string SmtpClient::HeloName() const {
    if (!Config.HeloName.empty())
        return Config.HeloName;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

} // namespace quorvane

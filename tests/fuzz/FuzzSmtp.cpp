// The SMTP client over a connection whose every read is a piece of the
// input: connect, AUTH LOGIN, send, disconnect.
//
// Input: one switches byte, then pieces of one length byte and that many
// bytes, each what one read of the socket gets; after the last piece the
// server has closed the connection.
#include <string>

#include "FuzzSupport.h"
#include "mail/SmtpClient.h"

using namespace quorvane;

namespace {

class InputSocket final : public MailSocket {
public:
    InputSocket(fuzz::InputReader& in, std::string& written, int& reads)
        : in_(in), written_(written), reads_(reads) {}
    SocketResult Open(const std::string&, std::uint16_t, int) override {
        open_ = true;
        return {};
    }
    bool IsOpen() const override { return open_; }
    SocketResult Write(std::string_view data, int) override {
        FUZZ_CHECK(open_);
        written_ += data;
        return {};
    }
    SocketResult Read(std::string& buffer, int timeoutMs) override {
        FUZZ_CHECK(open_);
        // A client that keeps reading a closed connection would spin for ever.
        FUZZ_CHECK(++reads_ < 100000);
        if (timeoutMs <= 0)
            return SocketResult::Failure("Read timed out.");
        if (in_.Remaining() == 0)
            return {true, true, {}};
        const size_t length = in_.Byte();
        buffer += in_.Text(length);
        return {};
    }
    void Close() override { open_ = false; }

private:
    fuzz::InputReader& in_;
    std::string& written_;
    int& reads_;
    bool open_ = false;
};

class FixedLocale final : public LocalClock {
public:
    LocalDateTime Now() const override { return MomentAt(1796000000, 60); }
    std::string ShortDate(const LocalDateTime& m) const override { return c_.ShortDate(m); }
    std::string LongTime(const LocalDateTime& m) const override { return c_.LongTime(m); }
    std::string LocaleName() const override { return "de_DE.UTF-8"; }

private:
    SystemLocalClock c_{"C"};
};

// Every line the client writes ends with CR LF, and no CR or LF stands alone.
bool LinesAreWhole(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return text.empty() || text.ends_with("\r\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t switches = in.Byte();
    std::string written;
    int reads = 0;
    {
        SmtpClient client(std::make_unique<InputSocket>(in, written, reads),
                          std::make_unique<FixedLocale>());
        client.Config.Host = "mail.example";
        client.Config.UseLogin = (switches & 1) != 0;
        // Bit 3: Auto, which over this connection (never encrypted) must
        // hold the password back; otherwise None, the plain dialogue.
        client.Config.Security =
            (switches & 8) != 0 ? SMTPSecurityMode::Auto : SMTPSecurityMode::None;
        client.Config.Username = "user";
        client.Config.Password = "secret";
        client.Config.HeloName = "quorvane.example";
        client.Config.ReadTimeoutMs = 60000;

        MailMessage message;
        message.SetFrom("Quorvane <quorvane@example.org>");
        message.SetRecipients((switches & 2) ? "a@example.org, \"B\" <b@example.org>; c@x"
                                             : "admin@example.org");
        message.Subject = (switches & 4) ? "S.M.A.R.T. Report \xC3\xA4" : "S.M.A.R.T. Report";
        message.SetBody("Drive 1\r\n.hidden line\r\n\r\nend");

        const bool connected = client.Connect(1000);
        if (!connected) {
            FUZZ_CHECK(!client.Connected());
        } else {
            for (const auto& scheme : client.AuthSchemes())
                FUZZ_CHECK(!scheme.empty() && scheme.find(' ') == std::string::npos);
            const bool authenticated = client.Authenticate();
            if (authenticated && client.Connected()) {
                // An accepted message went out whole, ended by the lone ".".
                if (client.Send(message))
                    FUZZ_CHECK(written.find("\r\n..hidden line\r\n\r\nend\r\n.\r\n") !=
                               std::string::npos);
            }
            client.Disconnect();
            FUZZ_CHECK(!client.Connected());
        }
    }
    FUZZ_CHECK(LinesAreWhole(written));
    // Auto with the login switch on: no AUTH, and "secret" in base64 (alone
    // or ending AUTH PLAIN's "\0user\0secret") never goes out.
    if ((switches & 9) == 9)
        FUZZ_CHECK(written.find("AUTH") == std::string::npos &&
                   written.find("c2VjcmV0") == std::string::npos);
    // The body's line that starts with "." goes out doubled, never as an end.
    const size_t dot = written.find("\r\n.hidden");
    FUZZ_CHECK(dot == std::string::npos);
    return 0;
}

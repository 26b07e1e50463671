// TLS under the SMTP dialogue. OpenSSL works on two memory buffers: what it
// wants sent is taken from one and written to the connection below, what
// arrives from there is put into the other. So every wait is the wait of the
// socket below, with its time-outs, and OpenSSL never touches a descriptor.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <netinet/in.h>
#include <system_error>

#include "mail/MailSocket.h"
#include "mail/OpenSslLibrary.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0;
}

// The reason of the earliest error OpenSSL queued, as OpenSSL names it.
std::string OpenSslReason(const OpenSslLibrary& tls) {
    const unsigned long code = tls.ERR_get_error();
    tls.ERR_clear_error();
    if (code == 0)
        return "unknown error";
    if (ERR_SYSTEM_ERROR(code)) // a system call failed: the reason is its errno
        return std::system_category().message(ERR_GET_REASON(code));
    const char* reason = tls.ERR_reason_error_string(code);
    return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

bool IsIpv4Address(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

class TlsMailSocket : public MailSocket {
public:
    explicit TlsMailSocket(std::unique_ptr<MailSocket> inner) : inner_(std::move(inner)) {}
    ~TlsMailSocket() override { Close(); }

    SocketResult Open(const std::string& host, std::uint16_t port, int timeoutMs) override {
        Close();
        return inner_->Open(host, port, timeoutMs);
    }

    bool IsOpen() const override { return inner_->IsOpen(); }

    bool Encrypted() const override { return state_ == State::Secure; }

    SocketResult StartTls(const TlsPeer& peer, int timeoutMs) override {
        if (!inner_->IsOpen())
            return SocketResult::Failure(
                SocketErrorText(ENOTCONN, std::system_category().message(ENOTCONN) + "."));
        if (state_ != State::Plain)
            return SocketResult::Failure("TLS is already on.");
        // Until the handshake is done, nothing more goes over the connection in clear.
        state_ = State::Broken;
        std::string missing;
        tls_ = OpenSsl(&missing);
        if (tls_ == nullptr)
            return SocketResult::Failure("TLS is not available: " + missing);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        tls_->ERR_clear_error();
        if (SocketResult made = Prepare(peer); !made.Ok)
            return made;
        for (;;) {
            const int done = tls_->SSL_do_handshake(ssl_);
            const int error = done == 1 ? SSL_ERROR_NONE : tls_->SSL_get_error(ssl_, done);
            // What the handshake has to say goes out first, an alert after a
            // failure too, so the server learns why.
            if (SocketResult flushed = Flush(deadline); !flushed.Ok)
                return flushed;
            if (done == 1) {
                state_ = State::Secure;
                return {};
            }
            if (error == SSL_ERROR_WANT_READ) {
                // What came with the end (an alert, say) has been read by now.
                if (innerClosed_)
                    return SocketResult::Failure(
                        "TLS handshake failed: the server closed the connection.");
                if (SocketResult fed = Feed(deadline); !fed.Ok)
                    return fed;
                continue;
            }
            return SocketResult::Failure(HandshakeError());
        }
    }

    SocketResult Write(std::string_view data, int timeoutMs) override {
        if (state_ == State::Plain)
            return inner_->Write(data, timeoutMs);
        if (state_ == State::Broken)
            return SocketResult::Failure("TLS handshake failed.");
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        tls_->ERR_clear_error();
        while (!data.empty()) {
            const int chunk = static_cast<int>(std::min<size_t>(data.size(), 1 << 20));
            const int written = tls_->SSL_write(ssl_, data.data(), chunk);
            if (written > 0) {
                data.remove_prefix(static_cast<size_t>(written));
                continue;
            }
            const int error = tls_->SSL_get_error(ssl_, written);
            if (error == SSL_ERROR_WANT_READ) {
                if (SocketResult flushed = Flush(deadline); !flushed.Ok)
                    return flushed;
                if (innerClosed_)
                    return SocketResult::Failure(
                        "TLS write failed: the server closed the connection.");
                if (SocketResult fed = Feed(deadline); !fed.Ok)
                    return fed;
                continue;
            }
            if (error != SSL_ERROR_WANT_WRITE)
                return SocketResult::Failure("TLS write failed: " + OpenSslReason(*tls_));
            if (SocketResult flushed = Flush(deadline); !flushed.Ok)
                return flushed;
        }
        return Flush(deadline);
    }

    SocketResult Read(std::string& buffer, int timeoutMs) override {
        if (state_ == State::Plain)
            return inner_->Read(buffer, timeoutMs);
        if (state_ == State::Broken)
            return SocketResult::Failure("TLS handshake failed.");
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        tls_->ERR_clear_error();
        for (;;) {
            char chunk[16384];
            const int got = tls_->SSL_read(ssl_, chunk, sizeof chunk);
            if (got > 0) {
                buffer.append(chunk, static_cast<size_t>(got));
                return {};
            }
            const int error = tls_->SSL_get_error(ssl_, got);
            if (error == SSL_ERROR_ZERO_RETURN)
                return {true, true, {}}; // the server ended TLS with its close notice
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
                // Records that are no data (tickets, key updates) may want an answer.
                if (SocketResult flushed = Flush(deadline); !flushed.Ok)
                    return flushed;
                if (error == SSL_ERROR_WANT_WRITE)
                    continue;
                if (innerClosed_)
                    return {true, true, {}};
                if (SocketResult fed = Feed(deadline); !fed.Ok)
                    return fed;
                continue;
            }
            // A connection closed without the close notice reads as closed too.
            if (innerClosed_)
                return {true, true, {}};
            return SocketResult::Failure("TLS read failed: " + OpenSslReason(*tls_));
        }
    }

    void Close() override {
        if (state_ == State::Secure && inner_->IsOpen() && !innerClosed_) {
            // The close notice, if the connection takes it at once.
            tls_->SSL_shutdown(ssl_);
            Flush(Clock::now());
        }
        if (ssl_ != nullptr)
            tls_->SSL_free(ssl_); // frees both memory buffers
        if (ctx_ != nullptr)
            tls_->SSL_CTX_free(ctx_);
        ssl_ = nullptr;
        ctx_ = nullptr;
        state_ = State::Plain;
        innerClosed_ = false;
        if (tls_ != nullptr)
            tls_->ERR_clear_error();
        inner_->Close();
    }

private:
    SocketResult Prepare(const TlsPeer& peer) {
        ctx_ = tls_->SSL_CTX_new(tls_->TLS_client_method());
        if (ctx_ == nullptr)
            return SocketResult::Failure("TLS set-up failed: " + OpenSslReason(*tls_));
        tls_->SSL_CTX_ctrl(ctx_, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
        tls_->SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        tls_->SSL_CTX_ctrl(ctx_, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
        if (tls_->SSL_CTX_set_default_verify_paths(ctx_) != 1)
            return SocketResult::Failure("TLS set-up failed: " + OpenSslReason(*tls_));
        if (!peer.CaFile.empty() &&
            tls_->SSL_CTX_load_verify_locations(ctx_, peer.CaFile.c_str(), nullptr) != 1)
            return SocketResult::Failure("cannot load the CA file " + peer.CaFile + ": " +
                                         OpenSslReason(*tls_));
        ssl_ = tls_->SSL_new(ctx_);
        BIO* incoming = tls_->BIO_new(tls_->BIO_s_mem());
        BIO* outgoing = tls_->BIO_new(tls_->BIO_s_mem());
        if (ssl_ == nullptr || incoming == nullptr || outgoing == nullptr) {
            tls_->BIO_free(incoming);
            tls_->BIO_free(outgoing);
            return SocketResult::Failure("TLS set-up failed: " + OpenSslReason(*tls_));
        }
        tls_->SSL_set_bio(ssl_, incoming, outgoing);
        incoming_ = incoming;
        outgoing_ = outgoing;
        // The name the certificate must carry: a dotted address is matched
        // against its IP addresses and sends no server name.
        bool named = false;
        if (IsIpv4Address(peer.Host)) {
            named = tls_->X509_VERIFY_PARAM_set1_ip_asc(tls_->SSL_get0_param(ssl_), peer.Host.c_str()) == 1;
        } else {
            tls_->SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            named = tls_->SSL_set1_host(ssl_, peer.Host.c_str()) == 1 &&
                    tls_->SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                                        const_cast<char*>(peer.Host.c_str())) == 1;
        }
        if (!named)
            return SocketResult::Failure("TLS set-up failed: cannot check the name " + peer.Host);
        tls_->SSL_set_connect_state(ssl_);
        return {};
    }

    // The certificate problem as OpenSSL names it, or the handshake's reason.
    std::string HandshakeError() {
        const long verified = tls_->SSL_get_verify_result(ssl_);
        if (verified != X509_V_OK) {
            tls_->ERR_clear_error();
            return std::string("certificate verify failed: ") +
                   tls_->X509_verify_cert_error_string(verified);
        }
        return "TLS handshake failed: " + OpenSslReason(*tls_);
    }

    // Sends what OpenSSL has queued.
    SocketResult Flush(Clock::time_point deadline) {
        char chunk[16384];
        while (tls_->BIO_ctrl_pending(outgoing_) > 0) {
            const int got = tls_->BIO_read(outgoing_, chunk, sizeof chunk);
            if (got <= 0)
                break;
            if (SocketResult sent = inner_->Write(std::string_view(chunk, static_cast<size_t>(got)),
                                                  RemainingMs(deadline));
                !sent.Ok)
                return sent;
        }
        return {};
    }

    // Waits for bytes from the server and hands them to OpenSSL.
    SocketResult Feed(Clock::time_point deadline) {
        std::string arrived;
        SocketResult read = inner_->Read(arrived, RemainingMs(deadline));
        if (!read.Ok)
            return read;
        if (read.PeerClosed)
            innerClosed_ = true;
        if (!arrived.empty() &&
            tls_->BIO_write(incoming_, arrived.data(), static_cast<int>(arrived.size())) <= 0)
            return SocketResult::Failure("TLS read failed: " + OpenSslReason(*tls_));
        return {};
    }

    std::unique_ptr<MailSocket> inner_;
    const OpenSslLibrary* tls_ = nullptr; // loaded by the first StartTls
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    BIO* incoming_ = nullptr; // owned by ssl_
    BIO* outgoing_ = nullptr; // owned by ssl_
    enum class State { Plain, Broken, Secure };
    State state_ = State::Plain;
    bool innerClosed_ = false;
};

} // namespace

std::unique_ptr<MailSocket> MakeTlsMailSocket(std::unique_ptr<MailSocket> inner) {
    return std::make_unique<TlsMailSocket>(std::move(inner));
}

} // namespace quorvane

// The OpenSSL functions the TLS socket calls, taken from libssl (and the
// libcrypto it brings) when a connection first starts TLS: a program that
// sends no encrypted mail never loads them.
#pragma once

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <string>

namespace quorvane {

#define QUORVANE_OPENSSL_FUNCTIONS(X)                                                              \
    X(ERR_get_error)                                                                               \
    X(ERR_clear_error)                                                                             \
    X(ERR_reason_error_string)                                                                     \
    X(TLS_client_method)                                                                           \
    X(SSL_CTX_new)                                                                                 \
    X(SSL_CTX_free)                                                                                \
    X(SSL_CTX_ctrl)                                                                                \
    X(SSL_CTX_set_verify)                                                                          \
    X(SSL_CTX_set_default_verify_paths)                                                            \
    X(SSL_CTX_load_verify_locations)                                                               \
    X(SSL_new)                                                                                     \
    X(SSL_free)                                                                                    \
    X(SSL_ctrl)                                                                                    \
    X(SSL_set_bio)                                                                                 \
    X(SSL_get0_param)                                                                              \
    X(SSL_set_hostflags)                                                                           \
    X(SSL_set1_host)                                                                               \
    X(SSL_set_connect_state)                                                                       \
    X(SSL_do_handshake)                                                                            \
    X(SSL_get_error)                                                                               \
    X(SSL_read)                                                                                    \
    X(SSL_write)                                                                                   \
    X(SSL_shutdown)                                                                                \
    X(SSL_get_verify_result)                                                                       \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                               \
    X(X509_verify_cert_error_string)                                                               \
    X(BIO_new)                                                                                     \
    X(BIO_free)                                                                                    \
    X(BIO_s_mem)                                                                                   \
    X(BIO_read)                                                                                    \
    X(BIO_write)                                                                                   \
    X(BIO_ctrl_pending)

struct OpenSslLibrary {
#define QUORVANE_OPENSSL_MEMBER(name) decltype(&::name) name = nullptr;
    QUORVANE_OPENSSL_FUNCTIONS(QUORVANE_OPENSSL_MEMBER)
#undef QUORVANE_OPENSSL_MEMBER
};

// Loads libssl on the first call; nullptr when it or one of the functions is
// missing, with the reason in `problem`.
const OpenSslLibrary* OpenSsl(std::string* problem = nullptr);

} // namespace quorvane

// OpenSSL implementation of the TLS sessions.
//
// A session reads and writes its socket through a BIO of its own that calls
// the socket shim, so sends never raise SIGPIPE (MSG_NOSIGNAL) and "would
// block" reaches OpenSSL as a retry. One client context serves every
// session of the process; it is made again when the extra CA file named in
// the environment changes.
#include "net/tls_session.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "net/socket_shim.h"

namespace netgrab::net {

struct TlsSession
{
    SSL *ssl = nullptr;
    int fd = -1;
    int socketError = 0;  // of the BIO's last failed send or receive
};

namespace {

void copyReason(char *reason, size_t cap, const char *text)
{
    if (reason && cap > 0)
        std::snprintf(reason, cap, "%s", text ? text : "");
}

// Takes the text of OpenSSL's oldest queued error and empties the queue.
void takeQueuedError(char *reason, size_t cap, const char *fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char *text = code ? ERR_reason_error_string(code) : nullptr;
    copyReason(reason, cap, text ? text : fallback);
}

// ---- the socket BIO --------------------------------------------------------

TlsSession *sessionOf(BIO *bio)
{
    return static_cast<TlsSession *>(BIO_get_data(bio));
}

int bioWrite(BIO *bio, const char *bytes, int length)
{
    BIO_clear_retry_flags(bio);
    TlsSession *s = sessionOf(bio);
    int error = 0;
    const int n = sendSome(s->fd, bytes, length, &error);
    if (n >= 0)
        return n;
    if (isRetryable(error))
        BIO_set_retry_write(bio);
    else
        s->socketError = error;
    return -1;
}

int bioRead(BIO *bio, char *buffer, int capacity)
{
    BIO_clear_retry_flags(bio);
    TlsSession *s = sessionOf(bio);
    int error = 0;
    const int n = receiveOnce(s->fd, buffer, capacity, &error);
    if (n >= 0)
        return n;  // 0: the peer closed
    if (isRetryable(error))
        BIO_set_retry_read(bio);
    else
        s->socketError = error;
    return -1;
}

long bioControl(BIO *, int command, long, void *)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD *socketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "netgrab socket");
        if (m) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioControl);
        }
        return m;
    }();
    return method;
}

// ---- the client context ----------------------------------------------------

std::mutex g_contextMutex;
SSL_CTX *g_context = nullptr;
std::string g_contextCaFile;

// The shared client context (a reference of the caller's), or nullptr.
SSL_CTX *clientContext(char *reason, size_t cap)
{
    const char *extra = std::getenv(kExtraCaVariable);
    const std::string caFile = extra ? extra : "";
    std::lock_guard<std::mutex> lock(g_contextMutex);
    if (g_context && g_contextCaFile == caFile) {
        SSL_CTX_up_ref(g_context);
        return g_context;
    }
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        takeQueuedError(reason, cap, "no TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // A recorder holds one connection for hours: no buffers while idle, no
    // session cache.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // The system's trust store (Debian: /etc/ssl/certs), read by subject
    // hash when a chain needs it, so only the certificates in use are
    // loaded; the bundle file (all of them, parsed at once) only on a
    // system without the hashed folder.
    SSL_CTX_set_default_verify_dir(ctx);
    std::error_code missing;
    if (!std::filesystem::is_directory(X509_get_default_cert_dir(), missing))
        SSL_CTX_set_default_verify_file(ctx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        char why[160];
        takeQueuedError(why, sizeof why, "unreadable");
        std::snprintf(reason, cap, "CA file %s: %s", caFile.c_str(), why);
        SSL_CTX_free(ctx);
        return nullptr;
    }
    ERR_clear_error();
    if (g_context)
        SSL_CTX_free(g_context);  // sessions made from it hold their own reference
    g_context = ctx;
    g_contextCaFile = caFile;
    SSL_CTX_up_ref(ctx);
    return ctx;
}

bool isIpAddress(const char *host)
{
    if (!*host)
        return false;
    for (const char *p = host; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.'))
            return false;
    return true;
}

// One failed SSL call: what the caller waits for, or why it failed.
TlsStep stepOf(TlsSession *s, int result, int *error)
{
    const int code = SSL_get_error(s->ssl, result);
    if (error)
        *error = 0;
    switch (code) {
    case SSL_ERROR_WANT_READ:
        return TlsStep::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TlsStep::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return TlsStep::Closed;
    case SSL_ERROR_SYSCALL:
        ERR_clear_error();
        if (s->socketError == 0)
            return TlsStep::Closed;  // the stream ended without the alert
        if (error)
            *error = s->socketError;
        return TlsStep::Failed;
    default:
        ERR_clear_error();
        if (error)
            *error = s->socketError;
        return TlsStep::Failed;
    }
}

}  // namespace

TlsSession *tlsStart(int fd, const char *host, char *reason, size_t reasonCap)
{
    ERR_clear_error();
    BIO_METHOD *method = socketMethod();
    if (!method) {
        takeQueuedError(reason, reasonCap, "no socket BIO");
        return nullptr;
    }
    SSL_CTX *ctx = clientContext(reason, reasonCap);
    if (!ctx)
        return nullptr;
    auto *s = new TlsSession;
    s->fd = fd;
    s->ssl = SSL_new(ctx);
    SSL_CTX_free(ctx);  // the session keeps its own reference
    BIO *bio = s->ssl ? BIO_new(method) : nullptr;
    bool named = false;
    if (bio) {
        BIO_set_data(bio, s);
        BIO_set_init(bio, 1);
        SSL_set_bio(s->ssl, bio, bio);
        if (isIpAddress(host)) {
            named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s->ssl), host) == 1;
        } else {
            // SNI, and the name the certificate must carry.
            named = SSL_set_tlsext_host_name(s->ssl, host) == 1 && SSL_set1_host(s->ssl, host) == 1;
        }
    }
    if (!named) {
        takeQueuedError(reason, reasonCap, "cannot set up the session");
        if (s->ssl)
            SSL_free(s->ssl);
        delete s;
        return nullptr;
    }
    SSL_set_connect_state(s->ssl);
    return s;
}

TlsStep tlsHandshake(TlsSession *s, bool *untrusted, char *reason, size_t reasonCap)
{
    *untrusted = false;
    ERR_clear_error();
    const int result = SSL_do_handshake(s->ssl);
    if (result == 1)
        return TlsStep::Done;
    const int code = SSL_get_error(s->ssl, result);
    if (code == SSL_ERROR_WANT_READ)
        return TlsStep::WantRead;
    if (code == SSL_ERROR_WANT_WRITE)
        return TlsStep::WantWrite;
    const long verify = SSL_get_verify_result(s->ssl);
    if (verify != X509_V_OK) {
        *untrusted = true;
        copyReason(reason, reasonCap, X509_verify_cert_error_string(verify));
        ERR_clear_error();
        return TlsStep::Failed;
    }
    if (code == SSL_ERROR_SYSCALL || code == SSL_ERROR_ZERO_RETURN) {
        ERR_clear_error();
        if (s->socketError != 0)
            copyReason(reason, reasonCap, errorText(s->socketError));
        else
            copyReason(reason, reasonCap, "the server closed the connection");
        return TlsStep::Failed;
    }
    takeQueuedError(reason, reasonCap, "handshake failed");
    return TlsStep::Failed;
}

TlsStep tlsRead(TlsSession *s, void *buffer, int length, int *moved, int *error)
{
    *moved = 0;
    ERR_clear_error();
    const int n = SSL_read(s->ssl, buffer, length);
    if (n > 0) {
        *moved = n;
        if (error)
            *error = 0;
        return TlsStep::Done;
    }
    return stepOf(s, n, error);
}

TlsStep tlsWrite(TlsSession *s, const void *bytes, int length, int *moved, int *error)
{
    *moved = 0;
    ERR_clear_error();
    const int n = SSL_write(s->ssl, bytes, length);
    if (n > 0) {
        *moved = n;
        if (error)
            *error = 0;
        return TlsStep::Done;
    }
    return stepOf(s, n, error);
}

void tlsEnd(TlsSession *s)
{
    if (!s)
        return;
    // One try at the closing alert: a peer that does not take it gets none.
    if (SSL_is_init_finished(s->ssl))
        SSL_shutdown(s->ssl);
    ERR_clear_error();
    SSL_free(s->ssl);  // frees the BIO too
    delete s;
}

}  // namespace netgrab::net

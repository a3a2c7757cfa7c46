#pragma once
// TLS client sessions over the socket shim's descriptors (OpenSSL 3). The
// only place in the library that includes TLS headers; above it a session
// is an opaque pointer and every step reports what to wait for.
//
// Every session verifies the server's certificate chain against the
// system's trust store (plus, when the environment names one, the extra CA
// file in NETGRAB_CA_FILE), checks that the certificate names the host (or
// the IP address) that was asked for, sends the host name (SNI) and speaks
// TLS 1.2 or later only.

#include <cstddef>

namespace netgrab::net {

struct TlsSession;

// The outcome of one step of a session.
enum class TlsStep {
    Done,       // the step completed (handshake done, bytes moved)
    WantRead,   // try again once the socket is readable
    WantWrite,  // try again once the socket is writable
    Closed,     // the peer ended the session (close_notify or end of stream)
    Failed,     // a protocol or socket error: the session is unusable
};

// The environment variable that names one extra CA file (PEM) to trust.
constexpr const char *kExtraCaVariable = "NETGRAB_CA_FILE";

// A new client session on the connected socket fd for host; nullptr when
// none could be made (reason says why). The socket stays the caller's.
TlsSession *tlsStart(int fd, const char *host, char *reason, size_t reasonCap);
// One handshake step. On Failed, reason holds why and *untrusted says
// whether the peer's certificate was the cause.
TlsStep tlsHandshake(TlsSession *session, bool *untrusted, char *reason, size_t reasonCap);
// One read or write of at most length bytes: on Done *moved holds the
// bytes read or written (> 0); *error is the platform error of a Failed
// step that the socket caused, else 0.
TlsStep tlsRead(TlsSession *session, void *buffer, int length, int *moved, int *error);
TlsStep tlsWrite(TlsSession *session, const void *bytes, int length, int *moved, int *error);
// Sends the closing alert when the socket takes it at once (never waits)
// and frees the session. nullptr is ignored.
void tlsEnd(TlsSession *session);

}  // namespace netgrab::net

#pragma once
// The connection of a capture and the primitives that work on it, over
// plain TCP or TLS.

#include <cstdint>

#include "stop_request.h"

namespace netgrab {

namespace net {
struct TlsSession;
}

constexpr int IO_FAILED = -94;

// What a connection runs on: the socket itself, or a TLS session on it
// (an "https" address).
enum class Transport : int32_t { Tcp, Tls };

// One connection to a server: its socket (0 while none is open), the TLS
// session on it when it has one, and the stop request of the capture it
// belongs to, which the streaming waits and the TLS handshake honour.
// A capture owns one (CaptureState::connection) and every route passes it
// to the primitives below; opening it again first closes what was open.
class Connection
{
public:
    explicit Connection(const StopRequest &stop) : stop_(&stop) {}
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool isOpen() const { return fd_ > 0; }
    int descriptor() const { return fd_; }
    net::TlsSession *tlsSession() const { return tls_; }
    const StopRequest &stop() const { return *stop_; }
    // The last open failed in its TLS handshake (its line is printed).
    bool tlsFailed() const { return tlsFailed_; }

private:
    friend bool openConnection(Connection &c, const char *host, uint16_t port, Transport transport);
    friend void closeConnection(Connection &c);
    friend void adoptConnection(Connection &c, int fd);
    int fd_ = 0;
    net::TlsSession *tls_ = nullptr;
    bool tlsFailed_ = false;
    const StopRequest *stop_;
};

// IPv4 address in network byte order: 0 for a missing or unusable host text,
// 0xFFFFFFFF when a name lookup fails.
uint32_t resolveHost(const char *host);
// Connects (blocking), then switches the socket to non-blocking mode; over
// TLS the handshake follows (host name sent and checked, the certificate
// verified), within the receive time-out and ended by a stop. True when c
// is open; otherwise c holds no connection, the failure is printed and a
// failed handshake sets the capture's error: NG_ERR_UNTRUSTED for a
// certificate that fails verification ("certificate of HOST not trusted:
// reason"), NG_ERR_STOPPED after a stop, else NG_ERR_RECEIVE.
bool openConnection(Connection &c, const char *host, uint16_t port, Transport transport = Transport::Tcp);
// Sends all bytes; a peer that stops reading is waited for at most the
// receive time-out, counted again whenever it takes bytes. Bytes sent, or
// IO_FAILED.
int sendAll(Connection &c, const void *bytes, int length);
// sendAll for answers sent while streaming (an MMS pong): waits for a peer
// that does not read for at most timeoutMs, and not at all once a stop is
// requested, so that a stopping recorder keeps its time for the header
// fix-up. Bytes sent, or IO_FAILED.
int sendWithin(Connection &c, const void *bytes, int length, int timeoutMs);
// One receive, waiting while it would block for at most
// tuning.receivePollMs x receivePollCount (the receive time-out).
// Bytes received (> 0), or IO_FAILED (closed, failed, timed out, none open).
int receiveSome(Connection &c, void *buffer, int capacity);
// receiveSome for the streaming loops: also ends (IO_FAILED) when a stop is
// requested while nothing has arrived, so that a silent server cannot hold a
// stopping recorder past its settle time; the loop still closes and
// finishes its file.
int receiveStream(Connection &c, void *buffer, int capacity);
// The error that ends a stream whose receive failed: NG_ERR_STOPPED when a
// stop request ended the wait, NG_ERR_RECEIVE otherwise.
int streamEndError(const Connection &c);
uint16_t localPort(const Connection &c);     // host byte order
uint32_t localAddress(const Connection &c);  // network byte order
// Closes c; a later send or receive on it fails instead of reaching
// whatever reuses the descriptor. No-op when nothing is open.
void closeConnection(Connection &c);
// Test hook: makes an open descriptor made elsewhere (one end of a socket
// pair) c's socket, as openConnection does with its own; 0 lets go of it
// without closing it.
void adoptConnection(Connection &c, int fd);

// Test hook: replaces the platform name lookup used by resolveHost (1 with
// the address in network byte order, or 0). nullptr restores the platform's.
using NameLookup = int (*)(const char *name, uint32_t *address);
void setNameLookup(NameLookup lookup);

}  // namespace netgrab

#pragma once
// TCP connection primitives on the library's one current connection.

#include <cstdint>

namespace netgrab {

constexpr int IO_FAILED = -94;

// A socket descriptor; 0 stands for "no connection".
using Connection = int;

// IPv4 address in network byte order: 0 for a missing or unusable host text,
// 0xFFFFFFFF when a name lookup fails.
uint32_t resolveHost(const char* host);
// Connects (blocking), then switches the socket to non-blocking mode.
// Returns the connection (which becomes the current one) or 0.
Connection openConnection(const char* host, uint16_t port);
// Sends all bytes on the current connection. Bytes sent, or IO_FAILED.
int sendAll(Connection c, const void* bytes, int length);
// sendAll for answers sent while streaming (an MMS pong): waits for a peer
// that does not read for at most timeoutMs, and not at all once a stop is
// requested, so that a stopping recorder keeps its time for the header
// fix-up. Bytes sent, or IO_FAILED.
int sendWithin(Connection c, const void* bytes, int length, int timeoutMs);
// One receive on the current connection, waiting while it would block for
// at most tuning.receivePollMs x receivePollCount (the receive time-out).
// Bytes received (> 0), or IO_FAILED (closed, failed, timed out).
int receiveSome(Connection c, void* buffer, int capacity);
// receiveSome for the streaming loops: also ends (IO_FAILED) when a stop is
// requested while nothing has arrived, so that a silent server cannot hold a
// stopping recorder past its settle time; the loop still closes and
// finishes its file.
int receiveStream(Connection c, void* buffer, int capacity);
// The error that ends a stream whose receive failed: NG_ERR_STOPPED when a
// stop request ended the wait, NG_ERR_RECEIVE otherwise.
int streamEndError();
uint16_t localPort(Connection c);     // host byte order
uint32_t localAddress(Connection c);  // network byte order
// Closes c (no-op for 0 or negative). Closing the current connection
// leaves no current connection, so a later send or receive fails instead of
// reaching whatever reuses the descriptor.
void closeConnection(Connection c);
// The connection most recently opened (0 when none).
Connection currentConnection();
// Test hook: makes an open descriptor made elsewhere (one end of a socket
// pair) the current connection, as openConnection does with its socket.
void adoptConnection(Connection c);

// Test hook: replaces the platform name lookup used by resolveHost (1 with
// the address in network byte order, or 0). nullptr restores the platform's.
using NameLookup = int (*)(const char* name, uint32_t* address);
void setNameLookup(NameLookup lookup);

}  // namespace netgrab

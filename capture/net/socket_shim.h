#pragma once
// A thin layer over the platform's IPv4 stream sockets. The only place in
// the library that includes socket or system headers; everything above it
// speaks in plain ints (descriptors, byte counts, error numbers).
//
// Error numbers are the platform's (errno here). "Would block" and
// "interrupted" are reported through isRetryable() so callers never compare
// platform constants themselves.

#include <cstdint>
#include <cstdio>

namespace netgrab::net {

// Starting and releasing the socket layer: nothing to do on POSIX, always
// succeeds. Kept so a Winsock build has a place for WSAStartup/WSACleanup.
bool startup();
void cleanup();

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null when closed), so
// that no socket can ever get descriptor 0, which stands for "no connection".
void ensureStandardDescriptors();

// New IPv4 stream socket (close-on-exec, descriptor > 0), or -1 with *error set.
int createStreamSocket(int *error);
// Connect to an IPv4 address (network byte order) and port (host byte
// order), waiting at most timeoutMs for the peer to answer (an unreachable
// host would otherwise hold the caller for minutes of SYN retries). The
// socket is left in non-blocking mode. 0 on success, -1 with *error set
// (the "timed out" error after timeoutMs).
int connectTo(int fd, uint32_t addressNet, uint16_t port, int timeoutMs, int *error);
// Switches the socket to non-blocking mode. 0 on success, -1.
int setNonBlocking(int fd);
// One send without SIGPIPE. Bytes sent (>= 0), or -1 with *error set.
int sendSome(int fd, const void *bytes, int length, int *error);
// One receive. Bytes received (0 = orderly close), or -1 with *error set.
int receiveOnce(int fd, void *buffer, int capacity, int *error);
// Waits up to timeoutMs for the socket to become readable (or writable).
// Returns when it is ready, on a time-out or on an interruption alike.
void waitReadable(int fd, int timeoutMs);
void waitWritable(int fd, int timeoutMs);
// True for "would block" and "interrupted": try again.
bool isRetryable(int error);
// Local address (network byte order) and port (host byte order); 0 when unknown.
uint32_t localAddressOf(int fd);
uint16_t localPortOf(int fd);
void closeSocket(int fd);

// Cuts an open file back to `size` bytes and positions it there (used to
// take back a packet that was only partly written). True on success.
bool truncateFile(std::FILE *file, long size);
// Text of a platform error number, for messages.
const char *errorText(int error);
// The error number of the last failed C library call.
int lastError();

// Looks a host name up with the platform resolver: 1 with the first IPv4
// address (network byte order) in *address, or 0 when the lookup fails.
int lookupName(const char *name, uint32_t *address);

// Error code used when a connection is refused before it reaches the
// network (a failed name lookup): "host unreachable".
int hostUnreachableError();
// Error code for an operation without an open socket.
int badDescriptorError();

}  // namespace netgrab::net

// POSIX implementation of the socket shim.
#include "net/socket_shim.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace netgrab::net {

bool startup()
{
    return true;
}
void cleanup() {}

void ensureStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() returns the lowest free descriptor, which is this one.
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened > 2)
            close(opened);
    }
}

int createStreamSocket(int *error)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    if (fd == 0) {
        // Descriptor 0 means "no connection" to the callers: move it up.
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        int saved = errno;
        close(fd);
        if (moved < 0) {
            *error = saved;
            return -1;
        }
        fd = moved;
    }
    return fd;
}

int connectTo(int fd, uint32_t addressNet, uint16_t port, int timeoutMs, int *error)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = addressNet;
    if (setNonBlocking(fd) != 0) {
        *error = errno;
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR) {
        *error = errno;
        return -1;
    }
    // The handshake runs on; wait for it to end, for at most timeoutMs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            *error = ETIMEDOUT;
            return -1;
        }
        pollfd p{};
        p.fd = fd;
        p.events = POLLOUT;
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            *error = errno;
            return -1;
        }
        if (ready == 0)
            continue;  // the deadline is checked above
        int result = 0;
        socklen_t len = sizeof result;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &len) != 0)
            result = errno;
        if (result != 0) {
            *error = result;
            return -1;
        }
        return 0;
    }
}

int setNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return -1;
    return fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 ? -1 : 0;
}

int sendSome(int fd, const void *bytes, int length, int *error)
{
    ssize_t n = send(fd, bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0) {
        *error = errno;
        return -1;
    }
    return static_cast<int>(n);
}

int receiveOnce(int fd, void *buffer, int capacity, int *error)
{
    ssize_t n = recv(fd, buffer, static_cast<size_t>(capacity), 0);
    if (n < 0) {
        *error = errno;
        return -1;
    }
    return static_cast<int>(n);
}

static void waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{};
    p.fd = fd;
    p.events = events;
    (void)poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
}

void waitReadable(int fd, int timeoutMs)
{
    waitFor(fd, POLLIN, timeoutMs);
}
void waitWritable(int fd, int timeoutMs)
{
    waitFor(fd, POLLOUT, timeoutMs);
}

bool isRetryable(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

uint32_t localAddressOf(int fd)
{
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len) != 0)
        return 0;
    return local.sin_addr.s_addr;
}

uint16_t localPortOf(int fd)
{
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void closeSocket(int fd)
{
    if (fd > 0)
        close(fd);
}

int lookupName(const char *name, uint32_t *address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
        return 0;
    int ok = 0;
    for (addrinfo *a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            *address = reinterpret_cast<const sockaddr_in *>(a->ai_addr)->sin_addr.s_addr;
            ok = 1;
            break;
        }
    }
    freeaddrinfo(found);
    return ok;
}

bool truncateFile(std::FILE *file, long size)
{
    if (!file || size < 0)
        return false;
    if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0)
        return false;
    return std::fseek(file, size, SEEK_SET) == 0;
}

const char *errorText(int error)
{
    return std::strerror(error);
}

int lastError()
{
    return errno;
}

int hostUnreachableError()
{
    return EHOSTUNREACH;
}
int badDescriptorError()
{
    return EBADF;
}

}  // namespace netgrab::net

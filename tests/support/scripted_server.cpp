#include "scripted_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {
using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

int msUntil(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

constexpr int kSliceMs = 10;  // how often waits look at the stop flag
}  // namespace

// ---- ConnectionIo ----------------------------------------------------------

void ConnectionIo::pump(int waitMs)
{
    if (peerClosed_) {
        if (waitMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0)
        return;
    char buf[16384];
    for (;;) {
        ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            server_->appendReceived(index_, buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            peerClosed_ = true;
        return;
    }
}

bool ConnectionIo::send(const std::string &bytes, int timeoutMs)
{
    auto deadline = deadlineAfter(timeoutMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (stopping() || Clock::now() > deadline)
            return false;
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pump(0);
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, kSliceMs);
    }
    return true;
}

bool ConnectionIo::readUntil(const std::string &marker, int timeoutMs, size_t from)
{
    auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        std::string got = received();
        if (got.size() >= from && got.find(marker, from) != std::string::npos)
            return true;
        if (stopping() || peerClosed_ || Clock::now() > deadline)
            return false;
        pump(std::min(kSliceMs, msUntil(deadline) + 1));
    }
}

bool ConnectionIo::readAtLeast(size_t n, int timeoutMs)
{
    auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        if (received().size() >= n)
            return true;
        if (stopping() || peerClosed_ || Clock::now() > deadline)
            return false;
        pump(std::min(kSliceMs, msUntil(deadline) + 1));
    }
}

bool ConnectionIo::pause(int ms)
{
    auto deadline = deadlineAfter(ms);
    while (!stopping() && Clock::now() < deadline) {
        pump(std::min(kSliceMs, msUntil(deadline)));
        if (peerClosed_)
            return false;
    }
    return !stopping() && !peerClosed_;
}

std::string ConnectionIo::received() const
{
    return server_->received(index_);
}
bool ConnectionIo::peerClosed() const
{
    return peerClosed_;
}
bool ConnectionIo::stopping() const
{
    return server_->stopping();
}

// ---- steps -----------------------------------------------------------------

Step send(std::string bytes)
{
    return [bytes](ConnectionIo &io) { return io.send(bytes); };
}

Step sendPieces(std::string bytes, std::vector<size_t> pieceSizes, int delayMs)
{
    return [bytes, pieceSizes, delayMs](ConnectionIo &io) {
        size_t at = 0, piece = 0;
        while (at < bytes.size()) {
            size_t size = pieceSizes.empty() ? bytes.size() : pieceSizes[std::min(piece, pieceSizes.size() - 1)];
            if (size == 0)
                size = 1;
            size = std::min(size, bytes.size() - at);
            if (!io.send(bytes.substr(at, size)))
                return false;
            at += size;
            ++piece;
            if (at < bytes.size() && delayMs > 0 && !io.pause(delayMs) && io.stopping())
                return false;
        }
        return true;
    };
}

Step delay(int ms)
{
    return [ms](ConnectionIo &io) {
        io.pause(ms);
        return !io.stopping();
    };
}

Step readUntil(std::string marker, int timeoutMs)
{
    return [marker, timeoutMs](ConnectionIo &io) { return io.readUntil(marker, timeoutMs); };
}

Step readRequest(int timeoutMs)
{
    return readUntil("\r\n\r\n", timeoutMs);
}

Step readBytes(size_t n, int timeoutMs)
{
    // n more bytes than had arrived when the step began.
    return [n, timeoutMs](ConnectionIo &io) { return io.readAtLeast(io.received().size() + n, timeoutMs); };
}

Step closeNow()
{
    return [](ConnectionIo &) { return false; };
}

Step resetNow()
{
    return [](ConnectionIo &io) {
        io.resetOnClose();
        return false;
    };
}

Step stall()
{
    return [](ConnectionIo &io) {
        while (io.pause(kSliceMs * 5)) {
        }
        return false;
    };
}

Step stream(std::function<std::string(size_t)> generator, int intervalMs)
{
    return [generator, intervalMs](ConnectionIo &io) {
        for (size_t i = 0;; ++i) {
            std::string chunk = generator(i);
            if (chunk.empty())
                return true;
            if (!io.send(chunk))
                return false;
            if (intervalMs > 0 && !io.pause(intervalMs))
                return false;
            if (io.stopping() || io.peerClosed())
                return false;
        }
    };
}

Step call(std::function<bool(ConnectionIo &)> fn)
{
    return fn;
}

// ---- ScriptedServer --------------------------------------------------------

ScriptedServer::ScriptedServer(std::vector<Script> scripts) : scripts_(std::move(scripts))
{
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("socket failed");
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;  // a free port
    if (bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(listenFd_, 64) != 0) {
        close(listenFd_);
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer()
{
    stop();
}

std::string ScriptedServer::hostPort() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

void ScriptedServer::stop()
{
    stopping_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    for (auto &t : threads_)
        if (t.joinable())
            t.join();
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
    }
    changed_.notify_all();
}

void ScriptedServer::acceptLoop()
{
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, kSliceMs) <= 0)
            continue;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = conns_.size();
            conns_.push_back(std::make_unique<Conn>());
        }
        threads_.emplace_back([this, index, fd] { runConnection(index, fd); });
        changed_.notify_all();
    }
}

void ScriptedServer::runConnection(size_t index, int fd)
{
    ConnectionIo io(this, index, fd);
    if (!scripts_.empty()) {
        const Script &script = scripts_[std::min(index, scripts_.size() - 1)];
        for (const Step &step : script)
            if (!step(io))
                break;
    }
    if (io.reset_) {
        // A zero linger time makes close() send a reset at once.
        linger hard{};
        hard.l_onoff = 1;
        hard.l_linger = 0;
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(fd);
    } else {
        // Read what is still pending so that closing sends an orderly FIN
        // rather than a reset that could discard answer bytes in flight.
        io.pump(0);
        shutdown(fd, SHUT_WR);
        io.pump(0);
        close(fd);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    conns_[index]->closed = true;
    changed_.notify_all();
}

void ScriptedServer::appendReceived(size_t index, const char *bytes, size_t n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conns_[index]->received.append(bytes, n);
    changed_.notify_all();
}

size_t ScriptedServer::connectionCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return conns_.size();
}

std::string ScriptedServer::received(size_t k) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return k < conns_.size() ? conns_[k]->received : std::string();
}

bool ScriptedServer::waitForConnections(size_t n, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return conns_.size() >= n; });
}

bool ScriptedServer::waitForClosed(size_t k, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return k < conns_.size() && conns_[k]->closed; });
}

bool ScriptedServer::waitForReceived(size_t k, const std::string &marker, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return k < conns_.size() && conns_[k]->received.find(marker) != std::string::npos;
    });
}

}  // namespace testsupport

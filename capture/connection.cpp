// The connection primitives of a capture, over TCP or TLS.
#include "connection.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "capture_state.h"
#include "netgrab.h"
#include "net/socket_shim.h"
#include "net/tls_session.h"
#include "text_rules.h"

namespace netgrab {

namespace {

// How often a quiet streaming receive looks at the stop flag. Live streams
// deliver data far more often, so this costs no wake-ups while streaming.
constexpr int64_t kStopCheckMs = 250;

std::atomic<NameLookup> g_lookup{nullptr};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isHostChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '.' || c == '-' || c == '_';
}

// Reads "%d.%d.%d.%d" at the start of text: 1 with the address whose bytes
// are the low eight bits of the four numbers, or 0 when fewer than four
// numbers are there. Whatever follows the fourth number (a port) is ignored.
int parseDotted(const char *text, uint32_t *address)
{
    unsigned char bytes[4];
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.')
                return 0;
            ++p;
        }
        bool negative = false;
        if (*p == '-' || *p == '+')
            negative = (*p++ == '-');
        if (!isDigit(*p))
            return 0;
        unsigned value = 0;  // only the low eight bits matter
        while (isDigit(*p))
            value = (value * 10u + static_cast<unsigned>(*p++ - '0')) & 0xFFu;
        if (negative)
            value = (0u - value) & 0xFFu;
        bytes[i] = static_cast<unsigned char>(value);
    }
    // Network byte order: the first number is the first byte in memory.
    uint32_t a = 0;
    unsigned char *out = reinterpret_cast<unsigned char *>(&a);
    for (int i = 0; i < 4; ++i)
        out[i] = bytes[i];
    *address = a;
    return 1;
}

}  // namespace

void setNameLookup(NameLookup lookup)
{
    g_lookup.store(lookup);
}

uint32_t resolveHost(const char *host)
{
    if (!host)
        return 0;
    // The first four characters must be host-name characters. This also
    // refuses texts of fewer than four characters: "no address".
    for (int i = 0; i < 4; ++i)
        if (!isHostChar(host[i]))
            return 0;
    bool hasLetter = false;
    for (const char *p = host; *p; ++p)
        if (isLetter(*p)) {
            hasLetter = true;
            break;
        }
    if (hasLetter) {
        uint32_t address = 0;
        NameLookup lookup = g_lookup.load();
        int ok = lookup ? lookup(host, &address) : net::lookupName(host, &address);
        return ok ? address : 0xFFFFFFFFu;
    }
    uint32_t address = 0;
    if (!parseDotted(host, &address))
        return 0;  // fewer than four numbers
    return address;
}

Connection::~Connection()
{
    closeConnection(*this);
}

namespace {

// The TLS handshake on c's socket, within the receive time-out; a stop
// ends it. True when the session is up; otherwise the failure is printed
// and set as the capture's error.
bool shakeHands(Connection &c, net::TlsSession *session, const char *host)
{
    const CaptureTuning &t = settings().tuning;
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(t.receivePollMs) * t.receivePollCount);
    char reason[200] = "";
    bool untrusted = false;
    for (;;) {
        const net::TlsStep step = net::tlsHandshake(session, &untrusted, reason, sizeof reason);
        if (step == net::TlsStep::Done)
            return true;
        if (step != net::TlsStep::WantRead && step != net::TlsStep::WantWrite)
            break;
        if (c.stop().pending()) {
            shared().lastError = NG_ERR_STOPPED;
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            copyText(reason, sizeof reason, "timed out");
            break;
        }
        const int slice = static_cast<int>(left > kStopCheckMs ? kStopCheckMs : left);
        if (step == net::TlsStep::WantRead)
            net::waitReadable(c.descriptor(), slice);
        else
            net::waitWritable(c.descriptor(), slice);
    }
    if (untrusted) {
        std::printf("certificate of %s not trusted: %s\n", host, reason);
        shared().lastError = NG_ERR_UNTRUSTED;
    } else {
        std::printf("TLS handshake with %s failed: %s\n", host, reason);
        shared().lastError = NG_ERR_RECEIVE;
    }
    std::fflush(stdout);
    return false;
}

}  // namespace

bool openConnection(Connection &c, const char *host, uint16_t port, Transport transport)
{
    closeConnection(c);
    c.tlsFailed_ = false;
    uint32_t address = resolveHost(host);
    if (address == 0)
        return false;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(&address);
    int error = 0;
    int fd = -1;
    if (address == 0xFFFFFFFFu) {
        // A failed lookup: report it as the connect failure it would be,
        // without sending anything to the broadcast address.
        error = net::hostUnreachableError();
    } else {
        fd = net::createStreamSocket(&error);
        // The connect waits as long as a receive may: an unreachable host
        // ends the attempt after that instead of minutes of SYN retries.
        const CaptureTuning &t = settings().tuning;
        if (fd > 0 && net::connectTo(fd, address, port, t.receivePollMs * t.receivePollCount, &error) != 0) {
            net::closeSocket(fd);
            fd = -1;
        }
    }
    if (fd <= 0) {
        std::printf("connect to  %d.%d.%d.%d:%d  fail -- %08x\n", b[0], b[1], b[2], b[3], static_cast<int>(port),
                    static_cast<unsigned>(error));
        std::fflush(stdout);
        return false;
    }
    net::setNonBlocking(fd);
    c.fd_ = fd;
    if (transport == Transport::Tcp)
        return true;
    char reason[200] = "";
    net::TlsSession *session = net::tlsStart(fd, host, reason, sizeof reason);
    if (!session) {
        std::printf("TLS handshake with %s failed: %s\n", host, reason);
        std::fflush(stdout);
        shared().lastError = NG_ERR_RECEIVE;
    } else if (shakeHands(c, session, host)) {
        c.tls_ = session;
        return true;
    }
    net::tlsEnd(session);
    closeConnection(c);
    c.tlsFailed_ = true;
    return false;
}

namespace {

// One send or receive on the connection's transport.
struct IoStep
{
    int n = -1;              // bytes moved (a receive: 0 when the peer closed), or -1
    int error = 0;           // the platform error of a failed step
    bool retry = false;      // it would block: wait, then try again
    bool waitWrite = false;  // ... for the socket to take bytes (else to have some)
};

IoStep sendStep(Connection &c, const void *bytes, int length)
{
    IoStep r;
    if (!c.isOpen()) {
        r.error = net::badDescriptorError();
        return r;
    }
    if (net::TlsSession *tls = c.tlsSession()) {
        const net::TlsStep step = net::tlsWrite(tls, bytes, length, &r.n, &r.error);
        if (step == net::TlsStep::Done)
            return r;
        r.n = -1;
        r.retry = step == net::TlsStep::WantRead || step == net::TlsStep::WantWrite;
        r.waitWrite = step == net::TlsStep::WantWrite;
        return r;
    }
    r.n = net::sendSome(c.descriptor(), bytes, length, &r.error);
    r.retry = r.n < 0 && net::isRetryable(r.error);
    r.waitWrite = true;
    return r;
}

IoStep receiveStep(Connection &c, void *buffer, int capacity)
{
    IoStep r;
    if (net::TlsSession *tls = c.tlsSession()) {
        const net::TlsStep step = net::tlsRead(tls, buffer, capacity, &r.n, &r.error);
        if (step == net::TlsStep::Done)
            return r;
        r.n = step == net::TlsStep::Closed ? 0 : -1;
        r.retry = step == net::TlsStep::WantRead || step == net::TlsStep::WantWrite;
        r.waitWrite = step == net::TlsStep::WantWrite;
        return r;
    }
    r.n = net::receiveOnce(c.descriptor(), buffer, capacity, &r.error);
    r.retry = r.n < 0 && net::isRetryable(r.error);
    return r;
}

void waitReady(const Connection &c, const IoStep &step, int ms)
{
    if (step.waitWrite)
        net::waitWritable(c.descriptor(), ms);
    else
        net::waitReadable(c.descriptor(), ms);
}

void reportSendFailure(const IoStep &step)
{
    std::printf("send fail : %d\n", step.error);
    std::fflush(stdout);
}

// Sends all bytes. While the peer takes nothing, the send waits for at
// most stallMs: counted again from each byte taken with perStall, else for
// the whole send; with endOnStop a stop request ends the wait too. Bytes
// sent, or IO_FAILED.
int sendUntil(Connection &c, const void *bytes, int length, int stallMs, bool perStall, bool endOnStop)
{
    const char *p = static_cast<const char *>(bytes);
    const CaptureTuning &t = settings().tuning;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(stallMs);
    int sent = 0;
    while (sent < length) {
        const IoStep step = sendStep(c, p + sent, length - sent);
        if (step.n >= 0) {
            sent += step.n;
            if (perStall)
                deadline = Clock::now() + std::chrono::milliseconds(stallMs);
            continue;
        }
        if (step.retry && !(endOnStop && c.stop().pending())) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left > 0) {
                const int64_t slice = left > t.receivePollMs ? t.receivePollMs : left;
                waitReady(c, step, static_cast<int>(slice));
                continue;
            }
        }
        reportSendFailure(step);
        return IO_FAILED;
    }
    return sent;
}

}  // namespace

int sendWithin(Connection &c, const void *bytes, int length, int timeoutMs)
{
    return sendUntil(c, bytes, length, timeoutMs, false, true);
}

int sendAll(Connection &c, const void *bytes, int length)
{
    // A peer that stops reading is given the receive time-out, counted
    // again whenever it takes bytes.
    const CaptureTuning &t = settings().tuning;
    return sendUntil(c, bytes, length, t.receivePollMs * t.receivePollCount, true, false);
}

namespace {

int receiveUntil(Connection &c, void *buffer, int capacity, bool endOnStop)
{
    if (!c.isOpen() || capacity <= 0)
        return IO_FAILED;
    // The receive time-out is receivePollCount waits of receivePollMs (about
    // 6.1 s). Rather than waking every interval to look, wait for the socket
    // to become readable for what is left of that time: the same time-out,
    // without 25 idle wake-ups a second on a quiet stream.
    const CaptureTuning &t = settings().tuning;
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(t.receivePollMs) * t.receivePollCount);
    for (;;) {
        const IoStep step = receiveStep(c, buffer, capacity);
        if (step.n > 0)
            return step.n;
        if (step.n == 0)
            return IO_FAILED;  // the peer closed the connection
        if (!step.retry)
            return IO_FAILED;
        if (endOnStop && c.stop().pending())
            return IO_FAILED;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return IO_FAILED;
        const int64_t slice = endOnStop && left > kStopCheckMs ? kStopCheckMs : left;
        waitReady(c, step, static_cast<int>(slice));
    }
}

}  // namespace

int receiveSome(Connection &c, void *buffer, int capacity)
{
    return receiveUntil(c, buffer, capacity, false);
}

int receiveStream(Connection &c, void *buffer, int capacity)
{
    return receiveUntil(c, buffer, capacity, true);
}

int streamEndError(const Connection &c)
{
    return c.stop().pending() ? NG_ERR_STOPPED : NG_ERR_RECEIVE;
}

uint16_t localPort(const Connection &c)
{
    return c.isOpen() ? net::localPortOf(c.descriptor()) : 0;
}
uint32_t localAddress(const Connection &c)
{
    return c.isOpen() ? net::localAddressOf(c.descriptor()) : 0;
}

void closeConnection(Connection &c)
{
    net::tlsEnd(c.tls_);
    c.tls_ = nullptr;
    if (c.fd_ <= 0)
        return;
    net::closeSocket(c.fd_);
    c.fd_ = 0;
}

void adoptConnection(Connection &c, int fd)
{
    net::tlsEnd(c.tls_);
    c.tls_ = nullptr;
    c.fd_ = fd > 0 ? fd : 0;
}

}  // namespace netgrab

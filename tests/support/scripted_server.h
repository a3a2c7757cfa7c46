#pragma once
// ScriptedServer: a loopback TCP peer for the capture tests.
//
// It listens on 127.0.0.1 at a free port (port()), accepts any number of
// connections and runs one script per connection on a thread of its own.
// Connection k follows scripts[k], or the last script when there are fewer.
// Every byte a connection receives is recorded (received(k)), whatever step
// is running, until the connection closes. All waits are bounded: each step
// that waits for the client gives up after its time-out, and stop() (also
// run by the destructor) ends every step at once and closes every socket.
//
// A script is a list of steps:
//
//   send(bytes)                      answer bytes at once
//   sendPieces(bytes, {n1, n2..}, ms) answer in pieces of n1, n2, ... bytes
//                                    (the last size repeats) with ms between
//   delay(ms)                        wait (still recording what arrives)
//   readUntil(marker, timeoutMs)     wait until the connection's received
//                                    bytes contain marker; on time-out the
//                                    script ends (connection closed)
//   readRequest(timeoutMs)           readUntil("\r\n\r\n"): an HTTP request
//   readBytes(n, timeoutMs)          wait until n more bytes have arrived
//   closeNow()                       close the connection (also the default
//                                    after the last step)
//   resetNow()                       close the connection with a reset (RST)
//                                    instead of an orderly FIN
//   stall()                          keep the connection open, answer
//                                    nothing, until the peer closes or stop()
//   stream(generator, intervalMs)    send generator(i) for i = 0, 1, ...
//                                    every intervalMs until the peer closes,
//                                    the generator returns an empty string,
//                                    or stop()
//   call(fn)                         run fn(ConnectionIo&): free-form dialog
//                                    (MMS command exchanges and the like);
//                                    returning false ends the script
//
// Example (an HTTP server answering one request, then closing):
//
//   ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\nabc")}});
//   ... connect to 127.0.0.1:server.port() ...
//   server.waitForConnections(1, 2000);
//   EXPECT_NE(server.received(0).find("GET / "), std::string::npos);

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedServer;

// What a call() step sees of its connection.
class ConnectionIo
{
public:
    // Sends all bytes (bounded by timeoutMs while the peer does not read).
    bool send(const std::string &bytes, int timeoutMs = 5000);
    // Waits until received() contains marker (searching from byte `from`).
    bool readUntil(const std::string &marker, int timeoutMs = 5000, size_t from = 0);
    // Waits until received() holds at least n bytes.
    bool readAtLeast(size_t n, int timeoutMs = 5000);
    // Waits ms, recording what arrives. False when the server is stopping or
    // the peer has closed.
    bool pause(int ms);
    // Every byte this connection has received so far.
    std::string received() const;
    bool peerClosed() const;
    bool stopping() const;
    // The connection ends with a reset instead of an orderly close.
    void resetOnClose() { reset_ = true; }

private:
    friend class ScriptedServer;
    ConnectionIo(ScriptedServer *server, size_t index, int fd) : server_(server), index_(index), fd_(fd) {}
    // Reads what is pending, waiting at most waitMs for something to arrive.
    void pump(int waitMs);
    ScriptedServer *server_;
    size_t index_;
    int fd_;
    bool peerClosed_ = false;
    bool reset_ = false;
};

using Step = std::function<bool(ConnectionIo &)>;  // false ends the script
using Script = std::vector<Step>;

Step send(std::string bytes);
Step sendPieces(std::string bytes, std::vector<size_t> pieceSizes, int delayMs);
Step delay(int ms);
Step readUntil(std::string marker, int timeoutMs = 5000);
Step readRequest(int timeoutMs = 5000);
Step readBytes(size_t n, int timeoutMs = 5000);
Step closeNow();
Step resetNow();
Step stall();
Step stream(std::function<std::string(size_t index)> generator, int intervalMs);
Step call(std::function<bool(ConnectionIo &)> fn);

class ScriptedServer
{
public:
    explicit ScriptedServer(std::vector<Script> scripts);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    uint16_t port() const { return port_; }
    // "127.0.0.1:<port>"
    std::string hostPort() const;

    size_t connectionCount() const;
    // Bytes received on connection k so far ("" for a connection not made).
    std::string received(size_t k) const;
    // Waits until at least n connections were accepted.
    bool waitForConnections(size_t n, int timeoutMs);
    // Waits until connection k's script has ended and its socket is closed.
    bool waitForClosed(size_t k, int timeoutMs);
    // Waits until connection k has received bytes containing marker.
    bool waitForReceived(size_t k, const std::string &marker, int timeoutMs);

    // Ends every step, closes every socket and joins every thread.
    void stop();
    bool stopping() const { return stopping_.load(); }

private:
    friend class ConnectionIo;
    struct Conn
    {
        std::string received;
        bool closed = false;
    };
    void acceptLoop();
    void runConnection(size_t index, int fd);
    void appendReceived(size_t index, const char *bytes, size_t n);

    std::vector<Script> scripts_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Conn>> conns_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};

}  // namespace testsupport

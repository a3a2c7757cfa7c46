// The scripted test server itself: later capture tests rely on its cues.
#include "scripted_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bounded_wait.h"

using namespace testsupport;
using namespace std::chrono;

namespace {

// A plain blocking client, independent of the library under test.
class Client
{
public:
    explicit Client(uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        connected_ = connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~Client() { close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::string &s) { ::send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
    // Reads until the peer closes or timeoutMs pass without data; also
    // returns the size of each read so pieces can be seen.
    std::string readAll(int timeoutMs, std::vector<size_t> *pieces = nullptr, bool *closed = nullptr)
    {
        std::string out;
        char buf[65536];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                break;
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                break;
            }
            out.append(buf, static_cast<size_t>(n));
            if (pieces)
                pieces->push_back(static_cast<size_t>(n));
        }
        return out;
    }
    // Reads until the bytes read hold marker, the peer closes, or timeoutMs pass.
    std::string readUntil(const std::string &marker, int timeoutMs, bool *closed = nullptr)
    {
        std::string out;
        char buf[4096];
        const auto end = steady_clock::now() + milliseconds(timeoutMs);
        while (out.find(marker) == std::string::npos) {
            const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                break;
            }
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
    // Reads exactly n bytes unless the peer closes or stays silent for a second.
    std::string readExactly(size_t n)
    {
        std::string out;
        char buf[4096];
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                break;
            ssize_t got = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0)
                break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }
    void closeNow()
    {
        close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST(ScriptedServer, AnswersARequestAndRecordsIt)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\nhello")}});
    Client c(server.port());
    ASSERT_TRUE(c.connected());
    c.send("GET /x HTTP/1.0\r\n\r\n");
    bool closed = false;
    EXPECT_EQ(c.readAll(testwait::kLoadMarginMs, nullptr, &closed), "HTTP/1.0 200 OK\r\n\r\nhello");
    EXPECT_TRUE(closed);
    EXPECT_EQ(server.received(0), "GET /x HTTP/1.0\r\n\r\n");
    EXPECT_EQ(server.hostPort(), "127.0.0.1:" + std::to_string(server.port()));
}

TEST(ScriptedServer, SendsInPiecesWithDelays)
{
    ScriptedServer server({{sendPieces("abcdefgh", {3, 2}, 30)}});
    Client c(server.port());
    std::vector<size_t> pieces;
    EXPECT_EQ(c.readAll(testwait::kLoadMarginMs, &pieces), "abcdefgh");
    // Pieces of 3, 2, 2 and 1 bytes; a busy machine may join two of them.
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_LE(pieces[0], 3u);
}

TEST(ScriptedServer, EachConnectionFollowsItsScriptAndTheLastRepeats)
{
    ScriptedServer server({{send("first")}, {send("later")}});
    for (const char *expected : {"first", "later", "later"}) {
        Client c(server.port());
        EXPECT_EQ(c.readAll(testwait::kLoadMarginMs), expected);
    }
    EXPECT_TRUE(server.waitForConnections(3, testwait::kLoadMarginMs));
    EXPECT_EQ(server.connectionCount(), 3u);
}

TEST(ScriptedServer, StallKeepsTheConnectionUntilStopped)
{
    auto server = std::make_unique<ScriptedServer>(std::vector<Script>{{send("x"), stall()}});
    Client c(server->port());
    bool closed = false;
    EXPECT_EQ(c.readUntil("x", testwait::kLoadMarginMs, &closed), "x");
    EXPECT_EQ(c.readAll(100, nullptr, &closed), "");  // nothing more, and still open
    EXPECT_FALSE(closed);
    auto start = steady_clock::now();
    server->stop();
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), testwait::kLoadMarginMs)
        << "stop() ends the stall";
    c.readAll(testwait::kLoadMarginMs, nullptr, &closed);
    EXPECT_TRUE(closed);
}

TEST(ScriptedServer, StreamsUntilThePeerCloses)
{
    ScriptedServer server({{stream([](size_t i) { return std::string(100, static_cast<char>('a' + i % 26)); }, 1)}});
    {
        Client c(server.port());
        std::string got = c.readExactly(1000);
        EXPECT_EQ(got.substr(0, 200), std::string(100, 'a') + std::string(100, 'b'));
        c.closeNow();
    }
    EXPECT_TRUE(server.waitForClosed(0, testwait::kLoadMarginMs));
}

TEST(ScriptedServer, CallStepsHoldADialog)
{
    ScriptedServer server({{call([](ConnectionIo &io) {
        if (!io.readUntil("one\n", testwait::kLoadMarginMs))
            return false;
        io.send("ack1\n");
        size_t mark = io.received().size();
        return io.readUntil("two\n", testwait::kLoadMarginMs, mark) && io.send("ack2\n");
    })}});
    Client c(server.port());
    c.send("one\n");
    EXPECT_EQ(c.readUntil("ack1\n", testwait::kLoadMarginMs), "ack1\n");
    c.send("two\n");
    EXPECT_EQ(c.readAll(testwait::kLoadMarginMs), "ack2\n");
    EXPECT_TRUE(server.waitForReceived(0, "one\ntwo\n", testwait::kLoadMarginMs));
}

TEST(ScriptedServer, ReadTimeOutEndsTheScript)
{
    ScriptedServer server({{readUntil("never", 50), send("unreached")}});
    Client c(server.port());
    bool closed = false;
    EXPECT_EQ(c.readAll(testwait::kLoadMarginMs, nullptr, &closed), "");
    EXPECT_TRUE(closed);
}

}  // namespace

// The HTTP GET operations against a scripted loopback server.
#include "http_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>

#include "bounded_wait.h"
#include "capture_state.h"
#include "connection.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

class HttpRequestTest : public ::testing::Test, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        std::memset(ctx.receiveBuffer, 'x', sizeof ctx.receiveBuffer);
    }
    char *answer() { return ctx.receiveBuffer; }
    // The last slot carries the empty line that ends the request.
    HeaderSlot endSlot_ = "Host: 127.0.0.1\r\n\r\n";
    const HeaderSlot *slots() { return &endSlot_; }
    void usePort(const ScriptedServer &server) { ctx.requestPort = server.port(); }
};

std::string okAnswer(const std::string &body, const std::string &extraHeaders = "")
{
    return "HTTP/1.0 200 OK\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const char *kFetchRequestTail =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, application/msword, */*\r\n"
    "Accept-Language: zh-tw\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.1.4322)\r\n"
    "Host: 127.0.0.1\r\n"
    "Connection: close\r\n\r\n";

TEST_F(HttpRequestTest, FetchWithoutPathAsksForRootAndReadsUntilClose)
{
    ScriptedServer server({{readRequest(), sendPieces("HTTP/1.0 200 OK\r\n\r\n#EXTM3U\n", {5}, 2)}});
    usePort(server);
    int n = httpFetch(ctx, answer(), "127.0.0.1");
    ASSERT_EQ(n, 27);
    EXPECT_EQ(std::string(answer(), n), "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\n");
    EXPECT_EQ(answer()[n], '\0');  // the first 10240 bytes were cleared
    EXPECT_EQ(server.received(0), std::string("GET / HTTP/1.1\r\n") + kFetchRequestTail);
}

TEST_F(HttpRequestTest, FetchSendsPathFromFirstSlash)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\n")}});
    usePort(server);
    ASSERT_GT(httpFetch(ctx, answer(), "127.0.0.1/list/a.pls?x=1"), 0);
    EXPECT_EQ(server.received(0), std::string("GET /list/a.pls?x=1 HTTP/1.1\r\n") + kFetchRequestTail);
}

TEST_F(HttpRequestTest, RequestSendsSlotsAsTheyAre)
{
    ScriptedServer server({{readRequest(), send(okAnswer("ok"))}});
    usePort(server);
    HeaderSlot slots[3];
    std::strcpy(slots[0], "Accept: */*\r\nUser-Agent: NSPlayer/4.1.0.3928\r\n");
    std::strcpy(slots[1], "Pragma: no-cache\r\n\r\n");
    std::strcpy(slots[2], "Never-Sent: 1\r\n");
    ASSERT_GT(httpRequest(ctx, answer(), "127.0.0.1", "", slots, 2), 0);
    EXPECT_EQ(server.received(0),
              "GET / HTTP/1.1\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3928\r\nPragma: no-cache\r\n\r\n");
}

// Stops as soon as the body has arrived, though the server keeps the
// connection open; also when the header terminator or the length header is
// split across two received blocks.
struct LengthCase
{
    const char *name;
    std::vector<size_t> pieces;
};
void PrintTo(const LengthCase &c, std::ostream *os)
{
    *os << c.name;
}

class ContentLengthStop : public HttpRequestTest, public ::testing::WithParamInterface<LengthCase>
{};

TEST_P(ContentLengthStop, StopsWithoutWaitingForClose)
{
    const std::string reply = okAnswer("0123456789", "Server: test\r\n");
    ScriptedServer server({{readRequest(), sendPieces(reply, GetParam().pieces, 15), stall()}});
    usePort(server);
    netgrab::settings().tuning.receivePollMs = 40;  // a time-out of 800 ms would show
    auto start = std::chrono::steady_clock::now();
    int n = httpRequest(ctx, answer(), "127.0.0.1", "/x", slots(), 1);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(n, static_cast<int>(reply.size()));
    EXPECT_EQ(std::string(answer(), n), reply);
    EXPECT_LT(ms, 600);
}

const size_t kHeaderLength = std::string("HTTP/1.0 200 OK\r\nServer: test\r\nContent-Length: 10\r\n").size();

INSTANTIATE_TEST_SUITE_P(Pieces, ContentLengthStop,
                         ::testing::Values(LengthCase{"whole", {}},
                                           LengthCase{"terminator_split", {kHeaderLength + 2, 100}},
                                           LengthCase{"length_header_split", {40, 100}},
                                           LengthCase{"body_trickles", {kHeaderLength + 2, 3}}),
                         [](const ::testing::TestParamInfo<LengthCase> &info) { return std::string(info.param.name); });

TEST_F(HttpRequestTest, ZeroContentLengthReadsUntilClose)
{
    ScriptedServer server(
        {{readRequest(), send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"), delay(30), send("late")}});
    usePort(server);
    int n = httpRequest(ctx, answer(), "127.0.0.1", "/", slots(), 1);
    EXPECT_EQ(std::string(answer(), n), "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nlate");
}

TEST_F(HttpRequestTest, LongAnswerIsCutAtTheCapAndKeptOpen)
{
    std::string body(15000, 'a');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + body;
    ScriptedServer server({{readRequest(), send(reply), stall()}});
    usePort(server);
    bool kept = false;
    int n = httpRequestKeep(ctx, answer(), "127.0.0.1", "/", slots(), 1, &kept);
    ASSERT_EQ(n, kAnswerLimit);
    EXPECT_EQ(answer()[kAnswerLimit], 'x');  // nothing past the cap
    ASSERT_TRUE(kept);
    ASSERT_TRUE(ctx.connection.isOpen());
    // The rest of the stream continues on the kept connection.
    std::string rest;
    char block[4096];
    for (int r;
         rest.size() < reply.size() - kAnswerLimit && (r = receiveSome(ctx.connection, block, sizeof block)) > 0;)
        rest.append(block, r);
    EXPECT_EQ(rest, reply.substr(kAnswerLimit));
    closeConnection(ctx.connection);
}

TEST_F(HttpRequestTest, PlainRequestClosesAtTheCap)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\n" + std::string(12000, 'b')), stall()}});
    usePort(server);
    EXPECT_EQ(httpRequest(ctx, answer(), "127.0.0.1", "/", slots(), 1), kAnswerLimit);
    EXPECT_EQ(answer()[kAnswerLimit], 'x');
    EXPECT_TRUE(server.waitForClosed(0, testwait::kLoadMarginMs));  // our side closed, so the stall ended
}

TEST_F(HttpRequestTest, KeepClosesAShortAnswerAndSaysSo)
{
    ScriptedServer server({{readRequest(), send(okAnswer("short"))}});
    usePort(server);
    bool kept = true;
    EXPECT_EQ(httpRequestKeep(ctx, answer(), "127.0.0.1", "/", slots(), 1, &kept), 43);
    EXPECT_FALSE(kept);
    EXPECT_FALSE(ctx.connection.isOpen());
}

TEST_F(HttpRequestTest, FirstReturnsTheOpenConnectionAfterOneReceive)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\nABC"), delay(50), send("DEF"), stall()}});
    usePort(server);
    int count = 0;
    ASSERT_TRUE(httpRequestFirst(ctx, answer(), "127.0.0.1", "/live", slots(), 1, &count));
    Connection &c = ctx.connection;
    EXPECT_EQ(std::string(answer(), count), "HTTP/1.0 200 OK\r\n\r\nABC");
    char more[16];
    int n = receiveSome(c, more, sizeof more);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::string(more, 3), "DEF");
    closeConnection(c);
    EXPECT_EQ(server.received(0), "GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST_F(HttpRequestTest, FirstGivesMinusOneWhenTheServerSaysNothing)
{
    ScriptedServer server({{readRequest(), closeNow()}});
    usePort(server);
    int count = -7;
    EXPECT_FALSE(httpRequestFirst(ctx, answer(), "127.0.0.1", "/", slots(), 1, &count));
    EXPECT_EQ(count, -7);
    EXPECT_FALSE(ctx.connection.isOpen());
}

TEST_F(HttpRequestTest, EveryOperationReportsAFailedConnect)
{
    const uint16_t port = testutil::closedPort();
    ctx.requestPort = port;
    HeaderSlot slot = "\r\n";
    int count = 0;
    bool kept = false;
    const std::string expected =
        "connect to  127.0.0.1:" + std::to_string(port) + "  fail -- 0000006f\nconnect to server fail\n";
    struct Op
    {
        const char *name;
        std::function<int()> run;
    } ops[] = {
        {"fetch", [&] { return httpFetch(ctx, answer(), "127.0.0.1/x"); }},
        {"request", [&] { return httpRequest(ctx, answer(), "127.0.0.1", "/", &slot, 1); }},
        {"keep", [&] { return httpRequestKeep(ctx, answer(), "127.0.0.1", "/", &slot, 1, &kept); }},
        {"first", [&] { return httpRequestFirst(ctx, answer(), "127.0.0.1", "/", &slot, 1, &count) ? 0 : -1; }},
    };
    for (auto &op : ops) {
        SCOPED_TRACE(op.name);
        ::testing::internal::CaptureStdout();
        int r = op.run();
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, -1);
        EXPECT_EQ(out, expected);  // 0x6f: ECONNREFUSED
    }
}

TEST_F(HttpRequestTest, RequestThatDoesNotFitIsNotSent)
{
    ScriptedServer server({{readRequest(500), send(okAnswer("x"))}});
    usePort(server);
    static HeaderSlot slots[40];
    for (auto &s : slots) {
        std::memset(s, 'h', kHeaderSlotSize - 1);
        s[kHeaderSlotSize - 1] = '\0';
    }
    EXPECT_EQ(httpRequest(ctx, answer(), "127.0.0.1", "/", slots, 40), -1);
    EXPECT_EQ(server.connectionCount(), 0u);
}

}  // namespace

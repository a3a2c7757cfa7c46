// The three Windows Media routes end to end through the exported calls:
// netgrab() on a worker thread, StopRecord() from the test, GetRecError().
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "asf_media.h"
#include "capture_state.h"
#include "mmsh_server.h"
#include "mmst_server.h"
#include "netgrab.h"
#include "test_util.h"
#include "wm_fixture.h"

using namespace testsupport;
using netgrab::shared;

namespace {

class Routes : public wmtest::TempDirTest
{
protected:
    void TearDown() override
    {
        netgrab::settings().config.portalHost = saved_;
        TempDirTest::TearDown();
    }
    // Runs netgrab until the file holds the header and some packets, then
    // stops it. Returns netgrab's result.
    int recordThenStop(const std::string &source, size_t headerBytes, size_t packetSize)
    {
        int result = -999;
        std::thread t([&] { result = netgrab_api::netgrab(source.c_str(), base_.c_str()); });
        const long enough = static_cast<long>(headerBytes + 8 * packetSize);
        EXPECT_TRUE(testwait::waitUntil([&] { return wmtest::fileSize(wma()) >= enough; }, 15000));
        netgrab_api::StopRecord();
        t.join();
        return result;
    }
    void expectClosedAndFinished(const AsfMedia &m, bool finished)
    {
        EXPECT_EQ(netgrab_api::GetRecError(), NG_ERR_STOPPED);
        EXPECT_EQ(wmtest::openDescriptorsOf(wma()), 0);
        std::string file = fileBytes(wma());
        ASSERT_GT(file.size(), m.header.size());
        size_t packets = (file.size() - m.header.size()) / m.packetSize;
        EXPECT_EQ((file.size() - m.header.size()) % m.packetSize, 0u);
        size_t props = findGuid(file, kFilePropertiesGuid);
        if (finished) {
            EXPECT_EQ(readLe(file, props + 40, 8), file.size());
            EXPECT_EQ(readLe(file, props + 56, 8), packets);
            EXPECT_EQ(readLe(file, props + 88, 4), 2u);
            wmtest::expectDurations(wma(), wmtest::coveredMs(wmtest::filePackets(file, m)));
        } else {
            EXPECT_EQ(readLe(file, props + 88, 4), 1u) << "the portal route leaves the header as sent";
        }
    }
    const char *saved_ = netgrab::settings().config.portalHost;
};

// A server that goes quiet mid-stream: a stop must not wait out the
// receive time-out (longer than a live recorder's 1 s settle), so the
// header is still finished before the recorder exits.
TEST_F(Routes, StopDuringASilentStreamEndsPromptly)
{
    WM_MEDIA(m, 10);
    netgrab::settings().tuning.receivePollCount = 1000;  // 5 s receive time-out
    ScriptedServer server({mmshDescribeScript(broadcastHeader(*m), 1), mmshPlayScript(*m, 0, 10, StreamEnd::GoQuiet)});
    std::string source = "http://127.0.0.1:" + std::to_string(server.port()) + "/live";
    int result = -999;
    std::thread t([&] { result = netgrab_api::netgrab(source.c_str(), base_.c_str()); });
    const long all = static_cast<long>(m->header.size() + 10 * m->packetSize);
    EXPECT_TRUE(testwait::waitUntil([&] { return wmtest::fileSize(wma()) >= all; }, 15000));
    const auto asked = std::chrono::steady_clock::now();
    netgrab_api::StopRecord();
    t.join();
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_EQ(result, 0);
    expectClosedAndFinished(*m, true);
}

// The MMS server goes away before answering the connect command: the
// attempt goes on over HTTP (MMS over HTTP on the same host and port).
TEST_F(Routes, EarlyMmsFailureFallsBackToTheHttpRoute)
{
    WM_MEDIA(m, 10);
    ScriptedServer server(
        {{closeNow()}, mmshDescribeScript(broadcastHeader(*m), 1), mmshPlayScript(*m, 0, 3, StreamEnd::KeepStreaming)});
    std::string source = "mms://127.0.0.1:" + std::to_string(server.port()) + "/live";
    EXPECT_EQ(recordThenStop(source, m->header.size(), m->packetSize), 0);
    EXPECT_NE(server.received(1).find("GET /live HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(server.received(1).find("User-Agent: NSPlayer/10.0.0.3802\r\n"), std::string::npos);
    expectClosedAndFinished(*m, true);
}

// Nothing listens on the MMS port: the attempt goes on over HTTP on the
// HTTP port (both ports moved to loopback test ports through the tuning).
TEST_F(Routes, RefusedMmsPortFallsBackToHttpOnItsPort)
{
    WM_MEDIA(m, 10);
    ScriptedServer server(
        {mmshDescribeScript(broadcastHeader(*m), 1), mmshPlayScript(*m, 0, 3, StreamEnd::KeepStreaming)});
    netgrab::settings().tuning.mmsPort = testutil::closedPort();
    netgrab::settings().tuning.httpPort = server.port();
    EXPECT_EQ(recordThenStop("mms://127.0.0.1/live", m->header.size(), m->packetSize), 0);
    EXPECT_NE(server.received(0).find("GET /live HTTP/1.1\r\n"), std::string::npos);
    expectClosedAndFinished(*m, true);
}

// ---- the same behaviours on each route ----

// How a route's server answers one attempt that sends packets
// [first, first + count), and the address netgrab() is given.
struct WmRoute
{
    const char *name;
    bool finishesHeader;  // the header is fixed up when the capture ends
    std::vector<Script> (*attempt)(const AsfMedia &m, size_t first, size_t count, StreamEnd end);
    std::string (*source)(const ScriptedServer &server);
};
void PrintTo(const WmRoute &r, std::ostream *os)
{
    *os << r.name;
}

std::vector<Script> mmshAttempt(const AsfMedia &m, size_t first, size_t count, StreamEnd end)
{
    return {mmshDescribeScript(broadcastHeader(m), 2), mmshPlayScript(m, first, count, end)};
}
std::vector<Script> mmstAttempt(const AsfMedia &m, size_t first, size_t count, StreamEnd end)
{
    MmstPlan plan;
    plan.first = first;
    plan.count = count;
    plan.pingEvery = 2;
    plan.keepStreaming = end == StreamEnd::KeepStreaming;
    return {mmstScript(m, broadcastHeader(m), plan)};
}
std::string httpOk(const std::string &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::vector<Script> portalAttempt(const AsfMedia &m, size_t first, size_t count, StreamEnd end)
{
    const std::string page = "<html><ASX><ENTRY><REF HREF=\"http://127.0.0.1/ref.asx\"/></ENTRY></ASX></html>";
    const std::string playlist = "<ASX><Entry><Ref href=\"mms://127.0.0.1/live\"/></Entry></ASX>";
    return {{readRequest(), send(httpOk(page)), closeNow()},
            {readRequest(), send(httpOk(playlist)), closeNow()},
            mmshDescribeScript(broadcastHeader(m), 2),
            mmshPlayScript(m, first, count, end)};
}

const WmRoute kWmRoutes[] = {
    {"MmsOverHttp", true, mmshAttempt,
     [](const ScriptedServer &server) { return "http://" + server.hostPort() + "/live"; }},
    {"MmsOverTcp", true, mmstAttempt,
     [](const ScriptedServer &server) { return "mms://" + server.hostPort() + "/live"; }},
    // The portal's pages and stream are asked for on the HTTP port.
    {"Portal", true, portalAttempt,
     [](const ScriptedServer &server) {
         netgrab::settings().config.portalHost = "127.0.0.1";
         netgrab::settings().tuning.httpPort = server.port();
         return std::string("http://127.0.0.1/player.asp?ch=1");
     }},
};

class EachRoute : public Routes, public ::testing::WithParamInterface<WmRoute>
{
protected:
    // The file holds the header as its length says and the server's
    // packets, padded, after it.
    void expectPackets(const AsfMedia &m, const std::string &packets)
    {
        const std::string file = fileBytes(wma());
        ASSERT_GE(file.size(), m.header.size());
        EXPECT_EQ(file.size(), m.header.size() + packets.size());
        EXPECT_TRUE(file.compare(m.header.size(), std::string::npos, packets) == 0);
    }
};

TEST_P(EachRoute, StoppingFinishesTheFile)
{
    WM_MEDIA(m, 10);
    const int socketsBefore = wmtest::openSockets();
    {
        ScriptedServer server(GetParam().attempt(*m, 0, 3, StreamEnd::KeepStreaming));
        EXPECT_EQ(recordThenStop(GetParam().source(server), m->header.size(), m->packetSize), 0);
    }
    expectClosedAndFinished(*m, GetParam().finishesHeader);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore);
}

// A stream that ends is asked for again; the next attempt appends its
// packets without a second header, and the finished header counts both.
TEST_P(EachRoute, AppendingAddsNoSecondHeader)
{
    WM_MEDIA(m, 10);
    const size_t first = 10, total = m->packets.size();
    std::vector<Script> scripts = GetParam().attempt(*m, 0, first, StreamEnd::Close);
    for (Script &s : GetParam().attempt(*m, first, total - first, StreamEnd::Close))
        scripts.push_back(s);
    scripts.push_back({closeNow()});  // later attempts find no stream
    ScriptedServer server(scripts);
    const std::string source = GetParam().source(server);
    int result = -999;
    std::thread t([&] { result = netgrab_api::netgrab(source.c_str(), base_.c_str()); });
    const auto all = static_cast<long>(m->header.size() + total * m->packetSize);
    // Finished when the header states the whole file (or, on the portal
    // route, when all packets are in).
    EXPECT_TRUE(testwait::waitUntil(
        [&] {
            const std::string file = fileBytes(wma());
            const size_t props = findGuid(file, kFilePropertiesGuid);
            return static_cast<long>(file.size()) == all
                && (!GetParam().finishesHeader || readLe(file, props + 56, 8) == total);
        },
        20000));
    netgrab_api::StopRecord();
    t.join();
    EXPECT_EQ(result, 0);
    expectPackets(*m, wmtest::paddedPackets(*m, 0, total));
    if (!GetParam().finishesHeader)
        return;
    const std::string file = fileBytes(wma());
    const size_t props = findGuid(file, kFilePropertiesGuid);
    EXPECT_EQ(readLe(file, props + 40, 8), file.size());
    EXPECT_EQ(readLe(file, props + 88, 4), 2u);
    // Each attempt adds the time its own packets cover.
    wmtest::expectDurations(wma(),
                            wmtest::coveredMs(wmtest::mediaPackets(*m, 0, first))
                                + wmtest::coveredMs(wmtest::mediaPackets(*m, first, total - first)));
}

INSTANTIATE_TEST_SUITE_P(Routes, EachRoute, ::testing::ValuesIn(kWmRoutes),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

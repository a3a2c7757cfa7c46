// The portal route: page, reference, redirect, describe and play, against
// the MMS-over-HTTP test peer behind a scripted page and playlist.
#include "portal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "asf_media.h"
#include "capture_state.h"
#include "connection.h"
#include "mmsh_server.h"
#include "netgrab.h"
#include "output_file.h"
#include "wm_expect.h"
#include "wm_fixture.h"

using namespace testsupport;
using netgrab::shared;

namespace {

// The redirect target's name resolves to loopback.
int relayLookup(const char *name, uint32_t *address)
{
    if (std::strcmp(name, "relay.portal.test") != 0)
        return 0;
    const unsigned char loop[4] = {127, 0, 0, 1};
    std::memcpy(address, loop, 4);
    return 1;
}

std::string httpOk(const std::string &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"
        + body;
}

const char *kPage = "<html><body><object><param name=\"url\">"
                    "<ASX version=\"3.0\"><ENTRY><REF HREF=\"http://127.0.0.1/ref.asx?ch=7\"/></ENTRY></ASX>"
                    "</object></body></html>";
const char *kMoved = "HTTP/1.1 302 Moved Temporarily\r\nLocation: http://relay.portal.test/moved.asx?ch=7\r\n"
                     "Content-Length: 0\r\n\r\n";
const char *kPlaylist = "<ASX version=\"3.0\"><Entry><Ref href=\"mms://127.0.0.1/live\"/></Entry></ASX>";

class Portal : public wmtest::TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        netgrab::settings().config.portalHost = "127.0.0.1";
        netgrab::settings().config.portalStreamHost = "stream.portal.test";
        netgrab::setNameLookup(&relayLookup);
    }
    void TearDown() override
    {
        netgrab::setNameLookup(nullptr);
        TempDirTest::TearDown();
    }
    std::vector<Script> lookupScripts()
    {
        return {{readRequest(), send(httpOk(kPage)), closeNow()},
                {readRequest(), send(kMoved), closeNow()},
                {readRequest(), send(httpOk(kPlaylist)), closeNow()}};
    }
    void capture(const ScriptedServer &server)
    {
        netgrab::settings().tuning.httpPort = server.port();
        netgrab::copyText(ctx.workingAddress, sizeof ctx.workingAddress, "127.0.0.1/player.asp?ch=7");
        netgrab::copyText(ctx.pageCookie, sizeof ctx.pageCookie, "abc");
        netgrab::capturePortal(ctx, ctx.workingAddress, ctx.pageCookie);
    }
};

TEST_F(Portal, FollowsPageReferenceAndRedirectToTheStream)
{
    WM_MEDIA(m, 10);
    std::vector<Script> scripts = lookupScripts();
    scripts.push_back(mmshDescribeScript(m->header, 2));
    scripts.push_back(mmshPlayScript(*m, 0, m->packets.size(), StreamEnd::Close));
    const int socketsBefore = wmtest::openSockets();
    std::string got[5];
    {
        ScriptedServer server(scripts);
        capture(server);
        for (size_t k = 0; k < 5; ++k) {
            server.waitForClosed(k, 5000);
            got[k] = server.received(k);
        }
    }
    const std::string guid = ctx.clientGuid;
    EXPECT_EQ(
        got[0],
        wmtest::expectedRequest("portal_page_request.txt", {{"PATH", "/player.asp?ch=7"}, {"HOST", "127.0.0.1"}}));
    EXPECT_EQ(got[1],
              wmtest::expectedRequest("portal_link_request.txt",
                                      {{"PATH", "/ref.asx?ch=7"}, {"HOST", "stream.portal.test"}, {"COOKIE", "abc"}}));
    EXPECT_EQ(got[2],
              wmtest::expectedRequest("portal_redirect_request.txt",
                                      {{"PATH", "/moved.asx?ch=7"}, {"HOST", "relay.portal.test"}}));
    EXPECT_EQ(got[3],
              wmtest::expectedRequest("portal_describe_request.txt",
                                      {{"PATH", "/live"}, {"HOST", "127.0.0.1"}, {"COOKIE", "abc"}, {"GUID", guid}}));
    EXPECT_EQ(got[4],
              wmtest::expectedRequest("portal_play_request.txt",
                                      {{"PATH", "/live"}, {"HOST", "127.0.0.1"}, {"COOKIE", "abc"}, {"GUID", guid}}));
    EXPECT_STREQ(ctx.workingAddress, "127.0.0.1/live");
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(wmtest::openDescriptorsOf(wma()), 0);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore);
    // The header (finished at the end), then the server's packets padded to
    // the packet size.
    const std::string file = fileBytes(wma());
    EXPECT_EQ(file.size(), m->header.size() + m->packets.size() * m->packetSize);
    EXPECT_TRUE(file.compare(m->header.size(), std::string::npos, wmtest::paddedPackets(*m, 0, m->packets.size()))
                == 0);
    std::string format;
    EXPECT_GT(probeDuration(wma(), &format), -1);
    EXPECT_EQ(format, "asf");
}

TEST_F(Portal, ForbiddenStreamEndsTheAttemptWithTheFileClosed)
{
    std::vector<Script> scripts = lookupScripts();
    scripts.push_back({readRequest(), send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"), closeNow()});
    ScriptedServer server(scripts);
    capture(server);
    EXPECT_EQ(shared().lastError, NG_ERR_REFUSED);
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(server.connectionCount(), 4u) << "no play request after a refusal";
}

// ---- ports named in the reference or in the redirect ----------------------------

// The page reference or the redirect's Location names host:port; that
// request goes to the port named, not to the portal's HTTP port.
struct PortCase
{
    const char *name;
    bool inReference;  // else in the Location of a redirect
};
void PrintTo(const PortCase &c, std::ostream *os)
{
    *os << c.name;
}

class PortalPort : public Portal, public ::testing::WithParamInterface<PortCase>
{};

TEST_P(PortalPort, RequestGoesToThePortNamed)
{
    const bool inReference = GetParam().inReference;
    ScriptedServer relay({{readRequest(), send(httpOk(kPlaylist)), closeNow()}});
    const std::string port = std::to_string(relay.port());
    const std::string page = "<html><ASX><ENTRY><REF HREF=\"http://127.0.0.1" + (inReference ? ":" + port : "")
        + "/ref.asx?ch=7\"/></ENTRY></ASX></html>";
    const std::string moved = "HTTP/1.1 302 Moved Temporarily\r\nLocation: http://relay.portal.test:" + port
        + "/moved.asx?ch=7\r\nContent-Length: 0\r\n\r\n";
    ScriptedServer portal({{readRequest(), send(httpOk(page)), closeNow()}, {readRequest(), send(moved), closeNow()}});
    netgrab::settings().tuning.httpPort = portal.port();
    char address[512] = "127.0.0.1/player.asp?ch=7";
    ::testing::internal::CaptureStdout();
    const int found = netgrab::portalLookup(ctx, address, "abc");
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(found, 1);
    EXPECT_STREQ(address, "127.0.0.1/live");
    EXPECT_EQ(portal.connectionCount(), inReference ? 1u : 2u);
    ASSERT_EQ(relay.connectionCount(), 1u);
    EXPECT_EQ(
        relay.received(0).rfind(inReference ? "GET /ref.asx?ch=7 HTTP/1.1\r\n" : "GET /moved.asx?ch=7 HTTP/1.1\r\n", 0),
        0u)
        << relay.received(0);
}

INSTANTIATE_TEST_SUITE_P(Places, PortalPort,
                         ::testing::Values(PortCase{"in_reference", true}, PortCase{"in_location", false}),
                         [](const ::testing::TestParamInfo<PortCase> &i) { return std::string(i.param.name); });

// ---- the describe answer's header scan ------------------------------------------

struct ScanCase
{
    const char *name;
    std::string (*body)(const std::string &header);  // "$H" chunks as the server sends them
    bool whole;                                      // the header arrives whole (and is written), or is refused
};

std::string fakeChunk(const std::string &payload, size_t claimed)
{
    return std::string("$H", 2) + le(claimed + 8, 2) + std::string(8, '\0') + payload;
}

class HeaderScan : public Portal, public ::testing::WithParamInterface<ScanCase>
{};

TEST_P(HeaderScan, StaysInsideTheAnswer)
{
    WM_MEDIA(m, 10);
    const ScanCase &c = GetParam();
    const std::string header = broadcastHeader(*m);
    const std::string body = c.body(header);
    std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    ScriptedServer server({{readRequest(), send(answer), closeNow()}});
    netgrab::settings().tuning.httpPort = server.port();
    const int result = netgrab::portalDescribe(ctx, "127.0.0.1/live", "abc");
    netgrab::closeOutput(ctx.output);
    EXPECT_EQ(result > 0, c.whole);
    EXPECT_TRUE(fileBytes(wma()) == (c.whole ? header : std::string()));
}

// A chunk mark inside a payload, behind the header.
const std::string kInner = "abc$H" + le(60000, 2) + "xyz";

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderScan,
    ::testing::Values(ScanCase{"two_chunks",
                               [](const std::string &h) {
                                   return fakeChunk(h.substr(0, 100), 100) + fakeChunk(h.substr(100), h.size() - 100);
                               },
                               true},
                      ScanCase{"chunk_mark_inside_payload",
                               [](const std::string &h) { return fakeChunk(h + kInner, h.size() + kInner.size()); },
                               true},
                      ScanCase{"chunk_longer_than_answer",
                               [](const std::string &h) { return fakeChunk(h.substr(0, 200), 9000); }, false}),
    [](const ::testing::TestParamInfo<ScanCase> &i) { return std::string(i.param.name); });

// ---- text helpers ------------------------------------------------------------------

TEST(PortalText, SplitHostPath)
{
    char host[16], path[16];
    netgrab::splitHostPath("streamhost/live/x", host, sizeof host, path, sizeof path);
    EXPECT_STREQ(host, "streamhost");
    EXPECT_STREQ(path, "/live/x");
    netgrab::splitHostPath("streamhost", host, sizeof host, path, sizeof path);
    EXPECT_STREQ(host, "streamhost");
    EXPECT_STREQ(path, "");
    netgrab::splitHostPath("a-very-long-host-name.example/p", host, sizeof host, path, sizeof path);
    EXPECT_STREQ(host, "a-very-long-hos") << "cut to its buffer";
}

TEST(PortalText, FindAfterMarker)
{
    char out[8];
    const char *answer = "x <REF HREF=\"http://h/p\"> Ref href=\"mms://s/live\r\n";
    EXPECT_EQ(netgrab::findAfterMarker(answer, "Ref href=\"mms://", out, sizeof out), 1);
    EXPECT_STREQ(out, "s/live");
    EXPECT_EQ(netgrab::findAfterMarker(answer, "<REF HREF=\"", out, sizeof out), 1);
    EXPECT_STREQ(out, "http://") << "cut to its buffer";
    EXPECT_EQ(netgrab::findAfterMarker(answer, "[COOKIE]", out, sizeof out), 0);
}

}  // namespace

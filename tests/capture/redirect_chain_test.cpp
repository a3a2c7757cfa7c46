// Chains of further addresses, wherever an answer can name one: the
// describe request's redirect, the ASX fetch's redirect, a moved notice in
// a describe answer (followed by the attempt), and the portal's redirect.
// A server that names itself must not hold an attempt forever, and a stop
// that is already pending ends the chain at its first further address.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <ostream>
#include <string>
#include <tuple>

#include "asf_media.h"
#include "bounded_wait.h"
#include "capture_loop.h"
#include "capture_state.h"
#include "classify.h"
#include "http_audio.h"
#include "netgrab.h"
#include "output_file.h"
#include "portal.h"
#include "scripted_server.h"
#include "test_util.h"
#include "text_rules.h"

using namespace netgrab;
using namespace testsupport;

namespace {

// More than the 10,240 bytes of the request buffer: the describe request
// keeps such a connection, and each hop must close it.
std::string filling(std::string answer)
{
    return answer + std::string(11000, ' ');
}

struct ChainCase
{
    const char *name;
    std::string (*answer)(const std::string &self);              // the answer naming `self`
    std::string path;                                            // path of the first address
    void (*run)(CaptureState &ctx, const std::string &address);  // one chain from address
    size_t cappedRequests;                                       // requests before giving up
    size_t stoppedRequests;                                      // requests with a stop pending
    int stoppedError;                                            // lastError then (-1: not looked at)
};
void PrintTo(const ChainCase &c, std::ostream *os)
{
    *os << c.name;
}

const ChainCase kChains[] = {
    {"DescribeRedirect",
     [](const std::string &self) { return filling("HTTP/1.1 302 Found\r\nLocation: " + self + "\r\n\r\n"); }, "/live",
     [](CaptureState &ctx, const std::string &address) { describeRequest(ctx, address.c_str()); }, 21, 1,
     NG_ERR_STOPPED},
    {"AsxRedirect", [](const std::string &self) { return "HTTP/1.1 302 Found\r\nLocation: " + self + "\r\n\r\n"; },
     "/list.asx", [](CaptureState &ctx, const std::string &address) { classifySource(ctx, address.c_str()); }, 21, 1,
     NG_ERR_STOPPED},
    // The describe answer is a page that says the stream has moved; the
    // attempt classifies and follows it: the first request and 20 more.
    {"MovedNotice",
     [](const std::string &self) {
         return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<h1>302 Moved</h1>\r\nLocation:" + self + "\r\n";
     },
     "/live", [](CaptureState &ctx, const std::string &address) { runAttempt(ctx, address.c_str(), ctx.outputBase); },
     21, 1, -1},
    // The portal asks for its page, the page's reference, then follows
    // twenty redirects; a pending stop is seen by the stream steps only.
    {"PortalRedirect",
     [](const std::string &self) {
         return "HTTP/1.1 302 Moved Temporarily\r\nLocation: " + self + "\r\nContent-Length: 0\r\n\r\n";
     },
     "/ref.asx",
     [](CaptureState &ctx, const std::string &) {
         netgrab::settings().config.portalHost = "127.0.0.1";
         char address[512] = "127.0.0.1/player.asp?ch=7";
         capturePortal(ctx, address, "abc");
     },
     22, 22, -1},
};

// Fresh capture state, short time-outs and an output folder of its own.
class ChainBase : public ::testing::Test, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        CaptureState &s = ctx;
        s.stop.clear();
        netgrab::shared().lastError = 0;
        netgrab::settings().config.portalHost = "portal.radio.test";  // not a loopback address
        dir_ = makeScratchDir("chain");
        ASSERT_FALSE(dir_.empty());
        copyText(s.outputBase, sizeof s.outputBase, (dir_ + "/rec").c_str());
    }
    void TearDown() override
    {
        closeOutput(ctx.output);
        ctx.stop.clear();
        removeScratchDir(dir_);
    }
    std::string dir_;
};

class RedirectChain : public ChainBase, public ::testing::WithParamInterface<ChainCase>
{
protected:
    // Runs one chain against a server that names itself (the portal's
    // first answer is its page, whose reference leads to the server).
    size_t requestsOfOneChain(bool stopPending)
    {
        const ChainCase &c = GetParam();
        std::string self;
        const std::string page =
            "HTTP/1.1 200 OK\r\n\r\n<ASX><ENTRY><REF HREF=\"http://127.0.0.1/ref.asx\"/></ENTRY></ASX>";
        Script loop{readRequest(), call([&](ConnectionIo &io) { return io.send(c.answer(self)); })};
        std::vector<Script> scripts{loop};
        if (std::string(c.name) == "PortalRedirect")
            scripts = {{readRequest(), send(page)}, loop};
        const int socketsBefore = testutil::openSockets();
        size_t requests = 0;
        {
            ScriptedServer server(scripts);
            self = "http://" + server.hostPort() + c.path;
            ctx.serverPort = server.port();
            netgrab::settings().tuning.httpPort = server.port();
            ctx.stop.set(stopPending);
            ::testing::internal::CaptureStdout();
            auto chain = std::async(std::launch::async, [&] { c.run(ctx, self); });
            const bool ended = chain.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
            if (!ended)
                ctx.stop.set();
            chain.wait();
            ::testing::internal::GetCapturedStdout();
            EXPECT_TRUE(ended) << "still following after 10 s";
            requests = server.connectionCount();
        }
        closeOutput(ctx.output);
        EXPECT_EQ(testutil::openSockets(), socketsBefore) << "connection left open";
        return requests;
    }
};

TEST_P(RedirectChain, NamingItselfEndsAtTheCap)
{
    EXPECT_EQ(requestsOfOneChain(false), GetParam().cappedRequests);
}

TEST_P(RedirectChain, PendingStopEndsTheChain)
{
    EXPECT_EQ(requestsOfOneChain(true), GetParam().stoppedRequests);
    if (GetParam().stoppedError != -1) {
        EXPECT_EQ(shared().lastError, GetParam().stoppedError);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, RedirectChain, ::testing::ValuesIn(kChains),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the Location of a redirect, in its forms ----

// One redirect to a second server whose address names its port: the next
// request goes there, for the path of the Location.
struct LocationRoute
{
    const char *name;
    const char *firstPath;
    const char *targetPath;
    const char *targetAnswer;
    int (*run)(CaptureState &ctx, const std::string &address);  // the result the target's answer gives
    int result;
    bool http10_301Followed;  // the describe request takes an HTTP/1.0 301 as an answer
    const char *address;      // workingAddress at the end
    bool portOfTarget;        // serverPort is the target's at the end: the host
                              // line then names the host without its port
};
struct LocationForm
{
    const char *name;
    const char *status;
    const char *prefix;
};

void PrintTo(const LocationRoute &r, std::ostream *os)
{
    *os << r.name;
}
void PrintTo(const LocationForm &f, std::ostream *os)
{
    *os << f.name;
}

const LocationRoute kLocationRoutes[] = {
    {"Describe", "/old", "/live", "HTTP/1.0 404 Not Found\r\n\r\n",
     [](CaptureState &ctx, const std::string &address) {
         return static_cast<int>(describeRequest(ctx, address.c_str()));
     },
     static_cast<int>(DescribeEnd::Failed), false, "http://127.0.0.1/live", true},
    {"AsxFetch", "/list.asx", "/moved.asx",
     "HTTP/1.1 200 OK\r\n\r\n<asx><entry><ref href=\"mms://radiohost/live\"/></entry></asx>",
     [](CaptureState &ctx, const std::string &address) { return classifySource(ctx, address.c_str()); }, 1, true,
     "radiohost/live", false},
};
const LocationForm kLocationForms[] = {
    {"Http11_302", "HTTP/1.1 302 Found", "Location: "},
    {"Http10_302", "HTTP/1.0 302 Found", "Location: "},
    {"Http11_301", "HTTP/1.1 301 Moved Permanently", "Location: "},
    {"Http10_301", "HTTP/1.0 301 Moved Permanently", "Location: "},
    {"LocationWithoutBlank", "HTTP/1.1 302 Found", "Location:"},
    {"LocationAfterTwoBlanks", "HTTP/1.1 302 Found", "Location:  "},
    {"LocationInLowerCaseAfterTab", "HTTP/1.1 302 Found", "Content-Type: text/html\r\nlocation:\t"},
};

class RedirectLocation : public ChainBase, public ::testing::WithParamInterface<std::tuple<LocationRoute, LocationForm>>
{};

TEST_P(RedirectLocation, IsFollowedWithItsPort)
{
    const LocationRoute &route = std::get<0>(GetParam());
    const LocationForm &form = std::get<1>(GetParam());
    ScriptedServer target({{readRequest(), send(route.targetAnswer)}});
    ScriptedServer first({{readRequest(),
                           send(std::string(form.status) + "\r\n" + form.prefix + "http://" + target.hostPort()
                                + route.targetPath + "\r\n\r\n")}});
    ctx.serverPort = first.port();
    ::testing::internal::CaptureStdout();
    const int result = route.run(ctx, "http://" + first.hostPort() + route.firstPath);
    ::testing::internal::GetCapturedStdout();
    if (std::string(form.name) == "Http10_301" && !route.http10_301Followed) {
        EXPECT_EQ(target.connectionCount(), 0u);
        return;
    }
    EXPECT_EQ(result, route.result);
    ASSERT_TRUE(target.waitForReceived(0, "\r\n\r\n", testwait::kLoadMarginMs)) << "the request at the target";
    EXPECT_EQ(target.received(0).rfind("GET " + std::string(route.targetPath) + " HTTP/1.1\r\n", 0), 0u)
        << target.received(0);
    EXPECT_STREQ(ctx.workingAddress, route.address);
    if (route.portOfTarget) {
        EXPECT_EQ(ctx.serverPort, target.port());
        EXPECT_NE(target.received(0).find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, RedirectLocation,
                         ::testing::Combine(::testing::ValuesIn(kLocationRoutes), ::testing::ValuesIn(kLocationForms)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace

// https sources against TLS peers on loopback: stunnel4 in front of
// scripted servers, with certificates from a test CA made at test time.
// A stream and redirects between http and https record what the server
// sent; certificates that fail verification and servers that stall or
// break the handshake (of a stream or of an HLS playlist) end each attempt
// with their line and error, paced, and a stop
// still ends the recorder within its settle time.
//
// Runs inside a network namespace whose only interface is loopback
// (in_loopback_netns.sh).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "asf_media.h"
#include "capture_state.h"
#include "netgrab.h"
#include "net/tls_session.h"
#include "scripted_server.h"
#include "test_util.h"
#include "tls_peers.h"

using namespace testsupport;
using namespace std::chrono;
using netgrab::shared;

namespace {

using testutil::kMpegHead;
using testutil::mpegBytes;

// One certificate folder for the whole suite; the library trusts its CA.
class TlsPeers : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        certDir_ = new std::string(makeScratchDir("tls-ca"));
        certs_ = new TestCertificates;
        certsMade_ = makeTestCertificates(*certDir_, certs_);
        setenv(netgrab::net::kExtraCaVariable, certs_->ca.c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        unsetenv(netgrab::net::kExtraCaVariable);
        removeScratchDir(*certDir_);
        delete certs_;
        delete certDir_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(certsMade_) << fileBytes(*certDir_ + "/openssl.log");
        testutil::useFastTuning();
        netgrab::CaptureTuning &t = netgrab::settings().tuning;
        t.retryPauseMinMs = 100;
        t.retryPauseMaxMs = 400;
        dir_ = makeScratchDir("tls");
        base_ = dir_ + "/rec";
    }
    void TearDown() override { removeScratchDir(dir_); }

    // Runs netgrab on source until until() holds (at most 10 s), then
    // stops it; its standard output. stopTookMs_: from the stop to the
    // return of netgrab().
    std::string capture(const std::string &source, const std::function<bool()> &until)
    {
        ::testing::internal::CaptureStdout();
        auto run = std::async(std::launch::async, [&] { return netgrab_api::netgrab(source.c_str(), base_.c_str()); });
        const auto deadline = steady_clock::now() + seconds(10);
        while (!until() && steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(10));
        const auto stopAt = steady_clock::now();
        // A stop before netgrab() has registered its capture is dropped:
        // repeated until it returns.
        do
            netgrab_api::StopRecord();
        while (run.wait_for(milliseconds(10)) != std::future_status::ready);
        stopTookMs_ = duration_cast<milliseconds>(steady_clock::now() - stopAt).count();
        return ::testing::internal::GetCapturedStdout();
    }
    std::string mp3() const { return fileBytes(base_ + ".mp3"); }
    static std::string https(uint16_t port, const std::string &path = "/live")
    {
        return "https://localhost:" + std::to_string(port) + path;
    }

    static std::string *certDir_;
    static TestCertificates *certs_;
    static bool certsMade_;
    std::string dir_, base_;
    long stopTookMs_ = 0;
};
std::string *TlsPeers::certDir_ = nullptr;
TestCertificates *TlsPeers::certs_ = nullptr;
bool TlsPeers::certsMade_ = false;

// ---- streams and redirects over TLS -------------------------------------------

// The whole answer after the header block is recorded over TLS as over
// plain TCP: the first 10240 bytes in one request buffer, the rest streamed.
TEST_F(TlsPeers, RecordsAStreamOverTls)
{
    const std::string audio = mpegBytes(60000);
    ScriptedServer server({{readRequest(), send(kMpegHead + audio), stall()}});
    TlsFront front(dir_, certs_->good, server.port());
    ASSERT_TRUE(front.start()) << fileBytes(dir_ + "/stunnel-" + std::to_string(front.port()) + ".out");
    const std::string out = capture(https(front.port()), [&] { return mp3().size() >= audio.size(); });
    EXPECT_TRUE(mp3() == audio) << "recorded " << mp3().size() << " of " << audio.size() << " bytes\n" << out;
    // The request on the wire is the plain route's, Host without a port.
    EXPECT_EQ(server.received(0).rfind("GET /live HTTP/1.1\r\n", 0), 0u) << server.received(0);
    EXPECT_NE(server.received(0).find("Host: localhost\r\n"), std::string::npos);
}

struct RedirectCase
{
    const char *name;
    const char *status;  // "301 Moved Permanently" or "302 Found"
    bool fromTls;        // the redirecting server speaks TLS
    bool toTls;          // the stream server speaks TLS
};
void PrintTo(const RedirectCase &c, std::ostream *os)
{
    *os << c.name;
}

class TlsRedirect : public TlsPeers, public ::testing::WithParamInterface<RedirectCase>
{};

// A redirect moves between http and https in either direction.
TEST_P(TlsRedirect, IsFollowedToTheStream)
{
    const RedirectCase &c = GetParam();
    const std::string audio = mpegBytes(30000);
    ScriptedServer stream({{readRequest(), send(kMpegHead + audio), stall()}});
    std::unique_ptr<TlsFront> streamFront;
    std::string target = "http://127.0.0.1:" + std::to_string(stream.port()) + "/live";
    if (c.toTls) {
        streamFront = std::make_unique<TlsFront>(dir_, certs_->good, stream.port());
        ASSERT_TRUE(streamFront->start());
        target = https(streamFront->port());
    }
    ScriptedServer mover(
        {{readRequest(),
          send(std::string("HTTP/1.1 ") + c.status + "\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n")}});
    std::unique_ptr<TlsFront> moverFront;
    std::string source = "http://127.0.0.1:" + std::to_string(mover.port()) + "/radio";
    if (c.fromTls) {
        moverFront = std::make_unique<TlsFront>(dir_, certs_->good, mover.port());
        ASSERT_TRUE(moverFront->start());
        source = https(moverFront->port(), "/radio");
    }
    const std::string out = capture(source, [&] { return mp3().size() >= audio.size(); });
    EXPECT_TRUE(mp3() == audio) << "recorded " << mp3().size() << " of " << audio.size() << " bytes\n" << out;
    EXPECT_EQ(mover.received(0).rfind("GET /radio HTTP/1.1\r\n", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Directions, TlsRedirect,
                         ::testing::Values(RedirectCase{"http_to_https_301", "301 Moved Permanently", false, true},
                                           RedirectCase{"http_to_https_302", "302 Found", false, true},
                                           RedirectCase{"https_to_http_301", "301 Moved Permanently", true, false},
                                           RedirectCase{"https_to_http_302", "302 Found", true, false},
                                           RedirectCase{"https_to_https_302", "302 Found", true, true}),
                         [](const ::testing::TestParamInfo<RedirectCase> &i) { return std::string(i.param.name); });

// M3U, PLS and ASX playlists may name https entries.
TEST_F(TlsPeers, PlaylistsNameHttpsEntries)
{
    const std::string audio = mpegBytes(30000);
    ScriptedServer stream({{readRequest(), send(kMpegHead + audio), stall()}});
    TlsFront front(dir_, certs_->good, stream.port());
    ASSERT_TRUE(front.start());
    const std::string entry = https(front.port());
    const struct
    {
        const char *path;
        std::string body;
    } lists[] = {
        {"/radio.m3u", "#EXTM3U\r\n#EXTINF:-1,Tone\r\n" + entry + "\r\n"},
        {"/radio.pls", "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + entry + "\r\n"},
        {"/radio.asx", "<asx version=\"3.0\"><entry><ref href=\"" + entry + "\"/></entry></asx>\r\n"},
    };
    for (const auto &list : lists) {
        SCOPED_TRACE(list.path);
        std::remove((base_ + ".mp3").c_str());
        ScriptedServer web({{readRequest(), send("HTTP/1.0 200 OK\r\n\r\n" + list.body)}});
        const size_t before = stream.connectionCount();
        const std::string out = capture("http://127.0.0.1:" + std::to_string(web.port()) + list.path,
                                        [&] { return mp3().size() >= audio.size(); });
        EXPECT_TRUE(mp3() == audio) << "recorded " << mp3().size() << " bytes\n" << out;
        EXPECT_GT(stream.connectionCount(), before);
    }
}

// An output that cannot be written is reported once and retried with
// pauses over TLS as over plain TCP.
TEST_F(TlsPeers, UnwritableOutputIsReportedOnceAndPaced)
{
    ScriptedServer server({{readRequest(), send(kMpegHead + mpegBytes(3000)), closeNow()}});
    TlsFront front(dir_, certs_->good, server.port());
    ASSERT_TRUE(front.start());
    base_ = dir_ + "/missing/rec";
    const auto start = steady_clock::now();
    const std::string out =
        capture(https(front.port()), [&] { return steady_clock::now() - start > milliseconds(1500); });
    EXPECT_EQ(testutil::countOf(out, "cannot write "), 1u) << out;
    EXPECT_EQ(testutil::countOf(out, "cannot write " + base_ + ".mp3: No such file or directory\n"), 1u) << out;
    EXPECT_GE(server.connectionCount(), 1u);
    EXPECT_LE(server.connectionCount(), 8u) << "paced retries";
    EXPECT_LT(stopTookMs_, 1000);
}

// ---- TLS failures ------------------------------------------------------------

enum class Peer { Untrusted, WrongHost, Expired, StallsHandshake, ClosesMidHandshake };

struct FailureCase
{
    const char *name;
    Peer peer;
    const char *line;            // the start of the line each attempt ends with
    int error;                   // GetRecError() after an attempt
    const char *path = "/live";  // "/live.m3u8": the HLS route's own fetch
};
void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class TlsFailure : public TlsPeers, public ::testing::WithParamInterface<FailureCase>
{
protected:
    // The peer of the case on loopback; its port.
    uint16_t startPeer()
    {
        const Peer p = GetParam().peer;
        if (p == Peer::StallsHandshake || p == Peer::ClosesMidHandshake) {
            // A plain TCP server: it never answers the client's hello, or
            // reads the first bytes of it and closes.
            server_ = std::make_unique<ScriptedServer>(
                std::vector<Script>{p == Peer::StallsHandshake ? Script{stall()} : Script{readBytes(10), closeNow()}});
            return server_->port();
        }
        server_ = std::make_unique<ScriptedServer>(std::vector<Script>{{readRequest(), send(kMpegHead), stall()}});
        const std::string &pem = p == Peer::Untrusted ? certs_->untrusted
            : p == Peer::WrongHost                    ? certs_->wrongHost
                                                      : certs_->expired;
        front_ = std::make_unique<TlsFront>(dir_, pem, server_->port());
        return front_->start() ? front_->port() : 0;
    }
    std::unique_ptr<ScriptedServer> server_;
    std::unique_ptr<TlsFront> front_;
};

TEST_P(TlsFailure, EndsEachAttemptWithItsLinePaced)
{
    const FailureCase &c = GetParam();
    const uint16_t port = startPeer();
    ASSERT_NE(port, 0);
    const auto start = steady_clock::now();
    bool sawError = false;
    const std::string out = capture(https(port, c.path), [&] {
        sawError = sawError || GetRecError() == c.error;
        return sawError && steady_clock::now() - start > milliseconds(1500);
    });
    EXPECT_TRUE(sawError) << "error " << c.error << " reported\n" << out;
    const size_t lines = testutil::countOf(out, c.line);
    EXPECT_GE(lines, 1u) << out;
    // Pauses of 100, 200, 400, 400 ms: a handful of attempts in 1.5 s, not
    // one after another.
    EXPECT_LE(lines, 8u) << out;
    EXPECT_EQ(testutil::countOf(out, "connect to server fail"), 0u) << out;
    EXPECT_LT(stopTookMs_, 1000) << "the stop took " << stopTookMs_ << " ms";
    for (const char *extension : {".mp3", ".ts"})
        EXPECT_NE(access((base_ + extension).c_str(), F_OK), 0) << "no file for a failed handshake";
    if (server_) {
        EXPECT_EQ(server_->received(0).find("GET "), std::string::npos) << "no request in the clear";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, TlsFailure,
    ::testing::Values(FailureCase{"untrusted", Peer::Untrusted,
                                  "certificate of localhost not trusted: self-signed certificate\n", NG_ERR_UNTRUSTED},
                      FailureCase{"wrong_host", Peer::WrongHost,
                                  "certificate of localhost not trusted: hostname mismatch\n", NG_ERR_UNTRUSTED},
                      FailureCase{"expired", Peer::Expired,
                                  "certificate of localhost not trusted: certificate has expired\n", NG_ERR_UNTRUSTED},
                      FailureCase{"stalls_handshake", Peer::StallsHandshake,
                                  "TLS handshake with localhost failed: timed out\n", NG_ERR_RECEIVE},
                      FailureCase{"closes_mid_handshake", Peer::ClosesMidHandshake,
                                  "TLS handshake with localhost failed: ", NG_ERR_RECEIVE},
                      FailureCase{"hls_untrusted", Peer::Untrusted,
                                  "certificate of localhost not trusted: self-signed certificate\n", NG_ERR_UNTRUSTED,
                                  "/live.m3u8"},
                      FailureCase{"hls_closes_mid_handshake", Peer::ClosesMidHandshake,
                                  "TLS handshake with localhost failed: ", NG_ERR_RECEIVE, "/live.m3u8"}),
    [](const ::testing::TestParamInfo<FailureCase> &i) { return std::string(i.param.name); });

// ---- the recorder ------------------------------------------------------------

// Runs grablive (no shell); its exit status and output.
int runGrablive(const std::vector<std::string> &args, std::string *out)
{
    return testutil::runCaptured(VEXA_GRABLIVE, args, out);
}

// A server that holds the handshake (for longer than the recording) does
// not hold the recorder: it ends within its settle time (1 s) plus 1 s.
// Without --ca-file the test CA is not trusted.
TEST_F(TlsPeers, RecorderStopsWithinItsSettleTime)
{
    unsetenv(netgrab::net::kExtraCaVariable);
    ScriptedServer staller({{stall()}});
    std::string out;
    auto start = steady_clock::now();
    EXPECT_EQ(runGrablive({https(staller.port()), base_, "1500"}, &out), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(1500 + 1000 + 1000)) << out;
    EXPECT_NE(out.find("record : 0 bytes"), std::string::npos) << out;

    const std::string audio = mpegBytes(20000);
    ScriptedServer server({{readRequest(), send(kMpegHead + audio), stall()}});
    TlsFront front(dir_, certs_->good, server.port());
    ASSERT_TRUE(front.start());
    out.clear();
    EXPECT_EQ(runGrablive({https(front.port()), base_ + "-untrusted", "800"}, &out), 0);
    EXPECT_NE(out.find("certificate of localhost not trusted: unable to get local issuer certificate\n"),
              std::string::npos)
        << out;
    out.clear();
    start = steady_clock::now();
    EXPECT_EQ(runGrablive({"--ca-file", certs_->ca, https(front.port()), base_, "800"}, &out), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(800 + 1000 + 1000)) << out;
    EXPECT_TRUE(mp3() == audio) << out;
    setenv(netgrab::net::kExtraCaVariable, certs_->ca.c_str(), 1);
}

}  // namespace

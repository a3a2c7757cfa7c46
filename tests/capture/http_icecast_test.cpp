// Real-peer tests: the whole capture (netgrab) records a real Icecast 2
// server on loopback, fed by ffmpeg with a CBR MP3 made at test time,
// reached directly, through M3U, PLS and ASX playlists and through a 302
// redirect served by a scripted server; and the same over the server's TLS
// listener (https), with a certificate from a test CA made at test time,
// redirects between http and https included. The recorded file is checked with
// ffprobe, for its first frame start, and byte for byte against a plain
// HTTP copy of the same mount.
//
// These tests start icecast2 and ffmpeg; their ctest label is "realpeer".
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "capture_state.h"
#include "icecast_server.h"
#include "netgrab.h"
#include "net/tls_session.h"
#include "scripted_server.h"
#include "test_util.h"
#include "tls_peers.h"
#include "trace.h"

using namespace netgrab;
using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKbps = 128;
constexpr long kBytesPerSecond = kKbps * 1000 / 8;
constexpr const char *kMount = "/live";

bool isFrameStart(const std::string &bytes, size_t at)
{
    return at + 1 < bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF
        && (static_cast<unsigned char>(bytes[at + 1]) & 0xE0) == 0xE0;
}

// The first header of the tone's own frames (MPEG-1 Layer III, 128 kbit/s,
// 44.1 kHz: FF FB 9x, 417 bytes plus the padding bit) that is followed by
// another at the frame's length. The frame start rule of the recorder also
// accepts a sync pattern inside the audio data of a frame that the
// recording joined half-way; ffprobe would report that partial frame.
size_t firstToneFrame(const std::string &b)
{
    auto u = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    for (size_t i = 0; i + 3 < b.size(); ++i) {
        if (u(i) != 0xFF || u(i + 1) != 0xFB || (u(i + 2) & 0xF0) != 0x90)
            continue;
        const size_t next = i + 417 + ((u(i + 2) >> 1) & 1);
        if (next + 1 < b.size() && u(next) == 0xFF && u(next + 1) == 0xFB)
            return i;
    }
    return std::string::npos;
}

size_t toneFrameLength(const std::string &b, size_t at)
{
    return 417 + ((static_cast<unsigned char>(b[at + 2]) >> 1) & 1);
}

// End of the run of whole tone frames that begins at first: each frame's
// header stands where the previous frame's length says.
size_t toneFramesEnd(const std::string &b, size_t first)
{
    size_t at = first;
    while (at + 3 < b.size() && static_cast<unsigned char>(b[at]) == 0xFF
           && static_cast<unsigned char>(b[at + 1]) == 0xFB && at + toneFrameLength(b, at) <= b.size())
        at += toneFrameLength(b, at);
    return at;
}

// netgrab() on a thread of its own, as the recorder program runs it.
class Recording
{
public:
    Recording(std::string source, std::string base) : source_(std::move(source)), base_(std::move(base))
    {
        started_ = Clock::now();
        thread_ = std::thread([this] { result_ = netgrab_api::netgrab(source_.c_str(), base_.c_str()); });
    }
    ~Recording() { stop(); }
    // Stops and joins; seconds between start and stop.
    double stop()
    {
        if (!thread_.joinable())
            return seconds_;
        StopRecord();
        seconds_ = std::chrono::duration<double>(Clock::now() - started_).count();
        thread_.join();
        return seconds_;
    }
    int result() const { return result_; }

private:
    std::string source_, base_;
    Clock::time_point started_;
    double seconds_ = 0;
    int result_ = -1;
    std::thread thread_;
};

class RealIcecast : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CaptureTuning &t = netgrab::settings().tuning;
        t.receivePollMs = 20;
        t.receivePollCount = 50;  // a quiet second ends a receive
        t.retryPauseMinMs = 50;
        t.retryPauseMaxMs = 200;
        dir_ = makeTempDir("vexa-icecast");
        ASSERT_FALSE(dir_.empty());
        tone_ = dir_ + "/tone.mp3";
        ASSERT_TRUE(makeToneMp3(tone_, 20, kKbps)) << readFile(tone_ + ".log");
        server_ = std::make_unique<IcecastServer>(dir_);
        if (tls_) {
            ASSERT_TRUE(makeTestCertificates(dir_, &certs_)) << readFile(dir_ + "/openssl.log");
            server_->enableTls(certs_.good);
            setenv(netgrab::net::kExtraCaVariable, certs_.ca.c_str(), 1);
        }
        ASSERT_TRUE(server_->start()) << readFile(dir_ + "/icecast.out");
        ASSERT_TRUE(server_->startSource(tone_, kMount)) << readFile(dir_ + "/source.out");
        base_ = dir_ + "/record";
        output_ = base_ + ".mp3";
    }
    void TearDown() override
    {
        setTraceSink({});
        if (tls_)
            unsetenv(netgrab::net::kExtraCaVariable);
        server_.reset();
        if (!HasFailure())
            removeTree(dir_);
    }

    // The recorded file decodes as MP3 and lasts about as long as it was recorded.
    void expectPlayableMp3(const std::string &file, double seconds)
    {
        const MediaProbe probe = probeMedia(output_, dir_ + "/ffprobe.log");
        EXPECT_TRUE(probe.ok) << probe.errors;
        EXPECT_EQ(probe.formatName, "mp3");
        EXPECT_EQ(probe.codecName, "mp3");
        EXPECT_NEAR(probe.durationSeconds, seconds, 1.0);
        EXPECT_NEAR(probe.durationSeconds, static_cast<double>(file.size()) / kBytesPerSecond, 0.3);
        // From the first whole frame on, the file is one unbroken run of
        // frames up to the one the stop cut short (a byte missing or doubled
        // anywhere would break the run), and every frame decodes.
        const size_t first = firstToneFrame(file);
        ASSERT_LT(first, 418u);
        const size_t end = toneFramesEnd(file, first);
        EXPECT_LT(file.size() - end, 418u) << "frames break at " << end << " of " << file.size();
        const std::string frames = dir_ + "/frames.mp3";
        std::ofstream(frames, std::ios::binary) << file.substr(first, end - first);
        const MediaProbe clean = probeMedia(frames, dir_ + "/ffprobe-frames.log");
        EXPECT_TRUE(clean.ok);
        EXPECT_EQ(clean.errors, "");
    }

    // Records source until the file holds two seconds, then stops; the
    // recording must be one run of a plain copy of the mount that joined
    // first and left last, from a frame start on, and play cleanly.
    void expectRecordedFromTheMount(const std::string &source)
    {
        PlainHttpCopy plain;
        ASSERT_TRUE(plain.start(server_->port(), kMount));
        ASSERT_TRUE(plain.waitForBody(2000, 5000));

        Recording recording(source, base_);
        const long size = waitForFileSize(output_, 2 * kBytesPerSecond, 15000);
        const double seconds = recording.stop();
        ASSERT_GE(size, 2 * kBytesPerSecond) << "recorded " << size << " bytes";
        EXPECT_EQ(recording.result(), 0);
        EXPECT_EQ(GetRecError(), NG_ERR_STOPPED);

        const std::string file = readFile(output_);
        EXPECT_TRUE(plain.waitForBody(plain.bodySize() + kBytesPerSecond / 2, 5000));
        plain.stop();
        const std::string copy = plain.body();

        ASSERT_TRUE(isFrameStart(file, 0));
        // No byte missing or doubled: the whole recording is one run of the
        // plain copy.
        EXPECT_NE(copy.find(file), std::string::npos)
            << "recorded " << file.size() << " bytes, plain copy " << copy.size();
        expectPlayableMp3(file, seconds);
    }

    bool tls_ = false;  // a subclass sets it: the server gets a TLS listener
    TestCertificates certs_;
    std::string dir_, tone_, base_, output_;
    std::unique_ptr<IcecastServer> server_;
};

// ---- the five routes to one mount ----

struct Route
{
    const char *name;
    const char *path;  // on the scripted server; nullptr: record the mount directly
    std::string (*answer)(const std::string &mountUrl);
};
void PrintTo(const Route &c, std::ostream *os)
{
    *os << c.name;
}

class RealIcecastRoute : public RealIcecast, public ::testing::WithParamInterface<Route>
{};

TEST_P(RealIcecastRoute, RecordsEveryByteFromFirstFrameStart)
{
    const Route &route = GetParam();
    const std::string mountUrl = server_->url(kMount);
    // Answers every request (each attempt fetches the playlist again).
    ScriptedServer web({{readRequest(), send(route.answer ? route.answer(mountUrl) : "")}});
    const std::string source = route.path ? "http://" + web.hostPort() + route.path : mountUrl;
    expectRecordedFromTheMount(source);
}

const Route kRoutes[] = {
    {"Direct", nullptr, nullptr},
    {"M3u", "/radio.m3u",
     [](const std::string &url) {
         return "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n"
                "#EXTINF:-1,Loopback tone\r\n"
             + url + "\r\n";
     }},
    // A web server that compresses its playlists.
    {"GzipM3u", "/radio.m3u",
     [](const std::string &url) {
         const std::string body = testutil::compressed("#EXTM3U\r\n#EXTINF:-1,Loopback tone\r\n" + url + "\r\n", 31);
         return "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\nContent-Encoding: gzip\r\nContent-Length: "
             + std::to_string(body.size()) + "\r\n\r\n" + body;
     }},
    // An entry relative to the playlist's address (a network-path reference).
    {"RelativeM3u", "/lists/radio.m3u",
     [](const std::string &url) {
         return "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1,Loopback tone\r\n"
             + url.substr(std::string("http:").size()) + "\r\n";
     }},
    {"Pls", "/radio.pls",
     [](const std::string &url) {
         return "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n[playlist]\r\n"
                "NumberOfEntries=1\r\nFile1="
             + url + "\r\nTitle1=Loopback tone\r\nVersion=2\r\n";
     }},
    {"Asx", "/radio.asx",
     [](const std::string &url) {
         return "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<asx version=\"3.0\">\r\n"
                "<entry><ref href=\"http://127.0.0.1/jingle.wav\"/></entry>\r\n"
                "<entry><ref href=\""
             + url + "\"/></entry>\r\n</asx>\r\n";
     }},
    {"Redirect302", "/radio",
     [](const std::string &url) { return "HTTP/1.1 302 Found\r\nLocation: " + url + "\r\nContent-Length: 0\r\n\r\n"; }},
};

INSTANTIATE_TEST_SUITE_P(RealPeer, RealIcecastRoute, ::testing::ValuesIn(kRoutes),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the same mount over https ----

struct TlsRoute
{
    const char *name;
    const char *path;  // on the scripted server; nullptr: record the https mount directly
    bool webOverTls;   // the scripted server is reached over https (a TLS front)
    std::string (*answer)(const std::string &httpsMountUrl, const std::string &httpMountUrl);
};
void PrintTo(const TlsRoute &c, std::ostream *os)
{
    *os << c.name;
}

class RealIcecastTls : public RealIcecast, public ::testing::WithParamInterface<TlsRoute>
{
protected:
    RealIcecastTls() { tls_ = true; }
};

TEST_P(RealIcecastTls, RecordsEveryByteOverHttps)
{
    const TlsRoute &route = GetParam();
    const std::string httpsMount = server_->httpsUrl(kMount);
    ScriptedServer web({{readRequest(), send(route.answer ? route.answer(httpsMount, server_->url(kMount)) : "")}});
    std::unique_ptr<TlsFront> front;
    std::string source = httpsMount;
    if (route.path && route.webOverTls) {
        front = std::make_unique<TlsFront>(dir_, certs_.good, web.port());
        ASSERT_TRUE(front->start());
        source = "https://localhost:" + std::to_string(front->port()) + route.path;
    } else if (route.path) {
        source = "http://" + web.hostPort() + route.path;
    }
    expectRecordedFromTheMount(source);
    // A full decode of its whole frames (the stop cuts the last one short)
    // reports nothing.
    const std::string log = dir_ + "/ffmpeg-decode.log";
    EXPECT_EQ(
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", dir_ + "/frames.mp3", "-f", "null", "-"}, log, 30000),
        0);
    EXPECT_EQ(readFile(log), "");
}

std::string movedTo(const char *status, const std::string &url)
{
    return std::string("HTTP/1.1 ") + status + "\r\nLocation: " + url + "\r\nContent-Length: 0\r\n\r\n";
}

const TlsRoute kTlsRoutes[] = {
    {"HttpsDirect", nullptr, false, nullptr},
    {"M3uHttpsEntry", "/radio.m3u", false,
     [](const std::string &https, const std::string &) {
         return "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n" + https + "\r\n";
     }},
    {"PlsHttpsEntry", "/radio.pls", false,
     [](const std::string &https, const std::string &) {
         return "HTTP/1.0 200 OK\r\n\r\n[playlist]\r\nNumberOfEntries=1\r\nFile1=" + https + "\r\n";
     }},
    {"AsxHttpsEntry", "/radio.asx", false,
     [](const std::string &https, const std::string &) {
         return "HTTP/1.0 200 OK\r\n\r\n<asx version=\"3.0\"><entry><ref href=\"" + https + "\"/></entry></asx>\r\n";
     }},
    {"HttpTo301Https", "/radio", false,
     [](const std::string &https, const std::string &) { return movedTo("301 Moved Permanently", https); }},
    {"HttpTo302Https", "/radio", false,
     [](const std::string &https, const std::string &) { return movedTo("302 Found", https); }},
    {"HttpsTo301Http", "/radio", true,
     [](const std::string &, const std::string &http) { return movedTo("301 Moved Permanently", http); }},
    {"HttpsTo302Http", "/radio", true,
     [](const std::string &, const std::string &http) { return movedTo("302 Found", http); }},
};

INSTANTIATE_TEST_SUITE_P(RealPeer, RealIcecastTls, ::testing::ValuesIn(kTlsRoutes),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the server goes away and comes back ----

TEST_F(RealIcecast, NextAttemptAfterServerRestartAppendsToSameFile)
{
    std::mutex traceMutex;
    std::vector<std::string> traces;
    setTraceSink([&](const std::string &line) {
        std::lock_guard<std::mutex> lock(traceMutex);
        traces.push_back(line);
    });
    auto appendPositions = [&] {
        // "…append file!! [name]   <position>  seek = 0" per reopened file.
        std::vector<long> positions;
        std::lock_guard<std::mutex> lock(traceMutex);
        for (const std::string &t : traces) {
            const size_t at = t.find("append file!! [" + output_ + "]");
            if (at == std::string::npos || t.find("new file") != std::string::npos)
                continue;
            positions.push_back(std::atol(t.c_str() + at + 17 + output_.size()));
        }
        return positions;
    };

    Recording recording(server_->url(kMount), base_);
    const long before = waitForFileSize(output_, 3 * kBytesPerSecond / 2, 15000);
    ASSERT_GE(before, 3 * kBytesPerSecond / 2);

    server_->kill();  // server and source vanish mid-stream
    ASSERT_TRUE(server_->start()) << readFile(dir_ + "/icecast.out");
    ASSERT_TRUE(server_->startSource(tone_, kMount)) << readFile(dir_ + "/source.out");

    // A later attempt reopens the same file at its end and goes on.
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (appendPositions().empty() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(appendPositions().empty());
    const long boundary = appendPositions().front();
    const long after = waitForFileSize(output_, boundary + kBytesPerSecond * 3 / 2, 15000);
    recording.stop();
    ASSERT_GE(after, boundary + kBytesPerSecond * 3 / 2);

    const std::string file = readFile(output_);
    EXPECT_GE(boundary, before);
    EXPECT_TRUE(isFrameStart(file, 0));
    EXPECT_TRUE(isFrameStart(file, static_cast<size_t>(boundary)))
        << "the appended part starts at its own first frame start";
    EXPECT_EQ(GetRecError(), NG_ERR_STOPPED);
    // One file only: nothing was written under another name.
    EXPECT_FALSE(std::ifstream(base_ + ".wma").good());
    // Each part is one unbroken run of frames; only the frame that the kill
    // cut short (and the stop's last one) is incomplete.
    for (const std::string &part :
         {file.substr(0, static_cast<size_t>(boundary)), file.substr(static_cast<size_t>(boundary))}) {
        const size_t first = firstToneFrame(part);
        ASSERT_LT(first, 418u);
        EXPECT_LT(part.size() - toneFramesEnd(part, first), 418u);
    }
    const MediaProbe probe = probeMedia(output_, dir_ + "/ffprobe.log");
    EXPECT_TRUE(probe.ok) << probe.errors;
    EXPECT_EQ(probe.formatName, "mp3");
    EXPECT_NEAR(probe.durationSeconds, static_cast<double>(file.size()) / kBytesPerSecond, 0.3);
}

}  // namespace

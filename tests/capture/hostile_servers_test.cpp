// The recorder against hostile and broken servers: scripted loopback peers
// that answer short, close early, reset, lie about lengths, storm with
// pings, frame their answers in chunks or change the stream under a
// recording; and outputs that cannot be written. Every ".wma" written here
// must be readable by ffprobe and state in its header what it holds.
//
// Runs inside a network namespace whose only interface is loopback
// (in_loopback_netns.sh): an address a parser gets wrong goes nowhere.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "asf_media.h"
#include "capture_run.h"
#include "capture_loop.h"
#include "capture_state.h"
#include "connection.h"
#include "http_audio.h"
#include "mms_tcp.h"
#include "mmsh_server.h"
#include "mmst_server.h"
#include "netgrab.h"
#include "portal.h"
#include "test_util.h"
#include "wm_fixture.h"

using namespace testsupport;
using namespace std::chrono;
using netgrab::shared;

namespace {

using testutil::kMpegHead;
using testutil::mpegBytes;

std::string chunked(const std::string &body, size_t piece, const char *sizeFormat = "%zx\r\n")
{
    std::string out;
    for (size_t at = 0; at < body.size(); at += piece) {
        const std::string part = body.substr(at, piece);
        char line[64];
        std::snprintf(line, sizeof line, sizeFormat, part.size());
        out += line + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// A media of another packet size than the default one (3200 bytes).
const AsfMedia *otherMedia()
{
    static AsfMedia made;
    static bool ok = [] {
        std::string error;
        return makeAsfMedia(VEXA_TEST_MEDIA_DIR, 10, &made, &error, 2000);
    }();
    return ok ? &made : nullptr;
}

std::string withPacketSize(const AsfMedia &m, uint32_t minSize, uint32_t maxSize)
{
    std::string h = broadcastHeader(m);
    const size_t props = findGuid(h, kFilePropertiesGuid);
    putLe(h, props + 92, minSize, 4);
    putLe(h, props + 96, maxSize, 4);
    return h;
}

// The header grown past `bytes` by an ASF Padding Object [ASF] 3.18.
std::string grownHeader(const AsfMedia &m, size_t bytes)
{
    std::string header = broadcastHeader(m);
    const size_t headerObject = readLe(header, 16, 8);
    const unsigned char paddingGuid[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                           0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
    std::string padding(reinterpret_cast<const char *>(paddingGuid), 16);
    padding += std::string(8, '\0') + std::string(bytes, '\0');
    putLe(padding, 16, padding.size(), 8);
    header.insert(headerObject, padding);
    putLe(header, 16, headerObject + padding.size(), 8);
    putLe(header, 24, readLe(header, 24, 4) + 1, 4);
    return header;
}

// The ".wma" opens in ffprobe as ASF, and its header states what the file
// holds: size, packet count, Data Object size and count, a finished file.
void expectReadableWma(const std::string &path)
{
    SCOPED_TRACE(path);
    const std::string file = fileBytes(path);
    ASSERT_GE(file.size(), 30u);
    const uint64_t headerObject = readLe(file, 16, 8);
    const size_t props = findGuid(file, kFilePropertiesGuid);
    ASSERT_NE(props, std::string::npos);
    const uint64_t packetSize = readLe(file, props + 92, 4);
    ASSERT_GT(packetSize, 0u);
    ASSERT_GE(file.size(), headerObject + 50);
    const uint64_t data = file.size() - headerObject - 50;
    EXPECT_EQ(data % packetSize, 0u) << "whole packets only";
    const uint64_t packets = data / packetSize;
    EXPECT_EQ(readLe(file, props + 40, 8), file.size());
    EXPECT_EQ(readLe(file, props + 56, 8), packets);
    EXPECT_EQ(readLe(file, props + 88, 4), 2u);
    EXPECT_EQ(findGuid(file, kDataObjectGuid), headerObject);
    EXPECT_EQ(readLe(file, headerObject + 16, 8), 50 + data);
    EXPECT_EQ(readLe(file, headerObject + 40, 8), packets);
    std::string format;
    EXPECT_GE(probeDuration(path, &format), 0.0);
    EXPECT_EQ(format, "asf");
}

std::string packetsAfterHeader(const std::string &path, const AsfMedia &m)
{
    const std::string file = fileBytes(path);
    return file.size() > m.header.size() ? file.substr(m.header.size()) : std::string();
}

enum class Route { Mmsh, Mmst, Portal };

class Hostile : public wmtest::TempDirTest
{
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        netgrab::CaptureState &s = ctx;
        netgrab::settings().tuning.healthyStreamMs = 1000;
        netgrab::settings().tuning.pongTimeoutMs = 1000;
        s.output.writeFailed = false;
        s.chunked = netgrab::ChunkedDecoder();
        s.output.faultShown[0] = '\0';
        savedPortalHost_ = netgrab::settings().config.portalHost;
        savedStreamHost_ = netgrab::settings().config.portalStreamHost;
    }
    void TearDown() override
    {
        netgrab::settings().config.portalHost = savedPortalHost_;
        netgrab::settings().config.portalStreamHost = savedStreamHost_;
        ctx.stop.clear();
        TempDirTest::TearDown();
    }
    std::string mp3() const { return base_ + ".mp3"; }
    static std::string at(const ScriptedServer &server, const std::string &path = "/live")
    {
        return "127.0.0.1:" + std::to_string(server.port()) + path;
    }
    // One attempt of a Windows Media route, called directly.
    void captureOnce(Route route, const ScriptedServer &server, const std::string &cookie = "abc")
    {
        switch (route) {
        case Route::Mmsh:
            netgrab::captureHttpStream(ctx, at(server).c_str());
            break;
        case Route::Mmst:
            ctx.serverPort = 1755;
            netgrab::captureMmsTcp(ctx, at(server).c_str());
            break;
        case Route::Portal:
            netgrab::settings().config.portalHost = "127.0.0.1";
            netgrab::settings().config.portalStreamHost = "stream.portal.test";
            netgrab::settings().tuning.httpPort = server.port();
            netgrab::copyText(ctx.workingAddress, sizeof ctx.workingAddress, "127.0.0.1/player.asp");
            netgrab::copyText(ctx.pageCookie, sizeof ctx.pageCookie, cookie.c_str());
            netgrab::capturePortal(ctx, ctx.workingAddress, ctx.pageCookie);
            break;
        }
    }
    // The page, the reference and the stream address of the portal route.
    static std::vector<Script> portalLookup(const std::string &location = "Location: http://127.0.0.1/moved.asx")
    {
        auto ok = [](const std::string &body) {
            return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        };
        return {
            {readRequest(), send(ok("<ASX><ENTRY><REF HREF=\"http://127.0.0.1/ref.asx\"/></ENTRY></ASX>")), closeNow()},
            {readRequest(), send("HTTP/1.1 302 Moved\r\n" + location + "\r\nContent-Length: 0\r\n\r\n"), closeNow()},
            {readRequest(), send(ok("<ASX><Entry><Ref href=\"mms://127.0.0.1/live\"/></Entry></ASX>")), closeNow()}};
    }
    // Scripts of one whole session of a route: header, then `play`'s bytes.
    static std::vector<Script> session(Route route, const std::string &describeBody, const std::string &playBody)
    {
        Script describe{readRequest(),
                        send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(describeBody.size()) + "\r\n\r\n"
                             + describeBody),
                        closeNow()};
        Script play{readRequest(), send(mmshPlayAnswerHead() + playBody), closeNow()};
        std::vector<Script> scripts;
        if (route == Route::Portal)
            scripts = portalLookup();
        scripts.push_back(describe);
        scripts.push_back(play);
        return scripts;
    }
    // Runs netgrab on source for ms, then stops it; returns its stdout.
    std::string runFor(const std::string &source, int ms, const std::function<void()> &during = {})
    {
        ::testing::internal::CaptureStdout();
        std::thread t([&] { netgrab_api::netgrab(source.c_str(), base_.c_str()); });
        std::this_thread::sleep_for(milliseconds(ms));
        if (during)
            during();
        netgrab_api::StopRecord();
        t.join();
        return ::testing::internal::GetCapturedStdout();
    }
    const char *savedPortalHost_ = nullptr;
    const char *savedStreamHost_ = nullptr;
};

// ---- reconnect pacing --------------------------------------------------------

struct PacingCase
{
    const char *name;
    bool mms;
    size_t answerBytes;  // MPEG bytes of each answer (0: one MMS packet)
    bool reset;          // end the connection with a reset
};
void PrintTo(const PacingCase &c, std::ostream *os)
{
    *os << c.name;
}

class Pacing : public Hostile, public ::testing::WithParamInterface<PacingCase>
{};

// Servers that give a little and close: the recorder reconnects, but paced
// like failed attempts, so the connection rate stays bounded and the file
// grows by one answer per connection, not by thousands a second.
TEST_P(Pacing, ShortAttemptsAreRetriedWithGrowingPauses)
{
    WM_MEDIA(m, 10);
    const PacingCase &c = GetParam();
    netgrab::settings().tuning.retryPauseMinMs = 40;
    netgrab::settings().tuning.retryPauseMaxMs = 320;
    std::vector<Script> scripts;
    size_t perConnection = 0;
    std::string source;
    if (c.mms) {
        MmstPlan plan;
        plan.count = 1;
        scripts.push_back(mmstScript(*m, broadcastHeader(*m), plan));
        perConnection = m->packetSize;
    } else {
        std::string answer = kMpegHead;
        answer += mpegBytes(c.answerBytes - answer.size());
        Script s{readRequest(), send(answer)};
        if (c.reset)
            s.push_back(delay(30));
        s.push_back(c.reset ? resetNow() : closeNow());
        scripts.push_back(s);
        perConnection = c.answerBytes;
    }
    ScriptedServer server(scripts);
    source = (c.mms ? "mms://" : "http://") + at(server);
    const std::string path = c.mms ? wma() : mp3();
    size_t connections1 = 0, connections2 = 0;
    long size1 = 0, size2 = 0;
    runFor(source, 1500, [&] {
        connections1 = server.connectionCount();
        size1 = wmtest::fileSize(path);
        std::this_thread::sleep_for(milliseconds(1000));
        connections2 = server.connectionCount();
        size2 = wmtest::fileSize(path);
    });
    const long stopped = wmtest::fileSize(path);
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_GE(connections1, 3u) << "the recorder keeps trying";
    EXPECT_LE(connections2 - connections1, 5u) << "at most a few connections a second";
    EXPECT_LE(size2 - size1, static_cast<long>((connections2 - connections1 + 1) * perConnection));
    EXPECT_EQ(wmtest::fileSize(path), stopped) << "nothing is written after the stop";
    if (c.mms)
        expectReadableWma(path);
}

INSTANTIATE_TEST_SUITE_P(Servers, Pacing,
                         ::testing::Values(PacingCase{"short_answer_then_close", false, 2000, false},
                                           PacingCase{"full_first_answer_then_close", false, 10240, false},
                                           PacingCase{"answer_then_reset", false, 4000, true},
                                           PacingCase{"one_mms_packet_then_close", true, 0, false}),
                         [](const ::testing::TestParamInfo<PacingCase> &i) { return std::string(i.param.name); });

// ---- framed formats, refused types and compressed playlists ----------------

struct FramedCase
{
    const char *name;
    const char *path;     // of the source on the server
    std::string answer;   // sent to every connection, then the connection stalls
    const char *printed;  // a line the attempts print, or nullptr
};
void PrintTo(const FramedCase &c, std::ostream *os)
{
    *os << c.name;
}

class FramedHostile : public Hostile, public ::testing::WithParamInterface<FramedCase>
{};

// Answers that hold no frame or page to record, or a type that nothing
// records, or a playlist that decodes to more than the buffer: no file of
// any kind, attempts paced like failures, a stop still ends the recorder
// at once.
TEST_P(FramedHostile, WritesNothingAndStopsPromptly)
{
    const FramedCase &c = GetParam();
    netgrab::settings().tuning.retryPauseMinMs = 40;
    netgrab::settings().tuning.retryPauseMaxMs = 320;
    ScriptedServer server({{readRequest(), send(c.answer), stall()}});
    size_t connections1 = 0, connections2 = 0;
    steady_clock::time_point stopAt;
    const std::string printed = runFor("http://" + at(server, c.path), 1500, [&] {
        connections1 = server.connectionCount();
        std::this_thread::sleep_for(milliseconds(1000));
        connections2 = server.connectionCount();
        stopAt = steady_clock::now();
    });
    EXPECT_LT(steady_clock::now() - stopAt, milliseconds(1500)) << "the stop ends the recorder";
    EXPECT_GE(connections1, 1u);
    EXPECT_LE(connections2 - connections1, 5u) << "at most a few connections a second";
    for (const char *ext : {".mp3", ".wma", ".aac", ".ogg", ".opus"}) {
        EXPECT_LT(wmtest::fileSize(base_ + ext), 0) << ext << " written";
    }
    if (c.printed) {
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
    }
}

// Endless sync patterns whose frame lengths lead nowhere.
std::string straySyncs(size_t n)
{
    std::string b;
    while (b.size() < n)
        b += std::string("\xFF\xF1\x50\x80\x10\x1F\xFC", 7) + std::string(10, '\x11');
    return b;
}
// Capture patterns whose checksums are wrong, one announcing the largest page.
std::string brokenPages(size_t n)
{
    std::string page =
        std::string("OggS\0\x02", 6) + std::string(20, '\x01') + std::string(1, '\xFF') + std::string(255, '\xFF');
    std::string b;
    while (b.size() < n)
        b += page;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FramedHostile,
    ::testing::Values(FramedCase{"aac_without_frame_start", "/live",
                                 "ICY 200 OK\r\nContent-Type: audio/aacp\r\n\r\n" + straySyncs(30000), nullptr},
                      FramedCase{"ogg_without_valid_page", "/live",
                                 "HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n" + brokenPages(30000),
                                 nullptr},
                      FramedCase{"metadata_blocks_only", "/live",
                                 "ICY 200 OK\r\nContent-Type: audio/aac\r\nicy-metaint: 1\r\n\r\n" +
                                     [] {
                                         std::string b;
                                         while (b.size() < 30000)
                                             b += std::string(1, '\xFF') + '\xFF' + std::string(255 * 16, 'm');
                                         return b;
                                     }(),
                                 nullptr},
                      FramedCase{"transport_stream_refused", "/live",
                                 "HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" + std::string(30000, '\x47'),
                                 "cannot record content type video/mp2t\n"},
                      // An HLS type whose body is no playlist (an HLS playlist goes to its own route).
                      FramedCase{"hls_type_without_playlist_refused", "/live/index",
                                 "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n<html>"
                                     + std::string(30000, 'x') + "</html>",
                                 "cannot record content type application/vnd.apple.mpegurl\n"},
                      FramedCase{"gzip_playlist_too_large_when_decoded", "/radio.m3u",
                                 [] {
                                     const std::string body = testutil::compressed(std::string(4 << 20, '#'), 31);
                                     return "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: "
                                         + std::to_string(body.size()) + "\r\n\r\n" + body;
                                 }(),
                                 nullptr}),
    [](const ::testing::TestParamInfo<FramedCase> &i) { return std::string(i.param.name); });

// A stream that kept coming for longer than a healthy stream's span and
// then dropped is asked again at once, not after a pause.
TEST_F(Hostile, HealthyStreamThatDropsIsReconnectedAtOnce)
{
    netgrab::settings().tuning.healthyStreamMs = 500;
    netgrab::settings().tuning.retryPauseMinMs = 60000;  // a paced retry would come far later
    netgrab::settings().tuning.retryPauseMaxMs = 60000;
    const std::string audio = mpegBytes(10240);
    ScriptedServer server(
        {{readRequest(), send(kMpegHead + audio.substr(0, 10240 - kMpegHead.size())),
          stream([audio](size_t i) { return i < 40 ? audio.substr(0, 1000) : std::string(); }, 20), closeNow()}});
    size_t soonAfter = 0;
    runFor("http://" + at(server), 200, [&] {
        EXPECT_TRUE(server.waitForClosed(0, testwait::kLoadMarginMs)) << "the first stream's end";
        testwait::waitUntil([&] { return server.connectionCount() >= 2; }, testwait::kLoadMarginMs);
        soonAfter = server.connectionCount();
    });
    EXPECT_GE(soonAfter, 2u) << "reconnected without the pause";
}

// ---- stream headers that must not open a recording -------------------------

struct HeaderCase
{
    const char *name;
    Route route;
    std::string (*header)(const AsfMedia &);       // the ASF header the server has
    std::string (*describe)(const std::string &);  // its "$H" chunks (Mmsh, Portal)
};
void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string plainHeader(const AsfMedia &m)
{
    return broadcastHeader(m);
}
std::string hugePackets(const AsfMedia &m)
{
    return withPacketSize(m, 0x7FFFFFFF, 0x7FFFFFFF);
}
std::string zeroPackets(const AsfMedia &m)
{
    return withPacketSize(m, 0, 0);
}
std::string onePackets(const AsfMedia &m)
{
    return withPacketSize(m, 1, 1);
}
std::string uneqPackets(const AsfMedia &m)
{
    return withPacketSize(m, m.packetSize, m.packetSize + 100);
}
std::string bigHeader(const AsfMedia &m)
{
    return grownHeader(m, 12000);
}
std::string oneChunk(const std::string &h)
{
    return mmshChunk('H', h);
}
std::string lengthZero(const std::string &h)
{
    std::string c = mmshChunk('H', h);
    putLe(c, 2, 0, 2);
    return c;
}
std::string lengthFive(const std::string &h)
{
    std::string c = mmshChunk('H', h);
    putLe(c, 2, 5, 2);
    return c;
}
std::string cutAfterLength(const std::string &h)
{
    return mmshChunk('H', h).substr(0, 4);
}

class UnusableHeader : public Hostile, public ::testing::WithParamInterface<HeaderCase>
{};

// No data packet is written behind a header that is missing, cut, too
// large for the answer, or names a packet size outside what ASF allows.
TEST_P(UnusableHeader, OpensNoRecording)
{
    WM_MEDIA(m, 10);
    const HeaderCase &c = GetParam();
    const std::string header = c.header(*m);
    std::vector<Script> scripts;
    if (c.route == Route::Mmst) {
        MmstPlan plan;
        plan.count = 8;
        scripts.push_back(mmstScript(*m, header, plan));
    } else {
        scripts = session(c.route, c.describe(header), mmshDataChunks(*m, 0, 8));
    }
    ScriptedServer server(scripts);
    captureOnce(c.route, server);
    EXPECT_LE(wmtest::fileSize(wma()), 0) << "nothing written";
    EXPECT_EQ(ctx.packets.packetCount, 0);
    if (c.route != Route::Mmst) {
        EXPECT_EQ(server.connectionCount(), scripts.size() - 1) << "no play request";
    }
    EXPECT_EQ(ctx.output.file, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, UnusableHeader,
    ::testing::Values(HeaderCase{"mmsh_chunk_length_zero", Route::Mmsh, plainHeader, lengthZero},
                      HeaderCase{"mmsh_chunk_length_below_eight", Route::Mmsh, plainHeader, lengthFive},
                      HeaderCase{"mmsh_chunk_cut_after_its_length", Route::Mmsh, plainHeader, cutAfterLength},
                      HeaderCase{"mmsh_header_larger_than_the_answer", Route::Mmsh, bigHeader, oneChunk},
                      HeaderCase{"mmsh_packet_size_2147483647", Route::Mmsh, hugePackets, oneChunk},
                      HeaderCase{"mmsh_packet_size_0", Route::Mmsh, zeroPackets, oneChunk},
                      HeaderCase{"mmsh_packet_size_1", Route::Mmsh, onePackets, oneChunk},
                      HeaderCase{"mmsh_min_and_max_packet_size_differ", Route::Mmsh, uneqPackets, oneChunk},
                      HeaderCase{"mmst_packet_size_2147483647", Route::Mmst, hugePackets, nullptr},
                      HeaderCase{"mmst_packet_size_0", Route::Mmst, zeroPackets, nullptr},
                      HeaderCase{"portal_chunk_length_zero", Route::Portal, plainHeader, lengthZero},
                      HeaderCase{"portal_packet_size_2147483647", Route::Portal, hugePackets, oneChunk}),
    [](const ::testing::TestParamInfo<HeaderCase> &i) { return std::string(i.param.name); });

// ---- data packets of other lengths ------------------------------------------

struct PacketCase
{
    const char *name;
    Route route;
    // Packets the server sends on each connection, as (media index, how):
    // 'f' full, 's' padding stripped, 'l' 100 bytes too long.
    std::vector<std::string> connections;
    std::vector<size_t> recorded;  // media packets the file must hold, in order
};
void PrintTo(const PacketCase &c, std::ostream *os)
{
    *os << c.name;
}

class PacketLengths : public Hostile, public ::testing::WithParamInterface<PacketCase>
{};

// Packets are measured against the header's packet size on every
// connection: shorter ones are padded, longer ones left out.
TEST_P(PacketLengths, AreMeasuredAgainstThePacketSize)
{
    WM_MEDIA(m, 10);
    const PacketCase &c = GetParam();
    std::vector<Script> scripts;
    size_t index = 0;
    for (const std::string &kinds : c.connections) {
        AsfMedia sent = *m;
        sent.packets.clear();
        std::string chunks;
        for (char kind : kinds) {
            std::string p = m->packets[index++];
            if (kind == 's')
                p = withoutPadding(p);
            if (kind == 'l')
                p += std::string(100, '\0');
            sent.packets.push_back(p);
            chunks += mmshChunk('D', p);
        }
        if (c.route == Route::Mmst) {
            MmstPlan plan;
            plan.count = sent.packets.size();
            scripts.push_back(mmstScript(sent, broadcastHeader(*m), plan));
        } else {
            for (Script &s : session(c.route, mmshChunk('H', broadcastHeader(*m)), chunks))
                scripts.push_back(s);
        }
    }
    ScriptedServer server(scripts);
    for (size_t k = 0; k < c.connections.size(); ++k)
        captureOnce(c.route, server);
    std::string expected;
    for (size_t i : c.recorded)
        expected += wmtest::paddedPackets(*m, i, 1);
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == expected);
    expectReadableWma(wma());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PacketLengths,
    ::testing::Values(PacketCase{"mmst_first_packet_stripped", Route::Mmst, {"sffff"}, {0, 1, 2, 3, 4}},
                      PacketCase{
                          "mmst_reconnect_with_stripped_packets", Route::Mmst, {"fff", "sss"}, {0, 1, 2, 3, 4, 5}},
                      PacketCase{"mmst_too_long_packet_left_out", Route::Mmst, {"fflff"}, {0, 1, 3, 4}},
                      PacketCase{"mmsh_too_long_packet_left_out", Route::Mmsh, {"sslss"}, {0, 1, 3, 4}}),
    [](const ::testing::TestParamInfo<PacketCase> &i) { return std::string(i.param.name); });

// ---- MMS over TCP: lying commands and ping storms ---------------------------

// A server command that announces 0xFFFFFFF0 bytes would swallow the rest
// of the stream while the connection stays up; the attempt ends instead.
TEST_F(Hostile, MmsCommandLongerThanItsBufferEndsTheAttempt)
{
    WM_MEDIA(m, 10);
    std::string lie = mmsServerMessage(0x00040099, 64);
    putLe(lie, 8, 0xFFFFFFF0, 4);
    MmstPlan plan;
    plan.count = 8;
    plan.rawBefore = {{5, lie}};
    plan.keepStreaming = true;
    ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
    auto capture = std::async(std::launch::async, [&] { return captureOnce(Route::Mmst, server); });
    const bool ended = capture.wait_for(milliseconds(testwait::kLoadMarginMs)) == std::future_status::ready;
    if (!ended)
        ctx.stop.set();
    capture.wait();
    EXPECT_TRUE(ended) << "the attempt ends by itself";
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == wmtest::paddedPackets(*m, 0, 5));
    expectReadableWma(wma());
}

// Pings from a server that does not read the answers: each pong may wait a
// short time at most, and a stop ends the wait at once, so the recorder
// still has its settle time to finish the header.
TEST_F(Hostile, PingStormDoesNotHoldTheStop)
{
    netgrab::settings().tuning.receivePollCount = 400;  // a 2 s send wait, as a long time-out
    netgrab::settings().tuning.pongTimeoutMs = 60000;   // only the stop can end the pong's wait in time
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int small = 2048;
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    ASSERT_EQ(listen(listener, 1), 0);
    netgrab::Connection &c = ctx.connection;
    ASSERT_TRUE(netgrab::openConnection(c, "127.0.0.1", ntohs(a.sin_port)));
    setsockopt(c.descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const int peer = accept(listener, nullptr, nullptr);  // never reads
    ASSERT_GE(peer, 0);
    std::string storm;
    for (uint32_t i = 0; i < 20000; ++i)
        storm += mmsPing(i);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        auto packets = std::make_unique<netgrab::AsfPacketSession>();
        auto data = std::make_unique<netgrab::MmsDataReader>();
        netgrab::feedMmsData(ctx, *data, *packets, reinterpret_cast<const unsigned char *>(storm.data()),
                             static_cast<int>(storm.size()), c);
        done = true;
    });
    std::this_thread::sleep_for(milliseconds(300));
    const auto stopAt = steady_clock::now();
    {
        const netgrab::RunningCapture running(ctx);  // as netgrab() registers its capture
        netgrab_api::StopRecord();
    }
    const bool prompt = testwait::waitUntil([&] { return done.load(); }, testwait::kLoadMarginMs);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - stopAt).count();
    close(peer);  // lets a reader that did not stop fail its sends and end
    reader.join();
    netgrab::closeConnection(c);
    close(listener);
    EXPECT_TRUE(prompt) << "the reader ended " << took << " ms after the stop";
}

// ---- MMS over TCP: an answer that is not the one the step waits for ---------

struct WrongAnswerCase
{
    const char *name;
    int step;  // the command whose answer carries another id
    netgrab::RouteResult result;
    uint32_t lengthLie = 0;  // the answer's length field instead
    const char *line = "server message 0x00040099 where";
};
void PrintTo(const WrongAnswerCase &c, std::ostream *os)
{
    *os << c.name;
}

class MmsWrongAnswer : public Hostile, public ::testing::WithParamInterface<WrongAnswerCase>
{};

// The attempt ends at once with a line that names the step and what came
// (another id, a length that cannot be): no data packet reaches the file,
// the connection and the file are closed, and the HTTP route is asked for
// only when no stream was set up.
TEST_P(MmsWrongAnswer, EndsTheAttemptWithALine)
{
    const WrongAnswerCase &c = GetParam();
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.count = m->packets.size();
    plan.unexpectedAnswerAt = c.step;
    plan.answerLengthLie = c.lengthLie;
    plan.keepStreaming = true;
    testutil::TraceLog trace;
    const int socketsBefore = wmtest::openSockets();
    netgrab::RouteResult result = netgrab::RouteResult::Done;
    {
        ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
        ctx.serverPort = 1755;
        auto capture = std::async(std::launch::async, [&] { return netgrab::captureMmsTcp(ctx, at(server).c_str()); });
        const bool ended = capture.wait_for(milliseconds(testwait::kLoadMarginMs)) == std::future_status::ready;
        if (!ended)
            ctx.stop.set();
        result = capture.get();
        EXPECT_TRUE(ended) << "the attempt ends by itself";
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    char line[80];
    std::snprintf(line, sizeof line, "MMS step %d (", c.step);
    const std::string traced = trace.all();
    EXPECT_NE(traced.find(line), std::string::npos) << traced;
    EXPECT_NE(traced.find(c.line), std::string::npos) << traced;
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore);
    // Before the read block nothing is written; after it the stream header
    // alone, as the gate wrote it.
    const long size = wmtest::fileSize(wma());
    if (c.step <= 5)
        EXPECT_LE(size, 0);
    else
        EXPECT_EQ(size, static_cast<long>(broadcastHeader(*m).size()));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, MmsWrongAnswer,
    ::testing::Values(WrongAnswerCase{"connect", 1, netgrab::RouteResult::TryHttp},
                      WrongAnswerCase{"funnel_information", 2, netgrab::RouteResult::Failed},
                      WrongAnswerCase{"connect_funnel", 3, netgrab::RouteResult::Failed},
                      WrongAnswerCase{"open_file", 4, netgrab::RouteResult::Failed},
                      WrongAnswerCase{"read_block", 5, netgrab::RouteResult::TryHttp},
                      WrongAnswerCase{"stream_switch", 6, netgrab::RouteResult::Failed},
                      WrongAnswerCase{"start_playing", 7, netgrab::RouteResult::Failed},
                      // A length past the receive buffer, and one too short to hold an id.
                      WrongAnswerCase{"open_file_length_past_the_buffer", 4, netgrab::RouteResult::Failed, 0xFFFFFFF0,
                                      "server message of 4294967280 bytes"},
                      WrongAnswerCase{"connect_length_without_id", 1, netgrab::RouteResult::TryHttp, 8,
                                      "server message of 8 bytes"}),
    [](const ::testing::TestParamInfo<WrongAnswerCase> &i) { return std::string(i.param.name); });

// ---- chunked answers ---------------------------------------------------------

struct ChunkedCase
{
    const char *name;
    bool mms;  // MMS over HTTP; otherwise MPEG audio
    const char *encodingLine;
    const char *sizeFormat;
};
void PrintTo(const ChunkedCase &c, std::ostream *os)
{
    *os << c.name;
}

class ChunkedAnswer : public Hostile, public ::testing::WithParamInterface<ChunkedCase>
{};

// "Transfer-Encoding: chunked" framing never reaches the recording.
TEST_P(ChunkedAnswer, IsRecordedWithoutItsFraming)
{
    WM_MEDIA(m, 10);
    const ChunkedCase &c = GetParam();
    const std::string head = std::string("HTTP/1.1 200 OK\r\n") + c.encodingLine + "\r\n";
    if (!c.mms) {
        const std::string audio = mpegBytes(40000);
        ScriptedServer server(
            {{readRequest(),
              sendPieces(head + "Content-Type: audio/mpeg\r\n\r\n" + chunked(audio, 1000, c.sizeFormat), {777}, 1),
              closeNow()}});
        EXPECT_EQ(netgrab::captureHttpStream(ctx, at(server).c_str()), netgrab::RouteResult::Done);
        EXPECT_TRUE(fileBytes(mp3()) == audio);
        return;
    }
    const std::string describe = mmshChunk('H', broadcastHeader(*m));
    ScriptedServer server(
        {{readRequest(),
          send(head + "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n\r\n" + chunked(describe, 700, c.sizeFormat)),
          closeNow()},
         {readRequest(),
          sendPieces(head + "Content-Type: application/x-mms-framed\r\n\r\n"
                         + chunked(mmshDataChunks(*m, 0, 12), 999, c.sizeFormat),
                     {1300}, 1),
          closeNow()}});
    EXPECT_EQ(netgrab::captureHttpStream(ctx, at(server).c_str()), netgrab::RouteResult::Done);
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == wmtest::paddedPackets(*m, 0, 12));
    expectReadableWma(wma());
}

INSTANTIATE_TEST_SUITE_P(Servers, ChunkedAnswer,
                         ::testing::Values(ChunkedCase{"mpeg", false, "Transfer-Encoding: chunked", "%zx\r\n"},
                                           ChunkedCase{"mpeg_upper_case_with_extensions", false,
                                                       "TRANSFER-ENCODING: CHUNKED", "%zX;name=value\r\n"},
                                           ChunkedCase{"mms_over_http", true, "transfer-encoding: chunked", "%zx\r\n"}),
                         [](const ::testing::TestParamInfo<ChunkedCase> &i) { return std::string(i.param.name); });

// ---- a stream header that changes under a recording -------------------------

class HeaderChange : public Hostile, public ::testing::WithParamInterface<Route>
{};

// A reconnect whose header has another packet size goes into a new file
// beside the recording; the next reconnect with the first header appends
// to the first file again.
TEST_P(HeaderChange, StartsAFileBeside)
{
    WM_MEDIA(m, 10);
    const AsfMedia *other = otherMedia();
    if (!other)
        GTEST_SKIP() << "ffmpeg could not make the second media";
    ASSERT_NE(other->packetSize, m->packetSize);
    std::vector<Script> scripts;
    auto add = [&](const AsfMedia &media, size_t first, size_t count) {
        if (GetParam() == Route::Mmst) {
            MmstPlan plan;
            plan.first = first;
            plan.count = count;
            scripts.push_back(mmstScript(media, broadcastHeader(media), plan));
        } else {
            scripts.push_back(mmshDescribeScript(broadcastHeader(media)));
            scripts.push_back(mmshPlayScript(media, first, count, StreamEnd::Close));
        }
    };
    add(*m, 0, 4);
    add(*other, 0, 6);
    add(*m, 4, 3);
    ScriptedServer server(scripts);
    for (int k = 0; k < 3; ++k)
        captureOnce(GetParam(), server);
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == wmtest::paddedPackets(*m, 0, 7));
    EXPECT_TRUE(packetsAfterHeader(base_ + "-2.wma", *other) == wmtest::paddedPackets(*other, 0, 6));
    expectReadableWma(wma());
    expectReadableWma(base_ + "-2.wma");
}

INSTANTIATE_TEST_SUITE_P(Routes, HeaderChange, ::testing::Values(Route::Mmsh, Route::Mmst),
                         [](const ::testing::TestParamInfo<Route> &i) {
                             return std::string(i.param == Route::Mmsh ? "mms_over_http" : "mms_over_tcp");
                         });

// ---- the portal: Location without a blank, long cookies ---------------------

struct PortalCase
{
    const char *name;
    const char *location;
    size_t cookieLength;
};
void PrintTo(const PortalCase &c, std::ostream *os)
{
    *os << c.name;
}

class PortalRequests : public Hostile, public ::testing::WithParamInterface<PortalCase>
{};

TEST_P(PortalRequests, ReachTheStreamWithWholeRequests)
{
    WM_MEDIA(m, 10);
    const PortalCase &c = GetParam();
    std::string cookie;
    for (size_t i = 0; i < c.cookieLength; ++i)
        cookie += static_cast<char>('a' + i % 26);
    std::vector<Script> scripts = portalLookup(c.location);
    scripts.push_back(mmshDescribeScript(broadcastHeader(*m)));
    scripts.push_back(mmshPlayScript(*m, 0, 5, StreamEnd::Close));
    std::vector<std::string> got;
    {
        ScriptedServer server(scripts);
        captureOnce(Route::Portal, server, cookie);
        for (size_t k = 0; k < server.connectionCount(); ++k) {
            server.waitForClosed(k, 5000);
            got.push_back(server.received(k));
        }
    }
    ASSERT_EQ(got.size(), 5u) << "page, reference, redirect, describe, play";
    for (const std::string &request : got) {
        EXPECT_EQ(request.size() - request.find("\r\n\r\n"), 4u) << "one header block, ended once: " << request;
    }
    EXPECT_NE(got[1].find("\r\nCookie:" + cookie + "\r\n\r\n"), std::string::npos);
    for (size_t k : {3, 4})
        EXPECT_NE(got[k].find("\r\nCookie:" + cookie + "\r\nX-Accept-Authentication:"), std::string::npos);
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == wmtest::paddedPackets(*m, 0, 5));
    expectReadableWma(wma());
}

INSTANTIATE_TEST_SUITE_P(Servers, PortalRequests,
                         ::testing::Values(PortalCase{"location_without_blank", "Location:http://127.0.0.1/ref2", 3},
                                           PortalCase{"cookie_of_300", "Location: http://127.0.0.1/ref2", 300},
                                           PortalCase{"cookie_of_511", "Location: http://127.0.0.1/ref2", 511}),
                         [](const ::testing::TestParamInfo<PortalCase> &i) { return std::string(i.param.name); });

// A host that never answers the handshake (its accept queue is full, so
// its SYNs are dropped) holds a connect for the receive time-out only.
TEST_F(Hostile, ConnectToAHostThatDoesNotAnswerTimesOut)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    ASSERT_EQ(listen(listener, 0), 0);
    int filler = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    const auto start = steady_clock::now();
    ::testing::internal::CaptureStdout();
    const bool opened = netgrab::openConnection(ctx.connection, "127.0.0.1", ntohs(a.sin_port));
    const std::string out = ::testing::internal::GetCapturedStdout();
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    netgrab::closeConnection(ctx.connection);
    close(filler);
    close(listener);
    EXPECT_FALSE(opened);
    EXPECT_LT(took, 2000);
    EXPECT_NE(out.find("fail -- 0000006e"), std::string::npos) << out;  // ETIMEDOUT
}

// ---- outputs that cannot be written -----------------------------------------

class FullDisk : public Hostile, public ::testing::WithParamInterface<Route>
{};

// A file size limit stands for a full disk: the capture ends with an error,
// the packet that did not fit is taken back and the header states the
// packets that are in the file.
TEST_P(FullDisk, EndsTheCaptureAndTheHeaderStatesWhatIsInTheFile)
{
    WM_MEDIA(m, 10);
    std::vector<Script> scripts;
    if (GetParam() == Route::Mmst) {
        MmstPlan plan;
        plan.count = 12;
        scripts.push_back(mmstScript(*m, broadcastHeader(*m), plan));
    } else {
        scripts = session(GetParam(), mmshChunk('H', broadcastHeader(*m)), mmshDataChunks(*m, 0, 12));
    }
    ScriptedServer server(scripts);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = m->header.size() + 5 * m->packetSize + m->packetSize / 2;
    signal(SIGXFSZ, SIG_IGN);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    captureOnce(GetParam(), server);
    setrlimit(RLIMIT_FSIZE, &saved);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(shared().lastError, NG_ERR_FILE_OPEN);
    EXPECT_EQ(testutil::countOf(out, "cannot write " + wma() + ": File too large\n"), 1u) << out;
    EXPECT_TRUE(packetsAfterHeader(wma(), *m) == wmtest::paddedPackets(*m, 0, 5));
    expectReadableWma(wma());
}

INSTANTIATE_TEST_SUITE_P(Routes, FullDisk, ::testing::Values(Route::Mmsh, Route::Mmst, Route::Portal),
                         [](const ::testing::TestParamInfo<Route> &i) {
                             return std::string(i.param == Route::Mmsh       ? "mms_over_http"
                                                    : i.param == Route::Mmst ? "mms_over_tcp"
                                                                             : "portal");
                         });

struct OutputCase
{
    const char *name;
    bool mms;
    const char *base;  // below the test folder; "file" is a regular file there
    const char *reason;
};
void PrintTo(const OutputCase &c, std::ostream *os)
{
    *os << c.name;
}

class UnwritableOutput : public Hostile, public ::testing::WithParamInterface<OutputCase>
{};

// One clear line, then paced retries (the folder may still appear); an MMS
// source does not go on to its HTTP route for a fault of the file.
TEST_P(UnwritableOutput, IsReportedOnceAndRetriedWithPauses)
{
    WM_MEDIA(m, 10);
    const OutputCase &c = GetParam();
    std::fclose(std::fopen((dir_ + "/file").c_str(), "wb"));
    base_ = dir_ + c.base;
    MmstPlan plan;
    plan.count = 3;
    ScriptedServer server({c.mms ? mmstScript(*m, broadcastHeader(*m), plan)
                                 : Script{readRequest(), send(kMpegHead + mpegBytes(3000)), closeNow()}});
    netgrab::settings().tuning.retryPauseMinMs = 40;
    netgrab::settings().tuning.retryPauseMaxMs = 160;
    const std::string out = runFor((c.mms ? "mms://" : "http://") + at(server), 800);
    const std::string line = "cannot write " + base_ + (c.mms ? ".wma" : ".mp3") + ": " + c.reason + "\n";
    EXPECT_EQ(testutil::countOf(out, "cannot write "), 1u) << out;
    EXPECT_EQ(testutil::countOf(out, line), 1u) << out;
    EXPECT_EQ(netgrab_api::GetRecError(), NG_ERR_FILE_OPEN);
    if (c.mms) {
        EXPECT_EQ(server.connectionCount(), 0u) << "no HTTP route for a file fault";
    } else {
        EXPECT_LE(server.connectionCount(), 8u) << "paced retries";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, UnwritableOutput,
    ::testing::Values(OutputCase{"mpeg_missing_folder", false, "/missing/rec", "No such file or directory"},
                      OutputCase{"mms_missing_folder", true, "/missing/rec", "No such file or directory"},
                      OutputCase{"mpeg_below_a_file", false, "/file/rec", "Not a directory"}),
    [](const ::testing::TestParamInfo<OutputCase> &i) { return std::string(i.param.name); });

// ---- grablive and long output names -----------------------------------------

struct NameCase
{
    const char *name;
    size_t length;  // of the output name
    bool accepted;
};
void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << c.name;
}

class RecorderName : public Hostile, public ::testing::WithParamInterface<NameCase>
{};

// Runs grablive (no shell) and returns its exit status and its output.
int runGrablive(const std::vector<std::string> &args, std::string *out)
{
    return testutil::runCaptured(VEXA_GRABLIVE, args, out);
}

// The recorder takes output names as long as the library does (511
// characters) and refuses longer ones instead of cutting them.
TEST_P(RecorderName, IsTakenWholeOrRefused)
{
    const NameCase &c = GetParam();
    // Two folders of 200 characters: no name component is over 255.
    std::string folder = dir_ + "/" + std::string(200, 'a');
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    folder += "/" + std::string(200, 'c');
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_LT(folder.size() + 1, c.length);
    std::string name = folder + "/";
    name += std::string(c.length - name.size(), 'b');
    const std::string audio = mpegBytes(20000);
    ScriptedServer server(
        {{readRequest(), send(kMpegHead + audio.substr(0, 10240 - kMpegHead.size())),
          stream([audio](size_t i) { return i < 40 ? audio.substr(0, 1000) : std::string(); }, 20), stall()}});
    std::string out;
    const int status = runGrablive({"http://" + at(server), name, "300"}, &out);
    if (c.accepted) {
        EXPECT_EQ(status, 0) << out;
        EXPECT_GT(wmtest::fileSize(name + ".mp3"), 0) << out;
        EXPECT_NE(out.find("record : "), std::string::npos) << out;
    } else {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(out, "output name too long: at most 511 characters\n");
        EXPECT_EQ(server.connectionCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, RecorderName,
                         ::testing::Values(NameCase{"of_450_characters", 450, true},
                                           NameCase{"of_511_characters", 511, true},
                                           NameCase{"of_512_characters", 512, false}),
                         [](const ::testing::TestParamInfo<NameCase> &i) { return std::string(i.param.name); });

}  // namespace

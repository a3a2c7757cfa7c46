// HTTP audio capture against scripted loopback servers: the describe
// request's bytes, the routes its answer selects, redirects, and the MPEG
// copier with and without a kept connection.
#include "http_audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>
#include <thread>

#include <unistd.h>

#include "bounded_wait.h"
#include "capture_state.h"
#include "framed_media.h"
#include "icecast_server.h"
#include "netgrab.h"
#include "output_file.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

constexpr const char *kGuid = "{0123ABCD-4567-89AB-CDE0-123456789ABC}";

// Bytes that look like MPEG audio: a frame header, then bytes that never
// hold 0xFF, so the only frame starts are the ones put there.
std::string mpegBytes(size_t n, size_t seed = 0)
{
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + seed) % 251);
    if (n >= 4)
        b.replace(0, 4, "\xFF\xFB\x90\x64");
    return b;
}

std::string dataFile(const char *name)
{
    std::ifstream in(std::string(VEXA_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Data files hold one header line per text line; the wire ends each in CR LF.
std::string withCrLf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

class HttpAudioTest : public ::testing::Test, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        CaptureState &s = ctx;
        netgrab::settings().config.shoutcastNoticeHost = "notice.radio.test";
        s.stop.clear();
        netgrab::shared().lastError = 0;
        netgrab::shared().recordedBytes = 0;
        s.serverPort = 80;
        s.workingAddress[0] = '\0';
        std::strcpy(s.clientGuid, kGuid);
        dir_ = makeTempDir("vexa-http-audio");
        ASSERT_FALSE(dir_.empty());
        std::snprintf(s.outputBase, sizeof s.outputBase, "%s/rec", dir_.c_str());
    }
    void TearDown() override
    {
        closeOutput(ctx.output);
        removeTree(dir_);
    }
    std::string mp3() const { return readFile(dir_ + "/rec.mp3"); }
    bool exists(const char *ext) const
    {
        std::ifstream in(dir_ + "/rec" + ext);
        return in.good();
    }
    // describeRequest on http://127.0.0.1<path> at the server's port.
    // A further address is handed back in further_.
    DescribeEnd describe(const ScriptedServer &server, const std::string &path = "/live")
    {
        ctx.serverPort = server.port();
        further_ = FurtherAddress();
        return describeRequest(ctx, ("http://127.0.0.1" + path).c_str(), &further_);
    }
    FurtherAddress further_;
    std::string dir_;
};

TEST_F(HttpAudioTest, DescribeRequestBytesMatchDataFile)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    EXPECT_EQ(describe(server, ":" + std::to_string(server.port()) + "/live/stream?id=7"), DescribeEnd::Failed);
    const std::string expected = withCrLf(dataFile("describe_request.http"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(server.received(0), expected);
}

TEST_F(HttpAudioTest, AddressWithoutPathAsksForRoot)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    describe(server, "");
    EXPECT_EQ(server.received(0).rfind("GET / HTTP/1.1\r\n", 0), 0u);
}

// ---- what the answer selects ----

struct AnswerCase
{
    const char *name;
    std::string answer;
    DescribeEnd result;
    int lastError;
    const char *file;            // extension of the file left behind, or nullptr
    const char *furtherAddress;  // the address handed back with FurtherAddress
    std::string recorded = {};   // when given: the file's whole content
};
void PrintTo(const AnswerCase &c, std::ostream *os)
{
    *os << c.name;
}

class DescribeAnswer : public HttpAudioTest, public ::testing::WithParamInterface<AnswerCase>
{};

TEST_P(DescribeAnswer, SelectsItsRoute)
{
    const AnswerCase &c = GetParam();
    const int socketsBefore = testutil::openSockets();
    {
        ScriptedServer server({{readRequest(), send(c.answer)}});
        EXPECT_EQ(describe(server), c.result);
    }
    // An answer that fills the request buffer keeps its connection open;
    // every route closes it.
    EXPECT_EQ(testutil::openSockets(), socketsBefore) << "connection left open";
    EXPECT_EQ(shared().lastError, c.lastError);
    EXPECT_EQ(ctx.output.file, nullptr);  // every end closes the file
    for (const char *ext : {".mp3", ".wma", ".aac", ".ogg", ".opus"}) {
        EXPECT_EQ(exists(ext), c.file && std::strcmp(c.file, ext) == 0) << ext;
    }
    if (c.file && std::strcmp(c.file, ".mp3") == 0 && c.lastError == NG_ERR_RECEIVE) {
        // From the first frame start; the text before it is left out.
        EXPECT_EQ(mp3(), c.answer.substr(c.answer.find('\xFF')));
    }
    if (c.furtherAddress) {
        EXPECT_STREQ(further_.text, c.furtherAddress);
    }
    if (!c.recorded.empty()) {
        EXPECT_EQ(readFile(dir_ + "/rec" + c.file), c.recorded);
    }
}

const std::string kFrames = mpegBytes(3000);
const std::string kAdts = adtsFrames(8);
const std::vector<std::string> kVorbisPages = oggPages(3, oggPackets(vorbisHead(), 12));
const std::vector<std::string> kOpusPages = oggPages(4, oggPackets(opusHead(), 12));

// The answer grown to more than the 10,240 bytes of the request buffer.
std::string filling(std::string answer)
{
    return answer + std::string(11000, ' ');
}

const AnswerCase kAnswers[] = {
    {"IcyMpeg", "ICY 200 OK\r\nicy-name: Test\r\nContent-Type: audio/mpeg\r\n\r\n" + kFrames, DescribeEnd::Recorded,
     NG_ERR_RECEIVE, ".mp3", nullptr},
    {"Http10Mpeg", "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\nxy" + kFrames, DescribeEnd::Recorded,
     NG_ERR_RECEIVE, ".mp3", nullptr},
    {"Http11MpegTypeInCapitals", "HTTP/1.1 200 OK\r\nContent-Type: Audio/MPEG\r\n\r\n" + kFrames, DescribeEnd::Recorded,
     NG_ERR_RECEIVE, ".mp3", nullptr},
    {"ShoutcastNoticeWithoutType",
     "ICY 200 OK\r\nicy-notice1: <BR>This stream requires <a "
     "href=\"http://notice.radio.test/\">a player</a><BR>\r\n\r\n"
         + kFrames,
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".mp3", nullptr},
    {"RedirectWithoutLocationIsAccepted", "HTTP/1.1 302 Found\r\nContent-Type: audio/mpeg\r\n\r\n" + kFrames,
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".mp3", nullptr},
    {"MpegWithoutFrameStart", "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\nno audio here", DescribeEnd::Recorded,
     NG_ERR_NO_MPEG_SYNC, ".mp3", nullptr},
    // Framed formats: whole frames or pages from the first real start; no
    // file without one.
    {"AacFromFirstFrame", "HTTP/1.0 200 OK\r\nContent-Type: audio/aac\r\n\r\nxy\xFF\xF1" + kAdts, DescribeEnd::Recorded,
     NG_ERR_RECEIVE, ".aac", nullptr, kAdts},
    {"AacPlusRecorded", "ICY 200 OK\r\nContent-Type: audio/aacp\r\n\r\n" + kAdts, DescribeEnd::Recorded, NG_ERR_RECEIVE,
     ".aac", nullptr, kAdts},
    {"XAacWithParameters", "HTTP/1.1 200 OK\r\ncontent-type: Audio/X-AAC; rate=44100\r\n\r\n" + kAdts,
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".aac", nullptr, kAdts},
    {"AacLastFrameCutShortLeftOut", "ICY 200 OK\r\nContent-Type: audio/aacp\r\n\r\n" + kAdts + kAdts.substr(0, 100),
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".aac", nullptr, kAdts},
    {"AacTypeWithoutFramesWritesNothing", "ICY 200 OK\r\nContent-Type: audio/aacp\r\n\r\n" + kFrames,
     DescribeEnd::Recorded, NG_ERR_RECEIVE, nullptr, nullptr},
    {"OggVorbis", "HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n" + joinPages(kVorbisPages),
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".ogg", nullptr, joinPages(kVorbisPages)},
    {"OggOpusNamedOpus", "HTTP/1.0 200 OK\r\nContent-Type: audio/ogg\r\n\r\n" + joinPages(kOpusPages),
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".opus", nullptr, joinPages(kOpusPages)},
    {"OggJoinedMidStreamWaitsForBeginning",
     "HTTP/1.0 200 OK\r\nContent-Type: audio/opus\r\n\r\n" + kVorbisPages.at(2).substr(9) + kVorbisPages.at(3)
         + joinPages(kOpusPages),
     DescribeEnd::Recorded, NG_ERR_RECEIVE, ".opus", nullptr, joinPages(kOpusPages)},
    {"OggTypeWithoutPagesWritesNothing", "HTTP/1.0 200 OK\r\nContent-Type: audio/vorbis\r\n\r\n" + kFrames,
     DescribeEnd::Recorded, NG_ERR_RECEIVE, nullptr, nullptr},
    // Types that no route records: refused, no file.
    {"TransportStreamRefused", "HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" + kFrames, DescribeEnd::Refused,
     NG_ERR_CONTENT_TYPE, nullptr, nullptr},
    // An HLS playlist goes to the HLS route; the same type on another body is refused.
    {"HlsPlaylistGoesToItsRoute",
     "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n#EXTM3U\r\n#EXT-X-VERSION:3\r\n",
     DescribeEnd::Hls, NG_ERR_NONE, nullptr, nullptr},
    {"HlsTypeWithoutPlaylistRefused",
     "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n<html>no playlist</html>",
     DescribeEnd::Refused, NG_ERR_CONTENT_TYPE, nullptr, nullptr},
    {"MpegurlIsNoMpegAudio", "HTTP/1.1 200 OK\r\nContent-Type: audio/mpegurl\r\n\r\n#EXTM3U\r\n", DescribeEnd::Refused,
     NG_ERR_CONTENT_TYPE, nullptr, nullptr},
    {"HtmlPageRefused", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>no stream</html>",
     DescribeEnd::Refused, NG_ERR_CONTENT_TYPE, nullptr, nullptr},
    {"NotFound", "HTTP/1.0 404 Not Found\r\n\r\n", DescribeEnd::Failed, NG_ERR_REFUSED, nullptr, nullptr},
    {"Forbidden", "HTTP/1.1 403 Forbidden\r\n\r\n", DescribeEnd::Failed, NG_ERR_REFUSED, nullptr, nullptr},
    {"Http10_301NotFollowed", "HTTP/1.0 301 Moved\r\nLocation: http://127.0.0.1/x\r\n\r\n", DescribeEnd::Failed,
     NG_ERR_REFUSED, nullptr, nullptr},
    {"AsxAfterAdvertisement",
     "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version=\"3.0\">\r\n"
     "<ENTRY><REF HREF=\"http://ads.example/AD.WMA\"/></ENTRY>\r\n"
     "<ENTRY><REF HREF=\"mms://radiohost/live\"/></ENTRY>\r\n</ASX>\r\n",
     DescribeEnd::FurtherAddress, 0, nullptr, "mms://radiohost/live"},
    {"MovedNoticeInBody",
     "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<h1>302 Moved</h1>\r\n"
     "Location:http://radiohost/new\r\n",
     DescribeEnd::FurtherAddress, 0, nullptr, "http://radiohost/new"},
    {"MmsOverHttpWithoutStreamHeader",
     "HTTP/1.0 200 OK\r\nContent-Type: application/vnd.ms.wms-hdr.asfv1\r\nContent-Length: 4\r\n\r\nabcd",
     DescribeEnd::Failed, NG_ERR_NO_STREAM_HEADER, ".wma", nullptr},
    // Answers that fill the request buffer, one per route that does not copy audio.
    {"FullAsx", filling("HTTP/1.0 200 OK\r\n\r\n<ASX><ENTRY><REF HREF=\"mms://radiohost/live\"/></ENTRY></ASX>\r\n"),
     DescribeEnd::FurtherAddress, 0, nullptr, "mms://radiohost/live"},
    {"FullMovedNotice", filling("HTTP/1.0 200 OK\r\n\r\n302 Moved\r\nLocation:http://radiohost/new\r\n"),
     DescribeEnd::FurtherAddress, 0, nullptr, "http://radiohost/new"},
    {"FullTransportStream", filling("ICY 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" + kFrames), DescribeEnd::Refused,
     NG_ERR_CONTENT_TYPE, nullptr, nullptr},
    {"FullNotFound", filling("HTTP/1.0 404 Not Found\r\n\r\n"), DescribeEnd::Failed, NG_ERR_REFUSED, nullptr, nullptr},
    {"FullMmsOverHttpWithoutStreamHeader",
     filling("HTTP/1.0 200 OK\r\nContent-Type: application/vnd.ms.wms-hdr.asfv1\r\n\r\nabcd"), DescribeEnd::Failed,
     NG_ERR_NO_STREAM_HEADER, ".wma", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Answers, DescribeAnswer, ::testing::ValuesIn(kAnswers),
                         [](const auto &info) { return std::string(info.param.name); });

// A refusal names the type as plain text: no control characters reach the terminal.
TEST_F(HttpAudioTest, RefusalNamesTheType)
{
    for (const auto &row : {std::make_pair(std::string("video/MP2T; program=1"), std::string("video/MP2T")),
                            std::make_pair(std::string("x/\x1b[2Jy"), std::string("x/?[2Jy"))}) {
        ScriptedServer server({{readRequest(), send("HTTP/1.0 200 OK\r\nContent-Type: " + row.first + "\r\n\r\n")}});
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(describe(server), DescribeEnd::Refused);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "cannot record content type " + row.second + "\n");
    }
}

// A server that interleaves metadata although the request asked for none:
// the file holds the audio only.
TEST_F(HttpAudioTest, IcyMetadataLeftOutOfMp3)
{
    const size_t interval = 1000;
    const std::string audio = mpegBytes(30000);
    std::string body;
    for (size_t at = 0, n = 0; at < audio.size(); at += interval, ++n) {
        body += audio.substr(at, interval);
        const std::string title = n % 2 ? "StreamTitle='Song " + std::to_string(n) + "';" : "";
        const size_t units = (title.size() + 15) / 16;
        body += static_cast<char>(units);
        body += title + std::string(units * 16 - title.size(), '\0');
    }
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 1000\r\n\r\n";
    ScriptedServer server({{readRequest(), sendPieces(head + body, {12000, 777}, 3)}});
    EXPECT_EQ(describe(server), DescribeEnd::Recorded);
    EXPECT_EQ(mp3(), audio);
}

// The framed formats take metadata out before they look for frames.
TEST_F(HttpAudioTest, IcyMetadataLeftOutOfAac)
{
    const std::string audio = adtsFrames(60);
    std::string body;
    for (size_t at = 0; at < audio.size(); at += 4096)
        body += audio.substr(at, 4096) + std::string(1, '\x01') + std::string("StreamTitle='';\0", 16);
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/aacp\r\nicy-metaint:4096\r\n\r\n";
    ScriptedServer server({{readRequest(), sendPieces(head + body, {12000, 999}, 3)}});
    EXPECT_EQ(describe(server), DescribeEnd::Recorded);
    EXPECT_EQ(readFile(dir_ + "/rec.aac"), audio);
}

TEST_F(HttpAudioTest, EmptyAnswerFails)
{
    ScriptedServer server({{readRequest(), closeNow()}});
    EXPECT_EQ(describe(server), DescribeEnd::Failed);
    EXPECT_EQ(shared().lastError, 0);
}

TEST_F(HttpAudioTest, UnreachableServerFails)
{
    ctx.serverPort = testutil::closedPort();
    EXPECT_EQ(describeRequest(ctx, "http://127.0.0.1/live"), DescribeEnd::Failed);
}

TEST_F(HttpAudioTest, AddressWithoutHttpSchemeFails)
{
    EXPECT_EQ(describeRequest(ctx, "mms://127.0.0.1/live"), DescribeEnd::Failed);
    EXPECT_EQ(describeRequest(ctx, "http:"), DescribeEnd::Failed);
}

// ---- redirects ----

TEST(RedirectStop, StopFromAnotherThreadEndsSlowChainPromptly)
{
    testutil::OwnCapture own;
    CaptureState &ctx = own.ctx;
    testutil::useFastTuning();
    netgrab::settings().tuning.receivePollCount = 200;  // a second of quiet before a receive gives up
    ctx.stop.clear();
    std::string self;
    // Each answer takes 100 ms: twenty hops would take two seconds.
    ScriptedServer loop({{readRequest(), delay(100), call([&](ConnectionIo &io) {
                              return io.send("HTTP/1.1 302 Found\r\nLocation: " + self + "\r\n\r\n");
                          })}});
    self = "http://" + loop.hostPort() + "/live";
    ctx.serverPort = loop.port();
    DescribeEnd result = DescribeEnd::StreamHeader;
    std::thread capture([&] { result = describeRequest(ctx, self.c_str()); });
    ASSERT_TRUE(loop.waitForConnections(2, testwait::kLoadMarginMs)) << "the second hop";
    const auto stopped = std::chrono::steady_clock::now();
    ctx.stop.set();
    capture.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(500));
    EXPECT_EQ(result, DescribeEnd::Failed);
    EXPECT_LE(loop.connectionCount(), 3u);
    EXPECT_EQ(shared().lastError, NG_ERR_STOPPED);
    ctx.stop.clear();
}

// The MMS-over-HTTP play step goes where the describe request was finally
// answered: the redirected address (its port now in serverPort).
TEST_F(HttpAudioTest, FinalAddressIsWhereTheAnswerCameFrom)
{
    ScriptedServer target({{readRequest(), send("HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n")}});
    ScriptedServer first({{readRequest(),
                           send("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(target.port())
                                + "/next\r\n\r\n")}});
    ctx.serverPort = first.port();
    char finalAddress[512] = "";
    EXPECT_EQ(describeRequest(ctx, "http://127.0.0.1/first", finalAddress, sizeof finalAddress), DescribeEnd::Refused);
    EXPECT_STREQ(finalAddress, "http://127.0.0.1/next");
    EXPECT_EQ(ctx.serverPort, target.port());
}

TEST_F(HttpAudioTest, RelativeLocationFails)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n\r\n")}});
    EXPECT_EQ(describe(server), DescribeEnd::Failed);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST_F(HttpAudioTest, LongLocationCutAtWorkingAddress)
{
    const std::string location = "http://127.0.0.1:1/" + std::string(400, 'p');
    ScriptedServer server({{readRequest(), send("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\n\r\n")}});
    describe(server);
    // Cut at 255 characters, then the port (":1") taken out.
    EXPECT_EQ(std::string(ctx.workingAddress), "http://127.0.0.1/" + std::string(236, 'p'));
}

// ---- the MPEG copier and the kept connection ----

// A first answer that fills the request buffer keeps its connection: the
// rest of the stream follows on it, every byte after the first frame start.
TEST_F(HttpAudioTest, FullFirstAnswerKeepsConnection)
{
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    const std::string body = "ab" + mpegBytes(40000);
    ScriptedServer server({{readRequest(), sendPieces(head + body, {12000, 4000}, 5)}});
    EXPECT_EQ(describe(server), DescribeEnd::Recorded);
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);  // the server closed at the end
    EXPECT_EQ(mp3(), body.substr(2));
    // Bytes of the first answer (10240) are written but not counted.
    EXPECT_EQ(shared().recordedBytes, static_cast<int>(head.size() + body.size()) - 10240);
}

// A short first answer keeps nothing: the capture ends after writing it.
TEST_F(HttpAudioTest, ShortFirstAnswerKeepsNoConnection)
{
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    const std::string body = mpegBytes(5000);
    ScriptedServer server({{readRequest(), send(head + body), stall()}});
    EXPECT_EQ(describe(server), DescribeEnd::Recorded);
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(mp3(), body);
    EXPECT_EQ(shared().recordedBytes, 0);
}

TEST_F(HttpAudioTest, StopEndsMpegCapture)
{
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    ScriptedServer server(
        {{readRequest(), send(head + mpegBytes(12000)), stream([](size_t i) { return mpegBytes(800, i); }, 5)}});
    ctx.serverPort = server.port();
    RouteResult result = RouteResult::Failed;
    std::thread capture([&] { result = captureHttpStream(ctx, "127.0.0.1/live"); });
    EXPECT_TRUE(testwait::waitUntil([] { return shared().recordedBytes >= 4000; }, testwait::kLoadMarginMs))
        << "4000 bytes recorded, " << shared().recordedBytes << " seen";
    ctx.stop.set();
    capture.join();
    EXPECT_EQ(result, RouteResult::Done);
    EXPECT_EQ(shared().lastError, NG_ERR_STOPPED);
    EXPECT_GE(shared().recordedBytes, 4000);
    EXPECT_EQ(ctx.output.file, nullptr);
    // The first answer's 10240 bytes are written from the frame start on, uncounted.
    EXPECT_EQ(mp3().size(), 10240 - head.size() + static_cast<size_t>(shared().recordedBytes));
    ctx.stop.clear();
}

// Bytes that do not reach the disk end the capture and are not counted.
TEST_F(HttpAudioTest, WriteFailureEndsCapture)
{
    ASSERT_EQ(::symlink("/dev/full", (dir_ + "/rec.mp3").c_str()), 0);
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    ScriptedServer server({{readRequest(), send(head + mpegBytes(12000)), stall()}});
    EXPECT_EQ(describe(server), DescribeEnd::Recorded);
    EXPECT_EQ(shared().lastError, NG_ERR_FILE_OPEN);
    EXPECT_EQ(shared().recordedBytes, 0);
    EXPECT_EQ(ctx.output.file, nullptr);
}

// A second attempt appends to the file of the first.
TEST_F(HttpAudioTest, NextAttemptAppends)
{
    const std::string head = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    ScriptedServer server(
        {{readRequest(), send(head + mpegBytes(3000, 1))}, {readRequest(), send(head + mpegBytes(2000, 2))}});
    ctx.serverPort = server.port();
    EXPECT_EQ(captureHttpStream(ctx, "127.0.0.1/live"), RouteResult::Done);
    EXPECT_EQ(captureHttpStream(ctx, "127.0.0.1/live"), RouteResult::Done);
    EXPECT_EQ(mp3(), mpegBytes(3000, 1) + mpegBytes(2000, 2));
}

// ---- captureHttpStream's address ----

TEST_F(HttpAudioTest, PortInAddressSelectsServer)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    ctx.serverPort = 80;
    EXPECT_EQ(captureHttpStream(ctx, ("127.0.0.1:" + std::to_string(server.port()) + "/a:b").c_str()),
              RouteResult::Failed);
    EXPECT_EQ(server.received(0).rfind("GET /a:b HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(ctx.serverPort, server.port());
}

TEST_F(HttpAudioTest, ColonInPathIsNoPort)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    ctx.serverPort = server.port();
    EXPECT_EQ(captureHttpStream(ctx, "127.0.0.1/time:12"), RouteResult::Failed);
    EXPECT_EQ(server.received(0).rfind("GET /time:12 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(HttpAudioTest, FreshClientGuidPerCapture)
{
    ScriptedServer server({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    ctx.serverPort = server.port();
    captureHttpStream(ctx, "127.0.0.1/live");
    EXPECT_STRNE(ctx.clientGuid, kGuid);
    EXPECT_NE(server.received(0).find(std::string("Pragma: xClientGUID=") + ctx.clientGuid + "\r\n"),
              std::string::npos);
}

// ---- pure rules ----

struct FrameCase
{
    const char *name;
    std::string bytes;
    int start;
};
void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

class FrameStart : public ::testing::TestWithParam<FrameCase>
{};

TEST_P(FrameStart, FindsFirstSync)
{
    const FrameCase &c = GetParam();
    EXPECT_EQ(findFrameStart(reinterpret_cast<const unsigned char *>(c.bytes.data()), static_cast<int>(c.bytes.size())),
              c.start);
}

const FrameCase kFrameCases[] = {
    {"AtStart", std::string("\xFF\xFB\x90\x00", 4), 0},
    {"AfterText", std::string("abc\xFF\xE0zz", 7), 3},
    {"LowSecondByteIsNoSync", std::string("\xFF\xDF\x00\xFF\xF3\x00", 6), 3},
    {"NeedsTwoBytesAfter", std::string("ab\xFF\xFB", 4), -1},
    {"Empty", std::string(), -1},
};

INSTANTIATE_TEST_SUITE_P(Bytes, FrameStart, ::testing::ValuesIn(kFrameCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct TargetCase
{
    const char *name;
    const char *answer;
    int result;
    const char *target;
};
void PrintTo(const TargetCase &c, std::ostream *os)
{
    *os << c.name;
}

class PlaylistTarget : public ::testing::TestWithParam<TargetCase>
{};

TEST_P(PlaylistTarget, FindsFurtherAddress)
{
    const TargetCase &c = GetParam();
    char out[512] = "";
    ASSERT_EQ(findPlaylistTarget(c.answer, out), c.result);
    if (c.result) {
        EXPECT_STREQ(out, c.target);
    }
}

const TargetCase kTargets[] = {
    {"MovedNotice", "ICY 200 OK\r\n\r\n301 Moved\r\nLocation: http://new/x\r\n", 1, "http://new/x"},
    {"MovedWithoutLocationIsNone", "HTTP/1.0 200 OK\r\n\r\n302 Moved\r\n", 0, nullptr},
    {"FirstEntry", "<asx><entry><ref href=\"http://radiohost/live\"/></entry></asx>", 1, "http://radiohost/live"},
    {"WmaSkippedInEitherCase",
     "<asx><entry><ref href=\"http://ads/AD.WMA\"/></entry><entry><ref href=\"http://ads/b.wma\"/>"
     "</entry><entry><ref href=\"mms://radiohost/live\"/></entry></asx>",
     1, "mms://radiohost/live"},
    // Only Windows Media files are advertisements here.
    {"GifNotSkipped", "<asx><entry><ref href=\"http://ads/a.gif\"/></entry></asx>", 1, "http://ads/a.gif"},
    {"EntryWithoutRef", "<asx><entry></entry></asx>", 0, nullptr},
    {"RefWithoutQuotes", "<asx><entry><ref href=mms://x/></entry></asx>", 0, nullptr},
    {"OnlyAdvertisement", "<asx><entry><ref href=\"http://ads/AD.WMA\"/></entry></asx>", 0, nullptr},
    {"PlainAudio", "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n", 0, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Answers, PlaylistTarget, ::testing::ValuesIn(kTargets),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PlaylistTargetLimits, LongReferenceCutAtBuffer)
{
    const std::string ref = "http://radiohost/" + std::string(700, 'r');
    const std::string doc = "<asx><entry><ref href=\"" + ref + "\"/></entry></asx>";
    char out[600];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(findPlaylistTarget(doc.c_str(), out), 1);
    EXPECT_EQ(std::string(out), ref.substr(0, 511));
    EXPECT_EQ(out[512], '#');  // nothing written past the 512 bytes
}

}  // namespace

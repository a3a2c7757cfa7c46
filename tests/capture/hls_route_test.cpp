// What leads to the HLS route: ".m3u8" addresses, answers of an HLS type
// with an HLS body (also behind an address that does not say so), and
// M3U/PLS entries naming one; the addresses the route's requests go to.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "asf_media.h"
#include "capture_run.h"
#include "capture_state.h"
#include "classify.h"
#include "hls_fetch.h"
#include "hls_route.h"
#include "test_util.h"

using namespace netgrab;
using testutil::PathServer;
using testutil::Recording;
using testutil::TraceLog;

TEST(HlsRoute, AddressesThatNameHls)
{
    const struct
    {
        const char *address;
        bool hls;
    } cases[] = {
        {"http://radio.example/live/index.m3u8", true},
        {"http://radio.example:8080/index.m3u8?token=a.b&x=.mp3", true},
        {"radio.example/a.m3u8#t=3", true},
        {"http://radio.example/index.m3u8.mp3", false},
        {"http://radio.example/list.m3u", false},
        {"http://radio.example/live?format=.m3u8", false},
        {"http://radio.example/INDEX.M3U8", false},  // extensions are read in lower case, as ".m3u" is
        {".m3u8", true},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isHlsAddress(c.address), c.hls) << c.address;
}

TEST(HlsRoute, ClassifiedWithSchemeAndPortKept)
{
    testutil::OwnCapture own;
    CaptureState &s = own.ctx;
    ASSERT_EQ(classifySource(s, "http://radio.example:8443/hls/live.m3u8?sig=1"), 1);
    EXPECT_EQ(s.sourceKind, SOURCE_HLS);
    EXPECT_STREQ(s.workingAddress, "http://radio.example:8443/hls/live.m3u8?sig=1");
    EXPECT_EQ(s.transport, Transport::Tcp);
    ASSERT_EQ(classifySource(s, "https://radio.example/hls/live.m3u8"), 1);
    EXPECT_EQ(s.sourceKind, SOURCE_HLS);
    EXPECT_STREQ(s.workingAddress, "https://radio.example/hls/live.m3u8");
    EXPECT_EQ(s.transport, Transport::Tls);
    EXPECT_EQ(s.serverPort, 443);
    // A plain M3U keeps its rule.
    ASSERT_EQ(classifySource(s, "http://radio.example/list.m3u"), 1);
    EXPECT_EQ(s.sourceKind, SOURCE_M3U);
}

TEST(HlsRoute, AnswersThatAreHls)
{
    const std::string media = "#EXTM3U\r\n#EXT-X-TARGETDURATION:6\r\n#EXTINF:6,\r\na.ts\r\n";
    const struct
    {
        const char *name;
        std::string answer;
        bool hls;
    } cases[] = {
        {"apple type", "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n" + media, true},
        {"x type, no blank", "HTTP/1.0 200 OK\r\ncontent-type:Application/X-MpegURL; charset=utf-8\r\n\r\n" + media,
         true},
        {"audio type", "HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: audio/mpegurl\r\n\r\n" + media, true},
        {"plain m3u body", "HTTP/1.1 200 OK\r\nContent-Type: audio/mpegurl\r\n\r\n#EXTM3U\r\nhttp://radio/live\r\n",
         false},
        {"audio stream", "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + media, false},
        {"type in the body only", "HTTP/1.1 200 OK\r\n\r\nContent-Type: audio/mpegurl\r\n\r\n" + media, false},
        {"no body", "HTTP/1.1 200 OK\r\nContent-Type: audio/mpegurl\r\n\r\n", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isHlsAnswer(c.answer.c_str()), c.hls) << c.name;
}

TEST(HlsRoute, RequestAddresses)
{
    const struct
    {
        const char *address;
        bool ok;
        const char *host;
        uint16_t port;
        const char *target;
        Transport transport;
    } cases[] = {
        {"http://radio.example/a/b.m3u8?x=1#frag", true, "radio.example", 80, "/a/b.m3u8?x=1", Transport::Tcp},
        {"HTTP://127.0.0.1:8000", true, "127.0.0.1", 8000, "/", Transport::Tcp},
        {"http://user:pw@radio.example:81/s.ts", true, "radio.example", 81, "/s.ts", Transport::Tcp},
        {"http://radio.example?q", true, "radio.example", 80, "/?q", Transport::Tcp},
        {"https://radio.example/hls/live.m3u8", true, "radio.example", 443, "/hls/live.m3u8", Transport::Tls},
        {"HTTPS://127.0.0.1:8443/s.ts?t=1", true, "127.0.0.1", 8443, "/s.ts?t=1", Transport::Tls},
        {"https://radio.example:80", true, "radio.example", 80, "/", Transport::Tls},
        {"http://radio.example:0/", false, "", 0, "", Transport::Tcp},
        {"http://radio.example:99999/", false, "", 0, "", Transport::Tcp},
        {"http://[::1]/", false, "", 0, "", Transport::Tcp},
        {"http:///path", false, "", 0, "", Transport::Tcp},
        {"https:///path", false, "", 0, "", Transport::Tcp},
        {"ftp://radio.example/", false, "", 0, "", Transport::Tcp},
        {"httpx://radio.example/", false, "", 0, "", Transport::Tcp},
        {"http://radio.example/a b", false, "", 0, "", Transport::Tcp},
    };
    for (const auto &c : cases) {
        std::string host, target;
        uint16_t port = 0;
        Transport transport = Transport::Tcp;
        ASSERT_EQ(splitAbsoluteAddress(c.address, host, port, target, transport), c.ok) << c.address;
        if (!c.ok)
            continue;
        EXPECT_EQ(host, c.host) << c.address;
        EXPECT_EQ(port, c.port) << c.address;
        EXPECT_EQ(target, c.target) << c.address;
        EXPECT_EQ(transport, c.transport) << c.address;
    }
    const struct
    {
        const char *address;
        uint16_t port;
        Transport transport;
        const char *absolute;
    } absolutes[] = {
        {"radio.example/live.m3u8", 8000, Transport::Tcp, "http://radio.example:8000/live.m3u8"},
        {"http://radio.example:81/live.m3u8", 8000, Transport::Tcp, "http://radio.example:81/live.m3u8"},
        {"radio.example", 80, Transport::Tcp, "http://radio.example"},
        {"radio.example/live.m3u8", 443, Transport::Tls, "https://radio.example/live.m3u8"},
        {"radio.example/live.m3u8", 80, Transport::Tls, "https://radio.example:80/live.m3u8"},
        {"radio.example/live.m3u8", 443, Transport::Tcp, "http://radio.example:443/live.m3u8"},
        // The scheme of the text wins (an address that finally answered
        // after a redirect between the schemes).
        {"https://radio.example/live.m3u8", 8443, Transport::Tcp, "https://radio.example:8443/live.m3u8"},
        {"http://radio.example/live.m3u8", 80, Transport::Tls, "http://radio.example/live.m3u8"},
    };
    for (const auto &c : absolutes)
        EXPECT_EQ(absoluteHttpAddress(c.address, c.port, c.transport), c.absolute) << c.address;
}

namespace {

std::string answer(const std::string &body, const char *type)
{
    return std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + type
        + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string tsSegment()
{
    std::string b(188 * 4, '\x11');
    for (size_t i = 0; i < b.size(); i += 188)
        b[i] = 0x47;
    return b;
}

}  // namespace

TEST(HlsRoute, PlaylistEntriesAndHlsAnswersLeadToTheRoute)
{
    testutil::useFastTuning();
    const std::string segment = tsSegment();
    const std::string media = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nseg.ts\n#EXT-X-ENDLIST\n";
    std::mutex selfMutex;  // the server's threads start before its address is known
    std::string self;
    PathServer server([&](testsupport::ConnectionIo &io, const std::string &path) {
        std::unique_lock<std::mutex> lock(selfMutex);
        if (path == "/list.m3u")
            io.send(answer("#EXTM3U\n#EXTINF:-1,Radio\n" + self + "/hls/live.m3u8\n", "audio/x-mpegurl"));
        else if (path == "/list.pls")
            io.send(answer("[playlist]\nNumberOfEntries=1\nFile1=" + self + "/hls/live.m3u8\n", "audio/x-scpls"));
        else if (path == "/stream" || path == "/hls/live.m3u8")
            io.send(answer(media, "application/vnd.apple.mpegurl"));
        else if (path == "/hls/seg.ts" || path == "/seg.ts")
            io.send(answer(segment, "video/mp2t"));
        else
            io.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    });
    {
        std::lock_guard<std::mutex> lock(selfMutex);
        self = server.url("");
    }
    const std::string dir = testsupport::makeScratchDir("hls-route");
    const struct
    {
        const char *path;
        const char *segmentPath;
    } cases[] = {
        {"/list.m3u", "/hls/seg.ts"},
        {"/list.pls", "/hls/seg.ts"},
        {"/stream", "/seg.ts"},  // an address that does not say HLS, an answer that does
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const std::string base = dir + "/rec" + std::to_string(&c - cases);
        const size_t fetchedBefore = server.count(c.segmentPath);
        TraceLog trace;
        {
            Recording recording(server.url(c.path), base);
            ASSERT_TRUE(trace.waitFor("the playlist has ended", 10000)) << trace.all();
        }
        EXPECT_EQ(server.count(c.segmentPath), fetchedBefore + 1);
        EXPECT_EQ(testsupport::fileBytes(base + ".ts"), segment);
        EXPECT_FALSE(std::filesystem::exists(base + ".wma"));
    }
    testsupport::removeScratchDir(dir);
}

TEST(HlsRoute, DiscontinuitiesJoinTsAndANewInitSegmentStartsTheNextFile)
{
    testutil::useFastTuning();
    auto box = [](const char *type, const std::string &body) {
        const uint32_t size = static_cast<uint32_t>(8 + body.size());
        std::string b;
        for (int shift : {24, 16, 8, 0})
            b += static_cast<char>((size >> shift) & 0xFF);
        return b + type + body;
    };
    const std::string initA = box("ftyp", "iso6") + box("moov", "audio track A");
    const std::string initB = box("ftyp", "iso6") + box("moov", "audio track B");
    const std::string fragment1 = box("moof", "1") + box("mdat", "first");
    const std::string fragment2 = box("moof", "2") + box("mdat", "second");
    const std::string fragment3 = box("moof", "3") + box("mdat", "third");
    std::string ts1 = tsSegment(), ts2 = tsSegment();
    ts2[1] = '\x22';
    const std::string tsList =
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nts1.ts\n#EXT-X-DISCONTINUITY\n#EXTINF:1,\nts2.ts\n#EXT-X-ENDLIST\n";
    const std::string mp4List =
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MAP:URI=\"a.mp4\"\n#EXTINF:1,\nf1.m4s\n#EXTINF:1,\nf2.m4s\n"
        "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"b.mp4\"\n#EXTINF:1,\nf3.m4s\n#EXT-X-ENDLIST\n";
    PathServer server([&](testsupport::ConnectionIo &io, const std::string &path) {
        const struct
        {
            const char *path;
            const std::string &body;
        } files[] = {{"/ts.m3u8", tsList},   {"/mp4.m3u8", mp4List}, {"/ts1.ts", ts1},
                     {"/ts2.ts", ts2},       {"/a.mp4", initA},      {"/b.mp4", initB},
                     {"/f1.m4s", fragment1}, {"/f2.m4s", fragment2}, {"/f3.m4s", fragment3}};
        for (const auto &f : files) {
            if (path == f.path) {
                io.send(answer(f.body, "application/octet-stream"));
                return;
            }
        }
        io.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    });
    const std::string dir = testsupport::makeScratchDir("hls-files");
    const struct
    {
        const char *playlist;
        std::vector<std::pair<std::string, std::string>> files;  // name beside the base, bytes
    } cases[] = {
        {"/ts.m3u8", {{".ts", ts1 + ts2}}},
        {"/mp4.m3u8", {{".m4a", initA + fragment1 + fragment2}, {"-2.m4a", initB + fragment3}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.playlist);
        const std::string base = dir + "/rec" + std::to_string(&c - cases);
        TraceLog trace;
        {
            Recording recording(server.url(c.playlist), base);
            ASSERT_TRUE(trace.waitFor("the playlist has ended", 10000)) << trace.all();
        }
        for (const auto &[suffix, bytes] : c.files)
            EXPECT_EQ(testsupport::fileBytes(base + suffix), bytes) << suffix;
        EXPECT_FALSE(std::filesystem::exists(base + "-3.m4a"));
    }
    testsupport::removeScratchDir(dir);
}

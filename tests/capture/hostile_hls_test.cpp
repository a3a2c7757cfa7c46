// The HLS route against hostile and broken servers: segments that answer
// 404, a playlist that stops changing, a playlist of 100,000 lines, a
// segment that never ends, relative addresses that climb above the root
// behind a relative redirect, and a master playlist that names itself.
// Each is a failure paced like any other, with its trace line; none holds a
// stopping recorder.
//
// Runs inside a network namespace whose only interface is loopback
// (in_loopback_netns.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "asf_media.h"
#include "capture_state.h"
#include "netgrab.h"
#include "scripted_server.h"
#include "capture_run.h"
#include "test_util.h"

using namespace testsupport;
using testutil::PathServer;
using testutil::Recording;
using testutil::TraceLog;

namespace {

std::string answer(const std::string &body, const char *type = "application/vnd.apple.mpegurl")
{
    return std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + type
        + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kNotFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";

// MPEG-TS packets (sync byte, then bytes of the segment's own).
std::string tsSegment(int seed, int packets = 8)
{
    std::string b(188 * static_cast<size_t>(packets), '\0');
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<char>(i % 188 == 0 ? 0x47 : (i * 31 + seed) % 256);
    return b;
}

// A live window of `count` one-second segments from `first`.
std::string liveWindow(int first, int count, const std::string &prefix = "s")
{
    std::string list = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first) + "\n";
    for (int i = first; i < first + count; ++i)
        list += "#EXTINF:1.0,\n" + prefix + std::to_string(i) + ".ts\n";
    return list;
}

void holdOpen(ConnectionIo &io)
{
    while (io.pause(20)) {
    }
}

bool anyRecording(const std::string &base)
{
    for (const char *ext : {".ts", ".aac", ".mp3", ".m4a", ".mp4", ".wma"})
        if (std::filesystem::exists(base + ext))
            return true;
    return false;
}

class HostileHls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        netgrab::CaptureTuning &t = netgrab::settings().tuning;
        t.retryPauseMinMs = 100;
        t.retryPauseMaxMs = 400;
        dir_ = std::filesystem::temp_directory_path() / ("vexa-hostile-hls-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        base_ = dir_ + "/record";
    }
    void TearDown() override
    {
        netgrab::settings().tuning = netgrab::CaptureTuning();
        testutil::useFastTuning();
        std::filesystem::remove_all(dir_);
    }
    std::string dir_;
    std::string base_;
};

}  // namespace

TEST_F(HostileHls, MissingSegmentsArePacedAndNeverAskedTwice)
{
    // Each reading lists one newer segment; every segment answers 404.
    std::mutex mutex;
    int readings = 0;
    PathServer server([&](ConnectionIo &io, const std::string &path) {
        if (path == "/live.m3u8") {
            std::lock_guard<std::mutex> lock(mutex);
            io.send(answer(liveWindow(readings++, 3)));
        } else {
            io.send(kNotFound);
        }
    });
    TraceLog trace;
    {
        Recording recording(server.url("/live.m3u8"), base_);
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        EXPECT_LT(recording.stop(), 2.0);
    }
    EXPECT_NE(trace.all().find("answered 404"), std::string::npos) << trace.all();
    const size_t playlistReadings = server.count("/live.m3u8");
    // Paused between attempts (100 ms doubling to 400 ms): a handful, not hundreds.
    EXPECT_GE(playlistReadings, 3u);
    EXPECT_LE(playlistReadings, 15u);
    for (const std::string &path : server.paths()) {
        if (path != "/live.m3u8") {
            EXPECT_EQ(server.count(path), 1u) << path;
        }
    }
    EXPECT_FALSE(anyRecording(base_));
}

TEST_F(HostileHls, StalledPlaylistEndsWithItsLineAfterReloadsAtHalfTheTarget)
{
    const std::string segment = tsSegment(1);
    PathServer server([&](ConnectionIo &io, const std::string &path) {
        if (path == "/live.m3u8")
            io.send(answer(liveWindow(0, 1)));
        else
            io.send(path == "/s0.ts" ? answer(segment, "video/mp2t") : kNotFound);
    });
    TraceLog trace;
    Recording recording(server.url("/live.m3u8"), base_);
    ASSERT_TRUE(trace.waitFor("playlist unchanged for", 30000)) << trace.all();
    const size_t readings = server.count("/live.m3u8");
    EXPECT_LT(recording.stop(), 2.0);
    // The stall limit is 6 s (three target durations, at least 6 s); an
    // unchanged playlist is read again each half target duration.
    EXPECT_GE(readings, 8u);
    EXPECT_LE(readings, 16u);
    EXPECT_EQ(server.count("/s0.ts"), 1u);
    EXPECT_EQ(fileBytes(base_ + ".ts"), segment);
}

TEST_F(HostileHls, HugePlaylistIsRefusedBeforeAnySegment)
{
    std::string huge = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n";
    for (int i = 0; i < 50000; ++i)
        huge += "#EXTINF:1,\ns" + std::to_string(i) + ".ts\n";  // 100,000 lines
    PathServer server([&](ConnectionIo &io, const std::string &path) {
        io.send(path == "/live.m3u8" ? answer(huge) : answer(tsSegment(2), "video/mp2t"));
    });
    TraceLog trace;
    {
        Recording recording(server.url("/live.m3u8"), base_);
        ASSERT_TRUE(trace.waitFor("more than 4096 segments", 20000)) << trace.all();
        EXPECT_EQ(GetRecError(), NG_ERR_REFUSED);
        EXPECT_LT(recording.stop(), 2.0);
    }
    for (const std::string &path : server.paths())
        EXPECT_EQ(path, "/live.m3u8");
    EXPECT_FALSE(anyRecording(base_));
}

TEST_F(HostileHls, StopEndsASegmentThatNeverEnds)
{
    PathServer server([&](ConnectionIo &io, const std::string &path) {
        if (path == "/live.m3u8") {
            io.send(answer(liveWindow(0, 2)));
            return;
        }
        // Ten megabytes announced, twenty kilobytes sent, then silence.
        io.send("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nContent-Length: 10000000\r\n\r\n" + tsSegment(3, 100));
        holdOpen(io);
    });
    TraceLog trace;
    Recording recording(server.url("/live.m3u8"), base_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.count("/s1.ts") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.count("/s1.ts"), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(recording.stop(), 2.0);
    // The unfinished segment is not written: the file would end mid-packet.
    EXPECT_FALSE(anyRecording(base_));
}

TEST_F(HostileHls, RelativeAddressesStayBelowTheRoot)
{
    const std::string segment = tsSegment(4);
    const std::string master =
        "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000,CODECS=\"mp4a.40.2\"\n../../../../v/./live.m3u8\n";
    const std::string media =
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:7\n#EXTINF:1,\n../../../s7.ts\n#EXT-X-ENDLIST\n";
    PathServer server([&](ConnectionIo &io, const std::string &path) {
        if (path == "/start.m3u8")
            io.send("HTTP/1.1 302 Found\r\nLocation: m/n/master.m3u8\r\nContent-Length: 0\r\n\r\n");
        else if (path == "/m/n/master.m3u8")
            io.send(answer(master));
        else if (path == "/v/live.m3u8")
            io.send(answer(media));
        else if (path == "/s7.ts")
            io.send(answer(segment, "video/mp2t"));
        else
            io.send(kNotFound);
    });
    TraceLog trace;
    {
        Recording recording(server.url("/start.m3u8"), base_);
        ASSERT_TRUE(trace.waitFor("the playlist has ended", 20000)) << trace.all();
    }
    const std::vector<std::string> paths = server.paths();
    ASSERT_GE(paths.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 4),
              (std::vector<std::string>{"/start.m3u8", "/m/n/master.m3u8", "/v/live.m3u8", "/s7.ts"}));
    EXPECT_EQ(server.count("/s7.ts"), 1u);
    EXPECT_EQ(fileBytes(base_ + ".ts"), segment);
}

TEST_F(HostileHls, MasterNamingItselfIsRefusedAndPaced)
{
    PathServer server([&](ConnectionIo &io, const std::string &) {
        io.send(answer("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nmaster.m3u8\n"));
    });
    TraceLog trace;
    {
        Recording recording(server.url("/master.m3u8"), base_);
        ASSERT_TRUE(trace.waitFor("is a master playlist", 20000)) << trace.all();
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        EXPECT_EQ(GetRecError(), NG_ERR_REFUSED);
    }
    // Two readings an attempt, attempts paused: not a storm.
    EXPECT_LE(server.count("/master.m3u8"), 24u);
    EXPECT_FALSE(anyRecording(base_));
}

// Real-peer tests of the HLS route: nginx serves a folder into which ffmpeg
// writes a live HLS presentation of a test tone (MPEG-TS segments, fMP4
// segments), reached directly and through a master playlist of three
// variants, and packed-audio segments (ADTS with ID3 tags, plain and
// AES-128) that the test writes; live MPEG-TS also over https through a
// stunnel4 front that trusts a test CA. Each recording decodes without errors,
// covers the recorded time within one segment, and is byte for byte the
// segments it fetched.
//
// These tests start nginx and ffmpeg; their ctest label is "realpeer".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture_run.h"
#include "capture_state.h"
#include "hls_peers.h"
#include "icecast_server.h"
#include "net/tls_session.h"
#include "netgrab.h"
#include "segment_cipher.h"
#include "tls_peers.h"
#include "trace.h"

using namespace netgrab;
using namespace testsupport;
using testutil::Recording;
using testutil::TraceLog;

namespace {

// The settle time of grablive; a stop ends the capture within it plus 1 s.
constexpr double kStopBoundSeconds = 2.0;
// The live presentations ffmpeg writes, and how long they are recorded.
constexpr int kLiveSegmentSeconds = 1;
constexpr int kLiveRecordMs = 6000;

// The files of a folder named stem + n + extension, n = 0, 1, ... while they exist.
std::vector<std::string> numberedFiles(const std::string &dir, const std::string &stem, const std::string &ext)
{
    std::vector<std::string> parts;
    for (int n = 0;; ++n) {
        const std::string path = dir + "/" + stem + std::to_string(n) + ext;
        if (!std::filesystem::exists(path))
            break;
        parts.push_back(readFile(path));
    }
    return parts;
}

class HlsRealPeer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CaptureTuning &t = netgrab::settings().tuning;
        t.receivePollMs = 20;
        t.receivePollCount = 150;
        t.retryPauseMinMs = 50;
        t.retryPauseMaxMs = 200;
        dir_ = makeTempDir("vexa-hls");
        ASSERT_FALSE(dir_.empty());
        server_ = std::make_unique<FolderServer>(dir_);
        ASSERT_TRUE(server_->start()) << readFile(dir_ + "/error.log") << readFile(dir_ + "/nginx.out");
        base_ = dir_ + "/record";
    }
    void TearDown() override
    {
        server_.reset();
        if (!HasFailure())
            removeTree(dir_);
    }

    void expectClean(const std::string &path, double seconds, double segmentSeconds, const char *format)
    {
        const MediaProbe probe = probeMedia(path, dir_ + "/ffprobe.log");
        EXPECT_TRUE(probe.ok) << probe.errors;
        EXPECT_EQ(probe.errors, "");
        EXPECT_NE(probe.formatName.find(format), std::string::npos) << probe.formatName;
        EXPECT_EQ(probe.codecName, "aac");
        // Within one segment of the recorded time; a loaded machine may add
        // half a second on either side.
        EXPECT_NEAR(audioSeconds(path), seconds, segmentSeconds + 0.5);
        const int rc =
            runProgram({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"}, dir_ + "/decode.log", 30000);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(readFile(dir_ + "/decode.log"), "");
    }

    // Starts ffmpeg writing a live presentation into folder; true once it
    // lists three segments.
    ::testing::AssertionResult startLive(LiveHlsWriter &writer, const std::string &folder, HlsSegmentKind kind)
    {
        if (!writer.start(folder, "live.m3u8", kind, kLiveSegmentSeconds))
            return ::testing::AssertionFailure() << "ffmpeg did not start";
        if (!writer.waitForSegments(3, 20000))
            return ::testing::AssertionFailure() << readFile(folder + "/live.m3u8.log");
        return ::testing::AssertionSuccess();
    }

    // Records address while writer writes into folder, then checks the
    // file: clean, long enough, whole segments as served.
    void expectLiveRecorded(const std::string &name, const std::string &address, LiveHlsWriter &writer,
                            const std::string &folder, HlsSegmentKind kind, const char *extension, const char *format,
                            const char *segmentExtension)
    {
        const std::string base = base_ + "-" + name;
        double stopSeconds;
        {
            Recording recording(address, base);
            std::this_thread::sleep_for(std::chrono::milliseconds(kLiveRecordMs));
            stopSeconds = recording.stop();
        }
        writer.stop();
        EXPECT_LT(stopSeconds, kStopBoundSeconds);
        const std::string path = base + extension;
        ASSERT_TRUE(std::filesystem::exists(path));
        expectClean(path, kLiveRecordMs / 1000.0, kLiveSegmentSeconds, format);
        // Whole segments in the order served, none twice, none left out;
        // fMP4 after its init segment.
        const std::string init = kind == HlsSegmentKind::FragmentedMp4 ? readFile(folder + "/init.mp4") : "";
        size_t taken = 0;
        EXPECT_TRUE(isConcatenationOf(readFile(path), numberedFiles(folder, "live", segmentExtension), init, &taken));
        EXPECT_GE(taken, 4u);
    }

    // The audio a file holds: its AAC frames (1024 samples at 44.1 kHz)
    // counted. The format's duration would count from the first time stamp
    // of the presentation, which a live recording joins late.
    double audioSeconds(const std::string &path)
    {
        const std::string out = dir_ + "/packets.txt";
        runProgram({"ffprobe", "-v", "error", "-select_streams", "a:0", "-count_packets", "-show_entries",
                    "stream=nb_read_packets", "-of", "csv=p=0", "-o", out, path},
                   dir_ + "/packets.log", 30000);
        return std::atof(readFile(out).c_str()) * 1024.0 / 44100.0;
    }

    std::string dir_;
    std::string base_;
    std::unique_ptr<FolderServer> server_;
};

}  // namespace

TEST_F(HlsRealPeer, LiveSegmentsRecordedOnceEachAsTheyWereServed)
{
    const struct
    {
        const char *name;
        HlsSegmentKind kind;
        const char *folder;  // where ffmpeg writes, under www/
        bool master;         // reached through a master playlist of three variants
        const char *extension;
        const char *format;  // ffprobe's format name
        const char *segmentExtension;
    } cases[] = {
        {"mpeg-ts", HlsSegmentKind::TransportStream, "ts", false, ".ts", "mpegts", ".ts"},
        {"fmp4", HlsSegmentKind::FragmentedMp4, "fmp4", false, ".m4a", "mp4", ".m4s"},
        {"master", HlsSegmentKind::TransportStream, "high", true, ".ts", "mpegts", ".ts"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = server_->root() + "/" + c.folder;
        LiveHlsWriter writer;
        ASSERT_TRUE(startLive(writer, folder, c.kind));
        std::string address = server_->url(std::string(c.folder) + "/live.m3u8");
        if (c.master) {
            // A video variant of more bandwidth and a thinner audio one,
            // neither served: only the richest audio variant may be asked for.
            std::ofstream(server_->root() + "/master.m3u8")
                << "#EXTM3U\n"
                << "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\nlow/live.m3u8\n"
                << "#EXT-X-STREAM-INF:BANDWIDTH=2000000,CODECS=\"avc1.4d401f,mp4a.40.2\"\nvideo/live.m3u8\n"
                << "#EXT-X-STREAM-INF:BANDWIDTH=140000,CODECS=\"mp4a.40.2\"\n"
                << c.folder << "/live.m3u8\n";
            address = server_->url("master.m3u8");
        }
        expectLiveRecorded(c.name, address, writer, folder, c.kind, c.extension, c.format, c.segmentExtension);
        if (c.master) {
            const std::string access = readFile(dir_ + "/access.log");
            EXPECT_EQ(access.find("/low/"), std::string::npos);
            EXPECT_EQ(access.find("/video/"), std::string::npos);
        }
    }
}

TEST_F(HlsRealPeer, LiveTransportStreamOverHttps)
{
    TestCertificates certs;
    ASSERT_TRUE(makeTestCertificates(dir_, &certs)) << readFile(dir_ + "/openssl.log");
    setenv(netgrab::net::kExtraCaVariable, certs.ca.c_str(), 1);
    struct Untrust
    {
        ~Untrust() { unsetenv(netgrab::net::kExtraCaVariable); }
    } untrust;
    TlsFront front(dir_, certs.good, server_->port());
    ASSERT_TRUE(front.start());
    const std::string https = "https://localhost:" + std::to_string(front.port()) + "/";

    const struct
    {
        const char *name;
        const char *folder;
        const char *master;  // written at the root on plain http, naming the variant by https; nullptr: none
    } cases[] = {
        // The playlist, and so every segment relative to it, over https.
        {"https", "tls", nullptr},
        // A plain master whose variant (and its segments) are on https.
        {"http-master-https-variant", "tlsvariant", "mixed.m3u8"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = server_->root() + "/" + c.folder;
        LiveHlsWriter writer;
        ASSERT_TRUE(startLive(writer, folder, HlsSegmentKind::TransportStream));
        const std::string variant = https + c.folder + "/live.m3u8";
        std::string address = variant;
        if (c.master) {
            std::ofstream(server_->root() + "/" + c.master)
                << "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=140000,CODECS=\"mp4a.40.2\"\n"
                << variant << "\n";
            address = server_->url(c.master);
        }
        expectLiveRecorded(c.name, address, writer, folder, HlsSegmentKind::TransportStream, ".ts", "mpegts", ".ts");
    }
}

namespace {

// ADTS frames of `seconds` of a tone at 128 kbit/s, made by ffmpeg.
std::string adtsTone(const std::string &dir, int seconds)
{
    const std::string path = dir + "/tone.aac";
    runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t",
                std::to_string(seconds), "-c:a", "aac", "-b:a", "128k", "-f", "adts", path},
               path + ".log", 30000);
    return readFile(path);
}

// Cuts ADTS into pieces of `frames` frames each.
std::vector<std::string> cutAdts(const std::string &adts, size_t frames)
{
    std::vector<std::string> pieces;
    size_t at = 0, start = 0, count = 0;
    while (at + 7 <= adts.size()) {
        const auto u = [&](size_t i) { return static_cast<unsigned char>(adts[i]); };
        const size_t length = ((u(at + 3) & 0x03) << 11) | (u(at + 4) << 3) | (u(at + 5) >> 5);
        if (length < 7)
            break;
        at += length;
        if (++count == frames) {
            pieces.push_back(adts.substr(start, at - start));
            start = at;
            count = 0;
        }
    }
    if (start < adts.size())
        pieces.push_back(adts.substr(start));
    return pieces;
}

// The timestamp tag of a packed audio segment (RFC 8216 section 3.4).
std::string timestampTag(uint64_t pts)
{
    std::string frame = "PRIV";
    const std::string owner = std::string("com.apple.streaming.transportStreamTimestamp") + '\0';
    const std::string body = owner + std::string(3, '\0') + static_cast<char>((pts >> 32) & 1)
        + static_cast<char>(pts >> 24) + static_cast<char>(pts >> 16) + static_cast<char>(pts >> 8)
        + static_cast<char>(pts);
    for (int shift : {21, 14, 7, 0})
        frame += static_cast<char>((body.size() >> shift) & 0x7F);
    frame += std::string(2, '\0') + body;
    std::string tag = std::string("ID3\x04\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag += static_cast<char>((frame.size() >> shift) & 0x7F);
    return tag + frame;
}

}  // namespace

TEST_F(HlsRealPeer, PackedAudioWithoutItsTagsPlainAndEncrypted)
{
    constexpr int kSeconds = 6;
    const std::string adts = adtsTone(dir_, kSeconds);
    ASSERT_GT(adts.size(), 50000u);
    const std::vector<std::string> pieces = cutAdts(adts, 43);  // about a second each
    ASSERT_GE(pieces.size(), 5u);
    const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const uint8_t tagIv[16] = {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0F};
    std::ofstream(server_->root() + "/key.bin", std::ios::binary).write(reinterpret_cast<const char *>(key), 16);
    constexpr int kFirstSequence = 40;

    const struct
    {
        const char *name;
        const char *keyLine;  // nullptr: not encrypted
        bool tagIv;
    } cases[] = {
        {"plain", nullptr, false},
        {"aes-iv-from-tag", "#EXT-X-KEY:METHOD=AES-128,URI=\"../key.bin\",IV=0xA000000000000000000000000000000F", true},
        {"aes-iv-from-sequence", "#EXT-X-KEY:METHOD=AES-128,URI=\"/key.bin\"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = server_->root() + "/" + c.name;
        std::filesystem::create_directories(folder);
        std::ofstream list(folder + "/list.m3u8");
        list << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" << kFirstSequence << "\n";
        if (c.keyLine)
            list << c.keyLine << "\n";
        for (size_t i = 0; i < pieces.size(); ++i) {
            std::string segment = timestampTag(90000 * i) + pieces[i];
            if (c.keyLine) {
                uint8_t iv[16] = {};
                if (c.tagIv) {
                    std::memcpy(iv, tagIv, 16);
                } else {
                    for (int b = 0; b < 8; ++b)
                        iv[15 - b] = static_cast<uint8_t>((kFirstSequence + i) >> (8 * b));
                }
                segment = testutil::encryptSegment(segment, key, iv);
            }
            const std::string name = "seg" + std::to_string(i) + ".aac";
            std::ofstream(folder + "/" + name, std::ios::binary) << segment;
            list << "#EXTINF:1.0,\n" << name << "\n";
        }
        list << "#EXT-X-ENDLIST\n";
        list.close();

        const std::string base = base_ + "-" + c.name;
        const std::string path = base + ".aac";
        {
            Recording recording(server_->url(std::string(c.name) + "/list.m3u8"), base);
            // An ended playlist is recorded to its end.
            EXPECT_EQ(waitForFileSize(path, static_cast<long>(adts.size()), 30000), static_cast<long>(adts.size()));
        }
        EXPECT_EQ(readFile(path), adts);  // every segment, without its tag, once
        expectClean(path, kSeconds, 1.0, "aac");
    }
}

TEST_F(HlsRealPeer, OtherEncryptionIsRefusedWithoutAFile)
{
    std::ofstream(server_->root() + "/sample.m3u8")
        << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n"
        << "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"key.bin\",KEYFORMAT=\"identity\"\n"
        << "#EXTINF:1.0,\nseg0.aac\n#EXTINF:1.0,\nseg1.aac\n";
    TraceLog trace;
    {
        Recording recording(server_->url("sample.m3u8"), base_);
        trace.waitFor("cannot record encrypted stream: SAMPLE-AES", 20000);
        EXPECT_EQ(GetRecError(), NG_ERR_REFUSED);
    }
    EXPECT_NE(trace.all().find("cannot record encrypted stream: SAMPLE-AES"), std::string::npos);
    for (const char *ext : {".aac", ".ts", ".m4a", ".mp3", ".wma"})
        EXPECT_FALSE(std::filesystem::exists(base_ + ext)) << ext;
    EXPECT_EQ(readFile(dir_ + "/access.log").find("seg0.aac"), std::string::npos);
}

// Real-peer tests of the framed formats: AAC, Ogg Vorbis and Ogg Opus made
// by ffmpeg at test time, recorded from a real Icecast 2 mount (compared
// with a curl copy of the same mount, probed with ffprobe, decoded in full
// with ffmpeg), and served by a scripted server that drops the connection
// mid-frame or mid-page before the next attempt; plus MP3 from an ICY
// server that interleaves metadata unasked.
//
// These tests start icecast2, ffmpeg and curl; their ctest label is "realpeer".
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "adts_frames.h"
#include "capture_state.h"
#include "http_audio.h"
#include "icecast_server.h"
#include "netgrab.h"
#include "output_file.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

struct Format
{
    const char *name;
    std::vector<std::string> codecArgs;  // ffmpeg encoder and muxer
    const char *contentType;
    const char *muxer;  // for the Icecast source
    const char *extension;
    const char *formatName;  // ffprobe's
    const char *codecName;
    bool ogg;
    long threeSeconds;  // about three seconds of the tone in this format
};
void PrintTo(const Format &f, std::ostream *os)
{
    *os << f.name;
}

const Format kFormats[] = {
    {"Aac", {"-c:a", "aac", "-b:a", "128k", "-f", "adts"}, "audio/aac", "adts", ".aac", "aac", "aac", false, 40000},
    {"AacPlusLabel",
     {"-c:a", "aac", "-b:a", "64k", "-f", "adts"},
     "audio/aacp",
     "adts",
     ".aac",
     "aac",
     "aac",
     false,
     20000},
    {"OggVorbis",
     {"-c:a", "libvorbis", "-q:a", "4", "-f", "ogg"},
     "audio/ogg",
     "ogg",
     ".ogg",
     "ogg",
     "vorbis",
     true,
     7000},
    {"OggOpus",
     {"-c:a", "libopus", "-b:a", "96k", "-f", "ogg"},
     "audio/ogg",
     "ogg",
     ".opus",
     "ogg",
     "opus",
     true,
     25000},
};

// Whole Ogg pages of bytes (the last one cut short is left out).
std::vector<std::string> splitPages(const std::string &b)
{
    std::vector<std::string> pages;
    size_t at = 0;
    while (at + 27 <= b.size() && b.compare(at, 4, "OggS") == 0) {
        const size_t segments = static_cast<unsigned char>(b[at + 26]);
        if (at + 27 + segments > b.size())
            break;
        size_t length = 27 + segments;
        for (size_t i = 0; i < segments; ++i)
            length += static_cast<unsigned char>(b[at + 27 + i]);
        if (at + length > b.size())
            break;
        pages.push_back(b.substr(at, length));
        at += length;
    }
    return pages;
}

// Offsets at which the ADTS frames of a clean file begin, and its end.
std::vector<size_t> frameStarts(const std::string &b)
{
    std::vector<size_t> starts;
    size_t at = 0;
    while (at < b.size()) {
        const AdtsHeader h = readAdtsHeader(reinterpret_cast<const unsigned char *>(b.data()) + at, b.size() - at);
        if (!h.valid)
            break;
        starts.push_back(at);
        at += h.frameLength;
    }
    starts.push_back(at);
    return starts;
}

std::string joinPagesOf(const std::vector<std::string> &pages)
{
    std::string all;
    for (const std::string &p : pages)
        all += p;
    return all;
}

// ffmpeg's messages without the addresses of its contexts ("[ogg @ 0x55...]").
std::string withoutAddresses(const std::string &text)
{
    return std::regex_replace(text, std::regex(" @ 0x[0-9a-f]+"), "");
}

class FormatPeer : public ::testing::TestWithParam<Format>
{
protected:
    void SetUp() override
    {
        CaptureTuning &t = netgrab::settings().tuning;
        t.receivePollMs = 20;
        // Three quiet seconds end a receive: a low-rate Vorbis tone comes in
        // pages more than a second apart.
        t.receivePollCount = 150;
        t.retryPauseMinMs = 50;
        t.retryPauseMaxMs = 200;
        dir_ = makeTempDir("vexa-formats");
        ASSERT_FALSE(dir_.empty());
        base_ = dir_ + "/record";
    }
    void TearDown() override
    {
        if (!HasFailure())
            removeTree(dir_);
    }
    // The recording is one valid stream of the format.
    void expectCleanStream(const std::string &path)
    {
        const Format &f = GetParam();
        const MediaProbe probe = probeMedia(path, dir_ + "/ffprobe.log");
        EXPECT_TRUE(probe.ok) << probe.errors;
        EXPECT_EQ(probe.formatName, f.formatName);
        EXPECT_EQ(probe.codecName, f.codecName);
        EXPECT_EQ(decodeErrors(path, dir_ + "/decode.log"), "");
    }
    std::string dir_, base_;
};

// ---- a real Icecast mount ----

class IcecastFormat : public FormatPeer
{};

TEST_P(IcecastFormat, RecordsAContiguousRunOfTheMount)
{
    const Format &f = GetParam();
    const std::string media = dir_ + "/tone" + f.extension;
    ASSERT_TRUE(makeToneMedia(media, 20, f.codecArgs)) << readFile(media + ".log");
    IcecastServer server(dir_);
    ASSERT_TRUE(server.start()) << readFile(dir_ + "/icecast.out");
    ASSERT_TRUE(server.startSource(media, "/live", f.contentType, f.muxer)) << readFile(dir_ + "/source.out");

    // curl joins first and leaves last: it received every byte the recorder did.
    const std::string reference = dir_ + "/reference.bin";
    ChildProcess curl;
    ASSERT_TRUE(curl.start({"curl", "-s", "-N", "-o", reference, server.url("/live")}, dir_ + "/curl.log"));
    ASSERT_GE(waitForFileSize(reference, 4000, 10000), 4000);

    const std::string output = base_ + f.extension;
    std::thread recorder([&] { netgrab_api::netgrab(server.url("/live").c_str(), base_.c_str()); });
    const long size = waitForFileSize(output, f.threeSeconds, 20000);
    StopRecord();
    recorder.join();
    ASSERT_GE(size, f.threeSeconds) << "recorded " << size << " bytes";
    EXPECT_EQ(GetRecError(), NG_ERR_STOPPED);
    const long referenceSize = static_cast<long>(readFile(reference).size());
    waitForFileSize(reference, referenceSize + 8000, 5000);
    curl.stop(SIGTERM, 2000);

    const std::string file = readFile(output);
    const std::string copy = readFile(reference);
    if (f.ogg) {
        // Icecast gives each listener the stream's header pages, then pages
        // from where it joins: after the headers both hold the same run.
        const std::vector<std::string> pages = splitPages(file);
        ASSERT_GE(pages.size(), 3u);
        EXPECT_EQ(static_cast<unsigned char>(pages[0][5]) & 0x02, 0x02) << "the first page begins the stream";
        EXPECT_EQ(copy.compare(0, pages[0].size(), pages[0]), 0);
        size_t same = 0;
        while (same < file.size() && same < copy.size() && file[same] == copy[same])
            ++same;
        EXPECT_NE(copy.find(file.substr(same)), std::string::npos) << "recorded " << file.size() << " bytes";
        EXPECT_EQ(joinPagesOf(pages), file) << "whole pages only";
    } else {
        EXPECT_NE(copy.find(file), std::string::npos) << "recorded " << file.size() << ", copy " << copy.size();
        EXPECT_EQ(frameStarts(file).back(), file.size()) << "whole frames only";
    }
    expectCleanStream(output);
}

INSTANTIATE_TEST_SUITE_P(RealPeer, IcecastFormat, ::testing::ValuesIn(kFormats),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- a server that drops the connection mid-frame / mid-page ----

class ReconnectFormat : public FormatPeer, protected testutil::OwnCapture
{};

TEST_P(ReconnectFormat, NextAttemptAppendsOneValidStream)
{
    const Format &f = GetParam();
    const std::string first = dir_ + "/first" + f.extension;
    const std::string second = dir_ + "/second" + f.extension;
    std::vector<std::string> secondArgs = f.codecArgs;
    // The server's next logical stream has a serial of its own.
    if (f.ogg)
        secondArgs.insert(secondArgs.end() - 2, {"-serial_offset", "77"});
    ASSERT_TRUE(makeToneMedia(first, 6, f.codecArgs)) << readFile(first + ".log");
    ASSERT_TRUE(makeToneMedia(second, 6, secondArgs)) << readFile(second + ".log");
    const std::string a = readFile(first), b = readFile(second);

    std::string part1, part2, expected;
    if (f.ogg) {
        const std::vector<std::string> pages = splitPages(a);
        ASSERT_GE(pages.size(), 6u);
        const size_t whole = pages.size() / 2;
        for (size_t i = 0; i < whole; ++i)
            part1 += pages[i];
        expected = part1;
        part1 += pages[whole].substr(0, pages[whole].size() / 2);  // dropped mid-page
        part2 = b;                                                 // a new stream, headers first
        expected += b;
    } else {
        const std::vector<size_t> starts = frameStarts(a);
        ASSERT_GE(starts.size(), 100u);
        ASSERT_EQ(starts.back(), a.size());
        const size_t cut = starts[starts.size() / 2] + 37;     // dropped mid-frame
        const size_t rejoin = starts[starts.size() / 3] + 11;  // the next answer starts mid-frame
        part1 = a.substr(0, cut);
        part2 = a.substr(rejoin);
        expected = a.substr(0, starts[starts.size() / 2]) + a.substr(starts[starts.size() / 3 + 1]);
    }
    const std::string head = std::string("ICY 200 OK\r\nContent-Type: ") + f.contentType + "\r\n\r\n";
    ScriptedServer server(
        {{readRequest(), sendPieces(head + part1, {4000}, 1)}, {readRequest(), sendPieces(head + part2, {4000}, 1)}});
    ctx.serverPort = server.port();
    std::snprintf(ctx.outputBase, sizeof ctx.outputBase, "%s", base_.c_str());
    netgrab::shared().lastError = 0;
    EXPECT_EQ(captureHttpStream(ctx, "127.0.0.1/live"), RouteResult::Done);
    EXPECT_EQ(captureHttpStream(ctx, "127.0.0.1/live"), RouteResult::Done);
    closeOutput(ctx.output);

    const std::string output = base_ + f.extension;
    const std::string file = readFile(output);
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected) << "the file is not the whole units of both answers";
    if (f.ogg) {
        // ffmpeg 5.1 reports "failed to create or replace stream" on opening
        // any chained Ogg Opus file (two whole files one after the other
        // too) and then decodes every link: the recording may say no more
        // than that reference chain says.
        const std::string chain = dir_ + "/chain" + f.extension;
        std::ofstream(chain, std::ios::binary) << a << b;
        const MediaProbe probe = probeMedia(output, dir_ + "/ffprobe.log");
        EXPECT_TRUE(probe.ok) << probe.errors;
        EXPECT_EQ(probe.codecName, f.codecName);
        EXPECT_EQ(withoutAddresses(decodeErrors(output, dir_ + "/decode.log")),
                  withoutAddresses(decodeErrors(chain, dir_ + "/decode-chain.log")));
    } else {
        expectCleanStream(output);
    }
}

INSTANTIATE_TEST_SUITE_P(RealPeer, ReconnectFormat, ::testing::ValuesIn(kFormats),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- an ICY server that interleaves metadata unasked ----

TEST(IcyServer, Mp3WithMetadataBlocksIsRecordedAudioOnly)
{
    testutil::OwnCapture own;
    testutil::useFastTuning();
    const std::string dir = makeTempDir("vexa-icy");
    const std::string mp3 = dir + "/tone.mp3";
    ASSERT_TRUE(makeToneMp3(mp3, 8, 128)) << readFile(mp3 + ".log");
    const std::string audio = readFile(mp3);
    const size_t interval = 8192;
    std::string body;
    for (size_t at = 0, n = 0; at < audio.size(); at += interval, ++n) {
        body += audio.substr(at, interval);
        if (at + interval > audio.size())
            break;  // a block follows whole intervals only
        const std::string title = "StreamTitle='Loopback tone " + std::to_string(n) + "';";
        const size_t units = (title.size() + 15) / 16;
        body += static_cast<char>(units);
        body += title + std::string(units * 16 - title.size(), '\0');
    }
    ScriptedServer server({{readRequest(),
                            sendPieces("ICY 200 OK\r\nicy-name: Loopback\r\nContent-Type: audio/mpeg\r\n"
                                       "icy-metaint: 8192\r\n\r\n"
                                           + body,
                                       {12000, 1500}, 1)}});
    own.ctx.serverPort = server.port();
    std::snprintf(own.ctx.outputBase, sizeof own.ctx.outputBase, "%s/record", dir.c_str());
    EXPECT_EQ(captureHttpStream(own.ctx, "127.0.0.1/live"), RouteResult::Done);
    closeOutput(own.ctx.output);
    const std::string file = readFile(dir + "/record.mp3");
    EXPECT_TRUE(file == audio) << "recorded " << file.size() << " bytes of " << audio.size();
    EXPECT_EQ(decodeErrors(dir + "/record.mp3", dir + "/decode.log"), "");
    if (!::testing::Test::HasFailure())
        removeTree(dir);
}

}  // namespace

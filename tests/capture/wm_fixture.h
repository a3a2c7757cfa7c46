#pragma once
// Shared pieces of the Windows Media route tests: ffmpeg-made media (made
// once per test binary), a per-test temporary directory, a reset of the
// capture state, and checks on open descriptors.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "asf_media.h"
#include "bounded_wait.h"
#include "capture_state.h"
#include "output_file.h"
#include "test_util.h"
#include "text_rules.h"

namespace wmtest {

// Media of `seconds`, made once in the build tree's media folder and read
// once per process; nullptr with the reason in *error when ffmpeg (a
// required package) cannot make it.
inline const testsupport::AsfMedia *media(int seconds, std::string *error)
{
    static std::map<int, testsupport::AsfMedia> made;
    static const std::string dir = [] {
        mkdir(VEXA_TEST_MEDIA_DIR, 0755);
        return std::string(VEXA_TEST_MEDIA_DIR);
    }();
    auto it = made.find(seconds);
    if (it != made.end())
        return &it->second;
    testsupport::AsfMedia m;
    if (!testsupport::makeAsfMedia(dir, seconds, &m, error))
        return nullptr;
    return &made.emplace(seconds, std::move(m)).first->second;
}

// A test without its media fails: a skip would count as passed.
#define WM_MEDIA(var, seconds)                                                                                         \
    std::string var##Error;                                                                                            \
    const testsupport::AsfMedia *var = wmtest::media(seconds, &var##Error);                                            \
    if (!var)                                                                                                          \
        FAIL() << var##Error;

// Open descriptors of this process that refer to path.
inline int openDescriptorsOf(const std::string &path)
{
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        char link[PATH_MAX];
        std::string fd = std::string("/proc/self/fd/") + e->d_name;
        ssize_t len = readlink(fd.c_str(), link, sizeof link - 1);
        if (len <= 0)
            continue;
        link[len] = '\0';
        if (path == link)
            ++n;
    }
    closedir(d);
    return n;
}

// Open socket descriptors of this process.
inline int openSockets()
{
    return testutil::openSockets();
}

inline long fileSize(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Puts the capture state s and the process-wide counters and settings back
// to what a fresh process has, with short receive time-outs, and the output
// base in dir.
inline void resetCaptureState(netgrab::CaptureState &s, const std::string &outputBase)
{
    netgrab::closeOutput(s.output);
    s.output.appendMode = 0;
    s.packets.packetSize = -1;
    s.packets.packetCount = 0;
    s.packets.fill = 0;
    s.stop.clear();
    netgrab::shared().lastError = 0;
    netgrab::shared().recordedBytes = 0;
    s.serverPort = netgrab::kNoPort;
    netgrab::settings().tuning.receivePollMs = 5;
    netgrab::settings().tuning.receivePollCount = 100;  // half a second: loopback peers on a busy machine
    netgrab::settings().tuning.retryPauseMinMs = 20;
    netgrab::settings().tuning.retryPauseMaxMs = 80;
    netgrab::settings().tuning.httpPort = 80;
    netgrab::settings().tuning.mmsPort = 1755;
    netgrab::copyText(s.outputBase, sizeof s.outputBase, outputBase.c_str());
    netgrab::copyText(s.requestedAddress, sizeof s.requestedAddress, "test");
    netgrab::makeClientGuid(s.clientGuid);
}

// The packets a recorder should have written after the header: each of the
// server's packets padded with zeros to the packet size.
inline std::string paddedPackets(const testsupport::AsfMedia &m, size_t first, size_t count)
{
    std::string out;
    for (size_t i = first; i < first + count; ++i) {
        std::string p = testsupport::withoutPadding(m.packets[i]);
        p.resize(m.packetSize, '\0');
        out += p;
    }
    return out;
}

// The data packets of a recorded file, after its header.
inline std::vector<std::string> filePackets(const std::string &file, const testsupport::AsfMedia &m)
{
    std::vector<std::string> out;
    for (size_t at = m.header.size(); at + m.packetSize <= file.size(); at += m.packetSize)
        out.push_back(file.substr(at, m.packetSize));
    return out;
}

inline std::vector<std::string> mediaPackets(const testsupport::AsfMedia &m, size_t first, size_t count)
{
    return std::vector<std::string>(m.packets.begin() + static_cast<long>(first),
                                    m.packets.begin() + static_cast<long>(first + count));
}

// Audio time of the packets one connection delivered: each run of rising
// send times covers the time from its first packet's send time to the end
// (send time + duration) of its last packet; the runs add up. (A packet's
// duration field is shorter than the step to the next send time, so a
// plain sum of durations would fall short of the audio.)
inline uint64_t coveredMs(const std::vector<std::string> &packets)
{
    uint64_t total = 0, runStart = 0, runEnd = 0, lastSend = 0;
    bool inRun = false;
    for (const std::string &p : packets) {
        const uint64_t send = testsupport::packetSendTimeMs(p);
        const uint64_t end = send + testsupport::packetDurationMs(p);
        if (!inRun || send < lastSend) {
            total += runEnd - runStart;
            runStart = send;
            runEnd = end;
            inRun = true;
        } else if (end > runEnd) {
            runEnd = end;
        }
        lastSend = send;
    }
    return total + (runEnd - runStart);
}

// The finished header states exactly audioMs as its send duration and
// audioMs plus the preroll as its play duration; ffprobe reads the length.
inline void expectDurations(const std::string &path, uint64_t audioMs)
{
    const std::string file = testsupport::fileBytes(path);
    const size_t props = testsupport::findGuid(file, testsupport::kFilePropertiesGuid);
    ASSERT_NE(props, std::string::npos);
    const uint64_t play = testsupport::readLe(file, props + 64, 8);
    const uint64_t send = testsupport::readLe(file, props + 72, 8);
    const uint64_t preroll = testsupport::readLe(file, props + 80, 8);
    EXPECT_EQ(send, audioMs * 10000) << "send duration in 100 ns";
    EXPECT_EQ(play, send + preroll * 10000) << "play duration = send duration + preroll";
    std::string format;
    const double probed = testsupport::probeDuration(path, &format);
    EXPECT_EQ(format, "asf");
    EXPECT_NEAR(probed, static_cast<double>(audioMs) / 1000.0, 0.2) << "ffprobe duration";
}

class TempDirTest : public ::testing::Test, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        dir_ = testsupport::makeScratchDir("wm");
        base_ = dir_ + "/rec";
        resetCaptureState(ctx, base_);
    }
    void TearDown() override
    {
        netgrab::closeOutput(ctx.output);
        testsupport::removeScratchDir(dir_);
    }
    std::string wma() const { return base_ + ".wma"; }
    std::string dir_;
    std::string base_;
};

}  // namespace wmtest

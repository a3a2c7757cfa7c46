// The attempt loop and the exported interface.
#include "capture_loop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <set>
#include <stdexcept>
#include <ostream>
#include <string>
#include <thread>

#include "capture_state.h"
#include "connection.h"
#include "error_text.h"
#include "trace.h"
#include "asf_media.h"
#include "bounded_wait.h"
#include "netgrab.h"
#include "scripted_server.h"
#include "test_util.h"
#include "wm_fixture.h"

using namespace netgrab;
using testsupport::readRequest;
using testsupport::send;
using namespace std::chrono;

namespace {

// Standard output sent into a pipe while the test runs, so that a test can
// wait until the capture has printed something (and so has started).
class StdoutPipe
{
public:
    StdoutPipe()
    {
        std::fflush(stdout);
        if (pipe(fds_) != 0)
            return;
        saved_ = dup(1);
        dup2(fds_[1], 1);
    }
    ~StdoutPipe() { finish(); }
    // Waits until the output holds text `count` times; false on time-out.
    bool waitFor(const std::string &text, size_t count, milliseconds ms)
    {
        const auto end = steady_clock::now() + ms;
        while (testutil::countOf(read(), text) < count) {
            if (steady_clock::now() > end)
                return false;
            pollfd p{fds_[0], POLLIN, 0};
            poll(&p, 1, 10);
        }
        return true;
    }
    // Restores standard output; everything printed meanwhile.
    std::string finish()
    {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, 1);
            close(saved_);
            close(fds_[1]);
            saved_ = -1;
            read();
            close(fds_[0]);
        }
        return text_;
    }

private:
    const std::string &read()
    {
        char buf[4096];
        for (;;) {
            pollfd p{fds_[0], POLLIN, 0};
            if (poll(&p, 1, 0) <= 0)
                break;
            ssize_t n = ::read(fds_[0], buf, sizeof buf);
            if (n <= 0)
                break;
            text_.append(buf, static_cast<size_t>(n));
        }
        return text_;
    }
    int fds_[2] = {-1, -1};
    int saved_ = -1;
    std::string text_;
};

class CaptureLoopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        // Names never reach a name server from these tests.
        setNameLookup([](const char *, uint32_t *) { return 0; });
    }
    void TearDown() override
    {
        setNameLookup(nullptr);
        if (capture_.valid())
            stopWithin(seconds(5));
    }
    void start(std::string source, std::string output = "/tmp/netgrab-loop-test")
    {
        capture_ = std::async(std::launch::async,
                              [source, output] { return netgrab_api::netgrab(source.c_str(), output.c_str()); });
    }
    bool returnsWithin(milliseconds ms) { return capture_.wait_for(ms) == std::future_status::ready; }
    // Stops the capture; true when netgrab returned 0 within ms. A stop
    // that comes before netgrab() has started belongs to an earlier capture
    // and is dropped, so it is repeated until netgrab() returns.
    bool stopWithin(milliseconds ms)
    {
        const auto end = steady_clock::now() + ms;
        do {
            netgrab_api::StopRecord();
            if (returnsWithin(milliseconds(10)))
                return capture_.get() == 0;
        } while (steady_clock::now() < end);
        return false;
    }
    std::future<int> capture_;
};

TEST_F(CaptureLoopTest, StopBeforeTheCallDoesNotEndTheNextCapture)
{
    netgrab_api::StopRecord();
    shared().recordedBytes = 77;
    start("file:///tmp/nothing");
    EXPECT_FALSE(returnsWithin(milliseconds(200)));
    EXPECT_EQ(netgrab_api::GetRecBytes(), 0);
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
}

TEST_F(CaptureLoopTest, FileSourceLoopsSilentlyUntilStopped)
{
    ::testing::internal::CaptureStdout();
    start("file:///tmp/nothing");
    EXPECT_FALSE(returnsWithin(milliseconds(200)));
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(netgrab_api::GetRecBytes(), 0);
    EXPECT_EQ(netgrab_api::GetRecError(), 0);
}

const std::string kUrlFault = "Fault: server url error! Please check again!!\n";

// Sources no attempt can use: each attempt prints the same lines, and
// attempts follow each other with growing pauses (20, 40, 80, 80 ... ms),
// where a loop without pauses would make many thousands.
const uint16_t kClosedPort = testutil::closedPort();

struct FaultCase
{
    const char *name;
    std::string source;
    std::string lines;  // what one attempt prints
};
void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class FaultLines : public CaptureLoopTest, public ::testing::WithParamInterface<FaultCase>
{};

TEST_P(FaultLines, OneSetPerAttemptWithPauses)
{
    const FaultCase &c = GetParam();
    StdoutPipe out;
    start(c.source);
    ASSERT_TRUE(out.waitFor(c.lines, 3, milliseconds(testwait::kLoadMarginMs))) << "three attempts";
    EXPECT_FALSE(returnsWithin(milliseconds(500)));
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
    const std::string text = out.finish();
    const size_t attempts = testutil::countOf(text, c.lines);
    EXPECT_EQ(text.size(), attempts * c.lines.size()) << text;
    EXPECT_GE(attempts, 3u) << text;
    EXPECT_LE(attempts, 14u) << text;
    EXPECT_EQ(netgrab_api::GetRecError(), 0);
}

const FaultCase kFaultCases[] = {
    // Longer than the working buffer: refused before any classification.
    {"OverLongAddress", "http://127.0.0.1/" + std::string(300, 'a'), kUrlFault},
    // An unknown scheme names a page; "ftp:" is no host name.
    {"UnknownScheme", "ftp://nowhere/x", "connect to server fail\n" + kUrlFault},
    // A stream server that refuses the connection.
    {"RefusedConnection", "http://127.0.0.1:" + std::to_string(kClosedPort) + "/live",
     "connect to  127.0.0.1:" + std::to_string(kClosedPort) + "  fail -- 0000006f\nconnect to server fail\n"},
};

INSTANTIATE_TEST_SUITE_P(Sources, FaultLines, ::testing::ValuesIn(kFaultCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CaptureLoopTest, StopWakesALongPauseAtOnce)
{
    netgrab::settings().tuning.retryPauseMinMs = 60000;
    netgrab::settings().tuning.retryPauseMaxMs = 60000;
    StdoutPipe out;
    start(kFaultCases[0].source);
    // After the fault line the attempt is over: the pause comes next.
    ASSERT_TRUE(out.waitFor(kUrlFault, 1, milliseconds(testwait::kLoadMarginMs)));
    auto before = steady_clock::now();
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - before).count(), testwait::kLoadMarginMs)
        << "the stop ends the 60 s pause";
    EXPECT_EQ(out.finish(), kUrlFault);
}

TEST_F(CaptureLoopTest, OverLongOutputNameIsRefused)
{
    start("file:///x", "/tmp/" + std::string(600, 'n'));
    EXPECT_TRUE(
        testwait::waitUntil([] { return netgrab_api::GetRecError() == NG_ERR_FILE_OPEN; }, testwait::kLoadMarginMs));
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
}

// A failure inside the library (here a trace hook that throws as the MMS
// route opens its file) ends the capture with an error, never as a stop,
// and leaves no file open.
TEST_F(CaptureLoopTest, InternalFailureIsAnErrorNotAStop)
{
    const std::string output = "/tmp/netgrab-loop-test-internal";
    setTraceSink([](const std::string &) { throw std::runtime_error("hook failed"); });
    const int result = netgrab_api::netgrab("mms://127.0.0.1/live", output.c_str());
    setTraceSink({});
    EXPECT_EQ(wmtest::openDescriptorsOf(output + ".wma"), 0);
    std::remove((output + ".wma").c_str());
    EXPECT_EQ(result, NG_ERR_INTERNAL);
    EXPECT_EQ(netgrab_api::GetRecError(), NG_ERR_INTERNAL);
}

// Every code of the public enum has a message of its own.
TEST(ErrorText, EveryCodeHasItsOwnMessage)
{
    const int codes[] = {NG_ERR_NONE,     NG_ERR_FILE_OPEN,        NG_ERR_NO_MPEG_SYNC, NG_ERR_RECEIVE,
                         NG_ERR_REFUSED,  NG_ERR_NO_STREAM_HEADER, NG_ERR_NET_START,    NG_ERR_STOPPED,
                         NG_ERR_INTERNAL, NG_ERR_UNTRUSTED,        NG_ERR_CONTENT_TYPE};
    std::set<std::string> texts;
    for (int code : codes) {
        EXPECT_STRNE(errorText(code), "unknown error") << code;
        EXPECT_TRUE(texts.insert(errorText(code)).second) << "message shared by " << code;
    }
    EXPECT_STREQ(errorText(-99), "unknown error");
}

TEST_F(CaptureLoopTest, StandardDescriptorsAreOpenSoNoSocketGetsZero)
{
    int saved = dup(0);
    close(0);
    start("file:///x");
    // reopened on /dev/null
    EXPECT_TRUE(testwait::waitUntil([] { return fcntl(0, F_GETFD) != -1; }, testwait::kLoadMarginMs));
    EXPECT_TRUE(stopWithin(milliseconds(testwait::kLoadMarginMs)));
    dup2(saved, 0);
    close(saved);
}

// ---- further addresses named by the describe answer ----

// Bytes that look like MPEG audio: a frame header, then no 0xFF.
std::string mpegBytes(size_t n)
{
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7) % 251);
    return b.replace(0, 4, "\xFF\xFB\x90\x64");
}

std::string asxNaming(const std::string &address)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version=\"3.0\">"
           "<ENTRY><REF HREF=\""
        + address + "\"/></ENTRY></ASX>\r\n";
}
std::string movedNoticeNaming(const std::string &address)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<h1>302 Moved</h1>\r\nLocation:" + address + "\r\n";
}

struct FurtherCase
{
    const char *name;
    std::string (*answer)(const std::string &address);
};
void PrintTo(const FurtherCase &c, std::ostream *os)
{
    *os << c.name;
}

class FurtherAddress : public ::testing::TestWithParam<FurtherCase>, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        testutil::useFastTuning();
        ctx.stop.clear();
        dir_ = testsupport::makeScratchDir("loop");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override
    {
        ctx.stop.clear();
        testsupport::removeScratchDir(dir_);
    }
    std::string dir_;
};

// Server A's describe answer names server B; B's audio ends up in the file.
TEST_P(FurtherAddress, IsFollowedToTheAudio)
{
    const std::string audio = mpegBytes(3000);
    testsupport::ScriptedServer b({{readRequest(), send("ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + audio)}});
    testsupport::ScriptedServer a({{readRequest(), send(GetParam().answer("http://" + b.hostPort() + "/live"))}});
    runAttempt(ctx, ("http://" + a.hostPort() + "/live").c_str(), (dir_ + "/rec").c_str());
    EXPECT_EQ(a.connectionCount(), 1u);
    EXPECT_EQ(b.connectionCount(), 1u);
    EXPECT_TRUE(testsupport::fileBytes(dir_ + "/rec.mp3") == audio);
}

const FurtherCase kFurtherCases[] = {{"Asx", asxNaming}, {"MovedNotice", movedNoticeNaming}};

INSTANTIATE_TEST_SUITE_P(Answers, FurtherAddress, ::testing::ValuesIn(kFurtherCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct PauseCase
{
    const char *name;
    int previous;
    bool recorded;
    int expected;
};
void PrintTo(const PauseCase &c, std::ostream *os)
{
    *os << c.name;
}

class RetryPause : public ::testing::TestWithParam<PauseCase>
{};

TEST_P(RetryPause, GrowsAndResets)
{
    netgrab::settings().tuning.retryPauseMinMs = 250;
    netgrab::settings().tuning.retryPauseMaxMs = 4000;
    EXPECT_EQ(nextRetryPause(GetParam().previous, GetParam().recorded), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RetryPause,
    ::testing::Values(PauseCase{"first_failure", 0, false, 250}, PauseCase{"doubles", 250, false, 500},
                      PauseCase{"capped", 3000, false, 4000}, PauseCase{"stays_at_cap", 4000, false, 4000},
                      PauseCase{"recorded_resets", 4000, true, 0}, PauseCase{"recorded_first", 0, true, 0}),
    [](const ::testing::TestParamInfo<PauseCase> &info) { return std::string(info.param.name); });

}  // namespace

// The attempt loop and the exported interface.
#include "capture_loop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <ostream>
#include <string>

#include "capture_state.h"
#include "connection.h"
#include "netgrab.h"
#include "test_util.h"

using namespace netgrab;
using namespace std::chrono;

namespace {

class CaptureLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        testutil::useFastTuning();
        // Names never reach a name server from these tests.
        setNameLookup([](const char*, uint32_t*) { return 0; });
    }
    void TearDown() override {
        setNameLookup(nullptr);
        if (capture_.valid()) {
            netgrab_api::StopRecord();
            capture_.wait_for(seconds(5));
        }
    }
    void start(std::string source, std::string output = "/tmp/netgrab-loop-test") {
        capture_ = std::async(std::launch::async, [source, output] {
            return netgrab_api::netgrab(source.c_str(), output.c_str());
        });
    }
    bool returnsWithin(milliseconds ms) { return capture_.wait_for(ms) == std::future_status::ready; }
    // Stops the capture; true when netgrab returned 0 within ms.
    bool stopWithin(milliseconds ms) {
        netgrab_api::StopRecord();
        if (!returnsWithin(ms)) return false;
        return capture_.get() == 0;
    }
    std::future<int> capture_;
};

TEST_F(CaptureLoopTest, StopBeforeTheCallDoesNotEndTheNextCapture) {
    netgrab_api::StopRecord();
    state().recordedBytes = 77;
    start("file:///tmp/nothing");
    EXPECT_FALSE(returnsWithin(milliseconds(200)));
    EXPECT_EQ(netgrab_api::GetRecBytes(), 0);
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
}

TEST_F(CaptureLoopTest, FileSourceLoopsSilentlyUntilStopped) {
    ::testing::internal::CaptureStdout();
    start("file:///tmp/nothing");
    EXPECT_FALSE(returnsWithin(milliseconds(200)));
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(netgrab_api::GetRecBytes(), 0);
    EXPECT_EQ(netgrab_api::GetRecError(), 0);
}

// An address longer than the working buffer is unusable before any
// classification: the fault line is all an attempt prints.
const std::string kOverLongAddress = "http://127.0.0.1/" + std::string(300, 'a');
const std::string kUrlFault = "Fault: server url error! Please check again!!\n";

TEST_F(CaptureLoopTest, UnusableAddressPrintsOncePerAttemptWithPauses) {
    // Pauses of 20, 40, 80, 80, ... ms: about eight attempts in 500 ms,
    // where a loop without pauses would make many thousands.
    ::testing::internal::CaptureStdout();
    start(kOverLongAddress);
    EXPECT_FALSE(returnsWithin(milliseconds(500)));
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    const std::string out = ::testing::internal::GetCapturedStdout();
    const size_t lines = testutil::countOf(out, "\n");
    EXPECT_EQ(testutil::countOf(out, kUrlFault), lines) << out;
    EXPECT_GE(lines, 3u);
    EXPECT_LE(lines, 14u);
    EXPECT_EQ(netgrab_api::GetRecError(), 0);
}

TEST_F(CaptureLoopTest, RejectedAddressIsRetriedWithPauses) {
    // Whatever classification tries for an unknown scheme (here a host name
    // that does not resolve), each attempt ends with one fault line.
    ::testing::internal::CaptureStdout();
    start("ftp://nowhere/x");
    EXPECT_FALSE(returnsWithin(milliseconds(500)));
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    const std::string out = ::testing::internal::GetCapturedStdout();
    const size_t faults = testutil::countOf(out, kUrlFault);
    EXPECT_GE(faults, 3u) << out;
    EXPECT_LE(faults, 14u) << out;
}

TEST_F(CaptureLoopTest, StopWakesALongPauseAtOnce) {
    state().tuning.retryPauseMinMs = 5000;
    state().tuning.retryPauseMaxMs = 5000;
    ::testing::internal::CaptureStdout();
    start(kOverLongAddress);
    EXPECT_FALSE(returnsWithin(milliseconds(100)));  // now inside the first pause
    auto before = steady_clock::now();
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - before).count(), 500);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUrlFault);
}

TEST_F(CaptureLoopTest, OverLongAddressIsRefused) {
    ::testing::internal::CaptureStdout();
    start(kOverLongAddress);
    EXPECT_FALSE(returnsWithin(milliseconds(50)));
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind(kUrlFault, 0), 0u) << out;
}

TEST_F(CaptureLoopTest, OverLongOutputNameIsRefused) {
    start("file:///x", "/tmp/" + std::string(600, 'n'));
    EXPECT_FALSE(returnsWithin(milliseconds(50)));
    EXPECT_EQ(netgrab_api::GetRecError(), NG_ERR_FILE_OPEN);
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
}

TEST_F(CaptureLoopTest, StandardDescriptorsAreOpenSoNoSocketGetsZero) {
    int saved = dup(0);
    close(0);
    start("file:///x");
    EXPECT_FALSE(returnsWithin(milliseconds(50)));
    EXPECT_NE(fcntl(0, F_GETFD), -1);  // reopened on /dev/null
    EXPECT_TRUE(stopWithin(milliseconds(2000)));
    dup2(saved, 0);
    close(saved);
}

struct PauseCase {
    const char* name;
    int previous;
    bool recorded;
    int expected;
};
void PrintTo(const PauseCase& c, std::ostream* os) { *os << c.name; }

class RetryPause : public ::testing::TestWithParam<PauseCase> {};

TEST_P(RetryPause, GrowsAndResets) {
    state().tuning.retryPauseMinMs = 250;
    state().tuning.retryPauseMaxMs = 4000;
    EXPECT_EQ(nextRetryPause(GetParam().previous, GetParam().recorded), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, RetryPause,
                         ::testing::Values(PauseCase{"first_failure", 0, false, 250},
                                           PauseCase{"doubles", 250, false, 500},
                                           PauseCase{"capped", 3000, false, 4000},
                                           PauseCase{"stays_at_cap", 4000, false, 4000},
                                           PauseCase{"recorded_resets", 4000, true, 0},
                                           PauseCase{"recorded_first", 0, true, 0}),
                         [](const ::testing::TestParamInfo<PauseCase>& info) { return std::string(info.param.name); });

}  // namespace

// Host resolution and the connection primitives.
#include "connection.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>

#include "capture_state.h"
#include "netgrab.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

uint32_t ip(int a, int b, int c, int d)
{
    uint32_t v;
    unsigned char *p = reinterpret_cast<unsigned char *>(&v);
    p[0] = static_cast<unsigned char>(a);
    p[1] = static_cast<unsigned char>(b);
    p[2] = static_cast<unsigned char>(c);
    p[3] = static_cast<unsigned char>(d);
    return v;
}

// Stands in for the platform resolver, so no test asks a name server.
std::string g_lastLookup;
int fakeLookup(const char *name, uint32_t *address)
{
    g_lastLookup = name;
    if (std::strcmp(name, "streamhost") == 0 || std::strcmp(name, "123-abc") == 0) {
        *address = ip(127, 0, 0, 9);
        return 1;
    }
    return 0;
}

struct ResolveCase
{
    const char *name;
    const char *host;
    uint32_t expected;
    bool looksUp;
};
void PrintTo(const ResolveCase &c, std::ostream *os)
{
    *os << c.name;
}

class ResolveHost : public ::testing::TestWithParam<ResolveCase>
{
protected:
    void SetUp() override
    {
        setNameLookup(fakeLookup);
        g_lastLookup.clear();
    }
    void TearDown() override { setNameLookup(nullptr); }
};

TEST_P(ResolveHost, FollowsTheTwoRules)
{
    const ResolveCase &c = GetParam();
    EXPECT_EQ(resolveHost(c.host), c.expected);
    EXPECT_EQ(!g_lastLookup.empty(), c.looksUp);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ResolveHost,
    ::testing::Values(ResolveCase{"dotted", "192.168.10.20", ip(192, 168, 10, 20), false},
                      ResolveCase{"dotted_with_port", "127.0.0.1:8000", ip(127, 0, 0, 1), false},
                      ResolveCase{"dotted_low_eight_bits", "256.257.1.2", ip(0, 1, 1, 2), false},
                      ResolveCase{"name", "streamhost", ip(127, 0, 0, 9), true},
                      ResolveCase{"name_with_digits_and_dash", "123-abc", ip(127, 0, 0, 9), true},
                      ResolveCase{"unknown_name_is_all_ones", "nowhere.invalid", 0xFFFFFFFFu, true},
                      ResolveCase{"name_with_port_fails_lookup", "streamhost:80", 0xFFFFFFFFu, true},
                      ResolveCase{"three_numbers_no_address", "10.1.2", 0u, false},
                      ResolveCase{"no_dots_no_address", "12345", 0u, false},
                      ResolveCase{"short_text_no_address", "1.2", 0u, false},
                      ResolveCase{"empty_no_address", "", 0u, false},
                      ResolveCase{"odd_first_characters_no_address", "a b.example", 0u, false},
                      ResolveCase{"slash_in_first_four_no_address", "ab/cd", 0u, false}),
    [](const ::testing::TestParamInfo<ResolveCase> &info) { return std::string(info.param.name); });

TEST(ResolveHostNull, MissingTextIsNoAddress)
{
    EXPECT_EQ(resolveHost(nullptr), 0u);
}

class ConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override { testutil::useFastTuning(); }
    void TearDown() override { setNameLookup(nullptr); }
    StopRequest stop_;
    Connection c{stop_};
};

TEST_F(ConnectionTest, FailedLookupReportsAllOnesWithoutConnecting)
{
    setNameLookup(fakeLookup);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(openConnection(c, "nowhere.invalid", 8000));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "connect to  255.255.255.255:8000  fail -- 00000071\n");
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ConnectionTest, UnusableHostIsSilentAndConnectsNowhere)
{
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(openConnection(c, "1.2", 80));
    EXPECT_FALSE(openConnection(c, "", 80));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ConnectionTest, OpensNonBlockingAndKnowsItsLocalName)
{
    ScriptedServer server({{readUntil("ping"), send("pong"), stall()}});
    ASSERT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    EXPECT_GT(c.descriptor(), 0);
    EXPECT_NE(fcntl(c.descriptor(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(localAddress(c), ip(127, 0, 0, 1));
    EXPECT_NE(localPort(c), 0);
    EXPECT_EQ(sendAll(c, "ping", 4), 4);
    char buf[16];
    ASSERT_EQ(receiveSome(c, buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "pong");
    EXPECT_EQ(receiveSome(c, buf, 0), IO_FAILED);  // no room: nothing to read into
}

TEST_F(ConnectionTest, ReceiveGivesUpAfterThePollCount)
{
    ScriptedServer server({{stall()}});
    netgrab::settings().tuning.receivePollMs = 10;
    netgrab::settings().tuning.receivePollCount = 15;
    ASSERT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    char buf[16];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiveSome(c, buf, sizeof buf), IO_FAILED);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 1000);
}

TEST_F(ConnectionTest, ReceiveReportsAPeerThatClosed)
{
    ScriptedServer server({{send("last"), closeNow()}});
    ASSERT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    char buf[16];
    EXPECT_EQ(receiveSome(c, buf, sizeof buf), 4);
    EXPECT_EQ(receiveSome(c, buf, sizeof buf), IO_FAILED);
}

TEST_F(ConnectionTest, SendWaitsForASlowReaderAndSendsEverything)
{
    const std::string big(4 * 1024 * 1024, 's');
    ScriptedServer server({{delay(100), call([&](ConnectionIo &io) { return io.readAtLeast(big.size(), 5000); })}});
    ASSERT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    EXPECT_EQ(sendAll(c, big.data(), static_cast<int>(big.size())), static_cast<int>(big.size()));
    EXPECT_TRUE(server.waitForClosed(0, 5000));
    EXPECT_EQ(server.received(0).size(), big.size());
}

TEST_F(ConnectionTest, AClosedConnectionNeitherSendsNorReceives)
{
    ScriptedServer server({{stall()}});
    ASSERT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    closeConnection(c);
    EXPECT_FALSE(c.isOpen());
    EXPECT_TRUE(server.waitForClosed(0, 2000));
    char buf[4];
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(sendAll(c, "x", 1), IO_FAILED);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(receiveSome(c, buf, sizeof buf), IO_FAILED);
}

// Opening a connection again first closes what it held: the old peer sees
// the close, and nothing sent afterwards reaches it.
TEST_F(ConnectionTest, OpeningAgainClosesThePreviousConnection)
{
    ScriptedServer first({{stall()}});
    ScriptedServer second({{readUntil("two"), stall()}});
    ASSERT_TRUE(openConnection(c, "127.0.0.1", first.port()));
    ASSERT_TRUE(openConnection(c, "127.0.0.1", second.port()));
    EXPECT_TRUE(first.waitForClosed(0, 2000));
    EXPECT_EQ(sendAll(c, "two", 3), 3);
    EXPECT_TRUE(second.waitForReceived(0, "two", 2000));
    EXPECT_EQ(first.received(0), "");
}

// Two captures' connections are their own: each sends to its own peer, and
// a stop of one capture ends that capture's streaming wait only.
TEST_F(ConnectionTest, EachCaptureKeepsItsOwnConnectionAndStop)
{
    netgrab::settings().tuning.receivePollCount = 400;  // a two-second receive time-out
    ScriptedServer a({{readUntil("for a"), stall()}});
    ScriptedServer b({{readUntil("for b"), delay(400), send("b data"), stall()}});
    StopRequest otherStop;
    Connection other(otherStop);
    ASSERT_TRUE(openConnection(c, "127.0.0.1", a.port()));
    ASSERT_TRUE(openConnection(other, "127.0.0.1", b.port()));
    EXPECT_EQ(sendAll(c, "for a", 5), 5);
    EXPECT_EQ(sendAll(other, "for b", 5), 5);
    EXPECT_TRUE(a.waitForReceived(0, "for a", 2000));
    EXPECT_TRUE(b.waitForReceived(0, "for b", 2000));
    EXPECT_EQ(a.received(0), "for a");
    EXPECT_EQ(b.received(0), "for b");

    stop_.set();
    char buf[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiveStream(c, buf, sizeof buf), IO_FAILED);
    EXPECT_EQ(streamEndError(c), NG_ERR_STOPPED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(receiveStream(other, buf, sizeof buf), 6) << "the other capture streams on";
    EXPECT_EQ(std::string(buf, 6), "b data");
    EXPECT_EQ(streamEndError(other), NG_ERR_RECEIVE);
}

TEST_F(ConnectionTest, NeverHandsOutDescriptorZero)
{
    ScriptedServer server({{stall()}});
    int savedStdin = dup(0);
    ASSERT_GE(savedStdin, 0);
    close(0);
    EXPECT_TRUE(openConnection(c, "127.0.0.1", server.port()));
    EXPECT_GT(c.descriptor(), 0);
    closeConnection(c);
    // With descriptor 0 free the server's accept may take it: end the server
    // (its threads close their sockets) before descriptor 0 is restored, so
    // the restore cannot replace a socket in use nor a late close end stdin.
    server.stop();
    dup2(savedStdin, 0);
    close(savedStdin);
}

}  // namespace

// MMS over TCP: the seven client commands byte for byte, the header and
// data readers, and whole sessions against the MMS-over-TCP test peer.
#include "mms_tcp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "asf_media.h"
#include "capture_state.h"
#include "mms_http.h"
#include "mmst_server.h"
#include "netgrab.h"
#include "output_file.h"
#include "test_util.h"
#include "wm_fixture.h"

using namespace testsupport;
using netgrab::shared;

namespace {

// ---- the seven commands against the published layout ---------------------------

struct Field
{
    size_t offset;
    uint64_t value;
    int width;
};

struct CommandRow
{
    const char *name;
    int step;
    size_t length;
    const char *prefix;  // the first 40 bytes in hex, for sequence number 5
    std::vector<Field> fields;
    size_t textAt;     // 0: no text
    std::string text;  // widened to UTF-16LE
};

const char *kGuid = "{0123ABCD-0123-4567-89AB-0123456789AB}";
constexpr uint64_t kDouble3600 = 0x40AC200000000000ull;

std::string fromHex(const char *hex)
{
    std::string out;
    for (const char *p = hex; p[0] && p[1];) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    return out;
}

// The common prefix as literal bytes; the body from the table's fields.
std::string expectedCommand(const CommandRow &r)
{
    std::string m = fromHex(r.prefix);
    m.resize(r.length, '\0');
    for (const Field &f : r.fields)
        putLe(m, f.offset, f.value, f.width);
    for (size_t i = 0; i < r.text.size() && r.textAt + 2 * i + 1 < r.length; ++i)
        m[r.textAt + 2 * i] = r.text[i];
    return m;
}

class Commands : public ::testing::TestWithParam<CommandRow>
{};

TEST_P(Commands, MatchTheTableByteForByte)
{
    const CommandRow &r = GetParam();
    netgrab::MmsCommandArgs args;
    args.clientGuid = kGuid;
    const unsigned char local[4] = {127, 0, 0, 1};
    std::memcpy(&args.localAddress, local, 4);
    args.localPort = 4321;
    args.path = "live";
    unsigned char out[400];
    int n = netgrab::buildMmsCommand(r.step, 5, args, out, sizeof out);
    ASSERT_EQ(n, static_cast<int>(r.length));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), r.length), expectedCommand(r));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Commands,
    ::testing::Values(
        CommandRow{"connect",
                   1,
                   176,
                   "01000000 cefa0bb0 a0000000 4d4d5320 14000000 05000000 00000000 00000000 12000000 01000300",
                   {{40, 0xF0F0F0F0, 4}, {44, 0x0004000B, 4}, {48, 0x0003001C, 4}},
                   52,
                   std::string("NSPlayer/10.0.0.3802; ") + kGuid},
        CommandRow{"funnel_information",
                   2,
                   48,
                   "01000000 cefa0bb0 20000000 4d4d5320 04000000 05000000 00000000 00000000 02000000 18000300",
                   {{40, 0xF0F0F0F1, 4}, {44, 0x0004000B, 4}},
                   0,
                   ""},
        CommandRow{"connect_funnel",
                   3,
                   120,
                   "01000000 cefa0bb0 68000000 4d4d5320 0d000000 05000000 00000000 00000000 0b000000 02000300",
                   {{40, 0xF0F0F0F1, 4}, {44, 0xFFFFFFFF, 4}, {48, 0, 4}, {52, 0x00A00000, 4}, {56, 2, 4}},
                   60,
                   "\\\\127.0.0.1\\TCP\\4321"},
        CommandRow{"open_file",
                   4,
                   304,
                   "01000000 cefa0bb0 20010000 4d4d5320 24000000 05000000 00000000 00000000 22000000 05000300",
                   {{40, 0x20, 4}, {44, 0xFFFFFFFF, 4}},
                   56,
                   "live"},
        CommandRow{
            "read_block",
            5,
            88,
            "01000000 cefa0bb0 48000000 4d4d5320 09000000 05000000 00000000 00000000 07000000 15000300",
            {{40, 1, 4}, {52, 0x8000, 4}, {56, 0xFFFFFFFF, 4}, {60, 0x002E0030, 4}, {72, kDouble3600, 8}, {80, 2, 4}},
            0,
            ""},
        CommandRow{"stream_switch",
                   6,
                   64,
                   "01000000 cefa0bb0 30000000 4d4d5320 06000000 05000000 00000000 00000000 04000000 33000300",
                   {{40, 1, 4}, {44, 0x0001FFFF, 4}, {48, kDouble3600, 8}, {56, 2, 4}},
                   0,
                   ""},
        CommandRow{"start_playing",
                   7,
                   72,
                   "01000000 cefa0bb0 38000000 4d4d5320 07000000 05000000 00000000 00000000 05000000 07000300",
                   {{40, 1, 4}, {44, 0x0001FFFF, 4}, {48, 0, 8}, {56, 0xFFFFFFFF, 4}, {60, 0xFFFFFFFF, 4}, {68, 4, 4}},
                   0,
                   ""}),
    [](const ::testing::TestParamInfo<CommandRow> &i) { return std::string(i.param.name); });

TEST(CommandLimits, LongPathIsCutByTheMessageLength)
{
    std::string path(600, 'p');
    netgrab::MmsCommandArgs args;
    args.path = path.c_str();
    unsigned char out[400];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(netgrab::buildMmsCommand(netgrab::MMS_OPEN_FILE, 0, args, out, sizeof out), 304);
    EXPECT_EQ(out[302], 'p');
    EXPECT_EQ(out[304], 0xEE) << "written past the message";
    EXPECT_EQ(netgrab::buildMmsCommand(netgrab::MMS_OPEN_FILE, 0, args, out, 303), 0);
}

// ---- readers --------------------------------------------------------------------

class Readers : public wmtest::TempDirTest
{};

TEST_F(Readers, HeaderLongerThanItsBufferIsDroppedNotOverrun)
{
    auto reader = std::make_unique<netgrab::MmsHeaderReader>();
    std::string payload(4000, 'h');
    for (uint32_t i = 0; i < 4; ++i) {
        std::string p = mmsPacket(payload, i, 0x04);
        netgrab::feedHeaderPackets(*reader, reinterpret_cast<const unsigned char *>(p.data()),
                                   static_cast<int>(p.size()));
    }
    EXPECT_EQ(reader->fill, netgrab::kHeaderBufferSize);
    EXPECT_EQ(reader->step, netgrab::MmsReadStep::Prefix) << "reader still in step with the packets";
}

struct DataCase
{
    const char *name;
    std::string stream;            // what the server sends after starting to play
    std::vector<size_t> recorded;  // media packets the file must hold, in order
};

class DataReader : public Readers, public ::testing::WithParamInterface<size_t>
{};

// A server command longer than the 256-byte buffer, a packet of another
// length whose payload looks like packets, and pings: only the real
// packets reach the file, whatever the block sizes.
TEST_P(DataReader, RecordsOnlyPacketsOfTheFirstLength)
{
    WM_MEDIA(m, 10);
    std::string fake = mmsPacket(m->packets[9], 9, 0);  // inside an odd packet: must not be recorded
    std::string stream = mmsServerMessage(0x00040005, 72) + mmsPacket(m->packets[0], 0, 0)
        + mmsServerMessage(0x00040099, 1000) + mmsPacket(m->packets[1], 1, 0)
        + mmsPacket(std::string(40, '\x01') + fake, 0xFFFF, 0) + mmsPing(1) + mmsPacket(m->packets[2], 2, 0);
    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    auto packets = std::make_unique<netgrab::AsfPacketSession>();
    packets->packetSize = static_cast<int32_t>(m->packetSize);
    auto reader = std::make_unique<netgrab::MmsDataReader>();
    const size_t block = GetParam();
    for (size_t at = 0; at < stream.size(); at += block) {
        size_t n = std::min(block, stream.size() - at);
        netgrab::feedMmsData(ctx, *reader, *packets, reinterpret_cast<const unsigned char *>(stream.data()) + at,
                             static_cast<int>(n), ctx.connection);
    }
    netgrab::closeOutput(ctx.output);
    EXPECT_EQ(packets->packetCount, 3);
    EXPECT_TRUE(fileBytes(wma()) == m->packets[0] + m->packets[1] + m->packets[2]);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, DataReader, ::testing::Values(1, 7, 8, 1600, 100000));

// ---- sessions against the server --------------------------------------------------

class MmsTcp : public wmtest::TempDirTest
{
protected:
    netgrab::RouteResult capture(const ScriptedServer &server, const char *path = "live")
    {
        ctx.serverPort = 1755;
        std::string address = "127.0.0.1:" + std::to_string(server.port()) + "/" + path;
        return netgrab::captureMmsTcp(ctx, address.c_str());
    }
    void expectFinished(const AsfMedia &m, size_t packets)
    {
        std::string file = fileBytes(wma());
        size_t props = findGuid(file, kFilePropertiesGuid);
        ASSERT_NE(props, std::string::npos);
        EXPECT_EQ(readLe(file, props + 40, 8), file.size());
        EXPECT_EQ(readLe(file, props + 56, 8), packets);
        EXPECT_EQ(readLe(file, props + 88, 4), 2u);
        EXPECT_EQ(file.size(), m.header.size() + packets * m.packetSize);
    }
    // Durations of a file recorded from one connection delivering packets [first, first + count).
    void expectDurationOf(const AsfMedia &m, size_t first, size_t count)
    {
        wmtest::expectDurations(wma(), wmtest::coveredMs(wmtest::mediaPackets(m, first, count)));
    }
};

TEST_F(MmsTcp, SessionRecordsTheStreamAndAnswersPings)
{
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.count = m->packets.size();
    plan.pingEvery = 5;
    plan.oddPacketBefore = 7;
    const int socketsBefore = wmtest::openSockets();
    std::string received;
    {
        ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
        EXPECT_EQ(capture(server), netgrab::RouteResult::Done);
        server.waitForClosed(0, 5000);
        received = server.received(0);
    }
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE) << "the server closed the stream";
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(wmtest::openDescriptorsOf(wma()), 0);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore);

    std::vector<std::string> messages = splitMmsMessages(received);
    ASSERT_GE(messages.size(), 7u);
    const uint16_t codes[7] = {0x0001, 0x0018, 0x0002, 0x0005, 0x0015, 0x0033, 0x0007};
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(readLe(messages[i], 36, 2), codes[i]) << "message " << i;
        EXPECT_EQ(readLe(messages[i], 20, 4), i) << "sequence of message " << i;
    }
    // The funnel text names the client's local address and port.
    std::string funnel;
    for (size_t at = 60; at + 1 < messages[2].size() && messages[2][at]; at += 2)
        funnel += messages[2][at];
    EXPECT_EQ(funnel.rfind("\\\\127.0.0.1\\TCP\\", 0), 0u) << funnel;
    EXPECT_EQ(messages[3].substr(56, 8), std::string("l\0i\0v\0e\0", 8));
    // Every ping answered, in order, with the pong.
    size_t pings = plan.count / plan.pingEvery;
    ASSERT_EQ(messages.size(), 7 + pings);
    for (uint32_t k = 1; k <= pings; ++k)
        EXPECT_EQ(messages[6 + k], mmsExpectedPong(k)) << "pong " << k;

    // The odd packet is not in the file; every real packet is.
    std::string file = fileBytes(wma());
    EXPECT_TRUE(file.compare(m->header.size(), std::string::npos, wmtest::paddedPackets(*m, 0, plan.count)) == 0);
    expectFinished(*m, plan.count);
    expectDurationOf(*m, 0, plan.count);
}

// ---- answers as they come off the wire --------------------------------------------

struct DeliveryCase
{
    const char *name;
    uint32_t splitSeed;  // every answer cut in two at a point from this seed (0: whole)
    bool pings;          // a ping ahead of each command's answer
};
void PrintTo(const DeliveryCase &c, std::ostream *os)
{
    *os << c.name;
}

class AnswerDelivery : public MmsTcp, public ::testing::WithParamInterface<DeliveryCase>
{};

// However the answers are cut into receives, and with pings between them,
// each step reads its own answer: the commands go out in order, every ping
// is answered, and the file is byte for byte the one whole answers give.
TEST_P(AnswerDelivery, RecordsTheFileWholeAnswersGive)
{
    const DeliveryCase &c = GetParam();
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.count = m->packets.size();
    plan.pingEvery = 4;
    std::string whole;
    {
        ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
        ASSERT_EQ(capture(server), netgrab::RouteResult::Done);
        whole = fileBytes(wma());
    }
    ASSERT_EQ(std::remove(wma().c_str()), 0);

    plan.splitSeed = c.splitSeed;
    plan.pingBeforeAnswers = c.pings;
    std::string received;
    {
        ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
        EXPECT_EQ(capture(server), netgrab::RouteResult::Done);
        server.waitForClosed(0, 5000);
        received = server.received(0);
    }
    EXPECT_TRUE(fileBytes(wma()) == whole);
    expectFinished(*m, plan.count);

    std::vector<uint64_t> codes, pongs;
    for (const std::string &message : splitMmsMessages(received)) {
        if (readLe(message, 36, 4) == 0x0003001B)
            pongs.push_back(readLe(message, 20, 4));
        else
            codes.push_back(readLe(message, 36, 2));
    }
    EXPECT_EQ(codes, (std::vector<uint64_t>{0x0001, 0x0018, 0x0002, 0x0005, 0x0015, 0x0033, 0x0007}));
    // The server numbers the pings ahead of answers 101 to 107, those in
    // the data stream from 1.
    std::vector<uint64_t> expected;
    if (c.pings)
        expected = {101, 102, 103, 104, 105, 106, 107};
    for (uint64_t k = 1; k <= plan.count / plan.pingEvery; ++k)
        expected.push_back(k);
    EXPECT_EQ(pongs, expected);
}

INSTANTIATE_TEST_SUITE_P(Servers, AnswerDelivery,
                         ::testing::Values(DeliveryCase{"split_seed_1", 1, false},
                                           DeliveryCase{"split_seed_2", 2, false},
                                           DeliveryCase{"split_seed_3", 3, false},
                                           DeliveryCase{"pings_between_answers", 0, true},
                                           DeliveryCase{"split_with_pings", 4, true}),
                         [](const ::testing::TestParamInfo<DeliveryCase> &i) { return std::string(i.param.name); });

TEST_F(MmsTcp, ReadBlockAnswerInPiecesStillGivesTheHeader)
{
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.count = 4;
    plan.trickleReadBlockAnswer = true;
    ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
    EXPECT_EQ(capture(server), netgrab::RouteResult::Done);
    EXPECT_TRUE(fileBytes(wma()).compare(m->header.size(), std::string::npos, wmtest::paddedPackets(*m, 0, 4)) == 0);
    expectFinished(*m, 4);
}

// A header that stops coming halfway: a new file must not receive data
// packets without their header (unreadable), so the MMS route gives up
// and the HTTP route is tried, as for any other header failure.
TEST_F(MmsTcp, IncompleteHeaderInANewFileWritesNoPackets)
{
    WM_MEDIA(m, 10);
    // Grow the header with an ASF Padding Object (ASF spec 3.18) so that its
    // first half passes the 1024-byte rule of the header reader.
    std::string header = broadcastHeader(*m);
    const size_t headerObject = readLe(header, 16, 8);
    const unsigned char paddingGuid[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                           0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
    std::string padding(reinterpret_cast<const char *>(paddingGuid), 16);
    padding += std::string(8, '\0') + std::string(3000, '\0');
    putLe(padding, 16, padding.size(), 8);
    header.insert(headerObject, padding);
    putLe(header, 16, headerObject + padding.size(), 8);
    putLe(header, 24, readLe(header, 24, 4) + 1, 4);
    ASSERT_GT(header.size() / 2, 1024u);

    MmstPlan plan;
    plan.count = 4;
    // The stall outlasts the client's receive time-out (500 ms) while the
    // session resumes within its next one, so the old rule went on to record
    // packets behind half a header.
    netgrab::settings().tuning.receivePollCount = 100;
    plan.stallAfterHalfHeaderMs = 750;
    ScriptedServer server({mmstScript(*m, header, plan)});
    EXPECT_EQ(capture(server), netgrab::RouteResult::TryHttp);
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(fileBytes(wma()).size(), 0u);
    EXPECT_EQ(ctx.output.file, nullptr);
}

TEST_F(MmsTcp, LongRecordingStatesItsExactDuration)
{
    WM_MEDIA(m, 500);
    // The server makes its whole 4 MB answer to StartPlaying before the
    // first byte: 0.6 to 1.1 s in the ThreadSanitizer build on a busy
    // machine, past the half-second receive time-out of these tests.
    netgrab::settings().tuning.receivePollCount = testwait::kLoadMarginMs / netgrab::settings().tuning.receivePollMs;
    MmstPlan plan;
    plan.count = m->packets.size();
    ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
    EXPECT_EQ(capture(server), netgrab::RouteResult::Done);
    expectFinished(*m, plan.count);
    expectDurationOf(*m, 0, plan.count);
}

TEST_F(MmsTcp, ShortFunnelAnswerEndsTheAttemptWithoutFallBack)
{
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.funnelAnswer = {512};
    ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
    EXPECT_EQ(capture(server), netgrab::RouteResult::Failed);
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(ctx.output.file, nullptr);
}

TEST_F(MmsTcp, RefusedConnectionAsksForTheHttpRoute)
{
    const int socketsBefore = wmtest::openSockets();
    std::string address = "127.0.0.1:" + std::to_string(testutil::closedPort()) + "/live";
    EXPECT_EQ(netgrab::captureMmsTcp(ctx, address.c_str()), netgrab::RouteResult::TryHttp);
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore);
}

TEST_F(MmsTcp, EmptyPathOpensSlash)
{
    WM_MEDIA(m, 10);
    MmstPlan plan;
    plan.count = 1;
    ScriptedServer server({mmstScript(*m, broadcastHeader(*m), plan)});
    capture(server, "");
    server.waitForClosed(0, 5000);
    std::vector<std::string> messages = splitMmsMessages(server.received(0));
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[3].substr(56, 4), std::string("/\0\0\0", 4));
}

}  // namespace

// MMS over HTTP: stream header, "$D" chunk parser, play request and the
// finished ASF file, against the MMS-over-HTTP test peer.
#include "mms_http.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "asf_media.h"
#include "capture_state.h"
#include "mmsh_server.h"
#include "netgrab.h"
#include "output_file.h"
#include "wm_expect.h"
#include "wm_fixture.h"

using namespace testsupport;
using netgrab::shared;

namespace {

class MmsHttp : public wmtest::TempDirTest
{
protected:
    // One attempt as the HTTP route runs it: the describe answer's header,
    // then the play request to the server.
    void recordOnce(const ScriptedServer &server, const std::string &header)
    {
        netgrab::CaptureState &s = ctx;
        s.packets.fill = 0;
        s.packets.packetCount = 0;
        ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
        std::string answer = mmshDescribeAnswer(header, 2);
        ASSERT_EQ(netgrab::extractStreamHeader(ctx, answer.data(), static_cast<int>(answer.size())), 1);
        s.serverPort = server.port();
        netgrab::playRequest(ctx, ("http://127.0.0.1:" + std::to_string(server.port()) + "/live").c_str());
    }

    // The file holds the header (finished) and exactly these padded packets.
    void expectFinishedFile(const AsfMedia &m, const std::string &packets, size_t packetCount)
    {
        std::string file = fileBytes(wma());
        ASSERT_GT(file.size(), m.header.size());
        size_t props = findGuid(file, kFilePropertiesGuid);
        size_t data = findGuid(file, kDataObjectGuid);
        ASSERT_NE(props, std::string::npos);
        ASSERT_EQ(data, m.headerObjectSize);
        EXPECT_EQ(readLe(file, props + 40, 8), file.size()) << "file size";
        EXPECT_EQ(readLe(file, props + 56, 8), packetCount) << "data packets count";
        EXPECT_EQ(readLe(file, data + 40, 8), packetCount) << "Data Object packets";
        EXPECT_EQ(readLe(file, data + 16, 8), file.size() - m.headerObjectSize) << "Data Object size";
        EXPECT_EQ(readLe(file, props + 88, 4), 2u) << "flags";
        EXPECT_TRUE(file.compare(m.header.size(), std::string::npos, packets) == 0)
            << "packets are the server's, padded to " << m.packetSize;
    }

    // Durations of a file recorded from one connection delivering packets [first, first + count).
    void expectDurationOf(const AsfMedia &m, size_t first, size_t count)
    {
        wmtest::expectDurations(wma(), wmtest::coveredMs(wmtest::mediaPackets(m, first, count)));
    }
};

// ---- stream header ----------------------------------------------------------

struct HeaderCase
{
    const char *name;
    int parts;        // "$H" chunks the header is cut into
    size_t cutTail;   // bytes missing at the end of the answer
    bool appendMode;  // the file already holds a recording
};

class StreamHeader : public MmsHttp, public ::testing::WithParamInterface<HeaderCase>
{};

TEST_P(StreamHeader, WritesTheHeaderChunksOncePerFile)
{
    WM_MEDIA(m, 10);
    const HeaderCase &c = GetParam();
    if (c.appendMode) {
        FILE *f = std::fopen(wma().c_str(), "wb");
        std::fputs("earlier", f);
        std::fclose(f);
    }
    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    std::string answer = mmshDescribeAnswer(m->header, c.parts);
    answer.resize(answer.size() - c.cutTail);
    // A header that is not whole opens no recording.
    const bool whole = c.cutTail == 0;
    EXPECT_EQ(netgrab::extractStreamHeader(ctx, answer.data(), static_cast<int>(answer.size())), whole ? 1 : -2);
    if (whole) {
        EXPECT_EQ(ctx.packets.packetSize, static_cast<int32_t>(m->packetSize));
    }
    netgrab::closeOutput(ctx.output);
    if (c.appendMode)
        EXPECT_EQ(fileBytes(wma()), "earlier");
    else
        EXPECT_EQ(fileBytes(wma()), whole ? m->header : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamHeader,
                         ::testing::Values(HeaderCase{"one_chunk", 1, 0, false},
                                           HeaderCase{"three_chunks", 3, 0, false},
                                           HeaderCase{"last_chunk_cut_short", 2, 100, false},
                                           HeaderCase{"file_already_recorded", 1, 0, true}),
                         [](const ::testing::TestParamInfo<HeaderCase> &i) { return std::string(i.param.name); });

TEST_F(MmsHttp, AnswerWithoutHeaderChunkIsRefused)
{
    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + mmshChunk('D', std::string("\x82\x00\x00 data", 8));
    EXPECT_EQ(netgrab::extractStreamHeader(ctx, answer.data(), static_cast<int>(answer.size())), -2);
    EXPECT_EQ(shared().lastError, NG_ERR_NO_STREAM_HEADER);
    netgrab::closeOutput(ctx.output);
    EXPECT_EQ(fileBytes(wma()), "");
}

// ---- data chunks --------------------------------------------------------------

class DataChunks : public MmsHttp, public ::testing::WithParamInterface<size_t>
{};

// Chunks of other kinds, packets without 0x82 0x00 0x00 and packets longer
// than the packet size are skipped; short packets are padded; whatever the
// block sizes.
TEST_P(DataChunks, SameFileWhateverTheBlockSizes)
{
    WM_MEDIA(m, 10);
    std::string longPacket = std::string("\x82\x00\x00", 3) + std::string(m->packetSize + 97, '\x5A');
    std::string stream = mmshChunk('E', "end of something") + mmshChunk('C', "change") + mmshDataChunks(*m, 0, 3)
        + mmshChunk('D', std::string("\x82\x01\x00 not ours", 12)) + mmshChunk('D', longPacket)
        + mmshDataChunks(*m, 3, 2);
    std::string want = wmtest::paddedPackets(*m, 0, 3) + wmtest::paddedPackets(*m, 3, 2);

    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    auto packets = std::make_unique<netgrab::AsfPacketSession>();
    packets->packetSize = static_cast<int32_t>(m->packetSize);
    netgrab::AsfChunkReader reader;
    const size_t block = GetParam();
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(stream.data());
    for (size_t at = 0; at < stream.size(); at += block) {
        size_t n = std::min(block, stream.size() - at);
        netgrab::feedDataChunks(ctx, reader, *packets, bytes + at, static_cast<int>(n));
    }
    netgrab::closeOutput(ctx.output);
    EXPECT_EQ(packets->packetCount, 5);
    EXPECT_EQ(shared().recordedBytes, static_cast<int32_t>(want.size()));
    EXPECT_TRUE(fileBytes(wma()) == want);
}

// Block size 3 puts a chunk length's high byte into the next block.
INSTANTIATE_TEST_SUITE_P(BlockSizes, DataChunks, ::testing::Values(1, 2, 3, 5, 7, 13, 1600, 100000));

// ---- play request against the server ----------------------------------------------

TEST_F(MmsHttp, PlayRequestSendsTheFourteenHeaderLines)
{
    WM_MEDIA(m, 10);
    ScriptedServer server({mmshPlayScript(*m, 0, 2, StreamEnd::Close)});
    recordOnce(server, broadcastHeader(*m));
    server.waitForClosed(0, 5000);
    EXPECT_EQ(server.received(0),
              wmtest::expectedRequest("mmsh_play_request.txt",
                                      {{"PATH", "/live"}, {"HOST", "127.0.0.1"}, {"GUID", ctx.clientGuid}}));
}

TEST_F(MmsHttp, RecordsAFileThatStatesItsLengthSizeAndPackets)
{
    WM_MEDIA(m, 10);
    const int socketsBefore = wmtest::openSockets();
    {
        ScriptedServer server({mmshPlayScript(*m, 0, m->packets.size(), StreamEnd::Close)});
        recordOnce(server, broadcastHeader(*m));
    }
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_EQ(wmtest::openDescriptorsOf(wma()), 0);
    EXPECT_EQ(wmtest::openSockets(), socketsBefore) << "connection left open";
    expectFinishedFile(*m, wmtest::paddedPackets(*m, 0, m->packets.size()), m->packets.size());
    expectDurationOf(*m, 0, m->packets.size());
}

// 500 s of audio, sent faster than real time: past the 429-s mark.
TEST_F(MmsHttp, LongRecordingStatesItsExactDuration)
{
    WM_MEDIA(m, 500);
    ScriptedServer server({mmshPlayScript(*m, 0, m->packets.size(), StreamEnd::Close)});
    recordOnce(server, broadcastHeader(*m));
    expectFinishedFile(*m, wmtest::paddedPackets(*m, 0, m->packets.size()), m->packets.size());
    expectDurationOf(*m, 0, m->packets.size());
}

TEST_F(MmsHttp, PlayRequestWithoutAnswerClosesTheFile)
{
    ScriptedServer server({{readRequest(), closeNow()}});
    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    ctx.serverPort = server.port();
    netgrab::playRequest(ctx, ("http://127.0.0.1:" + std::to_string(server.port()) + "/live").c_str());
    EXPECT_EQ(shared().lastError, NG_ERR_RECEIVE);
    EXPECT_EQ(ctx.output.file, nullptr);
}

TEST_F(MmsHttp, PlayAddressWithoutHttpIsRefused)
{
    ASSERT_EQ(netgrab::openOutput(ctx, ".wma"), 1);
    netgrab::playRequest(ctx, "ftp://127.0.0.1/live");
    EXPECT_EQ(shared().lastError, NG_ERR_REFUSED);
    EXPECT_EQ(ctx.output.file, nullptr);
}

}  // namespace

// ASF header parsing and fix-up, over header bytes built in the test.
#include "asf_header.h"

#include <gtest/gtest.h>

#include <string>

#include "asf_media.h"

using testsupport::le;
using testsupport::readLe;

namespace {

const std::string kHeaderGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kFilePropGuid("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kStreamPropGuid("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kDataGuid("\x36\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);

struct HeaderSpec
{
    bool fileProperties = true;
    uint32_t averageBytesPerSecond = 8000;
    uint32_t packetSize = 3200;
    uint64_t prerollMs = 3100;
    uint64_t storedPackets = 0;
    uint64_t storedSend100ns = 0;
};

// Header Object (File Properties, Stream Properties) + Data Object header.
std::string buildHeader(const HeaderSpec &spec)
{
    std::string fp;
    if (spec.fileProperties) {
        fp = kFilePropGuid + le(104, 8)
            + std::string(16, '\x11') /*file id*/ + le(0, 8) /*size*/ + le(0, 8) /*created*/ + le(spec.storedPackets, 8)
            + le(0, 8) /*play*/ + le(spec.storedSend100ns, 8) + le(spec.prerollMs, 8)
            + le(1, 4) /*broadcast*/ + le(spec.packetSize, 4) + le(spec.packetSize, 4) + le(64000, 4);
    }
    // Stream Properties: GUID, size, stream type, error correction type,
    // time offset, type-specific length, ec length, flags, reserved, then
    // a WAVEFORMATEX whose nAvgBytesPerSec sits at offset 86.
    std::string wave =
        le(0x161, 2) + le(1, 2) + le(44100, 4) + le(spec.averageBytesPerSecond, 4) + le(371, 2) + le(16, 2) + le(0, 2);
    std::string sp = kStreamPropGuid + le(78 + wave.size(), 8) + std::string(16, '\x22') + std::string(16, '\x33')
        + le(0, 8) + le(wave.size(), 4) + le(0, 4) + le(1, 2) + le(0, 4) + wave;
    std::string body = fp + sp;
    std::string header = kHeaderGuid + le(30 + body.size(), 8) + le(spec.fileProperties ? 2 : 1, 4) + "\x01\x02" + body;
    return header + kDataGuid + le(0, 8) + std::string(16, '\x11') + le(0, 8) + "\x01\x01";
}

size_t fp(const std::string &h)
{
    return h.find(kFilePropGuid);
}
size_t dataAt(const std::string &h)
{
    return h.find(kDataGuid);
}

TEST(AsfHeaderBuilder, PutsTheAverageRateWhereTheFixUpReadsIt)
{
    std::string h = buildHeader({});
    EXPECT_EQ(readLe(h, h.find(kStreamPropGuid) + 86, 4), 8000u);
}

struct FixUpCase
{
    const char *name;
    HeaderSpec spec;
    uint64_t dataBytes;  // file size = header object + dataBytes
    uint32_t packets;
    bool append;
    bool timeline;
    uint64_t recordedMs;
    uint32_t wantPackets;
    uint64_t wantSend100ns;
};

class FixUp : public ::testing::TestWithParam<FixUpCase>
{};

TEST_P(FixUp, StatesSizeCountAndExactDurations)
{
    const FixUpCase &c = GetParam();
    std::string h = buildHeader(c.spec);
    uint32_t headerObject = static_cast<uint32_t>(readLe(h, 16, 8));
    std::string bytes = h;
    netgrab::AsfFinalCounts counts;
    counts.fileSize = headerObject + c.dataBytes;
    counts.packetCount = c.packets;
    counts.appendMode = c.append;
    counts.haveTimeline = c.timeline;
    counts.recordedMs = c.recordedMs;
    netgrab::AsfFixUp r = netgrab::fixUpAsfHeader(reinterpret_cast<unsigned char *>(&bytes[0]), bytes.size(), counts);
    ASSERT_TRUE(r.written);
    size_t p = fp(bytes);
    EXPECT_EQ(readLe(bytes, p + 40, 8), counts.fileSize);
    EXPECT_EQ(readLe(bytes, p + 56, 8), c.wantPackets);
    EXPECT_EQ(readLe(bytes, p + 72, 8), c.wantSend100ns);
    EXPECT_EQ(readLe(bytes, p + 64, 8), c.wantSend100ns + c.spec.prerollMs * 10000);
    EXPECT_EQ(readLe(bytes, p + 88, 4), 2u) << "seekable, not broadcast";
    EXPECT_EQ(readLe(bytes, dataAt(bytes) + 16, 8), c.dataBytes);
    EXPECT_EQ(readLe(bytes, dataAt(bytes) + 40, 8), c.wantPackets);
    // Nothing outside the patched fields moved.
    EXPECT_EQ(bytes.size(), h.size());
    EXPECT_EQ(bytes.substr(0, p + 40), h.substr(0, p + 40));
}

HeaderSpec storedSpec()
{
    HeaderSpec s;
    s.storedPackets = 100;
    s.storedSend100ns = 37100000;  // 3.71 s from an earlier connection
    return s;
}
HeaderSpec rateSpec(uint32_t rate)
{
    HeaderSpec s;
    s.averageBytesPerSecond = rate;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FixUp,
    ::testing::Values(
        FixUpCase{"ten_seconds_from_send_times", {}, 27 * 3200 + 50, 27, false, true, 10030, 27, 100300000},
        // 1000 s: a high duration word of 2 and the exact rest, not 2 x 429 s.
        FixUpCase{"thousand_seconds_from_send_times", {}, 1000, 2700, false, true, 1000000, 2700, 10000000000ull},
        FixUpCase{"thousand_seconds_by_byte_rate", rateSpec(16000), 16000000, 5000, false, false, 0, 5000,
                  10000000000ull},
        FixUpCase{"fraction_of_a_second_by_byte_rate", rateSpec(8000), 12000, 4, false, false, 0, 4, 15000000},
        FixUpCase{"append_adds_stored_count_and_time", storedSpec(), 5000, 10, true, true, 2000, 110, 57100000},
        FixUpCase{"new_file_ignores_stored_values", storedSpec(), 5000, 10, false, true, 2000, 10, 20000000}),
    [](const ::testing::TestParamInfo<FixUpCase> &i) { return std::string(i.param.name); });

TEST(FixUpLimits, WithoutFilePropertiesNothingChanges)
{
    HeaderSpec s;
    s.fileProperties = false;
    std::string bytes = buildHeader(s);
    std::string before = bytes;
    netgrab::AsfFinalCounts counts;
    counts.fileSize = 99999;
    netgrab::AsfFixUp r = netgrab::fixUpAsfHeader(reinterpret_cast<unsigned char *>(&bytes[0]), bytes.size(), counts);
    EXPECT_FALSE(r.foundFileProperties);
    EXPECT_EQ(bytes, before);
}

TEST(FixUpLimits, WithoutAverageRateCountsAreNotWritten)
{
    std::string bytes = buildHeader(rateSpec(0));
    std::string before = bytes;
    netgrab::AsfFinalCounts counts;
    counts.fileSize = 99999;
    counts.packetCount = 5;
    netgrab::AsfFixUp r = netgrab::fixUpAsfHeader(reinterpret_cast<unsigned char *>(&bytes[0]), bytes.size(), counts);
    EXPECT_TRUE(r.foundFileProperties);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(bytes, before);
}

TEST(FixUpLimits, HeaderCutShortOfItsFieldsIsLeftAlone)
{
    // The File Properties Object starts inside the bytes but its fields do not.
    std::string bytes = buildHeader({});
    bytes.resize(fp(bytes) + 60);
    std::string before = bytes;
    netgrab::AsfFinalCounts counts;
    counts.fileSize = 1 << 20;
    netgrab::fixUpAsfHeader(reinterpret_cast<unsigned char *>(&bytes[0]), bytes.size(), counts);
    EXPECT_EQ(bytes, before);
}

struct MinSizeCase
{
    const char *name;
    std::string bytes;
    int32_t want;
};

class MinPacketSize : public ::testing::TestWithParam<MinSizeCase>
{};

TEST_P(MinPacketSize, ReadsTheFirstFilePropertiesObject)
{
    const MinSizeCase &c = GetParam();
    EXPECT_EQ(netgrab::asfMinPacketSize(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size()),
              c.want);
}

std::string headerWithPacketSize(uint32_t size)
{
    HeaderSpec s;
    s.packetSize = size;
    return buildHeader(s);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MinPacketSize,
    ::testing::Values(MinSizeCase{"whole_header", headerWithPacketSize(3200), 3200},
                      MinSizeCase{"after_leading_bytes", "xx$H" + headerWithPacketSize(2973), 2973},
                      MinSizeCase{"field_cut_off", headerWithPacketSize(3200).substr(0, 30 + 95), -1},
                      MinSizeCase{"no_object", std::string(200, '\0'), -1},
                      MinSizeCase{"shorter_than_a_guid", std::string("\xA1\xDC\xAB", 3), -1}),
    [](const ::testing::TestParamInfo<MinSizeCase> &i) { return std::string(i.param.name); });

struct TimingCase
{
    const char *name;
    std::string packet;
    bool ok;
    uint32_t sendMs;
    uint16_t durationMs;
};

class PacketTiming : public ::testing::TestWithParam<TimingCase>
{};

TEST_P(PacketTiming, ReadsSendTimeAndDuration)
{
    const TimingCase &c = GetParam();
    netgrab::AsfPacketTiming t;
    bool ok =
        netgrab::readAsfPacketTiming(reinterpret_cast<const unsigned char *>(c.packet.data()), c.packet.size(), &t);
    ASSERT_EQ(ok, c.ok);
    if (!ok)
        return;
    EXPECT_EQ(t.sendTimeMs, c.sendMs);
    EXPECT_EQ(t.durationMs, c.durationMs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketTiming,
    ::testing::Values(
        // As ffmpeg writes them: padding length as a byte.
        TimingCase{"byte_padding", std::string("\x82\x00\x00\x09\x5d\x53", 6) + le(371, 4) + le(325, 2), true, 371,
                   325},
        // Packet length as a word, sequence as a byte, padding as a word.
        TimingCase{"word_lengths",
                   std::string("\x82\x00\x00\x53\x5d", 5) + le(3200, 2) + "\x07" + le(12, 2) + le(900000, 4)
                       + le(40, 2),
                   true, 900000, 40},
        // No error correction data: the first byte is the length type flags.
        TimingCase{"no_error_correction", std::string("\x01\x5d", 2) + le(5, 4) + le(6, 2), true, 5, 6},
        TimingCase{"cut_short", std::string("\x82\x00\x00\x09\x5d\x53\x01\x02", 8), false, 0, 0},
        TimingCase{"opaque_error_correction", std::string("\x92\x00\x00\x09\x5d\x53", 6) + le(1, 4) + le(1, 2), false,
                   0, 0},
        TimingCase{"empty", std::string(), false, 0, 0}),
    [](const ::testing::TestParamInfo<TimingCase> &i) { return std::string(i.param.name); });

TEST(Timeline, AddsRunsAndLeavesGapsOut)
{
    netgrab::AsfTimeline t;
    EXPECT_TRUE(t.empty());
    for (uint32_t ms = 1000; ms < 11000; ms += 500)
        t.add({ms, 500});  // 1 s .. 11 s
    EXPECT_EQ(t.totalMs(), 10000u);
    // The server starts again from 0 (a new connection's packets).
    for (uint32_t ms = 0; ms < 3000; ms += 500)
        t.add({ms, 500});
    EXPECT_EQ(t.totalMs(), 13000u);
    // A jump of a minute is a gap, not recorded time.
    t.add({63000, 500});
    EXPECT_EQ(t.totalMs(), 13500u);
}

TEST(Timeline, LongRecordingKeepsMilliseconds)
{
    netgrab::AsfTimeline t;
    // 2 hours of 371-ms packets starting at a large broadcast time.
    uint32_t start = 4000000000u - 7200000u - 1000u;
    uint32_t ms = start;
    for (; ms < start + 7200000u; ms += 371)
        t.add({ms, 371});
    EXPECT_EQ(t.totalMs(), static_cast<uint64_t>(ms - start));
}

}  // namespace

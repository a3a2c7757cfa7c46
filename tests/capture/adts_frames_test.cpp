// ADTS framing: which header counts as the first frame start, whole frames
// only, and the way back into step after bytes that are no frame; every
// row fed at once and in small pieces.
#include "adts_frames.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "framed_media.h"

using namespace netgrab;
using namespace testsupport;

namespace {

// Feeds bytes in pieces of piece bytes (0: all at once) and joins the frames.
std::string framed(const std::string &bytes, size_t piece, size_t *frameCount = nullptr)
{
    AdtsFramer framer;
    std::string out;
    size_t count = 0;
    const size_t step = piece ? piece : bytes.size() + 1;
    for (size_t at = 0; at < bytes.size(); at += step) {
        const std::string block = bytes.substr(at, step);
        size_t done = 0;
        while (done < block.size()) {
            done += framer.push(reinterpret_cast<const unsigned char *>(block.data()) + done, block.size() - done);
            const unsigned char *f = nullptr;
            size_t n = 0;
            while (framer.next(&f, &n)) {
                out.append(reinterpret_cast<const char *>(f), n);
                ++count;
            }
        }
    }
    if (frameCount)
        *frameCount = count;
    return out;
}

struct AdtsCase
{
    const char *name;
    std::string bytes;
    std::string expected;
};
void PrintTo(const AdtsCase &c, std::ostream *os)
{
    *os << c.name;
}

class AdtsFraming : public ::testing::TestWithParam<AdtsCase>
{};

TEST_P(AdtsFraming, HandsOutWholeFramesFromTheFirstRealStart)
{
    const AdtsCase &c = GetParam();
    for (size_t piece : {0, 1, 5, 7, 300, 4096}) {
        EXPECT_EQ(framed(c.bytes, piece), c.expected) << "pieces of " << piece;
    }
}

const std::string kRun = adtsFrames(6);
// A header whose length leads into the middle of the next bytes.
const std::string kStray = std::string("\xFF\xF1\x50\x80\x10\x1F\xFC", 7) + "text before the audio";
const std::string kCrcFrame = [] {
    std::string f = adtsFrame(200);
    f[1] = static_cast<char>(0xF0);  // a CRC follows the header
    return f;
}();

const AdtsCase kCases[] = {
    {"from_first_frame", kRun, kRun},
    {"text_before_first_frame", "HTTP junk" + kRun, kRun},
    {"stray_sync_before_first_frame", kStray + kRun, kRun},
    {"sync_bytes_without_valid_fields", std::string("\xFF\xF7\x50\x80\x10\x1F\xFC\xFF\xFF\xFF", 10) + kRun, kRun},
    {"reserved_rate_index_is_no_start", adtsFrame(300, 13) + kRun, kRun},
    {"frame_length_inside_header_is_no_start", adtsFrame(7) + kRun, kRun},
    {"next_header_of_another_stream_is_no_confirmation", adtsFrame(300, 3) + kRun, kRun},
    {"last_frame_cut_short_is_held_back", kRun + adtsFrame(400).substr(0, 150), kRun},
    {"single_frame_cannot_be_confirmed", adtsFrame(371), ""},
    {"garbage_between_frames_resynchronises", adtsFrames(3) + "lost bytes" + adtsFrames(3, 371, 9),
     adtsFrames(3) + adtsFrames(3, 371, 9)},
    {"frames_with_crc", kCrcFrame + kCrcFrame + kCrcFrame, kCrcFrame + kCrcFrame + kCrcFrame},
    {"longest_frame", adtsFrame(8191) + adtsFrame(8191) + adtsFrame(100),
     adtsFrame(8191) + adtsFrame(8191) + adtsFrame(100)},
    {"nothing", "", ""},
    {"no_audio_at_all", std::string(20000, '\xFF'), ""},
};

INSTANTIATE_TEST_SUITE_P(Streams, AdtsFraming, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(AdtsFraming, CountsFramesAndStaysInStep)
{
    size_t count = 0;
    const std::string stream = adtsFrames(40);
    EXPECT_EQ(framed(stream, 1000, &count), stream);
    EXPECT_EQ(count, 40u);
}

struct HeaderCase
{
    const char *name;
    std::string bytes;
    bool valid;
    size_t length;
};
void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.name;
}

class AdtsHeaderRead : public ::testing::TestWithParam<HeaderCase>
{};

TEST_P(AdtsHeaderRead, ReadsFields)
{
    const HeaderCase &c = GetParam();
    const AdtsHeader h = readAdtsHeader(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(h.valid, c.valid);
    if (c.valid) {
        EXPECT_EQ(h.frameLength, c.length);
    }
}

const HeaderCase kHeaders[] = {
    {"plain", adtsFrame(371).substr(0, 7), true, 371},
    {"mpeg2_id",
     [] {
         std::string f = adtsFrame(371).substr(0, 7);
         f[1] = '\xF9';
         return f;
     }(),
     true, 371},
    {"layer_not_zero",
     [] {
         std::string f = adtsFrame(371).substr(0, 7);
         f[1] = '\xF3';
         return f;
     }(),
     false, 0},
    {"short", adtsFrame(371).substr(0, 6), false, 0},
    {"no_sync", "\xFF\xE1\x50\x80\x2E\x7F\xFC", false, 0},
    {"crc_header_needs_nine",
     [] {
         std::string f = adtsFrame(9).substr(0, 7);
         f[1] = '\xF0';
         return f;
     }(),
     false, 0},
};

INSTANTIATE_TEST_SUITE_P(Headers, AdtsHeaderRead, ::testing::ValuesIn(kHeaders),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

// Packed audio: the ID3 tags before each segment's frames are left out,
// however the segment arrives; segment formats by their first bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packed_audio.h"

using namespace netgrab;

namespace {

// An ID3v2.4 tag with a body of `body` bytes (a PRIV timestamp frame would
// be there); footer adds the 10-byte footer the flags announce.
std::string id3Tag(uint32_t body, bool footer = false)
{
    std::string tag = "ID3";
    tag += '\x04';
    tag += '\x00';
    tag += static_cast<char>(footer ? 0x10 : 0x00);
    for (int shift : {21, 14, 7, 0})
        tag += static_cast<char>((body >> shift) & 0x7F);
    tag += std::string(body, '\x01');
    if (footer)
        tag += "3DI" + std::string(7, '\0');
    return tag;
}

const std::string kAdts = std::string("\xFF\xF1\x50\x80\x02\x1F\xFC", 7) + "audio-frame-bytes";

std::string strip(const std::vector<std::string> &segments, size_t piece)
{
    Id3Stripper stripper;
    std::string out;
    for (const std::string &segment : segments) {
        stripper.startSegment();
        for (size_t at = 0; at < segment.size(); at += piece)
            stripper.feed(reinterpret_cast<const uint8_t *>(segment.data()) + at, std::min(piece, segment.size() - at),
                          out);
    }
    return out;
}

}  // namespace

TEST(PackedAudio, LeadingTagsLeftOutInAnyPieces)
{
    const struct
    {
        const char *name;
        std::vector<std::string> segments;
        std::string audio;
    } cases[] = {
        {"one tag a segment", {id3Tag(73) + kAdts, id3Tag(73) + kAdts}, kAdts + kAdts},
        {"two tags", {id3Tag(5) + id3Tag(300) + kAdts}, kAdts},
        {"footer", {id3Tag(20, true) + kAdts}, kAdts},
        {"large tag (size over 127)", {id3Tag(20000) + kAdts}, kAdts},
        {"empty tag", {id3Tag(0) + kAdts}, kAdts},
        {"no tag", {kAdts}, kAdts},
        {"tag inside the audio stays", {id3Tag(5) + kAdts + id3Tag(5) + kAdts}, kAdts + id3Tag(5) + kAdts},
        {"ID almost a tag", {"ID" + kAdts}, "ID" + kAdts},
        {"bad size byte: audio",
         {std::string("ID3\x04\x00\x00\x00\x00\x80\x00", 10) + kAdts},
         std::string("ID3\x04\x00\x00\x00\x00\x80\x00", 10) + kAdts},
        {"tag only", {id3Tag(9)}, ""},
    };
    for (const auto &c : cases) {
        for (size_t piece : {1u, 3u, 10u, 11u, 4096u})
            EXPECT_EQ(strip(c.segments, piece), c.audio) << c.name << " " << piece;
    }
}

TEST(PackedAudio, SegmentFormatByFirstBytes)
{
    std::string ts(376, '\0');
    ts[0] = 0x47;
    ts[188] = 0x47;
    std::string notTs = ts;
    notTs[188] = 0x00;
    const std::string mp3("\xFF\xFB\x90\x64", 4);
    const std::string fmp4 = std::string("\x00\x00\x00\x18", 4) + "ftypiso6";
    const std::string fragment = std::string("\x00\x00\x00\x18", 4) + "moof....";
    const struct
    {
        const char *name;
        std::string bytes;
        SegmentFormat format;
    } cases[] = {
        {"ts", ts, SegmentFormat::TransportStream},     {"no second sync byte", notTs, SegmentFormat::Unknown},
        {"adts", kAdts, SegmentFormat::Adts},           {"mp3", mp3, SegmentFormat::MpegAudio},
        {"id3", id3Tag(3) + kAdts, SegmentFormat::Id3}, {"ftyp", fmp4, SegmentFormat::Mp4},
        {"moof", fragment, SegmentFormat::Mp4},         {"html", "<html>", SegmentFormat::Unknown},
        {"empty", "", SegmentFormat::Unknown},
    };
    for (const auto &c : cases)
        EXPECT_EQ(segmentFormat(reinterpret_cast<const uint8_t *>(c.bytes.data()), c.bytes.size()), c.format) << c.name;
}

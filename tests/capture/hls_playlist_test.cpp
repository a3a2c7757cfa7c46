// The HLS playlist reader: master and media playlists, read whole and in
// pieces, its caps, and the variant a recording follows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hls_playlist.h"

using namespace netgrab;

namespace {

const char kMaster[] = "#EXTM3U\r\n"
                       "#EXT-X-VERSION:3\r\n"
                       "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\r\n"
                       "low/index.m3u8\r\n"
                       "#EXT-X-STREAM-INF:BANDWIDTH=800000,CODECS=\"avc1.42e01e,mp4a.40.2\",RESOLUTION=640x360\r\n"
                       "video/index.m3u8\r\n"
                       "#EXT-X-STREAM-INF:CODECS=\"mp4a.40.2\",BANDWIDTH=128000\r\n"
                       "high/index.m3u8?token=a,b\r\n";

const char kMedia[] =
    "#EXTM3U\n"
    "#EXT-X-TARGETDURATION:6\n"
    "#EXT-X-MEDIA-SEQUENCE:1041\n"
    "# a comment\n"
    "#EXTINF:6.006,Station - Title\n"
    "seg1041.ts\n"
    "\n"
    "#EXT-X-DISCONTINUITY\n"
    "#EXT-X-KEY:METHOD=AES-128,URI=\"https://keys.example/k1\",IV=0x000102030405060708090a0b0c0d0e0f\n"
    "#EXTINF:5.5,\n"
    "seg1042.ts\n"
    "#EXT-X-KEY:METHOD=NONE\n"
    "#EXT-X-MAP:URI=\"init.mp4\"\n"
    "#EXTINF:4,\n"
    "seg1043.m4s\n"
    "#EXT-X-ENDLIST\n";

// Every split into pieces of `size` bytes gives the playlist read whole.
HlsPlaylist readInPieces(const std::string &text, size_t size)
{
    HlsPlaylistReader reader;
    for (size_t at = 0; at < text.size(); at += size)
        reader.feed(text.data() + at, std::min(size, text.size() - at));
    return reader.finish();
}

}  // namespace

TEST(HlsPlaylist, MasterListsVariantsWithBandwidthAndCodecs)
{
    const HlsPlaylist list = readHlsPlaylist(kMaster, sizeof kMaster - 1);
    ASSERT_EQ(list.error, HlsReadError::None);
    EXPECT_TRUE(list.master);
    EXPECT_TRUE(list.hlsTags);
    ASSERT_EQ(list.variants.size(), 3u);
    EXPECT_EQ(list.variants[0].uri, "low/index.m3u8");
    EXPECT_EQ(list.variants[0].bandwidth, 64000);
    EXPECT_TRUE(list.variants[0].audioOnly);
    EXPECT_EQ(list.variants[1].codecs, "avc1.42e01e,mp4a.40.2");
    EXPECT_FALSE(list.variants[1].audioOnly);
    EXPECT_EQ(list.variants[2].uri, "high/index.m3u8?token=a,b");
    EXPECT_EQ(list.variants[2].bandwidth, 128000);
    // The highest audio-only variant, not the video one of more bandwidth.
    EXPECT_EQ(chooseVariant(list.variants), 2);
}

TEST(HlsPlaylist, MediaSegmentsCarryTheirTags)
{
    const HlsPlaylist list = readHlsPlaylist(kMedia, sizeof kMedia - 1);
    ASSERT_EQ(list.error, HlsReadError::None);
    EXPECT_FALSE(list.master);
    EXPECT_EQ(list.targetDurationS, 6);
    EXPECT_EQ(list.mediaSequence, 1041);
    EXPECT_TRUE(list.endList);
    ASSERT_EQ(list.segments.size(), 3u);
    const HlsSegment &a = list.segments[0];
    const HlsSegment &b = list.segments[1];
    const HlsSegment &c = list.segments[2];
    EXPECT_EQ(a.uri, "seg1041.ts");
    EXPECT_EQ(a.sequence, 1041);
    EXPECT_EQ(a.durationMs, 6006);
    EXPECT_FALSE(a.discontinuity);
    EXPECT_EQ(a.keyIndex, -1);
    EXPECT_EQ(b.sequence, 1042);
    EXPECT_EQ(b.durationMs, 5500);
    EXPECT_TRUE(b.discontinuity);
    ASSERT_EQ(b.keyIndex, 0);
    const HlsKey &key = list.keys[0];
    EXPECT_EQ(key.method, HlsKey::Method::Aes128);
    EXPECT_EQ(key.uri, "https://keys.example/k1");
    ASSERT_TRUE(key.hasIv);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(key.iv[i], i);
    EXPECT_EQ(c.keyIndex, -1);  // METHOD=NONE ends the encryption
    EXPECT_EQ(c.durationMs, 4000);
    ASSERT_EQ(c.mapIndex, 0);
    EXPECT_EQ(list.maps[0].uri, "init.mp4");
}

TEST(HlsPlaylist, PiecesOfAnySizeReadAsTheWhole)
{
    for (const std::string &text : {std::string(kMaster), std::string(kMedia)}) {
        const HlsPlaylist whole = readHlsPlaylist(text.data(), text.size());
        for (size_t size : {1u, 2u, 7u, 64u}) {
            const HlsPlaylist pieces = readInPieces(text, size);
            ASSERT_EQ(pieces.error, whole.error) << size;
            ASSERT_EQ(pieces.segments.size(), whole.segments.size()) << size;
            ASSERT_EQ(pieces.variants.size(), whole.variants.size()) << size;
            for (size_t i = 0; i < whole.segments.size(); ++i) {
                EXPECT_EQ(pieces.segments[i].uri, whole.segments[i].uri);
                EXPECT_EQ(pieces.segments[i].durationMs, whole.segments[i].durationMs);
            }
            for (size_t i = 0; i < whole.variants.size(); ++i)
                EXPECT_EQ(pieces.variants[i].uri, whole.variants[i].uri);
        }
    }
}

TEST(HlsPlaylist, RefusesWhatIsNoPlaylistOrPassesItsCaps)
{
    std::string manySegments = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
    for (size_t i = 0; i <= kHlsMaxSegments; ++i)
        manySegments += "#EXTINF:2,\ns" + std::to_string(i) + ".ts\n";
    std::string manyVariants = "#EXTM3U\n";
    for (size_t i = 0; i <= kHlsMaxVariants; ++i)
        manyVariants += "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n";
    std::string tooLarge = "#EXTM3U\n";
    while (tooLarge.size() <= kHlsPlaylistMaxBytes)
        tooLarge += "# padding padding padding padding padding\n";
    const struct
    {
        const char *name;
        std::string text;
        HlsReadError error;
    } cases[] = {
        {"empty", "", HlsReadError::NotPlaylist},
        {"plain text", "hello\n#EXTM3U\n", HlsReadError::NotPlaylist},
        {"header not alone", "#EXTM3U8\n", HlsReadError::NotPlaylist},
        {"byte order mark", "\xEF\xBB\xBF#EXTM3U\n#EXT-X-ENDLIST\n", HlsReadError::None},
        {"header only, no newline", "#EXTM3U", HlsReadError::None},
        {"long line", "#EXTM3U\n" + std::string(kHlsMaxLineBytes + 2, 'a') + "\n", HlsReadError::LineTooLong},
        {"longest line", "#EXTM3U\r\n" + std::string(kHlsMaxLineBytes, 'a') + "\r\n", HlsReadError::None},
        {"segments", manySegments, HlsReadError::TooManySegments},
        {"variants", manyVariants, HlsReadError::TooManyVariants},
        {"size", tooLarge, HlsReadError::TooLarge},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(readHlsPlaylist(c.text.data(), c.text.size()).error, c.error) << c.name;
        EXPECT_EQ(readInPieces(c.text, 1000).error, c.error) << c.name;
    }
}

TEST(HlsPlaylist, AttributeListsAndNumbers)
{
    const struct
    {
        const char *list;
        const char *name;
        bool found;
        const char *value;
    } cases[] = {
        {"BANDWIDTH=1,CODECS=\"a,b\",X=2", "X", true, "2"},
        {"BANDWIDTH=1,CODECS=\"a,b\",X=2", "CODECS", true, "a,b"},
        {"AVERAGE-BANDWIDTH=5,BANDWIDTH=7", "BANDWIDTH", true, "7"},
        {"URI=\"unclosed", "URI", true, "unclosed"},
        {"NOVALUE", "NOVALUE", false, ""},
        {"", "URI", false, ""},
    };
    for (const auto &c : cases) {
        std::string value;
        EXPECT_EQ(hlsAttribute(c.list, c.name, value), c.found) << c.list;
        if (c.found) {
            EXPECT_EQ(value, c.value) << c.list;
        }
    }
    // Numbers: clamped, not wrapped; durations read without the locale.
    const std::string text = "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:99999999999999999999999\n#EXT-X-TARGETDURATION:x\n"
                             "#EXTINF:0.0005,\na\n#EXTINF:-3,\nb\n#EXTINF:10.25\nc\n";
    const HlsPlaylist list = readHlsPlaylist(text.data(), text.size());
    ASSERT_EQ(list.segments.size(), 3u);
    EXPECT_GT(list.mediaSequence, 0);
    EXPECT_EQ(list.targetDurationS, 0);
    EXPECT_EQ(list.segments[0].durationMs, 0);
    EXPECT_EQ(list.segments[1].durationMs, 0);
    EXPECT_EQ(list.segments[2].durationMs, 10250);
}

TEST(HlsPlaylist, VariantChoice)
{
    auto variant = [](int64_t bandwidth, const char *codecs) {
        HlsVariant v;
        v.uri = "v" + std::to_string(bandwidth);
        v.bandwidth = bandwidth;
        if (codecs) {
            v.codecs = codecs;
            v.codecsKnown = true;
            v.audioOnly = codecsAudioOnly(codecs);
        }
        return v;
    };
    const struct
    {
        const char *name;
        std::vector<HlsVariant> variants;
        int chosen;
    } cases[] = {
        {"none", {}, -1},
        {"no codecs: highest of all", {variant(1, nullptr), variant(3, nullptr), variant(2, nullptr)}, 1},
        {"audio beats richer video",
         {variant(9, "avc1.4d401f,mp4a.40.2"), variant(2, "mp4a.40.2"), variant(1, "opus")},
         1},
        {"unknown codecs lose to audio", {variant(9, nullptr), variant(2, "mp4a.40.2")}, 1},
        {"only video: highest of all", {variant(1, "avc1.64001f"), variant(5, "hvc1.1.6.L93.B0")}, 1},
        {"tie: the first", {variant(4, "mp4a.40.2"), variant(4, "ec-3")}, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(chooseVariant(c.variants), c.chosen) << c.name;
    EXPECT_TRUE(codecsAudioOnly("mp4a.40.2, mp4a.40.34"));
    EXPECT_FALSE(codecsAudioOnly(""));
    EXPECT_FALSE(codecsAudioOnly("mp4a.40.2,wvtt"));
}

TEST(HlsPlaylist, LooksLikeHlsOnlyWithHlsTags)
{
    const struct
    {
        const char *body;
        bool hls;
    } cases[] = {
        {"#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\na.ts\n", true},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n", true},
        {"#EXTM3U\n#EXTINF:-1,Radio One\nhttp://radio.example:8000/live\n", false},  // plain M3U
        {"http://radio.example:8000/live\n", false},
        {"<html>#EXTM3U #EXT-X-TARGETDURATION:6</html>", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(looksLikeHls(c.body, std::strlen(c.body)), c.hls) << c.body;
}

#pragma once
// HLS playlists (RFC 8216): the reader of master and media playlists, fed
// in pieces as the answer arrives, and the variant a recording follows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace netgrab {

// Caps on what one playlist may hold. A live radio window lists a few dozen
// segments; a playlist past these caps is refused as a whole.
constexpr size_t kHlsPlaylistMaxBytes = 1024 * 1024;
constexpr size_t kHlsMaxLineBytes = 4096;
constexpr size_t kHlsMaxSegments = 4096;
constexpr size_t kHlsMaxVariants = 64;
// Keys and init segments named by one playlist (each tag that changes them
// adds one).
constexpr size_t kHlsMaxKeys = 256;
constexpr size_t kHlsMaxMaps = 256;

// One EXT-X-STREAM-INF entry of a master playlist.
struct HlsVariant
{
    std::string uri;
    int64_t bandwidth = 0;
    std::string codecs;  // as written, without quotes
    bool codecsKnown = false;
    bool audioOnly = false;  // codecsKnown and every codec an audio codec
};

// An EXT-X-KEY in force for the segments after it.
struct HlsKey
{
    enum class Method { None, Aes128, Other };
    Method method = Method::None;
    std::string methodText;  // as written ("SAMPLE-AES", ...)
    std::string uri;
    bool hasIv = false;
    uint8_t iv[16] = {};
};

// An EXT-X-MAP: the init segment of the fragmented MP4 segments after it.
struct HlsMap
{
    std::string uri;
    bool hasByteRange = false;
};

struct HlsSegment
{
    int64_t sequence = 0;
    int64_t durationMs = 0;
    std::string uri;
    bool discontinuity = false;  // an EXT-X-DISCONTINUITY stands before it
    bool hasByteRange = false;   // EXT-X-BYTERANGE: a part of a resource
    int keyIndex = -1;           // into HlsPlaylist::keys; -1: not encrypted
    int mapIndex = -1;           // into HlsPlaylist::maps; -1: no init segment
};

enum class HlsReadError {
    None,
    NotPlaylist,      // the first line is not #EXTM3U
    TooLarge,         // more than kHlsPlaylistMaxBytes
    LineTooLong,      // a line of more than kHlsMaxLineBytes
    TooManySegments,  // more than kHlsMaxSegments
    TooManyVariants,  // more than kHlsMaxVariants
    TooManyTags,      // more than kHlsMaxKeys keys or kHlsMaxMaps maps
};
const char *hlsReadErrorText(HlsReadError error);

struct HlsPlaylist
{
    HlsReadError error = HlsReadError::None;
    bool master = false;          // holds EXT-X-STREAM-INF entries
    bool hlsTags = false;         // holds a tag only HLS playlists have
    int64_t targetDurationS = 0;  // 0 when not given
    int64_t mediaSequence = 0;
    bool endList = false;
    std::vector<HlsVariant> variants;
    std::vector<HlsSegment> segments;
    std::vector<HlsKey> keys;
    std::vector<HlsMap> maps;
};

// Reads one playlist from the pieces of its body. After an error the rest
// is ignored and finish() reports the error.
class HlsPlaylistReader
{
public:
    void feed(const char *bytes, size_t length);
    HlsPlaylist finish();
    HlsReadError error() const { return list_.error; }

private:
    void line(const char *text, size_t length);
    void fail(HlsReadError error);

    HlsPlaylist list_;
    std::string pending_;  // the line not yet ended
    size_t total_ = 0;
    bool firstLine_ = true;
    bool sawHeader_ = false;
    // State the tags carry to the next URI line.
    bool streamInfPending_ = false;
    HlsVariant variant_;
    int64_t durationMs_ = 0;
    bool discontinuity_ = false;
    bool byteRange_ = false;
    int keyIndex_ = -1;
    int mapIndex_ = -1;
};

// Reads a whole body at once.
HlsPlaylist readHlsPlaylist(const char *bytes, size_t length);

// True when a body starts with "#EXTM3U" and holds an HLS tag (within its
// first length bytes): an M3U answer that is an HLS playlist.
bool looksLikeHls(const char *bytes, size_t length);

// Index of the variant a recording follows: the highest BANDWIDTH among the
// audio-only variants, or among all when none is known to be audio only
// (the first on a tie); -1 when there is none.
int chooseVariant(const std::vector<HlsVariant> &variants);

// Whether every codec of a CODECS list (RFC 6381 names) is an audio codec.
bool codecsAudioOnly(const std::string &codecs);

// The value of one attribute of an attribute list (quotes removed). False
// when it is missing.
bool hlsAttribute(const std::string &list, const char *name, std::string &value);

}  // namespace netgrab

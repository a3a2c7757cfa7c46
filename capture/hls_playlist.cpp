// HLS playlist reader. Lines end in LF or CR LF; a line starting "#EXT" is
// a tag, any other '#' line a comment, a blank line nothing, anything else
// a URI that ends the entry its tags described (RFC 8216 section 4.1).
// Attribute lists are NAME=VALUE pairs split at commas outside quoted
// strings (section 4.2). Numbers are read digit by digit, so the reading
// never depends on the process's locale.
#include "hls_playlist.h"

#include <algorithm>
#include <cstring>

namespace netgrab {

namespace {

constexpr int64_t kNumberLimit = INT64_C(999999999999999999);

bool startsWith(const char *text, size_t length, const char *prefix)
{
    const size_t n = std::strlen(prefix);
    return length >= n && std::memcmp(text, prefix, n) == 0;
}

// A decimal-integer (leading blanks skipped); clamped at kNumberLimit.
bool readInteger(const std::string &text, int64_t &out)
{
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos || text[i] < '0' || text[i] > '9')
        return false;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value > kNumberLimit / 10 ? kNumberLimit : std::min(kNumberLimit, value * 10 + (text[i] - '0'));
    }
    out = value;
    return true;
}

// A decimal-floating-point number of seconds as milliseconds.
int64_t readDurationMs(const std::string &text)
{
    int64_t seconds = 0;
    if (!readInteger(text, seconds))
        return 0;
    if (seconds > kNumberLimit / 1000)
        return kNumberLimit;
    int64_t ms = seconds * 1000;
    const size_t dot = text.find('.');
    const size_t end = text.find_first_not_of(" \t0123456789");
    if (dot != std::string::npos && dot == end) {
        int64_t scale = 100;
        for (size_t i = dot + 1; i < text.size() && text[i] >= '0' && text[i] <= '9' && scale > 0; ++i) {
            ms += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return ms;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A hexadecimal-sequence ("0x" + up to 32 digits) as a 16-byte big-endian
// number. False for anything else.
bool readIv(const std::string &text, uint8_t iv[16])
{
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    const std::string digits = text.substr(2);
    if (digits.size() > 32)
        return false;
    uint8_t out[16] = {};
    for (size_t i = 0; i < digits.size(); ++i) {
        const int d = hexDigit(digits[digits.size() - 1 - i]);
        if (d < 0)
            return false;
        out[15 - i / 2] |= static_cast<uint8_t>(i % 2 ? d << 4 : d);
    }
    std::memcpy(iv, out, 16);
    return true;
}

// Codec names (RFC 6381) of audio: AAC and MP3 in MP4 ("mp4a.*"), AC-3,
// E-AC-3, Opus, FLAC, Vorbis, ALAC.
bool isAudioCodec(const std::string &codec)
{
    static const char *const kAudio[] = {"mp4a", "ac-3", "ec-3", "opus", "flac", "fLaC", "vorbis", "alac", "mp3"};
    const std::string head = codec.substr(0, codec.find('.'));
    for (const char *name : kAudio)
        if (head == name)
            return true;
    return false;
}

std::string trimmed(const std::string &text)
{
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

}  // namespace

const char *hlsReadErrorText(HlsReadError error)
{
    switch (error) {
    case HlsReadError::None:
        return "no error";
    case HlsReadError::NotPlaylist:
        return "not an HLS playlist";
    case HlsReadError::TooLarge:
        return "playlist larger than 1 MiB";
    case HlsReadError::LineTooLong:
        return "playlist line longer than 4096 bytes";
    case HlsReadError::TooManySegments:
        return "playlist lists more than 4096 segments";
    case HlsReadError::TooManyVariants:
        return "playlist lists more than 64 variants";
    case HlsReadError::TooManyTags:
        return "playlist names more than 256 keys or init segments";
    }
    return "?";
}

bool hlsAttribute(const std::string &list, const char *name, std::string &value)
{
    const size_t nameLength = std::strlen(name);
    size_t at = 0;
    while (at < list.size()) {
        const size_t equals = list.find('=', at);
        if (equals == std::string::npos)
            return false;
        const std::string key = trimmed(list.substr(at, equals - at));
        size_t end;
        std::string found;
        size_t valueStart = equals + 1;
        while (valueStart < list.size() && (list[valueStart] == ' ' || list[valueStart] == '\t'))
            ++valueStart;
        if (valueStart < list.size() && list[valueStart] == '"') {
            const size_t close = list.find('"', valueStart + 1);
            if (close == std::string::npos) {
                found = list.substr(valueStart + 1);
                end = list.size();
            } else {
                found = list.substr(valueStart + 1, close - valueStart - 1);
                end = list.find(',', close);
            }
        } else {
            end = list.find(',', valueStart);
            found = trimmed(list.substr(valueStart, end == std::string::npos ? std::string::npos : end - valueStart));
        }
        if (key.size() == nameLength && key == name) {
            value = found;
            return true;
        }
        if (end == std::string::npos)
            return false;
        at = end + 1;
    }
    return false;
}

bool codecsAudioOnly(const std::string &codecs)
{
    bool any = false;
    size_t at = 0;
    while (at <= codecs.size()) {
        size_t comma = codecs.find(',', at);
        if (comma == std::string::npos)
            comma = codecs.size();
        const std::string codec = trimmed(codecs.substr(at, comma - at));
        if (!codec.empty()) {
            if (!isAudioCodec(codec))
                return false;
            any = true;
        }
        at = comma + 1;
    }
    return any;
}

void HlsPlaylistReader::fail(HlsReadError error)
{
    if (list_.error == HlsReadError::None)
        list_.error = error;
    pending_.clear();
    pending_.shrink_to_fit();
}

void HlsPlaylistReader::feed(const char *bytes, size_t length)
{
    if (list_.error != HlsReadError::None)
        return;
    if (length > kHlsPlaylistMaxBytes - total_) {
        fail(HlsReadError::TooLarge);
        return;
    }
    total_ += length;
    size_t at = 0;
    while (at < length && list_.error == HlsReadError::None) {
        const void *found = std::memchr(bytes + at, '\n', length - at);
        const size_t end = found ? static_cast<size_t>(static_cast<const char *>(found) - bytes) : length;
        if (pending_.size() + (end - at) > kHlsMaxLineBytes + 1) {  // + 1: a CR before the LF
            fail(HlsReadError::LineTooLong);
            return;
        }
        pending_.append(bytes + at, end - at);
        if (!found)
            return;
        if (!pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        line(pending_.data(), pending_.size());
        pending_.clear();
        at = end + 1;
    }
}

HlsPlaylist HlsPlaylistReader::finish()
{
    if (list_.error == HlsReadError::None) {
        if (!pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        if (!pending_.empty() || firstLine_)
            line(pending_.data(), pending_.size());
        pending_.clear();
    }
    if (list_.error == HlsReadError::None && !sawHeader_)
        list_.error = HlsReadError::NotPlaylist;
    return std::move(list_);
}

void HlsPlaylistReader::line(const char *text, size_t length)
{
    if (firstLine_) {
        firstLine_ = false;
        if (startsWith(text, length, "\xEF\xBB\xBF")) {  // a byte order mark
            text += 3;
            length -= 3;
        }
        while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
            --length;
        if (length != 7 || std::memcmp(text, "#EXTM3U", 7) != 0) {
            fail(HlsReadError::NotPlaylist);
            return;
        }
        sawHeader_ = true;
        return;
    }
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    if (length == 0)
        return;

    if (text[0] != '#') {  // a URI
        const std::string uri = trimmed(std::string(text, length));
        if (streamInfPending_) {
            streamInfPending_ = false;
            if (list_.variants.size() >= kHlsMaxVariants) {
                fail(HlsReadError::TooManyVariants);
                return;
            }
            variant_.uri = uri;
            list_.variants.push_back(std::move(variant_));
            variant_ = HlsVariant();
            return;
        }
        if (list_.segments.size() >= kHlsMaxSegments) {
            fail(HlsReadError::TooManySegments);
            return;
        }
        HlsSegment segment;
        segment.sequence = list_.mediaSequence + static_cast<int64_t>(list_.segments.size());
        segment.durationMs = durationMs_;
        segment.uri = uri;
        segment.discontinuity = discontinuity_;
        segment.hasByteRange = byteRange_;
        segment.keyIndex = keyIndex_;
        segment.mapIndex = mapIndex_;
        list_.segments.push_back(std::move(segment));
        durationMs_ = 0;
        discontinuity_ = false;
        byteRange_ = false;
        return;
    }
    if (!startsWith(text, length, "#EXT"))
        return;  // a comment

    const std::string tag(text, length);
    const size_t colon = tag.find(':');
    const std::string name = tag.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : tag.substr(colon + 1);

    if (name == "#EXT-X-STREAM-INF") {
        list_.master = true;
        list_.hlsTags = true;
        streamInfPending_ = true;
        variant_ = HlsVariant();
        std::string field;
        if (hlsAttribute(value, "BANDWIDTH", field))
            readInteger(field, variant_.bandwidth);
        if (hlsAttribute(value, "CODECS", field)) {
            variant_.codecs = field;
            variant_.codecsKnown = true;
            variant_.audioOnly = codecsAudioOnly(field);
        }
    } else if (name == "#EXT-X-TARGETDURATION") {
        list_.hlsTags = true;
        readInteger(value, list_.targetDurationS);
    } else if (name == "#EXT-X-MEDIA-SEQUENCE") {
        list_.hlsTags = true;
        // Only before the first segment: the numbers of the listed segments
        // follow from it.
        if (list_.segments.empty())
            readInteger(value, list_.mediaSequence);
    } else if (name == "#EXTINF") {
        durationMs_ = readDurationMs(value);
    } else if (name == "#EXT-X-ENDLIST") {
        list_.hlsTags = true;
        list_.endList = true;
    } else if (name == "#EXT-X-DISCONTINUITY") {
        list_.hlsTags = true;
        discontinuity_ = true;
    } else if (name == "#EXT-X-BYTERANGE") {
        list_.hlsTags = true;
        byteRange_ = true;
    } else if (name == "#EXT-X-MAP") {
        list_.hlsTags = true;
        if (list_.maps.size() >= kHlsMaxMaps) {
            fail(HlsReadError::TooManyTags);
            return;
        }
        HlsMap map;
        hlsAttribute(value, "URI", map.uri);
        std::string range;
        map.hasByteRange = hlsAttribute(value, "BYTERANGE", range);
        list_.maps.push_back(std::move(map));
        mapIndex_ = static_cast<int>(list_.maps.size()) - 1;
    } else if (name == "#EXT-X-KEY") {
        list_.hlsTags = true;
        HlsKey key;
        hlsAttribute(value, "METHOD", key.methodText);
        if (key.methodText == "NONE") {
            keyIndex_ = -1;
            return;
        }
        if (list_.keys.size() >= kHlsMaxKeys) {
            fail(HlsReadError::TooManyTags);
            return;
        }
        key.method = key.methodText == "AES-128" ? HlsKey::Method::Aes128 : HlsKey::Method::Other;
        hlsAttribute(value, "URI", key.uri);
        std::string iv;
        if (hlsAttribute(value, "IV", iv))
            key.hasIv = readIv(iv, key.iv);
        list_.keys.push_back(std::move(key));
        keyIndex_ = static_cast<int>(list_.keys.size()) - 1;
    } else if (startsWith(text, length, "#EXT-X-")) {
        list_.hlsTags = true;  // another HLS tag (VERSION, PROGRAM-DATE-TIME, ...)
    }
}

HlsPlaylist readHlsPlaylist(const char *bytes, size_t length)
{
    HlsPlaylistReader reader;
    reader.feed(bytes, length);
    return reader.finish();
}

bool looksLikeHls(const char *bytes, size_t length)
{
    HlsPlaylistReader reader;
    reader.feed(bytes, length < kHlsPlaylistMaxBytes ? length : kHlsPlaylistMaxBytes);
    const HlsPlaylist list = reader.finish();
    // A body cut short may end in an over-long or unfinished line; what was
    // read before it still tells.
    return (list.error == HlsReadError::None || list.error == HlsReadError::LineTooLong
            || list.error == HlsReadError::TooManySegments)
        && list.hlsTags;
}

int chooseVariant(const std::vector<HlsVariant> &variants)
{
    bool anyAudioOnly = false;
    for (const HlsVariant &v : variants)
        anyAudioOnly = anyAudioOnly || v.audioOnly;
    int best = -1;
    for (size_t i = 0; i < variants.size(); ++i) {
        const HlsVariant &v = variants[i];
        if (anyAudioOnly && !v.audioOnly)
            continue;
        if (v.uri.empty())
            continue;
        if (best < 0 || v.bandwidth > variants[static_cast<size_t>(best)].bandwidth)
            best = static_cast<int>(i);
    }
    return best;
}

}  // namespace netgrab

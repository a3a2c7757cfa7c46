// The HLS route (RFC 8216): master playlist -> variant -> media playlist,
// read again at the target duration (half of it when it did not change,
// section 6.3.4); each new segment fetched once and appended: MPEG-TS as it
// is, packed audio without its ID3 tags, fragmented MP4 after its init
// segment (a new init segment starts a new file "NAME-n.ext"). AES-128
// segments are decrypted; other methods are refused.
#include "hls_route.h"

#include <cstdio>
#include <cstring>

#include "address_resolve.h"
#include "capture_loop.h"
#include "capture_state.h"
#include "hls_decrypt.h"
#include "hls_fetch.h"
#include "hls_playlist.h"
#include "http_text.h"
#include "netgrab.h"
#include "output_file.h"
#include "packed_audio.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

constexpr size_t kAddressMax = 2048;

bool resolve(const std::string &base, const std::string &reference, std::string &out)
{
    char buffer[kAddressMax];
    if (!resolveAddress(base.c_str(), reference.c_str(), buffer, sizeof buffer)) {
        traceFormat("hls: unusable address %.200s", reference.c_str());
        return false;
    }
    out = buffer;
    return true;
}

int errorOfFetch(FetchEnd end)
{
    switch (end) {
    case FetchEnd::Stopped:
        return NG_ERR_STOPPED;
    case FetchEnd::HttpError:
    case FetchEnd::TooLarge:
    case FetchEnd::Refused:
        return NG_ERR_REFUSED;
    case FetchEnd::Untrusted:
        return NG_ERR_UNTRUSTED;
    default:
        return NG_ERR_RECEIVE;
    }
}

void fetchFailed(const char *what, const std::string &address, FetchEnd end, const FetchInfo &info)
{
    shared().lastError = errorOfFetch(end);
    if (end == FetchEnd::Stopped)
        return;
    if (end == FetchEnd::HttpError)
        traceFormat("hls: %s %.200s answered %d", what, address.c_str(), info.status);
    else
        traceFormat("hls: %s %.200s: %s", what, address.c_str(), fetchEndText(end));
}

// Reads the playlist at address into list; address becomes the address
// that answered. False (lastError set) when it could not be read.
bool readPlaylist(CaptureState &s, std::string &address, HlsPlaylist &list)
{
    HlsPlaylistReader reader;
    FetchInfo info;
    const FetchEnd end = hlsGet(
        s, address, steadyNowMs() + kHlsPlaylistFetchMs, kHlsPlaylistMaxBytes + 1,
        [&](const uint8_t *bytes, size_t length) {
            reader.feed(reinterpret_cast<const char *>(bytes), length);
            return reader.error() == HlsReadError::None;
        },
        info);
    if (end != FetchEnd::Done && !(end == FetchEnd::Refused || end == FetchEnd::TooLarge)) {
        fetchFailed("playlist", address, end, info);
        return false;
    }
    list = reader.finish();
    if (list.error == HlsReadError::None && end == FetchEnd::TooLarge)
        list.error = HlsReadError::TooLarge;
    if (list.error != HlsReadError::None) {
        traceFormat("hls: playlist %.200s: %s", address.c_str(), hlsReadErrorText(list.error));
        shared().lastError = NG_ERR_REFUSED;
        return false;
    }
    address = info.finalAddress;
    return true;
}

// Whether an init segment describes a video track: a handler box ("hdlr",
// ISO/IEC 14496-12 section 8.4.3) of type "vide".
bool initHasVideo(const std::string &init)
{
    for (size_t at = init.find("hdlr"); at != std::string::npos; at = init.find("hdlr", at + 4))
        if (at + 16 <= init.size() && init.compare(at + 12, 4, "vide") == 0)
            return true;
    return false;
}

// One segment's way into the file. The segment is held until it has
// arrived whole, so that a stop or a failure in the middle of it leaves the
// file ending with a whole segment.
class SegmentWriter
{
public:
    SegmentWriter(CaptureState &s, HlsProgress &p, bool fragmented) : s_(s), p_(p), fragmented_(fragmented)
    {
        stripper_.startSegment();
        // A new file begins with the init segment.
        if (fragmented_ && !s_.output.file)
            held_ = p_.initBytes;
    }

    // Plain bytes of the segment; false when it grows past the cap.
    bool add(const uint8_t *bytes, size_t length)
    {
        if (held_.size() + length > kHlsSegmentMaxBytes)
            return false;
        if (fragmented_ || p_.extension == ".ts")
            held_.append(reinterpret_cast<const char *>(bytes), length);
        else
            stripper_.feed(bytes, length, held_);  // packed audio, or not known yet
        return true;
    }
    // The segment has arrived whole: into the file with it.
    bool end()
    {
        if (held_.empty())
            return true;
        if (!s_.output.file && !open())
            return false;
        if (!writeOutput(s_, held_.data(), static_cast<int>(held_.size()))) {
            shared().lastError = NG_ERR_FILE_OPEN;
            return false;
        }
        shared().recordedBytes.fetch_add(static_cast<int32_t>(held_.size()), std::memory_order_relaxed);
        held_.clear();
        return true;
    }

private:
    bool open()
    {
        if (p_.extension.empty()) {
            const auto *b = reinterpret_cast<const uint8_t *>(held_.data());
            // Packed audio is here without its tags already.
            switch (fragmented_ ? SegmentFormat::Mp4 : segmentFormat(b, held_.size())) {
            case SegmentFormat::TransportStream:
                p_.extension = ".ts";
                break;
            case SegmentFormat::Adts:
                p_.extension = ".aac";
                break;
            case SegmentFormat::MpegAudio:
                p_.extension = ".mp3";
                break;
            case SegmentFormat::Mp4:
                p_.extension = initHasVideo(p_.initBytes) ? ".mp4" : ".m4a";
                break;
            default:
                traceFormat("hls: segment is neither MPEG-TS, packed audio nor fragmented MP4");
                shared().lastError = NG_ERR_REFUSED;
                return false;
            }
        }
        return openOutputVariant(s_, p_.extension.c_str(), p_.fileVariant) != 0;
    }

    CaptureState &s_;
    HlsProgress &p_;
    bool fragmented_;
    Id3Stripper stripper_;
    std::string held_;
};

enum class SegmentEnd { Taken, Stopped, Failed, Refused };

// A small resource (a key, an init segment) whole into bytes, within the
// playlist fetch's time; false (lastError set, the fault traced) otherwise.
bool fetchWhole(CaptureState &s, const char *what, const std::string &address, uint64_t maxBytes, std::string &bytes)
{
    FetchInfo info;
    const FetchEnd end = hlsGet(
        s, address, steadyNowMs() + kHlsPlaylistFetchMs, maxBytes,
        [&](const uint8_t *b, size_t n) {
            bytes.append(reinterpret_cast<const char *>(b), n);
            return true;
        },
        info);
    if (end == FetchEnd::Done)
        return true;
    fetchFailed(what, address, end, info);
    return false;
}

// The key of an AES-128 segment into p.key (fetched once per key address).
bool loadKey(CaptureState &s, HlsProgress &p, const std::string &address)
{
    if (p.keyAddress == address)
        return true;
    std::string bytes;
    if (!fetchWhole(s, "key", address, 16, bytes))
        return false;
    if (bytes.size() != 16) {
        traceFormat("hls: key %.200s holds %zu bytes, not 16", address.c_str(), bytes.size());
        shared().lastError = NG_ERR_REFUSED;
        return false;
    }
    std::memcpy(p.key, bytes.data(), 16);
    p.keyAddress = address;
    return true;
}

// The init segment of a fragmented segment: fetched when its address
// changes; one that differs from the current file's starts the next file.
bool loadInit(CaptureState &s, HlsProgress &p, const std::string &address)
{
    if (p.initAddress == address && !p.initBytes.empty())
        return true;
    std::string bytes;
    if (!fetchWhole(s, "init segment", address, kHlsInitMaxBytes, bytes))
        return false;
    p.initAddress = address;
    if (bytes == p.initBytes)
        return true;
    if (!p.initBytes.empty()) {
        // Another init segment: the fragments after it belong to a file of their own.
        closeOutput(s.output);
        p.fileVariant = p.fileVariant == 0 ? 2 : p.fileVariant + 1;
        p.extension.clear();
        traceFormat("hls: new init segment, next file %d", p.fileVariant);
    }
    p.initBytes = bytes;
    return true;
}

SegmentEnd recordSegment(CaptureState &s, HlsProgress &p, const HlsPlaylist &list, const HlsSegment &segment,
                         const std::string &base)
{
    if (segment.keyIndex >= 0) {
        const HlsKey &key = list.keys[static_cast<size_t>(segment.keyIndex)];
        if (key.method != HlsKey::Method::Aes128) {
            if (!p.refusalShown) {
                std::printf("cannot record encrypted stream: %.64s\n", key.methodText.c_str());
                std::fflush(stdout);
                p.refusalShown = true;
            }
            traceFormat("cannot record encrypted stream: %.64s", key.methodText.c_str());
            shared().lastError = NG_ERR_REFUSED;
            return SegmentEnd::Refused;
        }
        std::string keyAddress;
        if (!resolve(base, key.uri, keyAddress)) {
            shared().lastError = NG_ERR_REFUSED;
            return SegmentEnd::Failed;
        }
        if (!loadKey(s, p, keyAddress))
            return s.stop.pending() ? SegmentEnd::Stopped : SegmentEnd::Failed;
    }
    if (segment.hasByteRange
        || (segment.mapIndex >= 0 && list.maps[static_cast<size_t>(segment.mapIndex)].hasByteRange)) {
        traceFormat("hls: segments given as byte ranges are not recorded");
        shared().lastError = NG_ERR_REFUSED;
        return SegmentEnd::Refused;
    }
    const bool fragmented = segment.mapIndex >= 0;
    if (fragmented) {
        std::string initAddress;
        if (!resolve(base, list.maps[static_cast<size_t>(segment.mapIndex)].uri, initAddress)) {
            shared().lastError = NG_ERR_REFUSED;
            return SegmentEnd::Failed;
        }
        if (!loadInit(s, p, initAddress))
            return s.stop.pending() ? SegmentEnd::Stopped : SegmentEnd::Failed;
    }
    std::string address;
    if (!resolve(base, segment.uri, address)) {
        shared().lastError = NG_ERR_REFUSED;
        return SegmentEnd::Failed;
    }

    SegmentWriter writer(s, p, fragmented);
    SegmentDecryptor decryptor;
    const bool encrypted = segment.keyIndex >= 0;
    if (encrypted) {
        const HlsKey &key = list.keys[static_cast<size_t>(segment.keyIndex)];
        uint8_t iv[16];
        if (key.hasIv)
            std::memcpy(iv, key.iv, 16);
        else
            ivFromSequence(segment.sequence, iv);
        if (!decryptor.begin(p.key, iv)) {
            shared().lastError = NG_ERR_INTERNAL;
            return SegmentEnd::Failed;
        }
    }
    std::string plain;
    bool cipherFault = false;
    bool tooLarge = false;
    const int64_t target = list.targetDurationS > 3600 ? 3600 : list.targetDurationS;
    const int64_t limit = target * 3000 > kHlsSegmentFetchMinMs ? target * 3000 : kHlsSegmentFetchMinMs;
    FetchInfo info;
    const FetchEnd end = hlsGet(
        s, address, steadyNowMs() + limit, kHlsSegmentMaxBytes,
        [&](const uint8_t *bytes, size_t length) {
            if (!encrypted) {
                tooLarge = !writer.add(bytes, length);
                return !tooLarge;
            }
            plain.clear();
            if (!decryptor.update(bytes, length, plain)) {
                cipherFault = true;
                return false;
            }
            tooLarge = !writer.add(reinterpret_cast<const uint8_t *>(plain.data()), plain.size());
            return !tooLarge;
        },
        info);
    if (end == FetchEnd::Done && encrypted) {
        plain.clear();
        if (!decryptor.finish(plain)) {
            cipherFault = true;
        } else {
            tooLarge = !writer.add(reinterpret_cast<const uint8_t *>(plain.data()), plain.size());
        }
    }
    if (cipherFault) {
        traceFormat("hls: segment %lld does not decrypt", static_cast<long long>(segment.sequence));
        shared().lastError = NG_ERR_REFUSED;
        return SegmentEnd::Failed;
    }
    if (tooLarge || end == FetchEnd::TooLarge) {
        traceFormat("hls: segment %lld larger than %llu bytes", static_cast<long long>(segment.sequence),
                    static_cast<unsigned long long>(kHlsSegmentMaxBytes));
        shared().lastError = NG_ERR_REFUSED;
        return SegmentEnd::Failed;
    }
    if (end != FetchEnd::Done) {
        fetchFailed("segment", address, end, info);
        return end == FetchEnd::Stopped ? SegmentEnd::Stopped : SegmentEnd::Failed;
    }
    return writer.end() ? SegmentEnd::Taken : SegmentEnd::Failed;
}

}  // namespace

bool isHlsAddress(const char *address)
{
    const char *query = address + std::strcspn(address, "?#");
    const size_t length = static_cast<size_t>(query - address);
    return length >= 5 && std::memcmp(query - 5, ".m3u8", 5) == 0;
}

bool isHlsAnswer(const char *answer)
{
    const char *end = std::strstr(answer, "\r\n\r\n");
    if (!end)
        return false;
    const std::string header(answer, static_cast<size_t>(end - answer));
    const char *type = findNoCase(header.c_str(), "\nContent-Type:");
    if (!type)
        return false;
    type = skipBlanks(type + std::strlen("\nContent-Type:"));
    static const char *const kTypes[] = {"application/vnd.apple.mpegurl", "application/x-mpegurl", "audio/mpegurl"};
    bool typed = false;
    for (const char *name : kTypes)
        typed = typed || startsWithNoCase(type, name);
    const char *body = end + 4;
    return typed && looksLikeHls(body, std::strlen(body));
}

RouteResult captureHls(CaptureState &s, const char *address)
{
    HlsProgress &p = s.hls;
    std::string playlistAddress = address;
    HlsPlaylist list;
    int64_t readAt = steadyNowMs();
    if (!readPlaylist(s, playlistAddress, list))
        return RouteResult::Failed;
    if (list.master) {
        const int chosen = chooseVariant(list.variants);
        if (chosen < 0) {
            traceFormat("hls: master playlist names no variant");
            shared().lastError = NG_ERR_REFUSED;
            return RouteResult::Failed;
        }
        const HlsVariant &variant = list.variants[static_cast<size_t>(chosen)];
        std::string mediaAddress;
        if (!resolve(playlistAddress, variant.uri, mediaAddress)) {
            shared().lastError = NG_ERR_REFUSED;
            return RouteResult::Failed;
        }
        traceFormat("hls: variant %.200s (%lld bit/s)", mediaAddress.c_str(),
                    static_cast<long long>(variant.bandwidth));
        playlistAddress = mediaAddress;
        readAt = steadyNowMs();
        if (!readPlaylist(s, playlistAddress, list))
            return RouteResult::Failed;
    }
    int64_t changedAt = readAt;
    for (;;) {
        if (list.master) {
            traceFormat("hls: variant %.200s is a master playlist", playlistAddress.c_str());
            shared().lastError = NG_ERR_REFUSED;
            return RouteResult::Failed;
        }
        const HlsPlan plan = p.sequencer.plan(list);
        if (plan.restarted)
            traceFormat("hls: the playlist numbers its segments anew");
        if (plan.gapFirst >= 0)
            traceFormat("hls: segments %lld to %lld left the playlist before they were fetched",
                        static_cast<long long>(plan.gapFirst), static_cast<long long>(plan.gapLast));
        if (plan.changed)
            changedAt = readAt;
        for (size_t index : plan.take) {
            const HlsSegment &segment = list.segments[index];
            const SegmentEnd end = recordSegment(s, p, list, segment, playlistAddress);
            if (end == SegmentEnd::Stopped || s.stop.pending()) {
                shared().lastError = NG_ERR_STOPPED;
                return RouteResult::Done;
            }
            if (end == SegmentEnd::Refused)
                return RouteResult::Failed;
            // A failed segment is passed over too: none is fetched twice.
            p.sequencer.taken(segment.sequence);
            if (end == SegmentEnd::Failed)
                return RouteResult::Failed;
        }
        if (list.endList) {
            traceFormat("hls: the playlist has ended");
            shared().lastError = NG_ERR_RECEIVE;
            return RouteResult::Done;
        }
        const int64_t now = steadyNowMs();
        if (now - changedAt > HlsSequencer::stallLimitMs(list)) {
            traceFormat("hls: playlist unchanged for %lld s", static_cast<long long>((now - changedAt) / 1000));
            shared().lastError = NG_ERR_RECEIVE;
            return RouteResult::Failed;
        }
        const int64_t wait = readAt + HlsSequencer::reloadDelayMs(list, plan.changed) - now;
        if (s.stop.wait(static_cast<int>(wait > 0 ? wait : 0))) {
            shared().lastError = NG_ERR_STOPPED;
            return RouteResult::Done;
        }
        readAt = steadyNowMs();
        if (!readPlaylist(s, playlistAddress, list))
            return RouteResult::Failed;
    }
}

}  // namespace netgrab

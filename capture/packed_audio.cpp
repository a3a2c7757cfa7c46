// ID3v2 tags before packed audio, and the format of a segment's first bytes.
#include "packed_audio.h"

#include <cstring>

namespace netgrab {

uint64_t id3TagSize(const uint8_t h[10])
{
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF)
        return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80)
        return 0;
    const uint64_t body = (uint64_t{h[6]} << 21) | (uint64_t{h[7]} << 14) | (uint64_t{h[8]} << 7) | h[9];
    const bool footer = (h[5] & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

void Id3Stripper::startSegment()
{
    state_ = State::Header;
    have_ = 0;
    skip_ = 0;
}

void Id3Stripper::feed(const uint8_t *bytes, size_t length, std::string &out)
{
    static const uint8_t kMagic[3] = {'I', 'D', '3'};
    size_t at = 0;
    while (at < length) {
        switch (state_) {
        case State::Pass:
            out.append(reinterpret_cast<const char *>(bytes + at), length - at);
            return;
        case State::Skip: {
            const uint64_t n = skip_ < length - at ? skip_ : length - at;
            skip_ -= n;
            at += static_cast<size_t>(n);
            if (skip_ == 0)
                state_ = State::Header;  // another tag may follow
            break;
        }
        case State::Header: {
            header_[have_++] = bytes[at++];
            // Anything that stops looking like "ID3" is audio, the bytes
            // held included.
            if (have_ <= 3 && header_[have_ - 1] != kMagic[have_ - 1]) {
                out.append(reinterpret_cast<const char *>(header_), have_);
                have_ = 0;
                state_ = State::Pass;
                break;
            }
            if (have_ < 10)
                break;
            const uint64_t size = id3TagSize(header_);
            if (size == 0) {
                out.append(reinterpret_cast<const char *>(header_), have_);
                state_ = State::Pass;
            } else {
                skip_ = size - 10;
                state_ = skip_ ? State::Skip : State::Header;
            }
            have_ = 0;
            break;
        }
        }
    }
}

SegmentFormat segmentFormat(const uint8_t *b, size_t n)
{
    if (n >= 3 && b[0] == 'I' && b[1] == 'D' && b[2] == '3')
        return SegmentFormat::Id3;
    if (n >= 1 && b[0] == 0x47 && (n < 189 || b[188] == 0x47))
        return SegmentFormat::TransportStream;
    if (n >= 2 && b[0] == 0xFF && (b[1] & 0xF6) == 0xF0)
        return SegmentFormat::Adts;
    if (n >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0)
        return SegmentFormat::MpegAudio;
    if (n >= 8) {
        static const char *const kBoxes[] = {"ftyp", "styp", "moof", "sidx", "moov", "emsg", "free"};
        for (const char *box : kBoxes)
            if (std::memcmp(b + 4, box, 4) == 0)
                return SegmentFormat::Mp4;
    }
    return SegmentFormat::Unknown;
}

}  // namespace netgrab

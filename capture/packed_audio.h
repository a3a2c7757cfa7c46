#pragma once
// Packed audio segments (RFC 8216 section 3.4): ADTS AAC or MP3 frames, each
// segment led by an ID3v2 tag that carries its timestamp. The stripper
// passes the audio on and leaves out the ID3 tags at the start of each
// segment, so that the segments join into one elementary stream.

#include <cstddef>
#include <cstdint>
#include <string>

namespace netgrab {

class Id3Stripper
{
public:
    // A new segment begins: its leading tags (one or more) are left out.
    void startSegment();
    // Appends to out what of these bytes of the segment is audio.
    void feed(const uint8_t *bytes, size_t length, std::string &out);

private:
    enum class State { Header, Skip, Pass };
    State state_ = State::Header;
    uint8_t header_[10] = {};
    size_t have_ = 0;    // bytes of header_ held
    uint64_t skip_ = 0;  // tag bytes still to leave out
};

// Size of the ID3v2 tag whose 10-byte header this is (header and footer
// included), or 0 when it is none (ID3v2.4 section 3.1: "ID3", two version
// bytes below 0xFF, flags, four size bytes below 0x80).
uint64_t id3TagSize(const uint8_t header[10]);

// The format of a segment by its first bytes: MPEG-TS (sync byte 0x47),
// ADTS AAC (12 set bits, layer 0), MPEG audio (11 set bits, another layer),
// ISO BMFF (a box type at offset 4), a leading ID3 tag (packed audio whose
// frames follow the tag). The output file takes the extension.
enum class SegmentFormat { Unknown, TransportStream, Adts, MpegAudio, Mp4, Id3 };
SegmentFormat segmentFormat(const uint8_t *bytes, size_t length);

}  // namespace netgrab

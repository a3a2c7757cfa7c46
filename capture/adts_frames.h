#pragma once
// ADTS framing of AAC streams (ISO/IEC 14496-3, 1.A.2.2: the Audio Data
// Transport Stream header): finds the first real frame start of a stream
// and hands back whole frames only, so a recording never ends in half a
// frame and a later attempt appends from a frame start.

#include <cstddef>
#include <cstdint>

namespace netgrab {

// What one 7-byte header at a position says.
struct AdtsHeader
{
    bool valid = false;
    size_t frameLength = 0;  // header included
};
// Reads the header at bytes[0, 7): the 12-bit sync, layer 0, a sampling
// frequency index that names a rate (0..12) and a frame length longer than
// the header (7 bytes, 9 with a CRC). Fewer than 7 bytes: not valid.
AdtsHeader readAdtsHeader(const unsigned char *bytes, size_t length);

// Splits a stream fed in blocks into whole ADTS frames. The first frame
// is a header whose frame length leads to a second header of the same
// stream (same fixed header fields), so a stray 0xFFF in the bytes before
// the audio is not taken. Once in step, each frame follows the last; a
// position that holds no header of the stream puts the framer out of step
// and the search for a confirmed start begins again.
class AdtsFramer
{
public:
    // The longest frame (13-bit length) and the header behind it fit.
    static constexpr size_t kCapacity = 16384;

    // Copies up to length bytes in; returns how many were taken (fewer
    // only while the buffer is full: take the frames out with next()).
    size_t push(const unsigned char *bytes, size_t length);
    // The next whole frame: true with its bytes (valid until the next call
    // of push or next), false when more bytes are needed.
    bool next(const unsigned char **frame, size_t *length);
    bool inStep() const { return inStep_; }

private:
    void compact();
    bool sameStream(const unsigned char *header) const;

    unsigned char buffer_[kCapacity];
    size_t start_ = 0;
    size_t fill_ = 0;
    bool inStep_ = false;
    unsigned char fixed_[4] = {0, 0, 0, 0};  // the stream's fixed header bits
};

}  // namespace netgrab

#pragma once
// Metadata blocks that an ICY server interleaves with the audio when its
// answer declares "icy-metaint: N": after every N audio bytes, one length
// byte L and L x 16 bytes of metadata text. The filter keeps the audio.

#include <cstddef>

namespace netgrab {

class IcyMetadataFilter
{
public:
    // interval 0 (no metadata declared) passes every byte.
    void start(size_t interval);
    bool active() const { return interval_ > 0; }
    // Removes the metadata from bytes[0, length) in place; returns the audio
    // bytes left at the start of bytes.
    size_t filter(unsigned char *bytes, size_t length);

private:
    size_t interval_ = 0;
    size_t audioLeft_ = 0;  // audio bytes before the next length byte
    size_t metaLeft_ = 0;   // metadata bytes still to drop
};

// The "icy-metaint" value of the header block answer[0, headerEnd): a
// decimal count of 1 to kMaxIcyInterval, else 0 (none, or not usable).
constexpr size_t kMaxIcyInterval = 1u << 24;
size_t icyMetaInterval(const char *answer, size_t headerEnd);

}  // namespace netgrab

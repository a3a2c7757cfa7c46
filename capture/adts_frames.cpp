// ADTS frame starts and whole frames. Header layout (ISO/IEC 14496-3,
// table 1.A.5 and 1.A.6), bit by bit from the first byte:
//   syncword 12 | ID 1 | layer 2 | protection_absent 1 | profile 2 |
//   sampling_frequency_index 4 | private 1 | channel_configuration 3 |
//   original_copy 1 | home 1 |      (the fixed header: 28 bits)
//   copyright_id_bit 1 | copyright_id_start 1 | frame_length 13 |
//   buffer_fullness 11 | number_of_raw_data_blocks 2
#include "adts_frames.h"

#include <cstring>

namespace netgrab {

namespace {

constexpr size_t kHeaderSize = 7;
constexpr size_t kHeaderWithCrcSize = 9;
constexpr unsigned kHighestRateIndex = 12;  // 13 and 14 are reserved, 15 is not allowed here

}  // namespace

AdtsHeader readAdtsHeader(const unsigned char *bytes, size_t length)
{
    AdtsHeader h;
    if (!bytes || length < kHeaderSize)
        return h;
    // Sync (four more set bits), ID either way, layer 00, protection either way.
    if (bytes[0] != 0xFF || (bytes[1] & 0xF6) != 0xF0)
        return h;
    const unsigned rateIndex = (bytes[2] >> 2) & 0x0F;
    if (rateIndex > kHighestRateIndex)
        return h;
    const size_t headerSize = (bytes[1] & 0x01) ? kHeaderSize : kHeaderWithCrcSize;
    const size_t frameLength = (static_cast<size_t>(bytes[3] & 0x03) << 11) | (static_cast<size_t>(bytes[4]) << 3)
        | (static_cast<size_t>(bytes[5]) >> 5);
    if (frameLength <= headerSize)
        return h;
    h.valid = true;
    h.frameLength = frameLength;
    return h;
}

size_t AdtsFramer::push(const unsigned char *bytes, size_t length)
{
    compact();
    const size_t room = kCapacity - fill_;
    const size_t taken = length < room ? length : room;
    if (taken > 0)
        std::memcpy(buffer_ + fill_, bytes, taken);
    fill_ += taken;
    return taken;
}

void AdtsFramer::compact()
{
    if (start_ == 0)
        return;
    std::memmove(buffer_, buffer_ + start_, fill_ - start_);
    fill_ -= start_;
    start_ = 0;
}

bool AdtsFramer::sameStream(const unsigned char *header) const
{
    return header[1] == fixed_[1] && header[2] == fixed_[2] && (header[3] & 0xF0) == (fixed_[3] & 0xF0);
}

bool AdtsFramer::next(const unsigned char **frame, size_t *length)
{
    compact();
    for (;;) {
        const unsigned char *at = buffer_ + start_;
        const size_t available = fill_ - start_;
        if (inStep_) {
            if (available < kHeaderSize)
                return false;
            const AdtsHeader h = readAdtsHeader(at, available);
            if (!h.valid || !sameStream(at)) {
                inStep_ = false;  // look for a confirmed start again
                continue;
            }
            if (available < h.frameLength)
                return false;
            *frame = at;
            *length = h.frameLength;
            start_ += h.frameLength;
            return true;
        }
        for (size_t i = 0; i + kHeaderSize <= available; ++i) {
            const AdtsHeader h = readAdtsHeader(at + i, available - i);
            if (!h.valid)
                continue;
            if (i + h.frameLength + kHeaderSize > available) {
                // The frame and the header after it are not all here yet:
                // wait for them from this position on.
                start_ += i;
                return false;
            }
            const unsigned char *second = at + i + h.frameLength;
            std::memcpy(fixed_, at + i, sizeof fixed_);
            if (readAdtsHeader(second, kHeaderSize).valid && sameStream(second)) {
                start_ += i;
                inStep_ = true;
                break;
            }
        }
        if (inStep_)
            continue;
        // No start here: keep only the bytes that may begin a header.
        if (available > kHeaderSize - 1)
            start_ = fill_ - (kHeaderSize - 1);
        return false;
    }
}

}  // namespace netgrab

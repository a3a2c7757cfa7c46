#pragma once
// Bounded little-endian access to untrusted bytes (ASF objects, MMS messages).
//
// ByteReader is a cursor over (pointer, length). Callers check remaining()
// once per record and then read; a getter that would run past the end
// returns 0 and parks the cursor at the end, so a short record can never be
// read beyond its buffer. The free functions readLe*/writeLe* work on a
// position that the caller has already checked against the length.

#include <cstddef>
#include <cstdint>

namespace netgrab {

inline uint16_t readLe16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t readLe32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t readLe64(const unsigned char *p)
{
    return static_cast<uint64_t>(readLe32(p)) | (static_cast<uint64_t>(readLe32(p + 4)) << 32);
}
inline void writeLe16(unsigned char *p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void writeLe32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void writeLe64(unsigned char *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

class ByteReader
{
public:
    ByteReader(const unsigned char *data, size_t length) : data_(data), end_(length) {}

    size_t remaining() const { return end_ - pos_; }
    size_t position() const { return pos_; }
    bool atEnd() const { return pos_ >= end_; }

    // Moves forward n bytes; false (and parked at the end) when fewer remain.
    bool skip(size_t n)
    {
        if (remaining() < n) {
            pos_ = end_;
            return false;
        }
        pos_ += n;
        return true;
    }
    uint8_t u8() { return remaining() >= 1 ? data_[pos_++] : park<uint8_t>(); }
    uint16_t le16() { return take<uint16_t>(2, &readLe16); }
    uint32_t le32() { return take<uint32_t>(4, &readLe32); }
    uint64_t le64() { return take<uint64_t>(8, &readLe64); }
    // Reads a field of 0, 1, 2 or 4 bytes as ASF length-type codes 0..3 select.
    uint32_t sized(unsigned lengthType)
    {
        switch (lengthType & 3u) {
        case 1:
            return u8();
        case 2:
            return le16();
        case 3:
            return le32();
        default:
            return 0;
        }
    }

private:
    template <typename T>
    T park()
    {
        pos_ = end_;
        return 0;
    }
    template <typename T>
    T take(size_t n, T (*read)(const unsigned char *))
    {
        if (remaining() < n)
            return park<T>();
        T v = read(data_ + pos_);
        pos_ += n;
        return v;
    }

    const unsigned char *data_;
    size_t end_;
    size_t pos_ = 0;
};

}  // namespace netgrab

#include "asf_loop.h"

#include <cstring>

namespace stationdir {

namespace {

// ASF object GUIDs as stored (little-endian fields), from the ASF
// specification, section 10.1 (top-level objects) and 10.2.
const unsigned char kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const unsigned char kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const unsigned char kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

constexpr std::size_t kObjectHeader = 24;       // GUID + 64-bit size
constexpr std::size_t kHeaderObjectFixed = 30;  // + sub-object count, two reserved bytes
constexpr std::size_t kDataObjectFixed = 50;    // + file id, packet count, reserved
// File Properties Object fields (ASF section 3.2), offsets from its start.
constexpr std::size_t kFpFileSize = 40, kFpPackets = 56, kFpPlayDuration = 64, kFpSendDuration = 72, kFpFlags = 88,
                      kFpMinPacket = 92, kFpSize = 104;
// Data Object: its size and its packet count.
constexpr std::size_t kDataSize = 16, kDataPackets = 40;
constexpr std::uint32_t kBroadcastFlag = 1, kSeekableFlag = 2;

std::uint64_t le(const std::string &b, std::size_t at, int width)
{
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
    return v;
}

void putLe(std::string &b, std::size_t at, std::uint64_t v, int width)
{
    for (int i = 0; i < width; ++i, v >>= 8)
        b[at + std::size_t(i)] = static_cast<char>(v & 0xFF);
}

bool guidAt(const std::string &b, std::size_t at, const unsigned char guid[16])
{
    return at + 16 <= b.size() && std::memcmp(b.data() + at, guid, 16) == 0;
}

}  // namespace

std::shared_ptr<const AsfLoop> parseAsfLoop(const std::string &file, int seconds)
{
    if (seconds <= 0 || !guidAt(file, 0, kHeaderGuid) || file.size() < kHeaderObjectFixed)
        return nullptr;
    const std::uint64_t headerSize = le(file, 16, 8);
    if (headerSize < kHeaderObjectFixed || headerSize + kDataObjectFixed > file.size())
        return nullptr;
    const std::size_t dataAt = std::size_t(headerSize);
    if (!guidAt(file, dataAt, kDataGuid))
        return nullptr;
    std::string header = file.substr(0, dataAt + kDataObjectFixed);
    // Find the File Properties Object among the header's objects.
    std::size_t fp = 0;
    for (std::size_t at = kHeaderObjectFixed; at + kObjectHeader <= dataAt;) {
        const std::uint64_t size = le(header, at + 16, 8);
        if (size < kObjectHeader || size > dataAt - at)
            return nullptr;
        if (guidAt(header, at, kFilePropertiesGuid) && size >= kFpSize) {
            fp = at;
            break;
        }
        at += std::size_t(size);
    }
    if (fp == 0)
        return nullptr;
    const std::uint32_t packetSize = std::uint32_t(le(header, fp + kFpMinPacket, 4));
    if (packetSize < 32 || packetSize > 65536)
        return nullptr;
    // A live broadcast has no size, count or duration, and cannot seek.
    putLe(header, fp + kFpFileSize, 0, 8);
    putLe(header, fp + kFpPackets, 0, 8);
    putLe(header, fp + kFpPlayDuration, 0, 8);
    putLe(header, fp + kFpSendDuration, 0, 8);
    const std::uint32_t flags = std::uint32_t(le(header, fp + kFpFlags, 4));
    putLe(header, fp + kFpFlags, (flags | kBroadcastFlag) & ~kSeekableFlag, 4);
    putLe(header, dataAt + kDataSize, 0, 8);
    putLe(header, dataAt + kDataPackets, 0, 8);

    auto loop = std::make_shared<AsfLoop>();
    loop->packetSize = packetSize;
    // The packets run to the Data Object's end (an index may follow it).
    const std::uint64_t dataSize = le(file, dataAt + kDataSize, 8);
    const std::size_t dataEnd =
        dataSize >= kDataObjectFixed && dataSize <= file.size() - dataAt ? dataAt + std::size_t(dataSize) : file.size();
    for (std::size_t at = dataAt + kDataObjectFixed; at + packetSize <= dataEnd; at += packetSize)
        loop->packets.push_back(file.substr(at, packetSize));
    if (loop->packets.empty())
        return nullptr;
    loop->header = std::move(header);
    loop->bytesPerSecond = loop->packets.size() * packetSize / std::size_t(seconds);
    return loop;
}

std::string mmsChunk(char type, const std::string &payload, std::uint32_t location)
{
    // [MS-WMSP] 2.2.3.1 framing header: "$" + type, length of what follows
    // the length field, LocationId, Incarnation, AFFlags, PacketSize.
    std::string c(12, '\0');
    c[0] = '$';
    c[1] = type;
    putLe(c, 2, payload.size() + 8, 2);
    putLe(c, 4, location, 4);
    c[8] = 0;
    c[9] = static_cast<char>(type == 'H' ? 0x0C : 0x00);
    putLe(c, 10, payload.size() + 8, 2);
    return c + payload;
}

}  // namespace stationdir

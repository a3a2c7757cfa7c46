#include "asf_header.h"

#include <cstring>

#include "byte_reader.h"
#include "mms_wire.h"

namespace netgrab {

long findAsfObject(const unsigned char *bytes, size_t length, const unsigned char guid[16], size_t need,
                   size_t searchLimit)
{
    if (!bytes || searchLimit == 0 || length < 16 + need)
        return -1;
    size_t last = length - 16 - need;  // last start whose GUID and field fit
    if (last > searchLimit - 1)
        last = searchLimit - 1;
    for (size_t i = 0; i <= last; ++i) {
        if (bytes[i] == guid[0] && std::memcmp(bytes + i, guid, 16) == 0)
            return static_cast<long>(i);
    }
    return -1;
}

int32_t asfMinPacketSize(const unsigned char *bytes, size_t length)
{
    long at = findAsfObject(bytes, length, wire::kAsfFilePropertiesObject, wire::kFilePropMinPacketSize + 4 - 16);
    if (at < 0)
        return -1;
    return static_cast<int32_t>(readLe32(bytes + at + wire::kFilePropMinPacketSize));
}

AsfHeaderCheck checkAsfHeader(const unsigned char *bytes, size_t length)
{
    AsfHeaderCheck c;
    constexpr size_t kHeaderObjectStart = 30;  // GUID, size, object count, two reserved bytes [ASF] 3.1
    if (!bytes || length < kHeaderObjectStart || std::memcmp(bytes, wire::kAsfHeaderObject, 16) != 0) {
        c.fault = "no ASF Header Object";
        return c;
    }
    const uint64_t size = readLe64(bytes + wire::kObjectSizeOffset);
    if (size < kHeaderObjectStart || size > length || length - size < wire::kDataObjectHeaderSize) {
        c.fault = "incomplete ASF header";
        return c;
    }
    const size_t objectSize = static_cast<size_t>(size);
    if (std::memcmp(bytes + objectSize, wire::kAsfDataObject, 16) != 0) {
        c.fault = "no Data Object behind the ASF header";
        return c;
    }
    long props =
        findAsfObject(bytes, objectSize, wire::kAsfFilePropertiesObject, wire::kFilePropMaxPacketSize + 4 - 16);
    if (props < 0) {
        c.fault = "no File Properties Object";
        return c;
    }
    if (findAsfObject(bytes, objectSize, wire::kAsfStreamPropertiesObject) < 0) {
        c.fault = "no Stream Properties Object";
        return c;
    }
    const uint32_t minSize = readLe32(bytes + props + wire::kFilePropMinPacketSize);
    const uint32_t maxSize = readLe32(bytes + props + wire::kFilePropMaxPacketSize);
    if (minSize != maxSize || minSize < kMinAsfPacketSize || minSize > kMaxAsfPacketSize) {
        c.fault = "packet size out of range";
        return c;
    }
    c.usable = true;
    c.packetSize = minSize;
    c.length = static_cast<uint32_t>(objectSize + wire::kDataObjectHeaderSize);
    return c;
}

bool sameAsfStreams(const unsigned char *a, size_t aLength, const unsigned char *b, size_t bLength)
{
    const AsfHeaderCheck ca = checkAsfHeader(a, aLength);
    const AsfHeaderCheck cb = checkAsfHeader(b, bLength);
    if (!ca.usable || !cb.usable || ca.packetSize != cb.packetSize)
        return false;
    // Walk the Stream Properties Objects of both headers side by side.
    const size_t aEnd = ca.length - wire::kDataObjectHeaderSize;
    const size_t bEnd = cb.length - wire::kDataObjectHeaderSize;
    size_t aFrom = 0, bFrom = 0;
    for (;;) {
        long ai = findAsfObject(a + aFrom, aEnd - aFrom, wire::kAsfStreamPropertiesObject, 8);
        long bi = findAsfObject(b + bFrom, bEnd - bFrom, wire::kAsfStreamPropertiesObject, 8);
        if (ai < 0 || bi < 0)
            return ai < 0 && bi < 0;
        const size_t aAt = aFrom + static_cast<size_t>(ai);
        const size_t bAt = bFrom + static_cast<size_t>(bi);
        uint64_t aSize = readLe64(a + aAt + wire::kObjectSizeOffset);
        uint64_t bSize = readLe64(b + bAt + wire::kObjectSizeOffset);
        if (aSize != bSize || aSize < 24 || aSize > aEnd - aAt || bSize > bEnd - bAt)
            return false;
        if (std::memcmp(a + aAt, b + bAt, static_cast<size_t>(aSize)) != 0)
            return false;
        aFrom = aAt + static_cast<size_t>(aSize);
        bFrom = bAt + static_cast<size_t>(bSize);
    }
}

bool readAsfPacketTiming(const unsigned char *packet, size_t length, AsfPacketTiming *out)
{
    ByteReader r(packet, length);
    if (r.remaining() < 1)
        return false;
    uint8_t ecFlags = r.u8();
    if (ecFlags & 0x80) {
        // Error correction present: bits 0-3 give its data length [ASF] 5.2.1.
        // The opaque-data and length-type bits must be 0 for that layout.
        if (ecFlags & 0x70)
            return false;
        if (!r.skip(ecFlags & 0x0F))
            return false;
        if (r.remaining() < 2)
            return false;
        ecFlags = r.u8();  // this was the length type flags byte
    }
    uint8_t lengthTypeFlags = ecFlags;
    if (r.remaining() < 1)
        return false;
    r.u8();  // property flags: describe the payloads, not needed here
    unsigned packetLengthType = (lengthTypeFlags >> 5) & 3u;
    unsigned sequenceType = (lengthTypeFlags >> 1) & 3u;
    unsigned paddingLengthType = (lengthTypeFlags >> 3) & 3u;
    r.sized(packetLengthType);
    r.sized(sequenceType);
    r.sized(paddingLengthType);
    if (r.remaining() < 6)
        return false;
    out->sendTimeMs = r.le32();
    out->durationMs = r.le16();
    return true;
}

void AsfTimeline::add(const AsfPacketTiming &t)
{
    uint64_t send = t.sendTimeMs;
    uint64_t end = send + t.durationMs;
    if (packets_ == 0) {
        runStartMs_ = t.sendTimeMs;
        runEndMs_ = end;
    } else if (send < lastSendMs_ || send > runEndMs_ + kGapMs) {
        closedMs_ += runEndMs_ - runStartMs_;
        runStartMs_ = t.sendTimeMs;
        runEndMs_ = end;
    } else if (end > runEndMs_) {
        runEndMs_ = end;
    }
    lastSendMs_ = send;
    ++packets_;
}

uint64_t AsfTimeline::totalMs() const
{
    if (packets_ == 0)
        return 0;
    return closedMs_ + (runEndMs_ - runStartMs_);
}

AsfFixUp fixUpAsfHeader(unsigned char *bytes, size_t length, const AsfFinalCounts &counts)
{
    AsfFixUp result;
    if (length > kAsfFixUpWindow)
        length = kAsfFixUpWindow;
    const size_t limit = kAsfFixUpWindow - 16;  // start positions 0 .. 15983

    long header = findAsfObject(bytes, length, wire::kAsfHeaderObject, 8, limit);
    if (header >= 0)
        result.headerLength = readLe16(bytes + header + wire::kObjectSizeOffset);

    long stream =
        findAsfObject(bytes, length, wire::kAsfStreamPropertiesObject, wire::kStreamPropAvgBytesPerSec + 4 - 16, limit);
    if (stream >= 0)
        result.averageBytesPerSecond = readLe32(bytes + stream + wire::kStreamPropAvgBytesPerSec);

    long props =
        findAsfObject(bytes, length, wire::kAsfFilePropertiesObject, wire::kFilePropMinPacketSize + 4 - 16, limit);
    if (props < 0)
        return result;
    result.foundFileProperties = true;
    unsigned char *fp = bytes + props;

    uint32_t packets = counts.packetCount;
    uint64_t earlierMs = 0;
    if (counts.appendMode) {
        packets += readLe32(fp + wire::kFilePropPacketCount);
        earlierMs = readLe64(fp + wire::kFilePropSendDuration) / wire::kHundredNsPerMs;
    }
    result.packetCount = packets;
    if (result.averageBytesPerSecond == 0 || result.headerLength == 0)
        return result;

    uint64_t dataLength = counts.fileSize > result.headerLength ? counts.fileSize - result.headerLength : 0;
    uint64_t send100ns;
    if (counts.haveTimeline) {
        send100ns = (earlierMs + counts.recordedMs) * wire::kHundredNsPerMs;
    } else {
        send100ns = dataLength * wire::kHundredNsPerSecond / result.averageBytesPerSecond;
    }
    uint64_t prerollMs = readLe64(fp + wire::kFilePropPreroll);
    if (prerollMs > 3600u * 1000u)
        prerollMs = 0;  // not a plausible buffer time
    result.sendDuration100ns = send100ns;
    result.playDuration100ns = send100ns + prerollMs * wire::kHundredNsPerMs;

    writeLe64(fp + wire::kFilePropFileSize, counts.fileSize);
    writeLe64(fp + wire::kFilePropPacketCount, packets);
    writeLe64(fp + wire::kFilePropPlayDuration, result.playDuration100ns);
    writeLe64(fp + wire::kFilePropSendDuration, result.sendDuration100ns);
    writeLe32(fp + wire::kFilePropFlags, wire::kFileFlagSeekable);

    long data = findAsfObject(bytes, length, wire::kAsfDataObject, wire::kDataObjectPacketCount + 8 - 16, limit);
    if (data >= 0) {
        writeLe64(bytes + data + wire::kObjectSizeOffset, dataLength);
        writeLe64(bytes + data + wire::kDataObjectPacketCount, packets);
    }
    result.written = true;
    return result;
}

}  // namespace netgrab

// Fuzz target: the ASF header readers and the end-of-capture fix-up over
// arbitrary bytes, as a recorded file's head or a server's stream header.
//
// Input: the bytes of a file head, followed by a 21-byte trailer with the
// counts the capture would hand to the fix-up (file size 8, packet count 4,
// recorded ms 8, flags 1: bit 0 append mode, bit 1 measured timeline). An
// input shorter than the trailer is used whole with zero counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "asf_header.h"
#include "byte_reader.h"
#include "mms_wire.h"

using namespace netgrab;

namespace {

constexpr size_t kTrailerSize = 21;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AsfFinalCounts counts;
    size_t length = size;
    if (size >= kTrailerSize) {
        length = size - kTrailerSize;
        const unsigned char *t = data + length;
        counts.fileSize = readLe64(t);
        counts.packetCount = readLe32(t + 8);
        counts.recordedMs = readLe64(t + 12);
        counts.appendMode = (t[20] & 1) != 0;
        counts.haveTimeline = (t[20] & 2) != 0;
    }
    // A heap copy of exactly the head, so ASan sees any read past it.
    std::vector<unsigned char> head(data, data + length);
    const unsigned char *bytes = head.empty() ? nullptr : head.data();

    findAsfObject(bytes, length, wire::kAsfStreamPropertiesObject);
    findAsfObject(bytes, length, wire::kAsfDataObject, 34, length / 2 + 1);
    asfMinPacketSize(bytes, length);

    const AsfHeaderCheck check = checkAsfHeader(bytes, length);
    if (check.usable) {
        require(check.length <= length);
        require(check.packetSize >= kMinAsfPacketSize && check.packetSize <= kMaxAsfPacketSize);
        // The data packets behind the header, as the capture would note
        // their timing.
        AsfTimeline timeline;
        for (size_t at = check.length; at < length; at += check.packetSize) {
            AsfPacketTiming timing;
            const size_t n = length - at < check.packetSize ? length - at : check.packetSize;
            if (readAsfPacketTiming(bytes + at, n, &timing))
                timeline.add(timing);
        }
        timeline.totalMs();
    }
    // Two headers: the head against itself and against its second half.
    sameAsfStreams(bytes, length, bytes, length);
    sameAsfStreams(bytes, length / 2, bytes ? bytes + length / 2 : nullptr, length - length / 2);

    AsfPacketTiming timing;
    readAsfPacketTiming(bytes, length, &timing);

    if (length > 0) {
        // The fix-up patches in place the head the file code read (at most
        // the window); it never changes bytes past what it was given.
        std::vector<unsigned char> copy(head);
        const AsfFixUp fix = fixUpAsfHeader(copy.data(), copy.size(), counts);
        require(!fix.written || fix.foundFileProperties);
        if (length > kAsfFixUpWindow)
            require(std::memcmp(copy.data() + kAsfFixUpWindow, head.data() + kAsfFixUpWindow, length - kAsfFixUpWindow)
                    == 0);
        if (!fix.foundFileProperties)
            require(copy == head);
    }
    return 0;
}

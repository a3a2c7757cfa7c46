#pragma once
// A Windows Media demo stream: an ASF file cut into the header a live
// broadcast announces and its data packets, sent in a loop.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace stationdir {

struct AsfLoop
{
    // Header Object (broadcast flag set; sizes, counts and durations zero)
    // followed by the 50-byte Data Object header.
    std::string header;
    std::vector<std::string> packets;  // each packetSize bytes
    std::uint32_t packetSize = 0;
    std::size_t bytesPerSecond = 0;  // of the packets, at the audio's pace
};

// Cuts an ASF file of `seconds` of audio; nullptr when the bytes are not
// such a file (sizes out of range, no file properties, no packets).
std::shared_ptr<const AsfLoop> parseAsfLoop(const std::string &file, int seconds);

// One MMS-over-HTTP chunk: '$', type ('H' header, 'D' data), length,
// location, incarnation, flags, length again, payload.
std::string mmsChunk(char type, const std::string &payload, std::uint32_t location);

}  // namespace stationdir

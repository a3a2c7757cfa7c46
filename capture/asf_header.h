#pragma once
// ASF header parsing and the end-of-capture header fix-up, as pure functions
// over bytes: no files, no sockets. The file code reads the head of the file,
// calls fixUpAsfHeader and writes back the bytes it read.

#include <cstddef>
#include <cstdint>

namespace netgrab {

// Start of the first object with this GUID at a position below
// searchLimit (and with its 16 GUID bytes plus `need` more inside the
// range), or -1.
long findAsfObject(const unsigned char *bytes, size_t length, const unsigned char guid[16], size_t need = 0,
                   size_t searchLimit = SIZE_MAX);

// Minimum data packet size of the first File Properties Object, or -1 when
// there is none (or its field lies outside the range).
int32_t asfMinPacketSize(const unsigned char *bytes, size_t length);

// What a stream header must be before data packets may follow it in a
// file: a whole Header Object with its File Properties Object and at least
// one Stream Properties Object, followed by the 50-byte start of the Data
// Object, and a packet size that ASF allows for a stream of fixed-size
// packets (minimum = maximum data packet size [ASF] 3.2, in the range
// below). Packets are padded to that size, so a size of 0x7FFFFFFF would
// turn every packet into megabytes and a size of 0 would leave them unpadded.
constexpr uint32_t kMinAsfPacketSize = 100;
constexpr uint32_t kMaxAsfPacketSize = 65535;
struct AsfHeaderCheck
{
    bool usable = false;
    uint32_t length = 0;      // Header Object + Data Object start: the bytes to write
    uint32_t packetSize = 0;  // the data packet size
    const char *fault = "";   // why the header is not usable
};
AsfHeaderCheck checkAsfHeader(const unsigned char *bytes, size_t length);
// True when two usable headers describe the same streams: the same packet
// size and byte-identical Stream Properties Objects in the same order (a
// file recorded behind one can take packets sent behind the other).
bool sameAsfStreams(const unsigned char *a, size_t aLength, const unsigned char *b, size_t bLength);

// Send time and duration of one ASF data packet, read from its payload
// parsing information [ASF] 5.2.2. False when the packet is too short or
// does not start with error correction flags we can read.
struct AsfPacketTiming
{
    uint32_t sendTimeMs = 0;
    uint16_t durationMs = 0;
};
bool readAsfPacketTiming(const unsigned char *packet, size_t length, AsfPacketTiming *out);

// Audio time covered by the data packets of one connection, from their send
// times. A send time that goes back, or jumps more than kGapMs past the end
// of the previous packet, starts a new run; the runs are added up, so a gap
// in the stream is not counted as recorded time.
class AsfTimeline
{
public:
    static constexpr uint32_t kGapMs = 5000;
    void reset() { *this = AsfTimeline(); }
    void add(const AsfPacketTiming &t);
    bool empty() const { return packets_ == 0; }
    uint64_t totalMs() const;

private:
    uint64_t closedMs_ = 0;
    uint32_t runStartMs_ = 0;
    uint64_t runEndMs_ = 0;
    uint64_t lastSendMs_ = 0;
    uint64_t packets_ = 0;
};

// What the capture knows when it ends.
struct AsfFinalCounts
{
    uint64_t fileSize = 0;      // bytes in the file now
    uint32_t packetCount = 0;   // data packets written by this connection
    bool appendMode = false;    // file held an earlier recording: add its counts
    bool haveTimeline = false;  // recordedMs is measured from packet send times
    uint64_t recordedMs = 0;    // audio time of this connection's packets
};

struct AsfFixUp
{
    bool foundFileProperties = false;  // false: nothing was changed
    bool written = false;              // counts and durations stored in the bytes
    uint32_t headerLength = 0;         // low 16 bits of the Header Object size
    uint32_t averageBytesPerSecond = 0;
    uint32_t packetCount = 0;        // total stated (earlier recording included)
    uint64_t sendDuration100ns = 0;  // audio time
    uint64_t playDuration100ns = 0;  // audio time + preroll
};

// Patches, in place, the head of an ASF file (the first `length` bytes, at
// most the first 16000 are searched) so that it states the final file size,
// packet count, durations and a seekable, non-broadcast file.
//
// Durations are exact 64-bit counts of 100 ns. The audio time is the
// measured send-time span when there is one (plus, in append mode, the send
// duration stored by the previous fix-up); otherwise it is estimated as the
// data bytes divided by the stream's average byte rate. The play duration
// adds the preroll, as [ASF] 3.2 defines it. When the header names neither
// a Header Object length nor an average rate, counts are not written.
AsfFixUp fixUpAsfHeader(unsigned char *bytes, size_t length, const AsfFinalCounts &counts);

constexpr size_t kAsfFixUpWindow = 16000;

}  // namespace netgrab

#pragma once
// ASF data packets on the Windows Media routes: the assembly of one packet
// and its completion into the output file, the "$H"/"$D" chunk framing of
// MMS over HTTP [MS-WMSP] 2.2.3 (also spoken by the portal's stream
// server), and the header gate in front of every ".wma".
//
// Chunk layout [MS-WMSP] 2.2.3.1: '$', a type letter, a 16-bit
// little-endian length, then `length` bytes: eight framing bytes (location
// id, incarnation, AF flags, packet size) and the payload.

#include <cstdint>

#include "asf_header.h"

namespace netgrab {

struct CaptureState;

// A data packet is at most 65535 bytes (the gate refuses larger packet
// sizes); the assembly buffer has room to spare.
constexpr int kAssemblyBufferSize = 192000;

// The packets of one connection: the size the accepted header names, the
// packet being assembled, and what has been written.
struct AsfPacketSession
{
    int32_t packetSize = -1;  // -1 until a header has passed the gate
    int32_t packetCount = 0;  // packets written since the route began
    int32_t fill = 0;         // bytes of the packet being assembled
    AsfTimeline timeline;     // send-time span of the packets written
    unsigned char buffer[kAssemblyBufferSize];
};

// The packet in session.buffer[0, fill) is complete: pads it with zero
// bytes to packetSize, appends it to the output file, counts it (also in
// the recorded bytes) and notes its send time; fill becomes 0. Nothing is
// written without an accepted packet size, for a packet longer than it, or
// after a failed write.
void completeAsfPacket(CaptureState &s, AsfPacketSession &session);
// Copies what is left of a packet payload of `length` bytes (`copied` of
// them taken so far) from bytes[0, available) into the buffer (what does
// not fit is dropped, never written past it) and counts it in copied.
// Returns the input bytes consumed.
int takePacketBytes(AsfPacketSession &session, const unsigned char *bytes, int available, int32_t &copied,
                    int32_t length);

// Passes over what is left of a payload of `length` bytes (`copied` of
// them seen) in a block with `available` bytes; returns the bytes passed.
inline int passOver(int32_t &copied, int32_t length, int available)
{
    const int want = length - copied;
    const int n = want < available ? want : available;
    if (n > 0)
        copied += n;
    return n;
}

// The "$D" chunk reader. A chunk's length and framing may arrive split over
// any number of blocks; they are gathered and read with one bounds check.
// Only payloads that start with the error correction bytes 0x82 0x00 0x00
// [ASF] 5.2.1 are assembled; a chunk longer than the packet size is passed
// over whole. Anything else resynchronises at the next chunk mark.
enum class AsfChunkStep : uint8_t {
    Mark,             // waiting for '$' (or 0xA4)
    Type,             // 'D' continues, anything else starts over
    Prefix,           // the length and the eight framing bytes
    ErrorCorrection,  // 0x82 0x00 0x00
    Payload,          // the rest of the packet
    Skip,             // payload of a chunk longer than the packet size
};

// Length field and framing bytes of a chunk, read as one record.
constexpr int kChunkPrefixBytes = 2 + 8;

struct AsfChunkReader
{
    AsfChunkStep step = AsfChunkStep::Mark;
    unsigned char prefix[kChunkPrefixBytes] = {};
    int prefixFill = 0;
    int errorCorrectionFill = 0;
    int32_t chunkLength = 0;  // payload bytes (length field minus framing)
    int32_t chunkCopied = 0;
};

// Advances the reader over one received block, completing packets into
// the session.
void feedDataChunks(CaptureState &s, AsfChunkReader &reader, AsfPacketSession &packets, const unsigned char *block,
                    int length);

// The "$H" payloads of a describe answer answer[0, count), in order, cut
// to what arrived. A chunk shorter than its framing contributes nothing;
// a chunk cut inside its length ends the scan.
struct AsfHeaderChunks
{
    bool found = false;   // at least one "$H" mark with a length byte
    int length = 0;       // payload bytes collected into out
    int lastPayload = 0;  // payload bytes of the last chunk taken
};
AsfHeaderChunks collectHeaderChunks(const unsigned char *answer, int count, unsigned char *out, int capacity);

// The gate in front of every ".wma": data packets follow only a complete,
// usable ASF header (checkAsfHeader), which sets packets.packetSize. In a
// new file the header is written; a file that already holds a recording of
// the same streams is appended to; one of other streams (another packet
// size, other streams) is left as it is and the recording goes on in
// outputBase-2.wma (-3, ... up to kMaxOutputVariant). false, with
// lastError NG_ERR_NO_STREAM_HEADER (unusable header) or NG_ERR_FILE_OPEN,
// when no packet may be written.
bool acceptStreamHeader(CaptureState &s, AsfPacketSession &packets, const unsigned char *header, int length);
constexpr int kMaxOutputVariant = 99;
// Bytes of an earlier recording's head compared with a new header.
constexpr int kRecordingHeadBytes = 20480;

// Rewrites the ASF header of the output file with the final counts of the
// session (the file code only seeks back and overwrites what it read).
void finishAsfFile(CaptureState &s, AsfPacketSession &packets);

}  // namespace netgrab

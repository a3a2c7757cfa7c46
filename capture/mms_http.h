#pragma once
// MMS over HTTP: "$H" header chunks, the play request, "$D" data chunks and
// the ASF header fix-up at the end of a capture.

#include "asf_header.h"
#include "http_request.h"

namespace netgrab {

// Writes the "$H" payloads of the accepted answer (once per file).
// 1, or -2 with lastError = NG_ERR_NO_STREAM_HEADER.
int extractStreamHeader(const char* answer, int count);
// The gate in front of every ".wma": data packets follow only a complete,
// usable ASF header (checkAsfHeader), which sets packetSize. In a new file
// the header is written; a file that already holds a recording of the same
// streams is appended to; one of other streams (another packet size, other
// streams) is left as it is and the recording goes on in outputBase-2.wma
// (-3, ... up to kMaxOutputVariant). false, with lastError
// NG_ERR_NO_STREAM_HEADER (unusable header) or NG_ERR_FILE_OPEN, when no
// packet may be written.
bool acceptStreamHeader(const unsigned char* header, int length);
constexpr int kMaxOutputVariant = 99;
// Full address beginning with "http://"; runs the capture until it ends.
void playRequest(const char* fullAddress);
// Advances the "$D" chunk parser over a received block.
void feedDataChunks(const unsigned char* block, int length);
// Blocks of up to this many bytes are received while streaming.
constexpr int kDataReceiveBlock = 1600;
// Feeds the first answer (receiveBuffer[0, firstCount)) and then every block
// received on c to feedDataChunks until the connection fails (lastError -3)
// or a stop is requested (-101); closes c.
void streamDataChunks(Connection c, int firstCount);
// Rewrites the ASF header of outputFile with the final counts.
void finishAsfFile();
// Minimum data packet size of the first File Properties Object, or -1.
int findMinPacketSize(const unsigned char* bytes, int length);

// ---- shared with MMS over TCP and the portal ------------------------------

// The packet in assemblyBuffer[0, assemblyFill) is complete: pads it with
// zero bytes to packetSize, appends it to outputFile, counts it and notes its
// send time; assemblyFill becomes 0.
void completeAsfPacket();
// Copies up to `wanted` payload bytes of the packet being assembled from
// bytes[0, available) into assemblyBuffer (what does not fit the buffer is
// dropped, never written past it). Returns how many input bytes the packet
// consumed: the smaller of wanted and available.
int takePacketBytes(const unsigned char* bytes, int available, int wanted);
// Send-time span of the packets written since the current connection began;
// finishAsfFile turns it into the stated duration.
AsfTimeline& asfTimeline();
// Fills the fourteen header slots of the play request (host, client GUID).
void fillPlaySlots(HeaderSlot* slots, const char* host, const char* clientGuid);
constexpr int kPlaySlotCount = 14;

// Chunk parser states (CaptureState::chunkState).
enum ChunkState : int {
    CHUNK_MARK = 0,       // waiting for '$' (or 0xA4)
    CHUNK_TYPE = 1,       // 'D' continues, anything else starts over
    CHUNK_LENGTH_LO = 2,  // low byte of the chunk length
    CHUNK_FRAMING = 3,    // 3..10: the eight framing bytes
    CHUNK_EC_FLAGS = 11,  // 0x82
    CHUNK_EC_DATA1 = 12,  // 0x00
    CHUNK_EC_DATA2 = 13,  // 0x00
    CHUNK_PAYLOAD = 14,   // the rest of the packet
    CHUNK_LENGTH_HI = 15, // high byte of the chunk length (may arrive in the next block)
    CHUNK_SKIP = 16,      // payload of a chunk longer than the packet size: passed over
};

}  // namespace netgrab

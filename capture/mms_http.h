#pragma once
// MMS over HTTP: "$H" header chunks, the play request, "$D" data chunks and
// the ASF header fix-up at the end of a capture.

#include "asf_chunks.h"
#include "http_request.h"

namespace netgrab {

struct CaptureState;

// Writes the "$H" payloads of the accepted answer (once per file) through
// the header gate. 1, or -2 with lastError = NG_ERR_NO_STREAM_HEADER or
// NG_ERR_FILE_OPEN.
int extractStreamHeader(CaptureState &s, const char *answer, int count);
// Full address beginning with "http://"; runs the capture until it ends.
void playRequest(CaptureState &s, const char *fullAddress);
// Blocks of up to this many bytes are received while streaming.
constexpr int kDataReceiveBlock = 1600;
// Feeds the first answer (receiveBuffer[0, firstCount)) and then every block
// received on s.connection to a fresh "$D" chunk reader until the
// connection fails (lastError -3) or a stop is requested (-101); closes it.
void streamDataChunks(CaptureState &s, int firstCount);
// Minimum data packet size of the first File Properties Object, or -1.
int findMinPacketSize(const unsigned char *bytes, int length);
// Fills the fourteen header slots of the play request (host, client GUID).
void fillPlaySlots(HeaderSlot *slots, const char *host, const char *clientGuid);
constexpr int kPlaySlotCount = 14;

}  // namespace netgrab

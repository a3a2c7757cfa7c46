#pragma once
// HTTP GET operations. All connect to state().requestPort and read at most
// kAnswerLimit bytes into the answer buffer (always state().receiveBuffer).

#include "connection.h"

namespace netgrab {

constexpr int kHeaderSlotSize = 256;
// One or more complete header lines with their own CR LF; the last slot
// used ends with the empty line that closes the header block.
using HeaderSlot = char[kHeaderSlotSize];

// host/path fetch with fixed browser headers and "Connection: close".
// Bytes received, or -1.
int httpFetch(char* answer, const char* hostPath);
// Request line + slots; stops at Content-Length, close, time-out or the cap.
// Bytes received, or -1.
int httpRequest(char* answer, const char* host, const char* path,
                const HeaderSlot* slots, int slotCount);
// As httpRequest; when the answer filled kAnswerLimit bytes the connection is
// left open and stored in *kept.
int httpRequestKeep(char* answer, const char* host, const char* path,
                    const HeaderSlot* slots, int slotCount, Connection* kept);
// Sends the request and receives once. Returns the open connection with the
// byte count in *count, or -1.
Connection httpRequestFirst(char* answer, const char* host, const char* path,
                            const HeaderSlot* slots, int slotCount, int* count);

}  // namespace netgrab

#pragma once
// HTTP GET operations on a capture's state s. All open s.connection to
// s.requestPort, over s.transport, and read at most kAnswerLimit bytes into the answer buffer
// (always s.receiveBuffer).

#include "capture_state.h"
#include "connection.h"

namespace netgrab {

// Large enough for the longest line a route puts into one slot: the
// portal's "Cookie:" line with a cookie of kPageCookieSize - 1 characters
// and the empty line behind it.
constexpr int kHeaderSlotSize = 640;
// One or more complete header lines with their own CR LF; the last slot
// used ends with the empty line that closes the header block.
using HeaderSlot = char[kHeaderSlotSize];
static_assert(sizeof "Cookie:" - 1 + (kPageCookieSize - 1) + sizeof "\r\n\r\n" <= kHeaderSlotSize,
              "a header slot holds the longest cookie line");

// host/path fetch with fixed browser headers and "Connection: close".
// A gzip or deflate body is handed back decoded (answer holds
// kReceiveBufferSize + 1 bytes, as receiveBuffer does). Bytes of the
// answer, or -1 (also for a body that does not decode or fit).
int httpFetch(CaptureState &s, char *answer, const char *hostPath);
// Every request operation sends only whole header lines: a slot that does
// not end in CR LF (a line cut to fit) or a block that does not end with
// the empty line is not sent (the operation fails as if it could not
// connect). An answer framed with "Transfer-Encoding: chunked" is handed
// back without its framing (unchunkAnswer).
// Request line + slots; stops at Content-Length, close, time-out or the cap.
// Bytes received, or -1.
int httpRequest(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                int slotCount);
// As httpRequest; when the answer filled kAnswerLimit bytes s.connection is
// left open for the rest of the stream and *kept says so.
int httpRequestKeep(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                    int slotCount, bool *kept);
// Sends the request and receives once. True with s.connection open and the
// byte count in *count; false with it closed.
bool httpRequestFirst(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                      int slotCount, int *count);

}  // namespace netgrab

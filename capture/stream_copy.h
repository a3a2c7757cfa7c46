#pragma once
// The receive loop of the HTTP stream copiers: the rest of an answer body
// on the capture's kept connection, block by block.

#include <functional>

namespace netgrab {

struct CaptureState;

// Receives blocks of at most blockSize bytes into receiveBuffer, removes
// their chunked framing and hands each to take (bytes, length) until the
// stream ends, a stop is requested or take fails. Returns the error that
// ended it: streamEndError, NG_ERR_STOPPED, or NG_ERR_FILE_OPEN (take
// failed). The connection is left to the caller.
int copyRestOfBody(CaptureState &s, int blockSize, const std::function<bool(unsigned char *, int)> &take);

}  // namespace netgrab

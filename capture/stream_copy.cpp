// The receive loop shared by the MPEG and the framed-audio copiers.
#include "stream_copy.h"

#include "capture_state.h"
#include "connection.h"
#include "http_text.h"
#include "netgrab.h"

namespace netgrab {

int copyRestOfBody(CaptureState &s, int blockSize, const std::function<bool(unsigned char *, int)> &take)
{
    for (;;) {
        int n = receiveStream(s.connection, s.receiveBuffer, blockSize);
        if (n <= 0)
            return streamEndError(s.connection);
        // A chunked answer: only the data between the size lines is audio.
        n = dechunkStream(s.chunked, s.receiveBuffer, n);
        if (!take(reinterpret_cast<unsigned char *>(s.receiveBuffer), n))
            return NG_ERR_FILE_OPEN;
        if (s.stop.pending())
            return NG_ERR_STOPPED;
    }
}

}  // namespace netgrab

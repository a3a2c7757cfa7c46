// Stand-in until MMS over HTTP is built.
#include "mms_http.h"

#include "capture_state.h"
#include "netgrab.h"

namespace netgrab {

int extractStreamHeader(const char*, int) {
    state().lastError = NG_ERR_NO_STREAM_HEADER;
    return -2;
}
void playRequest(const char*) {}
void feedDataChunks(const unsigned char*, int) {}
void finishAsfFile() {}
int findMinPacketSize(const unsigned char*, int) { return -1; }

}  // namespace netgrab

// Stand-in until HTTP audio capture is built.
#include "http_audio.h"

#include <cstdio>

namespace netgrab {

int captureHttpStream(const char*) {
    std::printf("HTTP stream capture is not built yet\n");
    return -2;
}
int describeRequest(const char*) { return -2; }
int findPlaylistTarget(const char*, char*) { return 0; }
void captureMpegAudio(Connection, int) {}

}  // namespace netgrab

#pragma once
// HTTP audio stream capture: the describe request and the MPEG audio copier.

#include "connection.h"

namespace netgrab {

// Address without scheme (host[:port][/path]). 1 after the MMS-over-HTTP
// play step ran; otherwise describeRequest's result (-1 further address in
// workingAddress, -2 failure, -4 MPEG capture ended, -5 AAC+ refused).
int captureHttpStream(const char* address);
// Full address beginning with "http://".
int describeRequest(const char* fullAddress);
// ASX entry or moved notice in an answer: 1 with the address in out (512 bytes), or 0.
int findPlaylistTarget(const char* answer, char out[512]);
// Records MPEG audio from the first frame start in receiveBuffer[0..count).
void captureMpegAudio(Connection kept, int count);

}  // namespace netgrab

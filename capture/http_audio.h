#pragma once
// HTTP audio stream capture: the describe request and the MPEG audio copier.

#include <cstddef>

#include "connection.h"

namespace netgrab {

// Address without scheme (host[:port][/path]). 1 after the MMS-over-HTTP
// play step ran; otherwise describeRequest's result (-1 further address in
// workingAddress, -2 failure, -4 MPEG capture ended, -5 AAC+ refused).
int captureHttpStream(const char* address);
// Full address beginning with "http://".
int describeRequest(const char* fullAddress);
// As above; also hands back the address that finally answered (after any
// redirects, port removed: serverPort holds it) in finalAddress.
int describeRequest(const char* fullAddress, char* finalAddress, size_t finalCap);
// ASX entry or moved notice in an answer: 1 with the address in out (512 bytes), or 0.
int findPlaylistTarget(const char* answer, char out[512]);
// Records MPEG audio from the first frame start in receiveBuffer[0..count).
void captureMpegAudio(Connection kept, int count);
// Index of the first MPEG audio frame start (0xFF, then a byte with its
// three top bits set) at positions 0 .. count-3, or -1.
int findFrameStart(const unsigned char* bytes, int count);

}  // namespace netgrab

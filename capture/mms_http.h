#pragma once
// MMS over HTTP: "$H" header chunks, the play request, "$D" data chunks and
// the ASF header fix-up at the end of a capture.

namespace netgrab {

// Writes the "$H" payloads of the accepted answer (once per file).
// 1, or -2 with lastError = NG_ERR_NO_STREAM_HEADER.
int extractStreamHeader(const char* answer, int count);
// Full address beginning with "http://"; runs the capture until it ends.
void playRequest(const char* fullAddress);
// Advances the "$D" chunk parser over a received block.
void feedDataChunks(const unsigned char* block, int length);
// Rewrites the ASF header of outputFile with the final counts.
void finishAsfFile();
// Minimum data packet size of the first File Properties Object, or -1.
int findMinPacketSize(const unsigned char* bytes, int length);

}  // namespace netgrab

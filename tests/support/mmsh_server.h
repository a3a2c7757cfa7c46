#pragma once
// Scripts that make a ScriptedServer speak MMS over HTTP [MS-WMSP]: the
// describe request is answered with the ASF header in "$H" chunks, the play
// request with the data packets in "$D" chunks (padding stripped, as
// servers send them). Each connection runs one script, so a test lists
// describe, play, describe, play ... for as many attempts as it expects.

#include <cstdint>
#include <string>

#include "asf_media.h"
#include "scripted_server.h"

namespace testsupport {

// One chunk: '$', type, length (8 + payload) LE16, 8 framing bytes, payload.
std::string mmshChunk(char type, const std::string &payload, uint32_t location = 0);

// HTTP answer to the describe request: the header cut into `parts` "$H" chunks.
std::string mmshDescribeAnswer(const std::string &header, int parts = 1);
// The play answer's HTTP header (the "$D" chunks follow it).
std::string mmshPlayAnswerHead();
// "$D" chunks for packets [first, first + count), padding stripped.
std::string mmshDataChunks(const AsfMedia &media, size_t first, size_t count);

enum class StreamEnd {
    Close,          // close the connection after the packets
    KeepStreaming,  // go on sending packets (from the first again) until the peer closes
    GoQuiet,        // keep the connection open and send nothing more
};

// Reads one request, answers the describe request, closes.
Script mmshDescribeScript(const std::string &header, int parts = 1);
// Reads one request, answers with `prefix` (chunks of other kinds, say)
// followed by the packets, then ends as `end` says.
Script mmshPlayScript(const AsfMedia &media, size_t first, size_t count, StreamEnd end, const std::string &prefix = "");

}  // namespace testsupport

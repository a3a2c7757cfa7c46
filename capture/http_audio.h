#pragma once
// HTTP audio stream capture: the describe request and the MPEG audio copier.

#include <cstddef>

#include "connection.h"
#include "route_result.h"

namespace netgrab {

struct CaptureState;

// How the describe request ended.
enum class DescribeEnd {
    StreamHeader,    // MMS over HTTP: the header is written, the play step follows
    FurtherAddress,  // an ASX document or a moved notice named another address
    Recorded,        // MPEG audio was recorded until the stream ended or a stop
    Refused,         // a content type that is not recorded (lastError NG_ERR_CONTENT_TYPE)
    Hls,             // an HLS playlist: the HLS route records it
    Failed,          // no usable answer; lastError says why where it is known
};

// Address without scheme (host[:port][/path]). Done after the MMS-over-HTTP
// play step or the MPEG capture ran; FurtherAddress with the address in
// *further (when given); Failed otherwise.
RouteResult captureHttpStream(CaptureState &s, const char *address, FurtherAddress *further = nullptr);
// Full address beginning with "http://". A further address goes into
// *further (when given).
DescribeEnd describeRequest(CaptureState &s, const char *fullAddress, FurtherAddress *further = nullptr);
// As above; also hands back the address that finally answered (after any
// redirects, port removed: serverPort holds it) in finalAddress.
DescribeEnd describeRequest(CaptureState &s, const char *fullAddress, char *finalAddress, size_t finalCap,
                            FurtherAddress *further = nullptr);
// The steps that only read an answer.

// Status lines the describe request accepts ("200 OK", "HTTP/1.0 200") or
// follows (302, and 301 of HTTP/1.1; compared without case).
bool statusIsOk(const char *status);
bool statusIsRedirect(const char *status);
// What an accepted describe answer (NUL-terminated) asks for, in this
// order: a further address (into target); AAC or Ogg by the Content-Type
// field; a refusal for a type that no route records (unless the notice
// host is named: MPEG audio); MPEG audio (its type anywhere in the answer,
// or the notice host's name); else MMS over HTTP.
enum class AnswerRoute { FurtherAddress, Aac, Ogg, Unrecordable, MpegAudio, MmsOverHttp };
AnswerRoute routeOfAnswer(const char *answer, const char *noticeHost, char target[512]);
// ASX entry or moved notice in an answer: 1 with the address in out (512 bytes), or 0.
int findPlaylistTarget(const char *answer, char out[512]);
// Records MPEG audio from the first frame start in receiveBuffer[0..count)
// (after the header block, without the metadata blocks, when the answer
// declares "icy-metaint"), then, when the answer kept s.connection open,
// what follows on it; closes the connection and the file.
void captureMpegAudio(CaptureState &s, bool kept, int count);
// Index of the first MPEG audio frame start (0xFF, then a byte with its
// three top bits set) at positions 0 .. count-3, or -1.
int findFrameStart(const unsigned char *bytes, int count);

}  // namespace netgrab

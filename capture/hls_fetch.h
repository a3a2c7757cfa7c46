#pragma once
// One GET of the HLS route (a playlist, a segment, a key, an init segment):
// an absolute address in, the body out in pieces as it arrives. Redirects
// are followed (their Location resolved against the address asked); every
// wait is bounded by the receive time-out, the fetch's own deadline and a
// stop request.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "connection.h"

namespace netgrab {

struct CaptureState;

// The header block of an answer is at most this long.
constexpr size_t kHlsHeaderMaxBytes = 16384;

enum class FetchEnd {
    Done,       // the whole body arrived
    Stopped,    // a stop request ended it
    Failed,     // no connection, a receive failure or time-out, a broken answer
    HttpError,  // the answer's status is not 200 (FetchInfo::status says which)
    TooLarge,   // the body passed the fetch's byte limit
    TimedOut,   // the fetch's deadline passed
    Refused,    // the sink refused the bytes
    Untrusted,  // the server's TLS certificate failed verification
};
const char *fetchEndText(FetchEnd end);

struct FetchInfo
{
    int status = 0;
    std::string contentType;
    std::string finalAddress;  // after redirects
    uint64_t bodyBytes = 0;
};

// Receives the body in pieces; false ends the fetch (FetchEnd::Refused).
using BodySink = std::function<bool(const uint8_t *bytes, size_t length)>;

// GETs address (http:// or https://, absolute) with at most maxBytes of
// body, until deadlineMs on steadyNowMs()'s clock.
FetchEnd hlsGet(CaptureState &s, const std::string &address, int64_t deadlineMs, uint64_t maxBytes,
                const BodySink &sink, FetchInfo &info);

// An address of the HTTP routes (with "http://", "https://" or no scheme;
// its port in the text or, when the text names none, in port) as an
// absolute address. Without a scheme in the text, transport names it.
std::string absoluteHttpAddress(const char *address, uint16_t port, Transport transport);

// The parts of an absolute http:// or https:// address: host (without
// brackets or port), port (80 or 443 when none is named), the request
// target (path and query, "/" when empty; the fragment dropped) and the
// transport the scheme names. False for another scheme, a missing host or
// a port text that is no port.
bool splitAbsoluteAddress(const std::string &address, std::string &host, uint16_t &port, std::string &target,
                          Transport &transport);

}  // namespace netgrab

#pragma once
// Small text searches over answers and playlists of the HTTP route. All
// work on NUL-terminated texts (an answer is terminated after its received
// bytes, so binary audio after the header block simply ends the text early).

#include <cstddef>
#include <cstdint>

#include "connection.h"

namespace netgrab {

// First occurrence of needle in text[0, length) (which need not end with a
// NUL), ASCII letters compared without case; nullptr when there is none.
// The one search without case of the library.
const char *findNoCase(const char *text, size_t length, const char *needle);
// As above in a NUL-terminated text.
const char *findNoCase(const char *text, const char *needle);
// True when text begins with prefix, ASCII letters compared without case.
bool startsWithNoCase(const char *text, const char *prefix);
// Length of a leading "http://" (7) or "https://" (8), compared without
// case, and the transport it names in *transport; 0 (and *transport left
// as it is) when the text begins with neither.
size_t webSchemeLength(const char *address, Transport *transport);
// The port of an address that names none: 443 over TLS, else 80.
uint16_t defaultWebPort(Transport transport);
// Splits "https://host[:port][/path]" or "...http://host[:port][/path]"
// (scheme in any case) into host (port cut off, cut to hostCap) and path
// ("/" when the address has none, as the request line sends it), and sets
// *transport (when given) to the scheme's. false when there is no
// "http://" or leading "https://" scheme.
bool splitHttpAddress(const char *address, char *host, size_t hostCap, char *path, size_t pathCap,
                      Transport *transport = nullptr);
// The value of a Location header in an answer, after the optional white
// space that may follow the colon (RFC 7230, section 3.2: OWS). A line that
// begins with "Location:" in any case is preferred; otherwise the first
// "Location:" anywhere in the text counts, as a moved notice in a body may
// carry it. nullptr when there is none.
const char *findLocationValue(const char *answer);
// Whether a status line (upper-cased) sends the client elsewhere: a 302 of
// HTTP/1.0 or 1.1, a 301 of HTTP/1.1, and with http10Moved a 301 of
// HTTP/1.0 too (playlist documents follow it; the describe request of the
// audio route reads it as an answer).
bool isRedirectStatus(const char *status, bool http10Moved);
// Copies the value at src up to the first NUL, CR or LF (or a character of
// extraStops) into dst, cut to cap, and drops trailing blanks and tabs.
void copyValue(char *dst, size_t cap, const char *src, const char *extraStops = "");

// Offset of the empty line that ends the header block of answer[0, count)
// (the CR LF CR LF), or -1 when the block has not ended there.
int headerBlockEnd(const char *answer, int count);
// The value of the header field name (without its colon, any case) in the
// header block answer[0, headerEnd): the first line that begins with the
// name and a colon, the value without the white space around it, cut at
// CR or LF, into out (cut to cap). false, out empty, when there is none.
bool headerFieldValue(const char *answer, int headerEnd, const char *name, char *out, size_t cap);

// ---- "Transfer-Encoding: chunked" (RFC 7230, section 4.1) -------------
// Answers to an HTTP/1.1 request may come in chunks: a hexadecimal size
// line, that many bytes, CR LF, ..., a chunk of size 0 and trailer lines.
// The framing is removed in place, so no size line reaches a recording.

// Where the decoder stands in a chunked body.
enum class ChunkedStep : uint8_t {
    Size,      // hexadecimal digits of the size line
    SizeRest,  // extensions or CR up to the LF that ends the size line
    Data,      // `left` bytes of data
    DataEnd,   // the CR LF behind the data
    Trailer,   // trailer lines after the last chunk, up to an empty one
    Done,      // the body has ended: nothing more is data
};
struct ChunkedDecoder
{
    bool active = false;  // the last answer was chunked
    ChunkedStep step = ChunkedStep::Size;
    uint32_t left = 0;   // data bytes left in the current chunk
    int sizeDigits = 0;  // digits of the size line; characters of a trailer line
};

// True when the header block answer[0, headerEnd) carries
// "Transfer-Encoding: ... chunked" (names and values in any case).
bool headerSaysChunked(const char *answer, int headerEnd);
// When the answer's header block (answer[0, count)) says chunked, removes
// the framing from the body that follows it, in place, and keeps the
// decoder going for the rest of the stream (dechunkStream); otherwise
// stops it. Returns the answer's new length.
int unchunkAnswer(ChunkedDecoder &decoder, char *answer, int count);
// Removes the framing from a block received later on the same stream, in
// place, while the last answer was chunked. Returns the body bytes left at
// the start of bytes (0 when the block held framing only).
int dechunkStream(ChunkedDecoder &decoder, char *bytes, int length);

}  // namespace netgrab

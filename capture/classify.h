#pragma once
// Source address classification and playlist resolution.

#include <cstddef>

#include "connection.h"

namespace netgrab {

struct CaptureState;

// Sets sourceKind and rewrites workingAddress/serverPort/pageCookie.
// 1 when classified, 0 when the address cannot be used.
int classifySource(CaptureState &s, const char *address);
// Resolves the ASX playlist named by workingAddress. 1 or 0 as above.
int resolveAsx(CaptureState &s);
// Fetch the playlist in workingAddress and capture the stream it names.
void resolveM3u(CaptureState &s, const char *address);
void resolvePls(CaptureState &s, const char *address);
// Text between the first two double quotes into out (384 bytes). 1 or 0.
int quotedValue(const char *text, char out[384]);

// The steps above that read an answer without touching the network.

// The stream reference of an ASX document (received case, with its scheme)
// into target: the first entry whose reference is not an advertisement or
// jingle (.WMA .WAV .GIF .MP3), else the first "mms://" text after the
// entries. 1, or 0 for a malformed document or one without a stream.
int asxTarget(const char *answer, char *target, size_t cap);
// Classifies an ASX stream reference by its scheme: sets workingAddress,
// serverPort and sourceKind. 1, or 0 for a scheme that is not recorded.
int applyAsxTarget(CaptureState &s, const char *target);
// The first stream address after the header block of an M3U answer, without
// its "http://" or "https://" (lines that begin with '#', "#EXTM3U" and
// "#EXTINF" among them, are comments), and the transport its scheme names in
// *transport (when given). A line without a scheme is resolved against
// playlistAddress (the playlist's own full address; without one such lines
// are passed over); a line with another scheme is passed over. 1, or 0.
int m3uTarget(const char *answer, char *out, size_t cap, Transport *transport = nullptr,
              const char *playlistAddress = nullptr);
// The File1 address of a PLS answer, without its "http://" or "https://"
// (an address without a scheme is taken as plain HTTP), and its transport
// in *transport (when given). 1, or 0.
int plsTarget(const char *answer, char *out, size_t cap, Transport *transport = nullptr);
// Reads the stream markers of a directory page answer (the ASX marker
// resolves its playlist). 1 when classified, 0 when no marker is present.
int readPageMarkers(CaptureState &s, const char *answer);

}  // namespace netgrab

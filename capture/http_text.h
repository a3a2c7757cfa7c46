#pragma once
// Small text searches over answers and playlists of the HTTP route. All
// work on NUL-terminated texts (an answer is terminated after its received
// bytes, so binary audio after the header block simply ends the text early).

#include <cstddef>

namespace netgrab {

// First occurrence of needle in text, ASCII letters compared without case;
// nullptr when there is none.
const char* findNoCase(const char* text, const char* needle);
// True when text begins with prefix, ASCII letters compared without case.
bool startsWithNoCase(const char* text, const char* prefix);
// The value of a Location header in an answer, after the optional white
// space that may follow the colon (RFC 7230, section 3.2: OWS). A line that
// begins with "Location:" in any case is preferred; otherwise the first
// "Location:" anywhere in the text counts, as a moved notice in a body may
// carry it. nullptr when there is none.
const char* findLocationValue(const char* answer);
// Copies the value at src up to the first NUL, CR or LF (or a character of
// extraStops) into dst, cut to cap, and drops trailing blanks and tabs.
void copyValue(char* dst, size_t cap, const char* src, const char* extraStops = "");

}  // namespace netgrab

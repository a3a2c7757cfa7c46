#pragma once
// Small text rules shared by the protocols: ports, status lines, GUIDs,
// and bounded copies/searches over NUL-terminated texts.

#include <cstddef>
#include <cstdint>

namespace netgrab {

// Writes {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} with digits 0-9, A-E.
void makeClientGuid(char out[40]);
// Takes an explicit ":port" after "://" out of the address (in place) into
// port (80 for an empty or zero port text); port is left as it is when the
// address names none or a port text that is not taken.
void extractPort(char *address, uint16_t &port);
// Port after the first ':' (1755 without one, 0xFFFF when not numeric).
uint16_t portFromText(const char *text);
// First line of an answer (up to CR LF), in a 512-byte buffer of its own.
// A negative length means: answer is NUL-terminated.
const char *statusLine(const char *answer, int length);

// Bounded helpers: dst always ends with NUL, never written past cap.
void copyText(char *dst, size_t cap, const char *src);
// Copies src up to the first NUL, CR or LF (and any char in extraStops).
void copyLineValue(char *dst, size_t cap, const char *src, const char *extraStops = "");
// Upper-cased copy (ASCII only).
void upperCopy(char *dst, size_t cap, const char *src);
// Skips blanks and tabs (the optional white space after a header colon).
const char *skipBlanks(const char *p);

}  // namespace netgrab

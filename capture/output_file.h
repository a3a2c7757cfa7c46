#pragma once
// The output file: state().outputBase + extension, opened for appending.

namespace netgrab {

// Opens (creating when missing) outputBase + extension for reading and
// writing, positioned at its end; sets appendMode. 1 on success, 0 on
// failure (lastError = NG_ERR_FILE_OPEN, "cannot write NAME: reason"
// printed once while the fault lasts).
int openOutput(const char* extension);
// As openOutput for the file beside it: variant 0 is outputBase + extension,
// variant n >= 2 is outputBase + "-n" + extension.
int openOutputVariant(const char* extension, int variant);
// Writes bytes at the current position. On a write error (a full disk, a
// file too large) the bytes that did reach the file are taken back, so the
// file ends where it ended before; the fault is printed once,
// outputWriteFailed is set and false returned.
bool writeOutput(const void* bytes, int length);
// Closes state().outputFile if it is open (safe to call twice).
void closeOutput();
// Milliseconds of a steady clock (for the attempt loop's pacing).
long long steadyNowMs();

}  // namespace netgrab

#pragma once
// The output file: state().outputBase + extension, opened for appending.

namespace netgrab {

// Opens (creating when missing) outputBase + extension for reading and
// writing, positioned at its end; sets appendMode. 1 on success, 0 on
// failure (lastError = NG_ERR_FILE_OPEN).
int openOutput(const char* extension);
// Writes bytes at the current position; returns false on a write error.
bool writeOutput(const void* bytes, int length);
// Closes state().outputFile if it is open (safe to call twice).
void closeOutput();

}  // namespace netgrab

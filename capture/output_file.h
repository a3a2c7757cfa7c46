#pragma once
// The output file: the capture's outputBase + extension, opened for appending.

#include <cstdint>
#include <cstdio>

namespace netgrab {

// Output names (without extension) are at most this long, NUL included.
constexpr int kOutputBaseSize = 512;

// The output file of the capture and what has been written to it.
struct OutputState
{
    FILE *file = nullptr;
    int appendMode = 0;  // 1: the file held a recording when it was opened
    // Bytes written through writeOutput() during the current attempt, and
    // the steady-clock times (ms) of its first and last write; the attempt
    // loop pauses before retrying unless the writes spanned a healthy stream.
    int64_t bytesWritten = 0;
    int64_t firstWriteMs = 0;
    int64_t lastWriteMs = 0;
    // A write to the output failed during this attempt: the capture ends.
    bool writeFailed = false;
    // "cannot write ..." has been printed for this name and reason; cleared
    // when a write succeeds again, so one fault gives one line, not one a try.
    char faultShown[kOutputBaseSize + 160];
    // Name of the file that is open now, for messages.
    char openName[kOutputBaseSize + 32];
};

struct CaptureState;

// Opens (creating when missing) outputBase + extension for reading and
// writing, positioned at its end; sets appendMode. 1 on success, 0 on
// failure (lastError = NG_ERR_FILE_OPEN, "cannot write NAME: reason"
// printed once while the fault lasts).
int openOutput(CaptureState &s, const char *extension);
// As openOutput for the file beside it: variant 0 is outputBase + extension,
// variant n >= 2 is outputBase + "-n" + extension.
int openOutputVariant(CaptureState &s, const char *extension, int variant);
// Writes bytes at the current position. On a write error (a full disk, a
// file too large) the bytes that did reach the file are taken back, so the
// file ends where it ended before; the fault is printed once,
// output.writeFailed is set and false returned.
bool writeOutput(CaptureState &s, const void *bytes, int length);
// Closes output.file if it is open (safe to call twice).
void closeOutput(OutputState &output);
// Milliseconds of a steady clock (for the attempt loop's pacing).
long long steadyNowMs();

}  // namespace netgrab

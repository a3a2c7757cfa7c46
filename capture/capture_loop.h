#pragma once
// The attempt loop behind the exported netgrab().

namespace netgrab {

struct CaptureState;

// One attempt: classify the source and run the routine of its kind until it
// ends (failure, closed stream or stop request). Appends to the output file.
void runAttempt(CaptureState& s, const char* source, const char* outputName);

// Sleeps up to ms milliseconds, waking at once when a stop is requested.
// True when a stop is pending.
bool waitForStop(int ms);

// Pause before the next attempt: 0 after an attempt whose writes spanned
// at least tuning.healthyStreamMs (a stream that dropped), otherwise
// tuning.retryPauseMinMs, doubling up to tuning.retryPauseMaxMs.
int nextRetryPause(int previousPauseMs, bool attemptStreamed);

// What the exports do: StopRecord() and netgrab().
void requestStop();
int captureUntilStopped(CaptureState& s, const char* source, const char* outputName);

}  // namespace netgrab

#pragma once
// The attempt loop behind the exported netgrab().

namespace netgrab {

struct CaptureState;

// One attempt: classify the source and run the routine of its kind until it
// ends (failure, closed stream or stop request). Appends to the output file.
void runAttempt(CaptureState &s, const char *source, const char *outputName);

// Pause before the next attempt: 0 after an attempt whose writes spanned
// at least tuning.healthyStreamMs (a stream that dropped), otherwise
// tuning.retryPauseMinMs, doubling up to tuning.retryPauseMaxMs.
int nextRetryPause(int previousPauseMs, bool attemptStreamed);

// What the exports do: StopRecord() asks the running capture to stop (a
// request while none runs is dropped, as a capture forgets a request made
// before it started); netgrab() runs captureUntilStopped on a new state,
// registered as the running capture for its lifetime (RunningCapture).
void requestStop();
int captureUntilStopped(CaptureState &s, const char *source, const char *outputName);
struct RunningCapture
{
    explicit RunningCapture(CaptureState &s);
    ~RunningCapture();
    RunningCapture(const RunningCapture &) = delete;
    RunningCapture &operator=(const RunningCapture &) = delete;
};

}  // namespace netgrab

// The exported interface and the attempt loop: classify the source, run the
// routine of its kind, and run the whole attempt again until stopped.
#include "capture_loop.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "build_config.h"
#include "capture_state.h"
#include "classify.h"
#include "connection.h"
#include "error_text.h"
#include "hls_route.h"
#include "http_audio.h"
#include "http_wire.h"
#include "mms_tcp.h"
#include "netgrab.h"
#include "net/socket_shim.h"
#include "output_file.h"
#include "portal.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

// The capture that netgrab() runs, for StopRecord(): registered while its
// state lives, under the lock so that a stop never reaches a state being
// destroyed.
std::mutex g_runningMutex;
CaptureState *g_running = nullptr;

constexpr const char *kUrlFault = "Fault: server url error! Please check again!!\n";

void say(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void dispatch(CaptureState &s)
{
    for (int redirects = 0;; ++redirects) {
        switch (s.sourceKind) {
        case SOURCE_MMS:
            if (captureMmsTcp(s, s.workingAddress) == RouteResult::TryHttp && !s.stop.pending()) {
                // No MMS stream could be set up: try the HTTP route. A
                // further address it names is not followed.
                if (s.serverPort == settings().tuning.mmsPort)
                    s.serverPort = settings().tuning.httpPort;
                extractPort(s.workingAddress, s.serverPort);
                captureHttpStream(s, s.workingAddress);
            }
            return;
        case SOURCE_HTTP: {
            FurtherAddress further;
            if (captureHttpStream(s, s.workingAddress, &further) != RouteResult::FurtherAddress)
                return;
            // A response may name a further address, which may name
            // another: the chain is bounded so that servers naming each
            // other in a circle cannot hold one attempt forever.
            copyText(s.workingAddress, sizeof s.workingAddress, further.text);
            if (s.stop.pending() || redirects >= wire::kMaxRedirects)
                return;
            if (!classifySource(s, s.workingAddress)) {
                say(kUrlFault);
                return;
            }
            continue;
        }
        case SOURCE_RTSP:
            say("Media type RTSP not support!!\n");
            return;
        case SOURCE_FILE:
            return;
        case SOURCE_PORTAL:
            capturePortal(s, s.workingAddress, s.pageCookie);
            return;
        case SOURCE_M3U:
            resolveM3u(s, s.workingAddress);
            return;
        case SOURCE_PLS:
            resolvePls(s, s.workingAddress);
            return;
        case SOURCE_HLS:
            captureHls(s, s.workingAddress);
            return;
        default:
            say("Unknown Type!!\n");
            return;
        }
    }
}

}  // namespace

CaptureSettings &settings()
{
    static CaptureSettings values{
        CaptureTuning{},
        CaptureConfig{VEXA_PORTAL_HOST, VEXA_PORTAL_STREAM_HOST, VEXA_SHOUTCAST_NOTICE_HOST},
    };
    return values;
}

SharedCounters &shared()
{
    static SharedCounters counters;
    return counters;
}

void runAttempt(CaptureState &s, const char *source, const char *outputName)
{
    shared().lastError = NG_ERR_NONE;
    s.output.bytesWritten = 0;
    s.output.firstWriteMs = 0;
    s.output.lastWriteMs = 0;
    s.output.writeFailed = false;
    s.chunked = ChunkedDecoder();
    // The stop flag is not cleared here but once per netgrab() call, so a stop
    // that arrives between two attempts is honoured.
    if (!outputName || std::strlen(outputName) >= sizeof s.outputBase) {
        shared().lastError = NG_ERR_FILE_OPEN;  // a name that does not fit is refused
        return;
    }
    copyText(s.outputBase, sizeof s.outputBase, outputName);
    if (!source || std::strlen(source) >= sizeof s.workingAddress) {
        say(kUrlFault);  // an address that does not fit is unusable
        return;
    }
    copyText(s.workingAddress, sizeof s.workingAddress, source);
    copyText(s.requestedAddress, sizeof s.requestedAddress, s.workingAddress);
    if (!classifySource(s, s.workingAddress)) {
        say(kUrlFault);
        return;
    }
    dispatch(s);
    if (shared().lastError != NG_ERR_NONE)
        traceFormat("attempt ended: %s", errorText(shared().lastError));
    // Every route closes its file; make sure of it before the next attempt.
    closeOutput(s.output);
    closeConnection(s.connection);
    std::fflush(stdout);
}

int nextRetryPause(int previousPauseMs, bool attemptRecorded)
{
    const CaptureTuning &t = settings().tuning;
    if (attemptRecorded)
        return 0;
    if (previousPauseMs <= 0)
        return t.retryPauseMinMs;
    int next = previousPauseMs > t.retryPauseMaxMs / 2 ? t.retryPauseMaxMs : previousPauseMs * 2;
    return next < t.retryPauseMinMs ? t.retryPauseMinMs : next;
}

void requestStop()
{
    std::lock_guard<std::mutex> lock(g_runningMutex);
    if (g_running)
        g_running->stop.set();
}

RunningCapture::RunningCapture(CaptureState &s)
{
    std::lock_guard<std::mutex> lock(g_runningMutex);
    g_running = &s;
}

RunningCapture::~RunningCapture()
{
    std::lock_guard<std::mutex> lock(g_runningMutex);
    g_running = nullptr;
}

int captureUntilStopped(CaptureState &s, const char *source, const char *outputName)
{
    net::ensureStandardDescriptors();
    if (!net::startup()) {
        net::cleanup();
        say("WSAStartup fail!!\n");
        shared().lastError = NG_ERR_NET_START;
        return NG_ERR_NET_START;
    }
    shared().recordedBytes = 0;
    s.output.faultShown[0] = '\0';
    // A stop requested before this call belongs to an earlier capture.
    s.stop.clear();
    int pause = 0;
    for (;;) {
        runAttempt(s, source, outputName);
        if (s.stop.pending())
            break;
        // Only a stream that kept coming for a while is followed at once by
        // the next attempt. Without a pause a refused connection or an
        // unusable address would retry thousands of times a second, and a
        // server that sends a short answer (or a finite file, or a few
        // packets) and closes would be asked again and again, its bytes
        // appended each time until the disk is full.
        const bool streamed = s.output.bytesWritten > 0
            && s.output.lastWriteMs - s.output.firstWriteMs >= settings().tuning.healthyStreamMs;
        pause = nextRetryPause(pause, streamed);
        if (pause > 0 && s.stop.wait(pause))
            break;
    }
    net::cleanup();
    return 0;
}

}  // namespace netgrab

// The four exports. Nothing may escape them as an exception.
namespace netgrab_api {

extern "C" NETGRAB_API int NETGRAB_CALL netgrab(const char *source, const char *outputName)
{
    // The capture's state: created here for this call, on the heap for its
    // buffers, and closed here too should anything escape the loop.
    std::unique_ptr<netgrab::CaptureState> s;
    try {
        s = std::make_unique<netgrab::CaptureState>();
        const netgrab::RunningCapture running(*s);
        return netgrab::captureUntilStopped(*s, source, outputName);
    } catch (...) {
        // A failure inside is no stop: the caller learns it from the result
        // and from GetRecError().
        netgrab::shared().lastError.store(NG_ERR_INTERNAL, std::memory_order_relaxed);
        try {
            if (s) {
                netgrab::closeOutput(s->output);
                netgrab::closeConnection(s->connection);
            }
            netgrab::net::cleanup();
            netgrab::traceFormat("capture ended: %s", netgrab::errorText(NG_ERR_INTERNAL));
        } catch (...) {
        }
        return NG_ERR_INTERNAL;
    }
}

extern "C" NETGRAB_API void NETGRAB_CALL StopRecord(void)
{
    try {
        netgrab::requestStop();
    } catch (...) {
        // Only the lock can throw: the capture then stops at its next look
        // after a later request.
    }
}

extern "C" NETGRAB_API int NETGRAB_CALL GetRecBytes(void)
{
    return netgrab::shared().recordedBytes.load(std::memory_order_relaxed);
}

extern "C" NETGRAB_API int NETGRAB_CALL GetRecError(void)
{
    return netgrab::shared().lastError.load(std::memory_order_relaxed);
}

}  // namespace netgrab_api

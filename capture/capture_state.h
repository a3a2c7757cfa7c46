#pragma once
// The state of one capture (CaptureState), created by netgrab() and passed
// by reference to every routine of the library; the process-wide settings a
// capture reads; and the two words that the exported accessors read from
// other threads (atomic, relaxed: a reader may see a value one update
// behind).

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "asf_chunks.h"
#include "connection.h"
#include "hls_progress.h"
#include "http_text.h"
#include "output_file.h"
#include "stop_request.h"

namespace netgrab {

// Result of classification; the value selects the routine an attempt runs.
enum SourceKind : int32_t {
    SOURCE_NONE = 0,
    SOURCE_MMS = 1,
    SOURCE_HTTP = 2,
    SOURCE_RTSP = 3,
    SOURCE_FILE = 4,
    SOURCE_PORTAL = 5,
    SOURCE_M3U = 6,
    SOURCE_PLS = 7,
    SOURCE_HLS = 8,
};

// Buffer sizes. Every text written into a buffer is cut to fit it.
constexpr int kWorkingAddressSize = 256;
constexpr int kRequestedAddressSize = 512;
constexpr int kPageCookieSize = 512;
constexpr int kClientGuidSize = 40;
constexpr int kReceiveBufferSize = 20480;
constexpr int kRequestTextSize = 8192;
constexpr int kAnswerLimit = 10240;  // HTTP request operations never place more
constexpr int kMmsPathSize = 512;
// The MMS-over-TCP stream header buffer.
constexpr int kHeaderBufferSize = 8924;
// A server command during streaming is a few dozen bytes (ping, stream
// change, end of stream) [MS-MMSP] 2.2.4; the largest server message of the
// protocol (ReportFunnelInfo) is about 1 KiB. A command that announces more
// than this buffer is taken as a broken stream and ends the attempt.
constexpr int kCommandBufferSize = 4096;

constexpr uint16_t kNoPort = 0xFFFF;

// Knobs that the shipped program keeps at their defaults; tests shorten them.
struct CaptureTuning
{
    int receivePollMs = 40;      // wait between receive polls on a quiet socket
    int receivePollCount = 152;  // polls before a receive gives up (~6.1 s)
    int retryPauseMinMs = 250;   // pause after an attempt that recorded nothing
    int retryPauseMaxMs = 4000;  // the pause doubles up to this
    // An attempt that streamed (wrote) over at least this span is a healthy
    // stream that dropped: the next attempt follows at once. Shorter ones
    // (a short answer, a finite file, a few packets) are paced like failures.
    int healthyStreamMs = 2000;
    // Longest wait for the socket to take an MMS pong; a stop ends it too.
    int pongTimeoutMs = 1000;
    // Ports of routes whose address names none; tests point them at
    // loopback peers.
    uint16_t mmsPort = 1755;  // MMS over TCP
    uint16_t httpPort = 80;   // HTTP fall-back of MMS over TCP; portal requests
};

// Values fixed at build time; tests may point them elsewhere.
struct CaptureConfig
{
    const char *portalHost;
    const char *portalStreamHost;
    const char *shoutcastNoticeHost;
};

// Everything one capture works on: netgrab() creates it (on the heap, for
// its buffers) and every route, reader, request and output routine takes it,
// or the part of it that it needs, by reference.
struct CaptureState
{
    // Set by StopRecord() from another thread while the capture runs.
    StopRequest stop;
    // The capture's one connection to a server (connection.h); a route
    // opens it, passes it on and closes it.
    Connection connection{stop};

    char workingAddress[kWorkingAddressSize];
    char requestedAddress[kRequestedAddressSize];
    char outputBase[kOutputBaseSize];
    uint16_t serverPort = kNoPort;
    uint16_t requestPort = 80;
    // How the server of the working address is reached: TLS for an
    // "https" address. The HTTP request operations connect with it.
    Transport transport = Transport::Tcp;
    int32_t sourceKind = SOURCE_NONE;
    char pageCookie[kPageCookieSize];

    // The output file and what has been written to it (output_file.h).
    OutputState output;
    char clientGuid[kClientGuidSize];

    // Packets of the Windows Media route that runs (asf_chunks.h).
    AsfPacketSession packets;

    // "Transfer-Encoding: chunked" body of the last HTTP answer that keeps
    // its connection (MPEG audio, MMS-over-HTTP play): the streaming loops
    // pass every block through it (http_text.h).
    ChunkedDecoder chunked;

    // The HLS route's progress, kept across the attempts of this capture
    // (hls_progress.h).
    HlsProgress hls;

    // The answer buffer of the HTTP request operations; one byte longer than
    // its nominal size so that an answer of the full size can always be
    // NUL-terminated.
    char receiveBuffer[kReceiveBufferSize + 1];
    char requestText[kRequestTextSize];
};

// Configuration, not progress: the shipped program keeps these at their
// defaults and tests change them between captures, never during one. A
// capture reads them while it runs; nothing writes them.
struct CaptureSettings
{
    CaptureTuning tuning;
    CaptureConfig config;
};
CaptureSettings &settings();

// What the exported accessors read from other threads, also once the
// capture has ended: the last error (enum NetgrabError) and the recorded
// bytes. Relaxed atomics: a reader may see a value one update behind.
struct SharedCounters
{
    std::atomic<int32_t> lastError{0};
    std::atomic<int32_t> recordedBytes{0};
};
SharedCounters &shared();

}  // namespace netgrab

#pragma once
// The process-wide capture state shared by every routine of the library.
// One capture per process: all fields belong to the capture thread, except
// the three words that the exported accessors read and write from other
// threads (atomic, relaxed: a reader may see a value one update behind).

#include <atomic>
#include <cstdint>
#include <cstdio>

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
};

// Buffer sizes. Every text written into a buffer is cut to fit it.
constexpr int kWorkingAddressSize = 256;
constexpr int kRequestedAddressSize = 512;
constexpr int kOutputBaseSize = 512;
constexpr int kPageCookieSize = 512;
constexpr int kClientGuidSize = 40;
constexpr int kAssemblyBufferSize = 192000;
constexpr int kReceiveBufferSize = 20480;
constexpr int kWorkBufferSize = 20480;
constexpr int kRequestTextSize = 8192;
constexpr int kAnswerLimit = 10240;        // HTTP request operations never place more
constexpr int kMmsPathSize = 512;
constexpr int kHeaderBufferSize = 8924;
constexpr int kCommandBufferSize = 256;

constexpr uint16_t kNoPort = 0xFFFF;

// Knobs that the shipped program keeps at their defaults; tests shorten them.
struct CaptureTuning {
    int receivePollMs = 40;     // wait between receive polls on a quiet socket
    int receivePollCount = 152; // polls before a receive gives up (~6.1 s)
    int retryPauseMinMs = 250;  // pause after an attempt that recorded nothing
    int retryPauseMaxMs = 4000; // the pause doubles up to this
    // Ports of routes whose address names none; tests point them at
    // loopback peers.
    uint16_t mmsPort = 1755;    // MMS over TCP
    uint16_t httpPort = 80;     // HTTP fall-back of MMS over TCP; portal requests
};

// Values fixed at build time; tests may point them elsewhere.
struct CaptureConfig {
    const char* portalHost;
    const char* portalStreamHost;
    const char* shoutcastNoticeHost;
};

struct CaptureState {
    char workingAddress[kWorkingAddressSize];
    char requestedAddress[kRequestedAddressSize];
    char outputBase[kOutputBaseSize];
    uint16_t serverPort = kNoPort;
    uint16_t requestPort = 80;
    int32_t sourceKind = SOURCE_NONE;
    char pageCookie[kPageCookieSize];

    std::atomic<int32_t> stopRequested{0};
    std::atomic<int32_t> lastError{0};
    std::atomic<int32_t> recordedBytes{0};

    FILE* outputFile = nullptr;
    int appendMode = 0;
    // Bytes written through writeOutput() during the current attempt; the
    // attempt loop pauses before retrying only after attempts that wrote none.
    int64_t attemptBytesWritten = 0;
    char clientGuid[kClientGuidSize];

    // ASF packet handling (MMS over HTTP, MMS over TCP, portal).
    int32_t packetSize = -1;
    int32_t packetCount = 0;
    unsigned char assemblyBuffer[kAssemblyBufferSize];
    int32_t assemblyFill = 0;
    // "$D" chunk parser (MMS over HTTP and portal).
    int32_t chunkState = 0;
    int32_t chunkLength = 0;
    int32_t chunkCopied = 0;

    // MMS over TCP.
    char mmsPath[kMmsPathSize];
    uint16_t mmsTcpPort = 1755;
    int mmsConnection = 0;
    uint32_t mmsSequence = 0;
    unsigned char headerBuffer[kHeaderBufferSize];
    int32_t headerFill = 0;
    int32_t expectedHeaderLength = 0xFFFF;
    int32_t headerPacketState = 0, headerPacketLength = 0, headerPacketCopied = 0;
    unsigned char commandBuffer[kCommandBufferSize];
    int32_t commandFill = 0, commandLength = 0;
    int32_t dataState = 0, dataLength = 0, dataCopied = 0;
    int32_t firstPacketLength = -1;

    // Shared buffers. receiveBuffer is one byte longer than its nominal size
    // so that an answer of the full size can always be NUL-terminated.
    char receiveBuffer[kReceiveBufferSize + 1];
    char workBuffer[kWorkBufferSize + 1];
    char requestText[kRequestTextSize];

    CaptureTuning tuning;
    CaptureConfig config;
};

// The one capture state of the process.
CaptureState& state();

}  // namespace netgrab

// MMS over HTTP [MS-WMSP]: the stream header from the describe answer, the
// play request, the "$D" data chunks, and the ASF header fix-up that makes
// the recorded file state its real size, packet count and duration.
#include "mms_http.h"

#include <cstdio>
#include <cstring>

#include "byte_reader.h"
#include "capture_state.h"
#include "connection.h"
#include "http_text.h"
#include "mms_wire.h"
#include "netgrab.h"
#include "output_file.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

AsfTimeline g_timeline;

// Appends one byte to the assembly buffer; bytes past its end are dropped
// (a data packet is at most 65535 bytes, far below the buffer's size).
inline void assemble(CaptureState& s, unsigned char byte) {
    if (s.assemblyFill < kAssemblyBufferSize) s.assemblyBuffer[s.assemblyFill++] = byte;
}

// Host (port cut off) and path of a full "http://" address; false when the
// address has no "HTTP:" in it.
bool splitHttpAddress(const char* address, char* host, size_t hostCap, char* path, size_t pathCap) {
    char upper[512];
    upperCopy(upper, sizeof upper, address);
    const char* found = std::strstr(upper, "HTTP:");
    if (!found) return false;
    size_t at = static_cast<size_t>(found - upper) + 7;  // just after "http://"
    size_t len = std::strlen(address);
    if (at > len) at = len;
    const char* rest = address + at;
    const char* slash = std::strchr(rest, '/');
    size_t hostLen = slash ? static_cast<size_t>(slash - rest) : std::strlen(rest);
    if (hostLen >= hostCap) hostLen = hostCap - 1;
    std::memcpy(host, rest, hostLen);
    host[hostLen] = '\0';
    if (char* colon = std::strchr(host, ':')) *colon = '\0';
    copyText(path, pathCap, slash ? slash : "");
    return true;
}

}  // namespace

AsfTimeline& asfTimeline() { return g_timeline; }

int findMinPacketSize(const unsigned char* bytes, int length) {
    if (!bytes || length <= 0) return -1;
    return asfMinPacketSize(bytes, static_cast<size_t>(length));
}

int extractStreamHeader(const char* answer, int count) {
    CaptureState& s = state();
    const unsigned char* a = reinterpret_cast<const unsigned char*>(answer);
    s.assemblyFill = 0;
    g_timeline.reset();
    bool seen = false;
    int i = 0;
    while (i < count) {
        // '$' 'H' <length LE16> <8 framing bytes> <payload of length - 8>
        if (a[i] != wire::kChunkMark || i + 1 >= count || a[i + 1] != wire::kChunkHeader) {
            ++i;
            continue;
        }
        if (i + 2 >= count) break;
        seen = true;
        if (i + 3 >= count) break;  // length's high byte missing: nothing to take
        int chunkLength = readLe16(a + i + 2);
        int payload = chunkLength - wire::kChunkFramingBytes;
        int start = i + 4 + wire::kChunkFramingBytes;
        if (payload < 0) payload = 0;
        if (start > count) start = count;
        if (payload > count - start) payload = count - start;  // only bytes that arrived
        int size = findMinPacketSize(a + start, payload);
        if (size > 0) s.packetSize = size;
        for (int k = 0; k < payload; ++k) assemble(s, a[start + k]);
        i = start + payload;
    }
    if (!seen) {
        s.lastError = NG_ERR_NO_STREAM_HEADER;
        return -2;
    }
    const bool accepted = acceptStreamHeader(s.assemblyBuffer, s.assemblyFill);
    s.assemblyFill = 0;
    if (!accepted) return -2;
    s.recordedBytes = 0;
    return 1;
}

bool acceptStreamHeader(const unsigned char* header, int length) {
    CaptureState& s = state();
    const AsfHeaderCheck check = checkAsfHeader(header, length > 0 ? static_cast<size_t>(length) : 0);
    if (!check.usable) {
        traceFormat("stream header refused: %s", check.fault);
        s.lastError = NG_ERR_NO_STREAM_HEADER;
        return false;
    }
    s.packetSize = static_cast<int32_t>(check.packetSize);
    // The file open now is outputBase.wma; when it holds a recording whose
    // streams differ, the packets go into outputBase-2.wma, -3, ... instead.
    for (int variant = 0; variant <= kMaxOutputVariant; variant = variant == 0 ? 2 : variant + 1) {
        if (variant > 0 && !openOutputVariant(".wma", variant)) return false;
        if (!s.outputFile) return false;
        if (s.appendMode == 0) {
            if (!writeOutput(header, static_cast<int>(check.length))) return false;
            traceFormat("stream header write : %u", check.length);
            return true;
        }
        // Read the head of the recording to compare its header (workBuffer
        // is free while a stream is being set up).
        unsigned char* head = reinterpret_cast<unsigned char*>(s.workBuffer);
        size_t got = 0;
        if (std::fseek(s.outputFile, 0, SEEK_SET) == 0) got = std::fread(head, 1, kWorkBufferSize, s.outputFile);
        std::fseek(s.outputFile, 0, SEEK_END);
        if (sameAsfStreams(head, got, header, check.length)) return true;
        traceFormat("stream header differs from the recording's: file %d is next", variant == 0 ? 2 : variant + 1);
    }
    closeOutput();
    s.lastError = NG_ERR_FILE_OPEN;
    return false;
}

void completeAsfPacket() {
    CaptureState& s = state();
    const int target = s.packetSize;
    // Packets go only behind an accepted header (which set the packet
    // size), are never longer than the packet size, and stop at the first
    // write that fails.
    if (s.outputWriteFailed || target < static_cast<int>(kMinAsfPacketSize) ||
        target > static_cast<int>(kMaxAsfPacketSize) || s.assemblyFill > target) {
        s.assemblyFill = 0;
        return;
    }
    if (s.assemblyFill < target) {
        std::memset(s.assemblyBuffer + s.assemblyFill, 0, static_cast<size_t>(target - s.assemblyFill));
        s.assemblyFill = target;
    }
    if (!writeOutput(s.assemblyBuffer, s.assemblyFill)) {
        s.assemblyFill = 0;
        return;
    }
    s.recordedBytes += s.assemblyFill;
    s.packetCount += 1;
    AsfPacketTiming timing;
    if (readAsfPacketTiming(s.assemblyBuffer, static_cast<size_t>(s.assemblyFill), &timing))
        g_timeline.add(timing);
    s.assemblyFill = 0;
}

int takePacketBytes(const unsigned char* bytes, int available, int wanted) {
    CaptureState& s = state();
    const int n = wanted < available ? wanted : available;
    const int room = kAssemblyBufferSize - s.assemblyFill;
    const int take = n < room ? n : room;
    if (take > 0) {
        std::memcpy(s.assemblyBuffer + s.assemblyFill, bytes, static_cast<size_t>(take));
        s.assemblyFill += take;
    }
    return n;
}

void streamDataChunks(Connection c, int firstCount) {
    CaptureState& s = state();
    feedDataChunks(reinterpret_cast<const unsigned char*>(s.receiveBuffer), firstCount);
    for (;;) {
        if (s.outputWriteFailed) break;  // lastError already says so
        int n = receiveStream(c, s.receiveBuffer, kDataReceiveBlock);
        if (n <= 0) {
            s.lastError = streamEndError();
            break;
        }
        n = dechunkStream(s.receiveBuffer, n);
        feedDataChunks(reinterpret_cast<const unsigned char*>(s.receiveBuffer), n);
        if (s.stopRequested) {
            s.lastError = NG_ERR_STOPPED;
            break;
        }
    }
    closeConnection(c);
}

void feedDataChunks(const unsigned char* block, int length) {
    CaptureState& s = state();
    for (int i = 0; i < length; ++i) {
        const unsigned char b = block[i];
        switch (s.chunkState) {
            case CHUNK_MARK:
                if (b == wire::kChunkMark || b == wire::kChunkMarkAlt) s.chunkState = CHUNK_TYPE;
                break;
            case CHUNK_TYPE:
                s.chunkState = b == wire::kChunkData ? CHUNK_LENGTH_LO : CHUNK_MARK;
                break;
            case CHUNK_LENGTH_LO:
                s.chunkLength = b;
                s.chunkState = CHUNK_LENGTH_HI;
                break;
            case CHUNK_LENGTH_HI:
                s.chunkLength = (s.chunkLength | (b << 8)) - wire::kChunkFramingBytes;
                s.chunkState = CHUNK_FRAMING;
                break;
            case 3: case 4: case 5: case 6: case 7: case 8: case 9:
                s.chunkState += 1;
                break;
            case 10:
                // A packet shorter than its three error correction bytes is no
                // packet; one longer than the packet size is not recorded
                // (its payload is passed over whole).
                if (s.chunkLength > 0 && s.chunkLength > s.packetSize) {
                    s.chunkCopied = 0;
                    s.chunkState = CHUNK_SKIP;
                } else {
                    s.chunkState = s.chunkLength >= 3 ? CHUNK_EC_FLAGS : CHUNK_MARK;
                }
                break;
            case CHUNK_SKIP: {
                const int want = s.chunkLength - s.chunkCopied;
                const int n = want < length - i ? want : length - i;
                if (n <= 0) {
                    s.chunkState = CHUNK_MARK;
                    break;
                }
                s.chunkCopied += n;
                i += n - 1;
                if (s.chunkCopied >= s.chunkLength) s.chunkState = CHUNK_MARK;
                break;
            }
            case CHUNK_EC_FLAGS:
                s.chunkState = b == wire::kErrorCorrectionFlags ? CHUNK_EC_DATA1 : CHUNK_MARK;
                break;
            case CHUNK_EC_DATA1:
                s.chunkState = b == 0x00 ? CHUNK_EC_DATA2 : CHUNK_MARK;
                break;
            case CHUNK_EC_DATA2:
                if (b != 0x00) {
                    s.chunkState = CHUNK_MARK;
                    break;
                }
                s.assemblyFill = 0;
                assemble(s, wire::kErrorCorrectionFlags);
                assemble(s, 0x00);
                assemble(s, 0x00);
                s.chunkCopied = 3;
                if (s.chunkCopied >= s.chunkLength) {
                    completeAsfPacket();
                    s.chunkState = CHUNK_MARK;
                } else {
                    s.chunkState = CHUNK_PAYLOAD;
                }
                break;
            case CHUNK_PAYLOAD: {
                // Copy as much of the payload as this block holds in one go.
                const int n = takePacketBytes(block + i, length - i, s.chunkLength - s.chunkCopied);
                s.chunkCopied += n;
                i += n - 1;
                if (s.chunkCopied >= s.chunkLength) {
                    completeAsfPacket();
                    s.chunkState = CHUNK_MARK;
                }
                break;
            }
            default:
                s.chunkState = CHUNK_MARK;
                break;
        }
    }
}

void fillPlaySlots(HeaderSlot* slots, const char* host, const char* clientGuid) {
    copyText(slots[0], kHeaderSlotSize, wire::kAcceptAny);
    copyText(slots[1], kHeaderSlotSize, wire::kUserAgentPlayer);
    std::snprintf(slots[2], kHeaderSlotSize, wire::kHostFormat, host);
    copyText(slots[3], kHeaderSlotSize, wire::kAcceptAuthentication);
    copyText(slots[4], kHeaderSlotSize, wire::kPragmaVersion11);
    copyText(slots[5], kHeaderSlotSize, wire::kPragmaPlayOffset);
    copyText(slots[6], kHeaderSlotSize, wire::kPragmaPlayStream);
    copyText(slots[7], kHeaderSlotSize, wire::kPragmaClientId);
    copyText(slots[8], kHeaderSlotSize, wire::kPragmaLinkBandwidth);
    copyText(slots[9], kHeaderSlotSize, wire::kSupportedFeatures);
    std::snprintf(slots[10], kHeaderSlotSize, wire::kPragmaClientGuidFormat, clientGuid);
    copyText(slots[11], kHeaderSlotSize, wire::kPragmaSwitchCount);
    copyText(slots[12], kHeaderSlotSize, wire::kPragmaSwitchEntry);
    copyText(slots[13], kHeaderSlotSize, wire::kAcceptLanguageLast);
}

void playRequest(const char* fullAddress) {
    CaptureState& s = state();
    s.requestPort = s.serverPort;
    char host[128];
    char path[512];
    if (!splitHttpAddress(fullAddress, host, sizeof host, path, sizeof path)) {
        closeOutput();
        s.lastError = NG_ERR_REFUSED;
        return;
    }
    HeaderSlot slots[kPlaySlotCount];
    fillPlaySlots(slots, host, s.clientGuid);
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    s.assemblyFill = 0;

    int count = 0;
    Connection c = httpRequestFirst(s.receiveBuffer, host, path, slots, kPlaySlotCount, &count);
    if (c <= 0 || count <= 0) {
        if (c > 0) closeConnection(c);
        closeOutput();
        s.lastError = NG_ERR_RECEIVE;
        return;
    }
    streamDataChunks(c, count);
    finishAsfFile();
    closeOutput();
}

void finishAsfFile() {
    CaptureState& s = state();
    FILE* f = s.outputFile;
    if (!f) return;
    unsigned char* head = s.assemblyBuffer;  // the capture has ended: free for reuse
    if (std::fseek(f, 0, SEEK_SET) != 0) return;
    size_t got = std::fread(head, 1, kAsfFixUpWindow, f);
    if (std::fseek(f, 0, SEEK_END) != 0) return;
    long end = std::ftell(f);
    if (end < 0) return;

    AsfFinalCounts counts;
    counts.fileSize = static_cast<uint64_t>(end);
    counts.packetCount = static_cast<uint32_t>(s.packetCount);
    counts.appendMode = s.appendMode != 0;
    counts.haveTimeline = !g_timeline.empty();
    counts.recordedMs = g_timeline.totalMs();
    AsfFixUp fix = fixUpAsfHeader(head, got, counts);
    if (!fix.foundFileProperties) return;
    s.packetCount = static_cast<int32_t>(fix.packetCount);
    s.recordedBytes = static_cast<int32_t>(end);
    if (!fix.written) return;
    traceFormat("stop file!!  %d   --- rcv = %d", static_cast<int>(end), static_cast<int>(s.recordedBytes));
    // Write back exactly the bytes read: never more than the file held.
    if (std::fseek(f, 0, SEEK_SET) == 0) {
        std::fwrite(head, 1, got, f);
        std::fflush(f);
    }
    std::fseek(f, 0, SEEK_END);
    s.recordedBytes = 0;
    s.assemblyFill = 0;
}

}  // namespace netgrab

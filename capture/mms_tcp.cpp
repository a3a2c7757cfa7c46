// MMS over TCP [MS-MMSP]: seven client commands with fixed templates, the
// ASF stream header from header packets, then data packets padded to the
// packet size and appended to the ".wma" file; server pings are answered.
#include "mms_tcp.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "byte_reader.h"
#include "capture_state.h"
#include "mms_http.h"
#include "mms_wire.h"
#include "netgrab.h"
#include "output_file.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

// Header packet reader states (CaptureState::headerPacketState):
// 0..5 skip packet header bytes, 6 and 7 the length, 8 the payload.
constexpr int kHeaderLengthLo = 6;
constexpr int kHeaderLengthHi = 7;
constexpr int kHeaderPayload = 8;

// Data stream reader states (CaptureState::dataState).
constexpr int kDataPrefixLast = 5;  // 0..5: first bytes, kept in commandBuffer
constexpr int kDataLengthLo = 6;
constexpr int kDataLengthHi = 7;
constexpr int kDataPayload = 8;
constexpr int kDataCommand = 9;
constexpr int kDataSkip = 10;  // payload of a packet that is not recorded

constexpr int kDataReceiveBytes = 1600;

// IEEE 754 doubles in little-endian byte order.
constexpr uint64_t kDouble3600 = 0x40AC200000000000ull;
constexpr uint64_t kDoubleZero = 0;

// Writes a text widened byte by byte to UTF-16LE at out[0..room); returns the
// bytes written. With terminate, two zero bytes follow when they fit.
int putUtf16(unsigned char* out, int room, const char* text, bool terminate) {
    int n = 0;
    for (const char* p = text; *p && n + 2 <= room; ++p) {
        out[n++] = static_cast<unsigned char>(*p);
        out[n++] = 0;
    }
    if (terminate && n + 2 <= room) {
        out[n++] = 0;
        out[n++] = 0;
    }
    return n;
}

void resetDataReader(CaptureState& s) {
    s.dataState = 0;
    s.dataLength = 0;
    s.dataCopied = 0;
    s.commandFill = 0;
    s.commandLength = 0;
    s.mmsStreamBroken = false;
    s.mmsPongFailed = false;
}

// A complete server command sits in commandBuffer[0, commandLength).
void handleServerCommand(CaptureState& s, Connection connection) {
    if (s.commandLength < 48 || s.commandLength > kCommandBufferSize) return;
    if (readLe32(s.commandBuffer + 36) != wire::kMmsPing) return;
    // LinkViewerToMacPong: the ping sent back with its direction turned and
    // its two parameters set [MS-MMSP] 2.2.4.25.
    std::memcpy(s.commandBuffer + 40, wire::kMmsPongParams, sizeof wire::kMmsPongParams);
    s.commandBuffer[38] = static_cast<unsigned char>(wire::kMmsToServer);
    // A server that sends pings but does not read the answers must not hold
    // the reader (and a stop) for a send time-out per ping: the pong waits a
    // short time at most, a stop ends the wait, and after one pong that could
    // not go out the connection gets no more.
    if (s.mmsPongFailed) return;
    if (sendWithin(connection, s.commandBuffer, s.commandLength, s.tuning.pongTimeoutMs) < s.commandLength)
        s.mmsPongFailed = true;
}

// True when a complete data packet in assemblyBuffer starts as the ASF data
// packets of these streams do: error correction flags 0x82 and two bytes
// of error correction data [ASF] 5.2.1 (the MMS-over-HTTP route takes the
// same packets only).
bool looksLikeDataPacket(const CaptureState& s) {
    return s.assemblyFill >= 3 && s.assemblyBuffer[0] == wire::kErrorCorrectionFlags &&
           s.assemblyBuffer[1] == 0x00 && s.assemblyBuffer[2] == 0x00;
}

}  // namespace

int buildMmsCommand(int step, uint32_t sequence, const MmsCommandArgs& args, unsigned char* out,
                    int capacity) {
    int length = 0;
    uint16_t code = 0;
    switch (step) {
        case MMS_CONNECT: length = 176; code = 0x0001; break;
        case MMS_FUNNEL_INFO: length = 48; code = 0x0018; break;
        case MMS_CONNECT_FUNNEL: length = 120; code = 0x0002; break;
        case MMS_OPEN_FILE: length = 304; code = 0x0005; break;
        case MMS_READ_BLOCK: length = 88; code = 0x0015; break;
        case MMS_STREAM_SWITCH: length = 64; code = 0x0033; break;
        case MMS_START_PLAYING: length = 72; code = 0x0007; break;
        default: return 0;
    }
    if (!out || capacity < length) return 0;
    std::memset(out, 0, static_cast<size_t>(length));
    const uint32_t len = static_cast<uint32_t>(length);
    // Common prefix [MS-MMSP] 2.2.4: rep/version, session id, message
    // length, seal, chunk count, sequence, timestamp, chunkLen, MID.
    writeLe32(out + 0, wire::kMmsRep);
    writeLe32(out + 4, wire::kMmsSessionId);
    writeLe32(out + 8, len - 16);
    writeLe32(out + 12, wire::kMmsSeal);
    writeLe32(out + 16, (len - 16) / 8);
    writeLe32(out + 20, sequence);
    writeLe32(out + 32, (len - 32) / 8);
    writeLe16(out + 36, code);
    writeLe16(out + 38, wire::kMmsToServer);

    switch (step) {
        case MMS_CONNECT: {
            writeLe32(out + 40, wire::kMmsPlayIncarnation);
            writeLe32(out + 44, 0x0004000B);  // MacToViewerProtocolRevision
            writeLe32(out + 48, 0x0003001C);  // ViewerToMacProtocolRevision
            char text[96];
            std::snprintf(text, sizeof text, "%s%s", wire::kMmsPlayerId, args.clientGuid);
            putUtf16(out + 52, length - 52, text, false);
            break;
        }
        case MMS_FUNNEL_INFO:
            writeLe32(out + 40, wire::kMmsPacketPairTcp);
            writeLe32(out + 44, 0x0004000B);
            break;
        case MMS_CONNECT_FUNNEL: {
            writeLe32(out + 40, wire::kMmsPacketPairTcp);
            writeLe32(out + 44, 0xFFFFFFFF);  // maxBlockBytes
            writeLe32(out + 48, 0);           // maxFunnelBytes
            writeLe32(out + 52, 0x00A00000);  // maxBitRate
            writeLe32(out + 56, 2);           // funnelMode
            const unsigned char* a = reinterpret_cast<const unsigned char*>(&args.localAddress);
            char text[64];
            std::snprintf(text, sizeof text, "\\\\%d.%d.%d.%d\\TCP\\%d", a[0], a[1], a[2], a[3],
                          static_cast<int>(args.localPort));
            putUtf16(out + 60, length - 60, text, true);
            break;
        }
        case MMS_OPEN_FILE:
            writeLe32(out + 40, 0x00000020);  // playIncarnation
            writeLe32(out + 44, 0xFFFFFFFF);  // spare
            putUtf16(out + 56, length - 56, args.path ? args.path : "", false);
            break;
        case MMS_READ_BLOCK:
            writeLe32(out + 40, 1);           // openFileId
            writeLe32(out + 52, 0x00008000);  // fileBlock
            writeLe32(out + 56, 0xFFFFFFFF);
            writeLe32(out + 60, 0x002E0030);
            writeLe64(out + 72, kDouble3600);
            writeLe32(out + 80, 2);           // playIncarnation
            break;
        case MMS_STREAM_SWITCH:
            writeLe32(out + 40, 1);
            writeLe32(out + 44, 0x0001FFFF);
            writeLe64(out + 48, kDouble3600);
            writeLe32(out + 56, 2);
            break;
        case MMS_START_PLAYING:
            writeLe32(out + 40, 1);
            writeLe32(out + 44, 0x0001FFFF);
            writeLe64(out + 48, kDoubleZero);
            writeLe32(out + 56, 0xFFFFFFFF);
            writeLe32(out + 60, 0xFFFFFFFF);
            writeLe32(out + 68, 4);
            break;
    }
    return length;
}

void feedHeaderPackets(const unsigned char* bytes, int length) {
    CaptureState& s = state();
    for (int i = 0; i < length; ++i) {
        const unsigned char b = bytes[i];
        switch (s.headerPacketState) {
            case kHeaderLengthLo:
                s.headerPacketLength = b;
                s.headerPacketState = kHeaderLengthHi;
                break;
            case kHeaderLengthHi:
                s.headerPacketLength = (s.headerPacketLength | (b << 8)) - wire::kMmsPacketHeaderBytes;
                s.headerPacketCopied = 0;
                // A packet without payload ends here.
                s.headerPacketState = s.headerPacketLength > 0 ? kHeaderPayload : 0;
                break;
            case kHeaderPayload:
                if (s.headerFill < kHeaderBufferSize) s.headerBuffer[s.headerFill++] = b;
                if (++s.headerPacketCopied >= s.headerPacketLength) {
                    long at = findAsfObject(s.headerBuffer, static_cast<size_t>(s.headerFill),
                                            wire::kAsfHeaderObject, 2);
                    if (at >= 0) s.expectedHeaderLength = readLe16(s.headerBuffer + at + 16);
                    s.headerPacketState = 0;
                }
                break;
            default:  // 0..5: location id, incarnation and flags are not used
                s.headerPacketState = s.headerPacketState >= 0 && s.headerPacketState <= 5
                                          ? s.headerPacketState + 1  // 5 goes on to kHeaderLengthLo
                                          : 0;
                break;
        }
    }
}

void feedMmsData(const unsigned char* bytes, int length, Connection connection) {
    CaptureState& s = state();
    for (int i = 0; i < length && !s.mmsStreamBroken; ++i) {
        const unsigned char b = bytes[i];
        switch (s.dataState) {
            case kDataLengthLo:
                s.dataLength = b;
                s.dataState = kDataLengthHi;
                break;
            case kDataLengthHi: {
                s.dataLength = (s.dataLength | (b << 8)) - wire::kMmsPacketHeaderBytes;
                s.dataCopied = 0;
                s.commandFill = 0;
                s.assemblyFill = 0;
                if (s.dataLength <= 0) {
                    s.dataState = 0;
                    break;
                }
                // Packets are at most the header's packet size; shorter ones
                // (servers may strip the padding [MS-WMSP] 2.2.3.1.1) are
                // padded. A longer one is not recorded: its payload is
                // skipped whole, so that none of it is read as a packet header.
                s.dataState = s.dataLength <= s.packetSize ? kDataPayload : kDataSkip;
                break;
            }
            case kDataPayload: {
                const int n = takePacketBytes(bytes + i, length - i, s.dataLength - s.dataCopied);
                s.dataCopied += n;
                i += n - 1;
                if (s.dataCopied >= s.dataLength) {
                    if (looksLikeDataPacket(s))
                        completeAsfPacket();
                    else
                        s.assemblyFill = 0;
                    s.dataState = 0;
                    if (s.stopRequested.load(std::memory_order_relaxed) || s.outputWriteFailed) return;
                }
                break;
            }
            case kDataSkip: {
                int want = s.dataLength - s.dataCopied;
                int have = length - i;
                int n = want < have ? want : have;
                s.dataCopied += n;
                i += n - 1;
                if (s.dataCopied >= s.dataLength) s.dataState = 0;
                break;
            }
            case kDataCommand:
                // commandFill counts the bytes of the command seen so far;
                // only the first kCommandBufferSize are kept.
                if (s.commandFill < kCommandBufferSize) s.commandBuffer[s.commandFill] = b;
                if (s.commandFill < INT_MAX) ++s.commandFill;
                if (s.commandFill == 12) {
                    uint32_t body = readLe32(s.commandBuffer + 8);
                    // A command longer than its buffer is no command of this
                    // protocol: a length that lies would swallow the rest of
                    // the stream while the connection stays up. The attempt
                    // ends (and the next one reconnects).
                    if (body > static_cast<uint32_t>(kCommandBufferSize - 16)) {
                        traceFormat("MMS server command of %u bytes: stream given up", body);
                        s.mmsStreamBroken = true;
                        return;
                    }
                    s.commandLength = static_cast<int32_t>(body) + 16;
                }
                if (s.commandFill >= 12 && s.commandFill >= s.commandLength) {
                    handleServerCommand(s, connection);
                    s.commandFill = 0;
                    s.dataState = 0;
                    if (s.stopRequested.load(std::memory_order_relaxed)) return;
                }
                break;
            default:  // 0..5
                if (s.dataState < 0 || s.dataState > kDataPrefixLast) s.dataState = 0;
                if (s.dataState == 0) s.commandFill = 0;
                s.commandBuffer[s.commandFill++] = b;
                if (s.dataState == kDataPrefixLast) {
                    const unsigned char* c = s.commandBuffer;
                    bool command = c[0] == 0x01 && c[1] == 0x00 && c[2] == 0x00 && c[4] == 0xCE &&
                                   c[5] == 0xFA;
                    s.dataState = command ? kDataCommand : kDataLengthLo;
                } else {
                    s.dataState += 1;
                }
                break;
        }
    }
}

namespace {

// Sends the message of one step. False when it could not be sent.
bool sendStep(CaptureState& s, int step) {
    MmsCommandArgs args;
    args.clientGuid = s.clientGuid;
    args.localAddress = localAddress(s.mmsConnection);
    args.localPort = localPort(s.mmsConnection);
    args.path = s.mmsPath;
    unsigned char message[320];
    int length = buildMmsCommand(step, s.mmsSequence, args, message, sizeof message);
    s.mmsSequence += 1;
    return sendAll(s.mmsConnection, message, length) >= length;
}

bool receiveOnce(CaptureState& s, int capacity) {
    return receiveSome(s.mmsConnection, s.receiveBuffer, capacity) > 0;
}

// Step 5: the read-block answer, then the header packets. True when the
// whole header has come and passed the gate (acceptStreamHeader): data
// packets never follow half a header, in a new file or behind a recording.
bool readStreamHeader(CaptureState& s) {
    char* buf = s.receiveBuffer;
    int have = 0;
    // Collect the whole 56-byte answer, however the bytes arrive.
    while (have < wire::kMmsReadBlockAnswerBytes) {
        int n = receiveSome(s.mmsConnection, buf + have, kReceiveBufferSize - have);
        if (n <= 0) return false;
        have += n;
    }
    int left = have - wire::kMmsReadBlockAnswerBytes;
    std::memmove(buf, buf + wire::kMmsReadBlockAnswerBytes, static_cast<size_t>(left));
    while (left == 0) {
        int n = receiveSome(s.mmsConnection, buf, kReceiveBufferSize);
        if (n <= 0) return false;
        left = n;
    }
    s.packetSize = -1;  // until the header has passed the gate
    s.headerFill = 0;
    s.headerPacketState = 0;
    s.expectedHeaderLength = 0xFFFF;
    for (;;) {
        feedHeaderPackets(reinterpret_cast<unsigned char*>(buf), left);
        // The header is the Header Object and the 50-byte start of the Data
        // Object behind it.
        if (s.headerFill >= s.expectedHeaderLength + wire::kDataObjectHeaderSize) {
            if (!acceptStreamHeader(s.headerBuffer, s.headerFill)) return false;
            traceFormat("1. mms header write : %d", static_cast<int>(s.headerFill));
            s.recordedBytes = s.headerFill;
            return true;
        }
        std::memset(buf, 0, kReceiveBufferSize);
        left = receiveSome(s.mmsConnection, buf, kReceiveBufferSize);
        if (left <= 0) return false;
    }
}

}  // namespace

int captureMmsTcp(const char* address) {
    CaptureState& s = state();
    if (!openOutput(".wma")) return -1;

    // host[:port][/path]
    char host[kWorkingAddressSize];
    copyText(host, sizeof host, address);
    s.mmsPath[0] = '\0';
    s.assemblyFill = 0;
    if (char* slash = std::strchr(host, '/')) {
        *slash = '\0';
        copyText(s.mmsPath, sizeof s.mmsPath, slash + 1);
    }
    if (s.mmsPath[0] == '\0') copyText(s.mmsPath, sizeof s.mmsPath, "/");
    if (char* colon = std::strchr(host, ':')) {
        s.serverPort = portFromText(host);
        *colon = '\0';
    }

    s.mmsTcpPort = s.serverPort;
    s.mmsConnection = openConnection(host, s.mmsTcpPort);
    if (s.mmsConnection <= 0) {
        s.mmsConnection = 0;
        std::printf("tcp open fail  -- %s\n", host);
        std::fflush(stdout);
        closeOutput();
        return -1;
    }
    s.mmsSequence = 0;
    makeClientGuid(s.clientGuid);

    // Ends the attempt after a failed step: the connection and the file are
    // closed on every path.
    auto fail = [&s](int result) {
        closeConnection(s.mmsConnection);
        s.mmsConnection = 0;
        closeOutput();
        // A header refused by the gate or an output that cannot be written
        // keep their own codes (the capture loop tries no HTTP route for the
        // latter); everything else is a failed exchange.
        if (s.lastError != NG_ERR_FILE_OPEN && s.lastError != NG_ERR_NO_STREAM_HEADER)
            s.lastError = NG_ERR_RECEIVE;
        return result;
    };

    // 1. Connect; the answer is not examined.
    if (!sendStep(s, MMS_CONNECT) || !receiveOnce(s, kReceiveBufferSize)) return fail(-1);
    // 2. Funnel information: asked for TCP packet pairs, the server answers
    //    with three ReportFunnelInfo messages, 2080 bytes in all
    //    [MS-MMSP] 3.2.5.4.
    if (!sendStep(s, MMS_FUNNEL_INFO)) return fail(0);
    for (int total = 0; total < wire::kMmsFunnelAnswerBytes;) {
        int n = receiveSome(s.mmsConnection, s.receiveBuffer, kReceiveBufferSize);
        if (n <= 0) return fail(0);
        total += n;
    }
    // 3. Connect funnel, 4. open file.
    if (!sendStep(s, MMS_CONNECT_FUNNEL) || !receiveOnce(s, kReceiveBufferSize)) return fail(0);
    if (!sendStep(s, MMS_OPEN_FILE) || !receiveOnce(s, kReceiveBufferSize)) return fail(0);
    // 5. Read block: the stream header arrives in header packets.
    if (!sendStep(s, MMS_READ_BLOCK) || !readStreamHeader(s)) return fail(-1);
    // 6. Stream switch.
    if (!sendStep(s, MMS_STREAM_SWITCH) || !receiveOnce(s, kReceiveBufferSize)) return fail(0);
    // 7. Start playing. The server's answer (ReportStartedPlaying) is a
    //    server command like any other, so the data stream reader takes it
    //    with whatever packets follow it in the same receive.
    if (!sendStep(s, MMS_START_PLAYING)) return fail(0);
    resetDataReader(s);
    s.packetCount = 0;
    s.assemblyFill = 0;
    asfTimeline().reset();
    unsigned char block[kDataReceiveBytes];
    int n = receiveSome(s.mmsConnection, block, sizeof block);
    if (n <= 0) return fail(0);
    for (;;) {
        feedMmsData(block, n, s.mmsConnection);
        if (s.stopRequested) {
            s.lastError = NG_ERR_STOPPED;
            break;
        }
        if (s.outputWriteFailed) break;  // lastError says so; the fix-up states what is in the file
        if (s.mmsStreamBroken) {
            s.lastError = NG_ERR_RECEIVE;
            break;
        }
        n = receiveStream(s.mmsConnection, block, sizeof block);
        if (n <= 0) {
            traceLine("MMS7 tcp recv error!");
            s.lastError = streamEndError();
            break;
        }
    }
    closeConnection(s.mmsConnection);
    s.mmsConnection = 0;
    finishAsfFile();
    closeOutput();
    return 0;
}

}  // namespace netgrab

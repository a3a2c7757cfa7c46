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

constexpr int kDataReceiveBytes = 1600;

// IEEE 754 doubles in little-endian byte order.
constexpr uint64_t kDouble3600 = 0x40AC200000000000ull;
constexpr uint64_t kDoubleZero = 0;

// Writes a text widened byte by byte to UTF-16LE at out[0..room); returns the
// bytes written. With terminate, two zero bytes follow when they fit.
int putUtf16(unsigned char *out, int room, const char *text, bool terminate)
{
    int n = 0;
    for (const char *p = text; *p && n + 2 <= room; ++p) {
        out[n++] = static_cast<unsigned char>(*p);
        out[n++] = 0;
    }
    if (terminate && n + 2 <= room) {
        out[n++] = 0;
        out[n++] = 0;
    }
    return n;
}

// Answers the ping in message[0, length) in place: LinkViewerToMacPong is
// the ping sent back with its direction turned and its two parameters set
// [MS-MMSP] 2.2.4.25. A message too short to be a ping gets no answer.
void answerPing(unsigned char *message, int length, Connection &connection, bool &pongFailed)
{
    if (length < wire::kMmsPingBytes)
        return;
    std::memcpy(message + wire::kMmsPrefixBytes, wire::kMmsPongParams, sizeof wire::kMmsPongParams);
    message[wire::kMmsDirectionOffset] = static_cast<unsigned char>(wire::kMmsToServer);
    // A server that sends pings but does not read the answers must not hold
    // the reader (and a stop) for a send time-out per ping: the pong waits a
    // short time at most, a stop ends the wait, and after one pong that could
    // not go out the connection gets no more.
    if (pongFailed)
        return;
    if (sendWithin(connection, message, length, settings().tuning.pongTimeoutMs) < length)
        pongFailed = true;
}

// A complete server command sits in reader.command[0, commandLength).
void handleServerCommand(MmsDataReader &r, Connection &connection)
{
    if (r.commandLength < wire::kMmsPingBytes || r.commandLength > kCommandBufferSize)
        return;
    if (readLe32(r.command + wire::kMmsMessageIdOffset) != wire::kMmsPing)
        return;
    answerPing(r.command, r.commandLength, connection, r.pongFailed);
}

// True when a complete data packet in the assembly buffer starts as the ASF
// data packets of these streams do: error correction flags 0x82 and two
// bytes of error correction data [ASF] 5.2.1 (the MMS-over-HTTP route takes
// the same packets only).
bool looksLikeDataPacket(const AsfPacketSession &p)
{
    return p.fill >= wire::kErrorCorrectionBytes
        && std::memcmp(p.buffer, wire::kErrorCorrectionStart, wire::kErrorCorrectionBytes) == 0;
}

bool isCommandPrefix(const unsigned char *c)
{
    return c[0] == 0x01 && c[1] == 0x00 && c[2] == 0x00 && c[4] == 0xCE && c[5] == 0xFA;
}

}  // namespace

int buildMmsCommand(int step, uint32_t sequence, const MmsCommandArgs &args, unsigned char *out, int capacity)
{
    int length = 0;
    uint16_t code = 0;
    switch (step) {
    case MMS_CONNECT:
        length = 176;
        code = 0x0001;
        break;
    case MMS_FUNNEL_INFO:
        length = 48;
        code = 0x0018;
        break;
    case MMS_CONNECT_FUNNEL:
        length = 120;
        code = 0x0002;
        break;
    case MMS_OPEN_FILE:
        length = 304;
        code = 0x0005;
        break;
    case MMS_READ_BLOCK:
        length = 88;
        code = 0x0015;
        break;
    case MMS_STREAM_SWITCH:
        length = 64;
        code = 0x0033;
        break;
    case MMS_START_PLAYING:
        length = 72;
        code = 0x0007;
        break;
    default:
        return 0;
    }
    if (!out || capacity < length)
        return 0;
    std::memset(out, 0, static_cast<size_t>(length));
    const uint32_t len = static_cast<uint32_t>(length);
    // Common prefix [MS-MMSP] 2.2.4: rep/version, session id, message
    // length, seal, chunk count, sequence, timestamp, chunkLen, MID.
    writeLe32(out + 0, wire::kMmsRep);
    writeLe32(out + wire::kMmsSessionIdOffset, wire::kMmsSessionId);
    writeLe32(out + wire::kMmsMessageLengthOffset, len - wire::kMmsMessageLengthBase);
    writeLe32(out + wire::kMmsSealOffset, wire::kMmsSeal);
    writeLe32(out + wire::kMmsChunkCountOffset, (len - wire::kMmsMessageLengthBase) / 8);
    writeLe32(out + wire::kMmsSequenceOffset, sequence);
    writeLe32(out + wire::kMmsChunkLengthOffset, (len - wire::kMmsChunkLengthBase) / 8);
    writeLe16(out + wire::kMmsMessageIdOffset, code);
    writeLe16(out + wire::kMmsDirectionOffset, wire::kMmsToServer);

    // The message's own fields follow the prefix [MS-MMSP] 2.2.4.x.
    unsigned char *body = out + wire::kMmsPrefixBytes;
    switch (step) {
    case MMS_CONNECT: {
        writeLe32(body, wire::kMmsPlayIncarnation);
        writeLe32(body + 4, 0x0004000B);  // MacToViewerProtocolRevision
        writeLe32(body + 8, 0x0003001C);  // ViewerToMacProtocolRevision
        char text[96];
        std::snprintf(text, sizeof text, "%s%s", wire::kMmsPlayerId, args.clientGuid);
        putUtf16(body + 12, length - wire::kMmsPrefixBytes - 12, text, false);
        break;
    }
    case MMS_FUNNEL_INFO:
        writeLe32(body, wire::kMmsPacketPairTcp);
        writeLe32(body + 4, 0x0004000B);
        break;
    case MMS_CONNECT_FUNNEL: {
        writeLe32(body, wire::kMmsPacketPairTcp);
        writeLe32(body + 4, 0xFFFFFFFF);   // maxBlockBytes
        writeLe32(body + 8, 0);            // maxFunnelBytes
        writeLe32(body + 12, 0x00A00000);  // maxBitRate
        writeLe32(body + 16, 2);           // funnelMode
        const unsigned char *a = reinterpret_cast<const unsigned char *>(&args.localAddress);
        char text[64];
        std::snprintf(text, sizeof text, "\\\\%d.%d.%d.%d\\TCP\\%d", a[0], a[1], a[2], a[3],
                      static_cast<int>(args.localPort));
        putUtf16(body + 20, length - wire::kMmsPrefixBytes - 20, text, true);
        break;
    }
    case MMS_OPEN_FILE:
        writeLe32(body, 0x00000020);      // playIncarnation
        writeLe32(body + 4, 0xFFFFFFFF);  // spare
        putUtf16(body + 16, length - wire::kMmsPrefixBytes - 16, args.path ? args.path : "", false);
        break;
    case MMS_READ_BLOCK:
        writeLe32(body, 1);                // openFileId
        writeLe32(body + 12, 0x00008000);  // fileBlock
        writeLe32(body + 16, 0xFFFFFFFF);
        writeLe32(body + 20, 0x002E0030);
        writeLe64(body + 32, kDouble3600);
        writeLe32(body + 40, 2);  // playIncarnation
        break;
    case MMS_STREAM_SWITCH:
        writeLe32(body, 1);
        writeLe32(body + 4, 0x0001FFFF);
        writeLe64(body + 8, kDouble3600);
        writeLe32(body + 16, 2);
        break;
    case MMS_START_PLAYING:
        writeLe32(body, 1);
        writeLe32(body + 4, 0x0001FFFF);
        writeLe64(body + 8, kDoubleZero);
        writeLe32(body + 16, 0xFFFFFFFF);
        writeLe32(body + 20, 0xFFFFFFFF);
        writeLe32(body + 28, 4);
        break;
    }
    return length;
}

void feedHeaderPackets(MmsHeaderReader &r, const unsigned char *bytes, int length)
{
    for (int i = 0; i < length; ++i) {
        switch (r.step) {
        case MmsReadStep::Payload: {
            const int want = r.length - r.copied;
            const int n = want < length - i ? want : length - i;
            const int room = kHeaderBufferSize - r.fill;
            const int take = n < room ? n : room;
            if (take > 0) {
                std::memcpy(r.buffer + r.fill, bytes + i, static_cast<size_t>(take));
                r.fill += take;
            }
            r.copied += n;
            i += n - 1;
            if (r.copied >= r.length) {
                const long at = findAsfObject(r.buffer, static_cast<size_t>(r.fill), wire::kAsfHeaderObject, 2);
                if (at >= 0)
                    r.expectedHeaderLength = readLe16(r.buffer + at + wire::kObjectSizeOffset);
                r.step = MmsReadStep::Prefix;
            }
            break;
        }
        default: {
            // Location id, incarnation and flags are not used; the length
            // counts the packet header too.
            r.prefix[r.prefixFill++] = bytes[i];
            if (r.prefixFill < wire::kMmsPacketHeaderBytes)
                break;
            r.prefixFill = 0;
            ByteReader header(r.prefix, sizeof r.prefix);
            header.skip(wire::kMmsPacketLengthOffset);
            r.length = header.le16() - wire::kMmsPacketHeaderBytes;
            r.copied = 0;
            // A packet without payload ends here.
            r.step = r.length > 0 ? MmsReadStep::Payload : MmsReadStep::Prefix;
            break;
        }
        }
    }
}

void feedMmsData(CaptureState &s, MmsDataReader &r, AsfPacketSession &p, const unsigned char *bytes, int length,
                 Connection &connection)
{
    for (int i = 0; i < length && !r.streamBroken; ++i) {
        const unsigned char b = bytes[i];
        switch (r.step) {
        case MmsReadStep::Prefix:
            if (r.commandFill >= wire::kMmsCommandProbeBytes)
                r.commandFill = 0;
            r.command[r.commandFill++] = b;
            if (r.commandFill == wire::kMmsCommandProbeBytes)
                r.step = isCommandPrefix(r.command) ? MmsReadStep::Command : MmsReadStep::Length;
            break;
        case MmsReadStep::Length: {
            r.command[r.commandFill++] = b;
            if (r.commandFill < wire::kMmsPacketHeaderBytes)
                break;
            ByteReader header(r.command, wire::kMmsPacketHeaderBytes);
            header.skip(wire::kMmsPacketLengthOffset);
            r.length = header.le16() - wire::kMmsPacketHeaderBytes;
            r.copied = 0;
            r.commandFill = 0;
            p.fill = 0;
            if (r.length <= 0) {
                r.step = MmsReadStep::Prefix;
                break;
            }
            // Packets are at most the header's packet size; shorter ones
            // (servers may strip the padding [MS-WMSP] 2.2.3.1.1) are
            // padded. A longer one is not recorded: its payload is
            // skipped whole, so that none of it is read as a packet header.
            r.step = r.length <= p.packetSize ? MmsReadStep::Payload : MmsReadStep::Skip;
            break;
        }
        case MmsReadStep::Payload: {
            i += takePacketBytes(p, bytes + i, length - i, r.copied, r.length) - 1;
            if (r.copied >= r.length) {
                if (looksLikeDataPacket(p))
                    completeAsfPacket(s, p);
                else
                    p.fill = 0;
                r.step = MmsReadStep::Prefix;
                if (s.stop.pending() || s.output.writeFailed)
                    return;
            }
            break;
        }
        case MmsReadStep::Skip: {
            const int n = passOver(r.copied, r.length, length - i);
            if (n > 0)
                i += n - 1;
            if (r.copied >= r.length)
                r.step = MmsReadStep::Prefix;
            break;
        }
        case MmsReadStep::Command:
            if (r.commandFill < kCommandBufferSize)
                r.command[r.commandFill] = b;
            if (r.commandFill < INT_MAX)
                ++r.commandFill;
            if (r.commandFill == wire::kMmsCommandStartBytes) {
                ByteReader start(r.command, wire::kMmsCommandStartBytes);
                start.skip(wire::kMmsMessageLengthOffset);
                const uint32_t body = start.le32();
                // A command longer than its buffer is no command of this
                // protocol: a length that lies would swallow the rest of
                // the stream while the connection stays up. The attempt
                // ends (and the next one reconnects).
                if (body > static_cast<uint32_t>(kCommandBufferSize - wire::kMmsMessageLengthBase)) {
                    traceFormat("MMS server command of %u bytes: stream given up", body);
                    r.streamBroken = true;
                    return;
                }
                r.commandLength = static_cast<int32_t>(body) + wire::kMmsMessageLengthBase;
            }
            if (r.commandFill >= wire::kMmsCommandStartBytes && r.commandFill >= r.commandLength) {
                handleServerCommand(r, connection);
                r.commandFill = 0;
                r.step = MmsReadStep::Prefix;
                if (s.stop.pending())
                    return;
            }
            break;
        }
    }
}

namespace {

// One connection of the route.
struct MmsTcpSession
{
    explicit MmsTcpSession(Connection &c) : connection(c) {}
    Connection &connection;  // the capture's
    uint32_t sequence = 0;
    char path[kMmsPathSize] = "";
    // Bytes received but not yet taken, at the start of the receive buffer:
    // what came behind the last server message.
    int pending = 0;
    MmsHeaderReader header;
    MmsDataReader data;
};

const char *stepName(int step)
{
    switch (step) {
    case MMS_CONNECT:
        return "connect";
    case MMS_FUNNEL_INFO:
        return "funnel information";
    case MMS_CONNECT_FUNNEL:
        return "connect funnel";
    case MMS_OPEN_FILE:
        return "open file";
    case MMS_READ_BLOCK:
        return "read block";
    case MMS_STREAM_SWITCH:
        return "stream switch";
    case MMS_START_PLAYING:
        return "start playing";
    }
    return "?";
}

// Sends the message of one step. False when it could not be sent.
bool sendStep(CaptureState &s, MmsTcpSession &m, int step)
{
    MmsCommandArgs args;
    args.clientGuid = s.clientGuid;
    args.localAddress = localAddress(m.connection);
    args.localPort = localPort(m.connection);
    args.path = m.path;
    unsigned char message[320];
    int length = buildMmsCommand(step, m.sequence, args, message, sizeof message);
    m.sequence += 1;
    return sendAll(m.connection, message, length) >= length;
}

// Receives until the receive buffer holds at least want bytes.
bool receiveUntil(CaptureState &s, MmsTcpSession &m, int want)
{
    while (m.pending < want) {
        const int n = receiveSome(m.connection, s.receiveBuffer + m.pending, kReceiveBufferSize - m.pending);
        if (n <= 0)
            return false;
        m.pending += n;
    }
    return true;
}

// Reads the next server message whole and takes it out of the buffer: its
// length first, checked against the buffer, then the rest, however the
// bytes arrive. A ping on the way is answered and skipped. Returns the
// message's length when its id is expectedId, otherwise 0: the answer
// did not come, or the server sent something else and the attempt ends.
int receiveAnswer(CaptureState &s, MmsTcpSession &m, int step, uint32_t expectedId)
{
    for (;;) {
        if (!receiveUntil(s, m, wire::kMmsCommandStartBytes))
            return 0;
        unsigned char *message = reinterpret_cast<unsigned char *>(s.receiveBuffer);
        if (!isCommandPrefix(message)) {
            traceFormat("MMS step %d (%s): the server's answer is no MMS message: attempt ended", step, stepName(step));
            return 0;
        }
        const uint32_t body = readLe32(message + wire::kMmsMessageLengthOffset);
        if (body < static_cast<uint32_t>(wire::kMmsPrefixBytes - wire::kMmsMessageLengthBase)
            || body > static_cast<uint32_t>(kReceiveBufferSize - wire::kMmsMessageLengthBase)) {
            traceFormat("MMS step %d (%s): server message of %u bytes: attempt ended", step, stepName(step), body);
            return 0;
        }
        const int length = static_cast<int>(body) + wire::kMmsMessageLengthBase;
        if (!receiveUntil(s, m, length))
            return 0;
        const uint32_t id = readLe32(message + wire::kMmsMessageIdOffset);
        if (id == wire::kMmsPing)
            answerPing(message, length, m.connection, m.data.pongFailed);
        else if (id != expectedId)
            traceFormat("MMS step %d (%s): server message 0x%08X where 0x%08X belongs: attempt ended", step,
                        stepName(step), id, expectedId);
        m.pending -= length;
        std::memmove(message, message + length, static_cast<size_t>(m.pending));
        if (id == expectedId)
            return length;
        // A server that only pings cannot hold a stop.
        if (id != wire::kMmsPing || s.stop.pending())
            return 0;
    }
}

// Sends a step's message and reads the server's answer to it.
bool runStep(CaptureState &s, MmsTcpSession &m, int step, uint32_t answerId)
{
    return sendStep(s, m, step) && receiveAnswer(s, m, step, answerId) > 0;
}

// Step 5: the read-block answer, then the header packets. True when the
// whole header has come and passed the gate (acceptStreamHeader): data
// packets never follow half a header, in a new file or behind a recording.
bool readStreamHeader(CaptureState &s, MmsTcpSession &m)
{
    if (!runStep(s, m, MMS_READ_BLOCK, wire::kMmsReportReadBlock))
        return false;
    // The header packets start with what came behind the answer.
    char *buf = s.receiveBuffer;
    if (!receiveUntil(s, m, 1))
        return false;
    int left = m.pending;
    m.pending = 0;
    s.packets.packetSize = -1;  // until the header has passed the gate
    m.header = MmsHeaderReader();
    for (;;) {
        feedHeaderPackets(m.header, reinterpret_cast<unsigned char *>(buf), left);
        // The header is the Header Object and the 50-byte start of the Data
        // Object behind it.
        if (m.header.fill >= m.header.expectedHeaderLength + wire::kDataObjectHeaderSize) {
            if (!acceptStreamHeader(s, s.packets, m.header.buffer, m.header.fill))
                return false;
            traceFormat("1. mms header write : %d", static_cast<int>(m.header.fill));
            shared().recordedBytes = m.header.fill;
            return true;
        }
        std::memset(buf, 0, kReceiveBufferSize);
        left = receiveSome(m.connection, buf, kReceiveBufferSize);
        if (left <= 0)
            return false;
    }
}

}  // namespace

RouteResult captureMmsTcp(CaptureState &s, const char *address)
{
    if (!openOutput(s, ".wma"))
        return RouteResult::Failed;

    // host[:port][/path]
    MmsTcpSession m(s.connection);
    char host[kWorkingAddressSize];
    copyText(host, sizeof host, address);
    s.packets.fill = 0;
    if (char *slash = std::strchr(host, '/')) {
        *slash = '\0';
        copyText(m.path, sizeof m.path, slash + 1);
    }
    if (m.path[0] == '\0')
        copyText(m.path, sizeof m.path, "/");
    if (char *colon = std::strchr(host, ':')) {
        s.serverPort = portFromText(host);
        *colon = '\0';
    }

    if (!openConnection(m.connection, host, s.serverPort)) {
        std::printf("tcp open fail  -- %s\n", host);
        std::fflush(stdout);
        closeOutput(s.output);
        return RouteResult::TryHttp;
    }
    makeClientGuid(s.clientGuid);

    // Ends the attempt after a failed step: the connection and the file are
    // closed on every path.
    // An output that cannot be written is not the MMS server's fault: the
    // HTTP route would meet the same file.
    auto fail = [&m, &s](RouteResult result) {
        closeConnection(m.connection);
        closeOutput(s.output);
        // A header refused by the gate or an output that cannot be written
        // keep their own codes (the capture loop tries no HTTP route for the
        // latter); everything else is a failed exchange.
        if (shared().lastError != NG_ERR_FILE_OPEN && shared().lastError != NG_ERR_NO_STREAM_HEADER)
            shared().lastError = NG_ERR_RECEIVE;
        return result == RouteResult::TryHttp && shared().lastError == NG_ERR_FILE_OPEN ? RouteResult::Failed : result;
    };

    // Every step reads the server's answer whole and checks its id.
    // 1. Connect.
    if (!runStep(s, m, MMS_CONNECT, wire::kMmsReportConnectedEx))
        return fail(RouteResult::TryHttp);
    // 2. Funnel information: asked for TCP packet pairs, the server answers
    //    with three ReportFunnelInfo messages, 2080 bytes in all
    //    [MS-MMSP] 3.2.5.4.
    if (!sendStep(s, m, MMS_FUNNEL_INFO))
        return fail(RouteResult::Failed);
    for (int total = 0; total < wire::kMmsFunnelAnswerBytes;) {
        const int n = receiveAnswer(s, m, MMS_FUNNEL_INFO, wire::kMmsReportFunnelInfo);
        if (n <= 0)
            return fail(RouteResult::Failed);
        total += n;
    }
    // 3. Connect funnel, 4. open file.
    if (!runStep(s, m, MMS_CONNECT_FUNNEL, wire::kMmsReportConnectedFunnel)
        || !runStep(s, m, MMS_OPEN_FILE, wire::kMmsReportOpenFile))
        return fail(RouteResult::Failed);
    // 5. Read block: the stream header arrives in header packets.
    if (!readStreamHeader(s, m))
        return fail(RouteResult::TryHttp);
    // 6. Stream switch.
    if (!runStep(s, m, MMS_STREAM_SWITCH, wire::kMmsReportStreamSwitch))
        return fail(RouteResult::Failed);
    // 7. Start playing: ReportStartedPlaying, then the data stream, which
    //    starts with whatever came behind that answer.
    if (!runStep(s, m, MMS_START_PLAYING, wire::kMmsReportStartedPlaying))
        return fail(RouteResult::Failed);
    AsfPacketSession &packets = s.packets;
    packets.packetCount = 0;
    packets.fill = 0;
    packets.timeline.reset();
    unsigned char block[kDataReceiveBytes];
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(s.receiveBuffer);
    int n = m.pending;
    m.pending = 0;
    if (n == 0) {
        bytes = block;
        n = receiveSome(m.connection, block, sizeof block);
        if (n <= 0)
            return fail(RouteResult::Failed);
    }
    for (;;) {
        feedMmsData(s, m.data, packets, bytes, n, m.connection);
        if (s.stop.pending()) {
            shared().lastError = NG_ERR_STOPPED;
            break;
        }
        if (s.output.writeFailed)
            break;  // lastError says so; the fix-up states what is in the file
        if (m.data.streamBroken) {
            shared().lastError = NG_ERR_RECEIVE;
            break;
        }
        bytes = block;
        n = receiveStream(m.connection, block, sizeof block);
        if (n <= 0) {
            traceLine("MMS7 tcp recv error!");
            shared().lastError = streamEndError(m.connection);
            break;
        }
    }
    closeConnection(m.connection);
    finishAsfFile(s, packets);
    closeOutput(s.output);
    return RouteResult::Done;
}

}  // namespace netgrab

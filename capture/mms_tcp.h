#pragma once
// MMS over TCP (port 1755 by default).

#include <cstdint>

#include "asf_chunks.h"
#include "capture_state.h"
#include "connection.h"
#include "mms_wire.h"
#include "route_result.h"

namespace netgrab {

// Address without scheme (host[:port][/path]). TryHttp when no MMS stream
// could be set up (no connection, no answer to the connect step, no usable
// header) and the output is writable; Done after the stream ran; Failed
// when a later step of the exchange failed or the output cannot be written.
RouteResult captureMmsTcp(CaptureState &s, const char *address);

// ---- pieces, reachable for tests -----------------------------------------

// The seven client commands, in the order they are sent [MS-MMSP] 2.2.4.
enum MmsStep : int {
    MMS_CONNECT = 1,         // LinkViewerToMacConnect, 0x0001
    MMS_FUNNEL_INFO = 2,     // LinkViewerToMacFunnelInfo, 0x0018
    MMS_CONNECT_FUNNEL = 3,  // LinkViewerToMacConnectFunnel, 0x0002
    MMS_OPEN_FILE = 4,       // LinkViewerToMacOpenFile, 0x0005
    MMS_READ_BLOCK = 5,      // LinkViewerToMacReadBlock, 0x0015
    MMS_STREAM_SWITCH = 6,   // LinkViewerToMacStreamSwitch, 0x0033
    MMS_START_PLAYING = 7,   // LinkViewerToMacStartPlaying, 0x0007
};

struct MmsCommandArgs
{
    const char *clientGuid = "";  // connect
    uint32_t localAddress = 0;    // connect funnel: network byte order
    uint16_t localPort = 0;       // connect funnel
    const char *path = "/";       // open file
};

// Builds the message of one step with the given sequence number into out.
// Returns its length (176, 48, 120, 304, 88, 64 or 72), or 0 when out is
// too small or the step unknown.
int buildMmsCommand(int step, uint32_t sequence, const MmsCommandArgs &args, unsigned char *out, int capacity);

// Data and header packets share an eight-byte packet header [MS-MMSP]
// 2.2.2 (location id, incarnation, AF flags, packet length); a server
// command starts with the common message prefix instead.
enum class MmsReadStep : uint8_t {
    Prefix,   // the first bytes: packet header or command prefix
    Length,   // the packet length that ends a packet header
    Payload,  // a packet's payload
    Skip,     // payload of a data packet that is not recorded
    Command,  // the rest of a server command
};

// Collects header packet payloads into buffer (bytes past its 8924 bytes
// are dropped) and finds expectedHeaderLength, the Header Object's size.
struct MmsHeaderReader
{
    MmsReadStep step = MmsReadStep::Prefix;
    unsigned char prefix[wire::kMmsPacketHeaderBytes] = {};
    int prefixFill = 0;
    int32_t length = 0;  // payload bytes of the current packet
    int32_t copied = 0;
    int32_t fill = 0;
    int32_t expectedHeaderLength = 0xFFFF;
    unsigned char buffer[kHeaderBufferSize];
};
void feedHeaderPackets(MmsHeaderReader &reader, const unsigned char *bytes, int length);

// Records data packets, answers server pings on the connection, skips other
// server commands and packets of another length.
struct MmsDataReader
{
    MmsReadStep step = MmsReadStep::Prefix;
    int32_t length = 0;  // payload bytes of the current data packet
    int32_t copied = 0;
    // A server command (or the header of a data packet) being collected;
    // commandFill counts its bytes, only the first kCommandBufferSize are kept.
    unsigned char command[kCommandBufferSize];
    int32_t commandFill = 0;
    int32_t commandLength = 0;
    // The reader met a stream it cannot follow (a command length that
    // lies): the attempt ends.
    bool streamBroken = false;
    // A pong could not be sent on this connection: later pings go
    // unanswered instead of each holding the reader up again.
    bool pongFailed = false;
};
void feedMmsData(CaptureState &s, MmsDataReader &reader, AsfPacketSession &packets, const unsigned char *bytes,
                 int length, Connection &connection);

}  // namespace netgrab

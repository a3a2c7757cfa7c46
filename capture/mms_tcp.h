#pragma once
// MMS over TCP (port 1755 by default).

#include <cstdint>

#include "connection.h"

namespace netgrab {

// -1 when the HTTP route is to be tried instead, otherwise 0.
int captureMmsTcp(const char* address);

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

struct MmsCommandArgs {
    const char* clientGuid = "";  // connect
    uint32_t localAddress = 0;    // connect funnel: network byte order
    uint16_t localPort = 0;       // connect funnel
    const char* path = "/";       // open file
};

// Builds the message of one step with the given sequence number into out.
// Returns its length (176, 48, 120, 304, 88, 64 or 72), or 0 when out is
// too small or the step unknown.
int buildMmsCommand(int step, uint32_t sequence, const MmsCommandArgs& args, unsigned char* out,
                    int capacity);

// Header packet reader: collects header packet payloads into headerBuffer
// (bytes past its 8924 bytes are dropped) and finds expectedHeaderLength.
void feedHeaderPackets(const unsigned char* bytes, int length);
// Data stream reader: records data packets, answers server pings on the
// connection, skips other server commands and packets of another length.
void feedMmsData(const unsigned char* bytes, int length, Connection connection);

}  // namespace netgrab

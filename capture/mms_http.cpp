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

int findMinPacketSize(const unsigned char *bytes, int length)
{
    if (!bytes || length <= 0)
        return -1;
    return asfMinPacketSize(bytes, static_cast<size_t>(length));
}

int extractStreamHeader(CaptureState &s, const char *answer, int count)
{
    AsfPacketSession &packets = s.packets;
    packets.fill = 0;
    packets.timeline.reset();
    unsigned char header[kReceiveBufferSize];  // an answer is never longer
    const AsfHeaderChunks chunks =
        collectHeaderChunks(reinterpret_cast<const unsigned char *>(answer), count, header, sizeof header);
    if (!chunks.found) {
        shared().lastError = NG_ERR_NO_STREAM_HEADER;
        return -2;
    }
    if (!acceptStreamHeader(s, packets, header, chunks.length))
        return -2;
    shared().recordedBytes = 0;
    return 1;
}

void streamDataChunks(CaptureState &s, int firstCount)
{
    Connection &c = s.connection;
    AsfChunkReader reader;
    feedDataChunks(s, reader, s.packets, reinterpret_cast<const unsigned char *>(s.receiveBuffer), firstCount);
    for (;;) {
        if (s.output.writeFailed)
            break;  // lastError already says so
        int n = receiveStream(c, s.receiveBuffer, kDataReceiveBlock);
        if (n <= 0) {
            shared().lastError = streamEndError(c);
            break;
        }
        n = dechunkStream(s.chunked, s.receiveBuffer, n);
        feedDataChunks(s, reader, s.packets, reinterpret_cast<const unsigned char *>(s.receiveBuffer), n);
        if (s.stop.pending()) {
            shared().lastError = NG_ERR_STOPPED;
            break;
        }
    }
    closeConnection(c);
}

void fillPlaySlots(HeaderSlot *slots, const char *host, const char *clientGuid)
{
    copyText(slots[0], kHeaderSlotSize, wire::kAcceptLine);
    copyText(slots[1], kHeaderSlotSize, wire::kUserAgentLine);
    std::snprintf(slots[2], kHeaderSlotSize, wire::kHostLineFormat, host);
    copyText(slots[3], kHeaderSlotSize, wire::kAcceptAuthenticationLine);
    copyText(slots[4], kHeaderSlotSize, wire::kPragmaVersion11Line);
    copyText(slots[5], kHeaderSlotSize, wire::kPragmaPlayOffset);
    copyText(slots[6], kHeaderSlotSize, wire::kPragmaPlayStream);
    copyText(slots[7], kHeaderSlotSize, wire::kPragmaClientId);
    copyText(slots[8], kHeaderSlotSize, wire::kPragmaLinkBandwidth);
    copyText(slots[9], kHeaderSlotSize, wire::kSupportedLine);
    std::snprintf(slots[10], kHeaderSlotSize, wire::kClientGuidLineFormat, clientGuid);
    copyText(slots[11], kHeaderSlotSize, wire::kPragmaSwitchCount);
    copyText(slots[12], kHeaderSlotSize, wire::kPragmaSwitchEntry);
    std::snprintf(slots[13], kHeaderSlotSize, "%s%s", wire::kAcceptLanguageLine, wire::kEndOfHeaders);
}

void playRequest(CaptureState &s, const char *fullAddress)
{
    s.requestPort = s.serverPort;
    char host[128];
    char path[512];
    if (!splitHttpAddress(fullAddress, host, sizeof host, path, sizeof path, &s.transport)) {
        closeOutput(s.output);
        shared().lastError = NG_ERR_REFUSED;
        return;
    }
    HeaderSlot slots[kPlaySlotCount];
    fillPlaySlots(slots, host, s.clientGuid);
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    s.packets.fill = 0;

    int count = 0;
    if (!httpRequestFirst(s, s.receiveBuffer, host, path, slots, kPlaySlotCount, &count) || count <= 0) {
        closeConnection(s.connection);
        closeOutput(s.output);
        shared().lastError = NG_ERR_RECEIVE;
        return;
    }
    streamDataChunks(s, count);
    finishAsfFile(s, s.packets);
    closeOutput(s.output);
}

}  // namespace netgrab

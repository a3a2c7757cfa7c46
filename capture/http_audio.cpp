// HTTP audio stream capture. Every source reached over HTTP starts with the
// describe request; its answer selects the route: redirect, a further
// address (ASX document or moved notice), MPEG audio recorded here into
// ".mp3", AAC or Ogg recorded by framed_audio.cpp, a refusal of a content
// type that nothing records, or MMS over HTTP continued by mms_http.cpp
// into ".wma".
//
// References: RFC 7230 (HTTP/1.1 message syntax), RFC 7231 section 6.4
// (redirections), [MS-WMSP] (Windows Media HTTP streaming), ISO/IEC 11172-3
// section 2.4.1.3 (the MPEG audio frame header begins with a syncword of
// set bits; a frame start here is 0xFF followed by a byte with its three
// top bits set).
#include "http_audio.h"

#include <cstdio>
#include <cstring>

#include "asx_entries.h"
#include "capture_state.h"
#include "content_type.h"
#include "framed_audio.h"
#include "hls_fetch.h"
#include "hls_route.h"
#include "http_request.h"
#include "http_text.h"
#include "http_wire.h"
#include "icy_metadata.h"
#include "mms_http.h"
#include "netgrab.h"
#include "output_file.h"
#include "stream_copy.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

constexpr int kCurrentAddressSize = 512;
constexpr int kHostSize = 128;
constexpr int kPathSize = 512;
constexpr int kPlaylistTargetSize = 512;
// Receive size of the MPEG copier: about a tenth of a second of 128 kbit/s.
constexpr int kMpegReceiveSize = 1600;
constexpr int kContentTypeSize = 128;

bool isWindowsMediaFile(const char *reference)
{
    return findNoCase(reference, ".WMA") != nullptr;
}

// The Content-Type value of an answer, or an empty text.
void answerContentType(const char *answer, char *out, size_t cap)
{
    const int headerEnd = headerBlockEnd(answer, static_cast<int>(std::strlen(answer)));
    if (!headerFieldValue(answer, headerEnd, "Content-Type", out, cap))
        out[0] = '\0';
}

void closeKept(CaptureState &s, bool &kept)
{
    if (kept)
        closeConnection(s.connection);
    kept = false;
}

void fillDescribeSlots(HeaderSlot *slots)
{
    copyText(slots[0], kHeaderSlotSize, wire::kAcceptLine);
    copyText(slots[1], kHeaderSlotSize, wire::kUserAgentLine);
    slots[wire::kHostSlot][0] = '\0';
    copyText(slots[3], kHeaderSlotSize, wire::kAcceptAuthenticationLine);
    copyText(slots[4], kHeaderSlotSize, wire::kPragmaVersion11Line);
    copyText(slots[5], kHeaderSlotSize, wire::kPragmaStreamStartLine);
    copyText(slots[6], kHeaderSlotSize, wire::kPragmaPacketPairLine);
    copyText(slots[7], kHeaderSlotSize, wire::kPragmaPipelineLine);
    copyText(slots[8], kHeaderSlotSize, wire::kSupportedLine);
    slots[wire::kClientGuidSlot][0] = '\0';
    std::snprintf(slots[wire::kLastSlot], kHeaderSlotSize, "%s%s", wire::kAcceptLanguageLine, wire::kEndOfHeaders);
}

// Routes an accepted answer of count bytes in receiveBuffer.
DescribeEnd acceptAnswer(CaptureState &s, int count, bool &kept, FurtherAddress *further)
{
    const char *answer = s.receiveBuffer;
    if (isHlsAnswer(answer)) {
        closeKept(s, kept);
        return DescribeEnd::Hls;
    }

    char target[kPlaylistTargetSize];
    const AnswerRoute route = routeOfAnswer(answer, settings().config.shoutcastNoticeHost, target);
    if (route == AnswerRoute::FurtherAddress) {
        closeKept(s, kept);
        FurtherAddress taken;
        copyText(taken.text, sizeof taken.text, target);
        if (further)
            *further = taken;
        traceFormat("describe: further address %s", taken.text);
        return DescribeEnd::FurtherAddress;
    }
    if (route == AnswerRoute::Aac || route == AnswerRoute::Ogg) {
        captureFramedAudio(s, route == AnswerRoute::Aac ? FramedFormat::Aac : FramedFormat::Ogg, kept,
                           count);  // closes the connection and the file
        kept = false;
        return DescribeEnd::Recorded;
    }
    if (route == AnswerRoute::Unrecordable) {
        closeKept(s, kept);
        char type[kContentTypeSize];
        answerContentType(answer, type, sizeof type);
        char shown[kContentTypeSize];
        printableMediaType(type, shown, sizeof shown);
        std::printf("cannot record content type %s\n", shown);
        std::fflush(stdout);
        shared().lastError = NG_ERR_CONTENT_TYPE;
        return DescribeEnd::Refused;
    }
    if (route == AnswerRoute::MpegAudio) {
        if (!openOutput(s, ".mp3")) {
            closeKept(s, kept);
            return DescribeEnd::Failed;
        }
        captureMpegAudio(s, kept, count);  // closes the connection and the file
        kept = false;
        return DescribeEnd::Recorded;
    }
    // MMS over HTTP: the kept connection is not read on this route (the
    // play step opens its own), so it is closed here.
    closeKept(s, kept);
    if (!openOutput(s, ".wma"))
        return DescribeEnd::Failed;
    if (extractStreamHeader(s, answer, count) > 0)
        return DescribeEnd::StreamHeader;
    closeOutput(s.output);
    return DescribeEnd::Failed;
}

}  // namespace

bool statusIsOk(const char *status)
{
    return std::strstr(status, wire::kStatusOk) || std::strstr(status, wire::kStatusHttp10Ok);
}

bool statusIsRedirect(const char *status)
{
    return isRedirectStatus(status, false);
}

AnswerRoute routeOfAnswer(const char *answer, const char *noticeHost, char target[512])
{
    if (findPlaylistTarget(answer, target))
        return AnswerRoute::FurtherAddress;
    char type[kContentTypeSize];
    answerContentType(answer, type, sizeof type);
    const StreamType stream = streamTypeOf(type);
    if (stream == StreamType::Aac)
        return AnswerRoute::Aac;
    if (stream == StreamType::Ogg)
        return AnswerRoute::Ogg;
    const bool namesNoticeHost = noticeHost && *noticeHost && findNoCase(answer, noticeHost);
    if (stream == StreamType::Unrecordable)
        return namesNoticeHost ? AnswerRoute::MpegAudio : AnswerRoute::Unrecordable;
    if (findNoCase(answer, wire::kMpegAudioType) || namesNoticeHost)
        return AnswerRoute::MpegAudio;
    return AnswerRoute::MmsOverHttp;
}

int findFrameStart(const unsigned char *bytes, int count)
{
    for (int i = 0; i + 2 < count; ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] & 0xE0) == 0xE0)
            return i;
    }
    return -1;
}

RouteResult captureHttpStream(CaptureState &s, const char *address, FurtherAddress *further)
{
    s.packets.fill = 0;
    s.packets.packetCount = 0;
    makeClientGuid(s.clientGuid);

    // An explicit port belongs to the host part; a ':' further on is part
    // of the path. Port texts that read as 0 or are not numeric leave the
    // port as classification set it.
    const char *slash = std::strchr(address, '/');
    const char *colon = std::strchr(address, ':');
    if (colon && (!slash || colon < slash)) {
        const uint16_t port = portFromText(address);
        if (port != kNoPort && port != 0)
            s.serverPort = port;
    }
    s.requestPort = s.serverPort;
    // A playlist entry may name an HLS playlist.
    if (isHlsAddress(address)) {
        captureHls(s, absoluteHttpAddress(address, s.serverPort, s.transport).c_str());
        return RouteResult::Done;
    }

    char full[kCurrentAddressSize];
    std::snprintf(full, sizeof full, "%s%s", s.transport == Transport::Tls ? wire::kHttpsScheme : wire::kHttpScheme,
                  address);
    char finalAddress[kCurrentAddressSize];
    switch (describeRequest(s, full, finalAddress, sizeof finalAddress, further)) {
    case DescribeEnd::StreamHeader:
        // The play step goes where the describe request was finally answered.
        playRequest(s, finalAddress);
        closeOutput(s.output);
        return RouteResult::Done;
    case DescribeEnd::Recorded:
        return RouteResult::Done;
    case DescribeEnd::Hls:
        captureHls(s, absoluteHttpAddress(finalAddress, s.serverPort, s.transport).c_str());
        return RouteResult::Done;
    case DescribeEnd::FurtherAddress:
        return RouteResult::FurtherAddress;
    case DescribeEnd::Refused:
    case DescribeEnd::Failed:
        break;
    }
    return RouteResult::Failed;
}

DescribeEnd describeRequest(CaptureState &s, const char *fullAddress, FurtherAddress *further)
{
    char finalAddress[kCurrentAddressSize];
    return describeRequest(s, fullAddress, finalAddress, sizeof finalAddress, further);
}

DescribeEnd describeRequest(CaptureState &s, const char *fullAddress, char *finalAddress, size_t finalCap,
                            FurtherAddress *further)
{
    HeaderSlot slots[wire::kDescribeSlotCount];
    fillDescribeSlots(slots);
    char current[kCurrentAddressSize];
    copyText(current, sizeof current, fullAddress);
    s.requestPort = s.serverPort;

    for (int hop = 0;; ++hop) {
        char host[kHostSize];
        char path[kPathSize];
        if (!splitHttpAddress(current, host, sizeof host, path, sizeof path, &s.transport))
            return DescribeEnd::Failed;

        std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
        std::snprintf(slots[wire::kHostSlot], kHeaderSlotSize, wire::kHostLineFormat, host);
        std::snprintf(slots[wire::kClientGuidSlot], kHeaderSlotSize, wire::kClientGuidLineFormat, s.clientGuid);

        bool kept = false;
        const int count = httpRequestKeep(s, s.receiveBuffer, host, path, slots, wire::kDescribeSlotCount, &kept);
        if (count <= 0) {
            closeKept(s, kept);
            return DescribeEnd::Failed;
        }
        s.receiveBuffer[count] = '\0';
        const char *status = statusLine(s.receiveBuffer, count);

        if (statusIsOk(status)) {
            copyText(finalAddress, finalCap, current);
            return acceptAnswer(s, count, kept, further);
        }
        if (!statusIsRedirect(status)) {
            closeKept(s, kept);
            shared().lastError = NG_ERR_REFUSED;
            return DescribeEnd::Failed;
        }
        const char *location = findLocationValue(s.receiveBuffer);
        if (!location) {  // a redirect without a target is read as it stands
            copyText(finalAddress, finalCap, current);
            return acceptAnswer(s, count, kept, further);
        }
        closeKept(s, kept);
        // Two addresses that name each other would otherwise be asked
        // forever; a stop ends the chain at once.
        if (s.stop.pending()) {
            shared().lastError = NG_ERR_STOPPED;
            return DescribeEnd::Failed;
        }
        if (hop >= wire::kMaxRedirects) {
            traceFormat("describe: more than %d redirects, giving up", wire::kMaxRedirects);
            shared().lastError = NG_ERR_REFUSED;
            return DescribeEnd::Failed;
        }
        // The redirect may move between http and https either way.
        copyValue(s.workingAddress, sizeof s.workingAddress, location);
        Transport next = Transport::Tcp;
        webSchemeLength(s.workingAddress, &next);
        s.serverPort = defaultWebPort(next);
        extractPort(s.workingAddress, s.serverPort);
        copyText(current, sizeof current, s.workingAddress);
        s.requestPort = s.serverPort;
        traceFormat("describe: redirected to %s port %u", current, s.serverPort);
    }
}

int findPlaylistTarget(const char *answer, char out[512])
{
    if (findNoCase(answer, wire::kMoved302) || findNoCase(answer, wire::kMoved301)) {
        if (const char *location = findLocationValue(answer)) {
            copyValue(out, kPlaylistTargetSize, location);
            return 1;
        }
    }

    // Advertisements and jingles are Windows Media files; the station
    // follows in a later entry.
    char taken[kPlaylistTargetSize];
    if (firstAsxReference(answer, isWindowsMediaFile, taken, sizeof taken) != AsxScan::Found)
        return 0;
    copyText(out, kPlaylistTargetSize, taken);
    return 1;
}

void captureMpegAudio(CaptureState &s, bool kept, int count)
{
    auto finish = [&](int error) {
        shared().lastError = error;
        closeOutput(s.output);
        closeConnection(s.connection);
    };

    auto *first = reinterpret_cast<unsigned char *>(s.receiveBuffer);
    // A server that interleaves metadata unasked: only the audio between
    // the blocks is recorded, counted from the first body byte.
    IcyMetadataFilter icy;
    const int headerEnd = headerBlockEnd(s.receiveBuffer, count);
    if (headerEnd >= 0)
        icy.start(icyMetaInterval(s.receiveBuffer, static_cast<size_t>(headerEnd)));
    if (icy.active()) {
        const int bodyStart = headerEnd + 4;
        first += bodyStart;
        count = static_cast<int>(icy.filter(first, static_cast<size_t>(count - bodyStart)));
    }
    const int start = findFrameStart(first, count);
    if (start < 0) {
        finish(NG_ERR_NO_MPEG_SYNC);
        return;
    }
    // The bytes of the first answer are written but not counted.
    if (!writeOutput(s, first + start, count - start)) {
        finish(NG_ERR_FILE_OPEN);
        return;
    }
    // An answer shorter than the request buffer kept no connection: the
    // stream is over (the server closed or went quiet).
    if (!kept) {
        finish(NG_ERR_RECEIVE);
        return;
    }
    finish(copyRestOfBody(s, kMpegReceiveSize, [&](unsigned char *bytes, int n) {
        n = static_cast<int>(icy.filter(bytes, static_cast<size_t>(n)));
        if (!writeOutput(s, bytes, n))
            return false;
        shared().recordedBytes.fetch_add(n, std::memory_order_relaxed);
        return true;
    }));
}

}  // namespace netgrab

// The portal route: the portal's player page names a playlist reference;
// the reference (after redirects) names the MMS stream; the stream server
// is then asked for the header ("$H" chunks) and the data ("$D" chunks), in
// the MMS-over-HTTP way, with the page's cookie on every request.
#include "portal.h"

#include <cstdio>
#include <cstring>

#include "byte_reader.h"
#include "capture_state.h"
#include "connection.h"
#include "http_request.h"
#include "http_text.h"
#include "http_wire.h"
#include "mms_http.h"
#include "mms_wire.h"
#include "netgrab.h"
#include "output_file.h"
#include "text_rules.h"

namespace netgrab {

namespace {

// Sends an HTTP request to a host text that may carry ":port"; without a
// port it goes to the portal's HTTP port. Terminates the answer.
int requestTo(CaptureState &s, const char *hostText, const char *path, const HeaderSlot *slots, int slotCount)
{
    char host[128];
    copyText(host, sizeof host, hostText);
    s.requestPort = settings().tuning.httpPort;
    if (char *colon = std::strchr(host, ':')) {
        uint16_t port = portFromText(host);
        if (port != 0 && port != kNoPort)
            s.requestPort = port;
        *colon = '\0';
    }
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    int n = httpRequest(s, s.receiveBuffer, host, path, slots, slotCount);
    s.requestPort = settings().tuning.httpPort;
    if (n > 0)
        s.receiveBuffer[n < kAnswerLimit ? n : kAnswerLimit] = '\0';
    return n;
}

}  // namespace

bool portalAnswerRedirects(const char *answer)
{
    return std::strstr(answer, wire::kPortalRedirect302) || std::strstr(answer, wire::kPortalMoved302)
        || std::strstr(answer, wire::kPortalMoved301);
}

void streamHostPath(const char *address, char *host, int hostCap, char *path, int pathCap)
{
    char rest[512];
    splitHostPath(address, host, hostCap, rest, sizeof rest);
    if (char *colon = std::strchr(host, ':'))
        *colon = '\0';
    // rest is "" or "/...": the path is "/" followed by the text after the '/'.
    if (pathCap < 2)
        return;
    path[0] = '/';
    copyText(path + 1, static_cast<size_t>(pathCap - 1), rest[0] == '/' ? rest + 1 : rest);
}

void splitHostPath(const char *text, char *host, int hostCap, char *path, int pathCap)
{
    const char *slash = std::strchr(text, '/');
    size_t hostLen = slash ? static_cast<size_t>(slash - text) : std::strlen(text);
    if (hostCap <= 0 || pathCap <= 0)
        return;
    if (hostLen >= static_cast<size_t>(hostCap))
        hostLen = static_cast<size_t>(hostCap) - 1;
    std::memcpy(host, text, hostLen);
    host[hostLen] = '\0';
    copyText(path, static_cast<size_t>(pathCap), slash ? slash : "");
}

int findAfterMarker(const char *answer, const char *marker, char *out, int outCap)
{
    const char *found = std::strstr(answer, marker);
    if (!found || outCap <= 0)
        return 0;
    copyLineValue(out, static_cast<size_t>(outCap), found + std::strlen(marker), "\"");
    return 1;
}

int portalLookup(CaptureState &s, char *address, const char *cookie)
{
    s.requestPort = settings().tuning.httpPort;
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    const char *portalHost = settings().config.portalHost ? settings().config.portalHost : "";

    // The page path is what follows the portal host in the address; an
    // address elsewhere (a page marker) asks for the portal's root page.
    char pagePath[256] = "";
    if (portalHost[0]) {
        if (const char *at = std::strstr(address, portalHost))
            copyText(pagePath, sizeof pagePath, at + std::strlen(portalHost));
    }
    HeaderSlot page[6];
    copyText(page[0], kHeaderSlotSize, wire::kPortalPageAccept);
    copyText(page[1], kHeaderSlotSize, wire::kPortalPageLanguage);
    copyText(page[2], kHeaderSlotSize, wire::kAcceptEncoding);
    copyText(page[3], kHeaderSlotSize, wire::kPortalPageAgent);
    std::snprintf(page[4], kHeaderSlotSize, wire::kHostLineFormat, portalHost);
    copyText(page[5], kHeaderSlotSize, wire::kKeepAliveLast);
    if (requestTo(s, portalHost, pagePath, page, 6) <= 0)
        return 0;

    char reference[512];
    if (!findAfterMarker(s.receiveBuffer, wire::kPortalRefMarker, reference, sizeof reference))
        return 0;
    if (std::strlen(reference) < 7)
        return 0;  // no room for "http://"

    HeaderSlot link[6];
    copyText(link[0], kHeaderSlotSize, wire::kAcceptLine);
    copyText(link[1], kHeaderSlotSize, wire::kPortalLinkAgent);
    copyText(link[2], kHeaderSlotSize, wire::kAcceptEncoding);
    std::snprintf(link[3], kHeaderSlotSize, wire::kHostLineFormat,
                  settings().config.portalStreamHost ? settings().config.portalStreamHost : "");
    copyText(link[4], kHeaderSlotSize, wire::kKeepAlive);
    std::snprintf(link[5], kHeaderSlotSize, wire::kCookieLastFormat, cookie ? cookie : "");

    char host[128];
    char path[256];
    splitHostPath(reference + 7, host, sizeof host, path, sizeof path);
    if (requestTo(s, host, path, link, 6) <= 0)
        return 0;

    for (int redirects = 0; portalAnswerRedirects(s.receiveBuffer); ++redirects) {
        if (redirects >= wire::kMaxRedirects)
            return 0;  // a loop must not hold the attempt
        // The shared reader takes the value after the optional blanks behind
        // the colon: "Location:http://127.0.0.1/" must not lose its first
        // character (and become another host).
        const char *location = findLocationValue(s.receiveBuffer);
        if (!location)
            return 0;
        copyValue(reference, sizeof reference, location);
        if (std::strlen(reference) < 7)
            return 0;
        splitHostPath(reference + 7, host, sizeof host, path, sizeof path);
        std::snprintf(link[3], kHeaderSlotSize, wire::kHostLineFormat, host);
        copyText(link[4], kHeaderSlotSize, wire::kKeepAliveLast);
        if (requestTo(s, host, path, link, 5) <= 0)
            return 0;
    }
    return findAfterMarker(s.receiveBuffer, wire::kPortalStreamMarker, address, kWorkingAddressSize);
}

// Shared start of the describe and play requests to the stream server:
// port, host and path of the address, a cleared answer buffer, and the
// first five header slots (the same in both requests).
static void prepareStreamRequest(CaptureState &s, const char *address, const char *cookie, char *host, int hostCap,
                                 char *path, int pathCap, HeaderSlot *slots)
{
    s.requestPort = settings().tuning.httpPort;
    streamHostPath(address, host, hostCap, path, pathCap);
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    copyText(slots[0], kHeaderSlotSize, wire::kAcceptLine);
    copyText(slots[1], kHeaderSlotSize, wire::kPortalStreamAgent);
    std::snprintf(slots[2], kHeaderSlotSize, wire::kHostLineFormat, host);
    std::snprintf(slots[3], kHeaderSlotSize, wire::kCookieFormat, cookie ? cookie : "");
    copyText(slots[4], kHeaderSlotSize, wire::kAcceptAuthenticationLine);
}

int portalDescribe(CaptureState &s, const char *address, const char *cookie)
{
    if (!openOutput(s, ".wma"))
        return -1;
    char host[128];
    char path[512];
    HeaderSlot slots[10];
    prepareStreamRequest(s, address, cookie, host, sizeof host, path, sizeof path, slots);
    std::snprintf(slots[5], kHeaderSlotSize, "%s%s", wire::kPragmaVersion11Line, wire::kPragmaStreamStartLine);
    std::snprintf(slots[6], kHeaderSlotSize, "%s%s", wire::kPragmaPacketPairLine, wire::kPragmaPipelineLine);
    copyText(slots[7], kHeaderSlotSize, wire::kSupportedLine);
    copyText(slots[8], kHeaderSlotSize, wire::kAcceptLanguageLine);
    char guidLine[128];  // the GUID line is 61 characters at most
    std::snprintf(guidLine, sizeof guidLine, wire::kClientGuidLineFormat, s.clientGuid);
    std::snprintf(slots[9], kHeaderSlotSize, "%s%s", guidLine, wire::kEndOfHeaders);
    s.packets.packetSize = -1;

    int n = httpRequest(s, s.receiveBuffer, host, path, slots, 10);
    if (n <= 0) {
        closeOutput(s.output);
        return n;
    }
    if (n > kAnswerLimit)
        n = kAnswerLimit;
    s.receiveBuffer[n] = '\0';
    if (std::strstr(s.receiveBuffer, wire::kPortalForbidden)) {
        shared().lastError = NG_ERR_REFUSED;
        closeOutput(s.output);
        return -1;
    }
    // "$H" <length LE16> <8 framing bytes> <payload of length - 8>. Only the
    // bytes received are looked at, and a taken payload is not searched
    // again for chunk marks. The payloads are collected and pass the header
    // gate as one header.
    s.packets.fill = 0;
    // Each attempt times only its own packets; an earlier recording's
    // duration comes from the header already in the file.
    s.packets.timeline.reset();
    unsigned char header[kReceiveBufferSize];
    const AsfHeaderChunks chunks =
        collectHeaderChunks(reinterpret_cast<const unsigned char *>(s.receiveBuffer), n, header, sizeof header);
    if (chunks.lastPayload > 0)
        shared().recordedBytes = chunks.lastPayload;
    // The header goes into a file once: an attempt that appends to an
    // earlier recording of the same streams does not put a second header
    // among its packets.
    if (!acceptStreamHeader(s, s.packets, header, chunks.length)) {
        closeOutput(s.output);
        return -1;
    }
    return n;
}

void portalPlay(CaptureState &s, const char *address, const char *cookie)
{
    std::printf("portal play request:\n%s\n", address);
    std::fflush(stdout);
    char host[128];
    char path[512];
    HeaderSlot slots[10];
    prepareStreamRequest(s, address, cookie, host, sizeof host, path, sizeof path, slots);
    copyText(slots[5], kHeaderSlotSize, wire::kPragmaPlayOffset);
    copyText(slots[6], kHeaderSlotSize, wire::kPortalPlayStream);
    std::snprintf(slots[7], kHeaderSlotSize, wire::kClientGuidLineFormat, s.clientGuid);
    copyText(slots[8], kHeaderSlotSize, wire::kPortalSupported);
    copyText(slots[9], kHeaderSlotSize, wire::kPortalPlayTail);

    int count = 0;
    if (!httpRequestFirst(s, s.receiveBuffer, host, path, slots, 10, &count) || count <= 0) {
        closeConnection(s.connection);
        shared().lastError = NG_ERR_RECEIVE;
        closeOutput(s.output);
        return;
    }
    streamDataChunks(s, count);
    // The header states what the file holds, as on the other routes.
    finishAsfFile(s, s.packets);
    closeOutput(s.output);
}

void capturePortal(CaptureState &s, char *address, const char *cookie)
{
    s.packets.fill = 0;
    s.packets.packetCount = 0;
    makeClientGuid(s.clientGuid);
    s.requestPort = settings().tuning.httpPort;
    if (!portalLookup(s, address, cookie))
        return;
    if (portalDescribe(s, address, cookie) <= 0) {
        closeOutput(s.output);
        return;
    }
    portalPlay(s, address, cookie);
}

}  // namespace netgrab

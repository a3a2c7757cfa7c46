// Source address classification and playlist resolution: what kind of
// source an address names (scheme, playlist extension, portal host, or a
// directory page whose stream markers name the stream), and the ASX, M3U
// and PLS playlists that lead to a stream.
//
// Playlist formats: ASX/WAX ("Windows Media Metafile Elements Reference":
// ENTRY and REF HREF elements), M3U (one address per line, '#' starts a
// comment or directive), PLS (INI-style, "File1=" holds the first address).
#include "classify.h"

#include <cstdio>
#include <cstring>

#include "address_resolve.h"
#include "asx_entries.h"
#include "capture_state.h"
#include "hls_fetch.h"
#include "hls_route.h"
#include "http_audio.h"
#include "http_request.h"
#include "http_text.h"
#include "http_wire.h"
#include "netgrab.h"
#include "text_rules.h"
#include "trace.h"

namespace netgrab {

namespace {

constexpr int kAddressCopySize = 512;
constexpr int kQuotedValueSize = 384;
constexpr int kPageShownBytes = 1024;
constexpr int kM3uEntrySize = 512;

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// True when the first occurrence of suffix in text ends the text.
bool firstOccurrenceEnds(const char *text, const char *suffix)
{
    const char *at = std::strstr(text, suffix);
    return at && at[std::strlen(suffix)] == '\0';
}

// Playlist entries name their port or mean the default of their scheme
// (s.transport); the port of the playlist's own address says nothing about
// the stream's.
void defaultPortForEntry(CaptureState &s, const char *hostPath)
{
    const char *slash = std::strchr(hostPath, '/');
    const char *colon = std::strchr(hostPath, ':');
    if (!colon || (slash && slash < colon))
        s.serverPort = defaultWebPort(s.transport);
}

// Fetches a directory page and reads its stream markers.
int classifyPage(CaptureState &s, const char *copy)
{
    s.requestPort = s.serverPort;
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    const char *hostPath = copy;
    if (startsWith(copy, wire::kHttpScheme))
        hostPath = copy + 7;
    if (startsWith(copy, wire::kHttpsScheme))
        hostPath = copy + 8;
    const int count = httpFetch(s, s.receiveBuffer, hostPath);
    if (count < 1)
        return 0;
    s.receiveBuffer[count] = '\0';
    // The page is shown for diagnosis, cut to its first kPageShownBytes:
    // a directory page may be as long as the whole receive buffer.
    std::printf("DecodeServerURL : %.*s\n", kPageShownBytes, s.receiveBuffer);
    return readPageMarkers(s, s.receiveBuffer);
}

bool isAdvertisement(const char *reference)
{
    return findNoCase(reference, ".WMA") || findNoCase(reference, ".WAV") || findNoCase(reference, ".GIF")
        || findNoCase(reference, ".MP3");
}

}  // namespace

int classifySource(CaptureState &s, const char *address)
{
    char copy[kAddressCopySize];
    copyText(copy, sizeof copy, address);
    char original[kAddressCopySize];
    copyText(original, sizeof original, address);
    s.serverPort = kNoPort;
    s.transport = Transport::Tcp;
    extractPort(copy, s.serverPort);

    if (startsWith(copy, wire::kMmsScheme)) {
        copyText(s.workingAddress, sizeof s.workingAddress, copy + 6);
        s.sourceKind = SOURCE_MMS;
        if (s.serverPort == kNoPort)
            s.serverPort = settings().tuning.mmsPort;
        return 1;
    }
    // "https://" is the HTTP route over TLS, on port 443 unless the
    // address names one.
    const bool secure = startsWith(copy, wire::kHttpsScheme);
    if (secure)
        s.transport = Transport::Tls;
    if (s.serverPort == kNoPort)
        s.serverPort = defaultWebPort(s.transport);

    if (secure || startsWith(copy, wire::kHttpScheme)) {
        const char *rest = copy + (secure ? 8 : 7);
        if (isHlsAddress(original)) {  // kept whole, with its scheme and port
            copyText(s.workingAddress, sizeof s.workingAddress, original);
            s.sourceKind = SOURCE_HLS;
            return 1;
        }
        // Extension tests are case-sensitive, as directory addresses are
        // written in lower case; "Live.ASX" is a stream address.
        if (std::strstr(copy, ".asx") || std::strstr(copy, ".wax")) {
            copyText(s.workingAddress, sizeof s.workingAddress, rest);
            return resolveAsx(s);
        }
        if (firstOccurrenceEnds(copy, ".m3u")) {
            copyText(s.workingAddress, sizeof s.workingAddress, rest);
            s.sourceKind = SOURCE_M3U;
            return 1;
        }
        if (firstOccurrenceEnds(copy, ".pls")) {
            copyText(s.workingAddress, sizeof s.workingAddress, rest);
            s.sourceKind = SOURCE_PLS;
            return 1;
        }
        const char *portal = settings().config.portalHost;
        if (!secure && portal && *portal && std::strstr(copy, portal)) {
            copyText(s.workingAddress, sizeof s.workingAddress, rest);
            s.sourceKind = SOURCE_PORTAL;
            return 1;
        }
        if (!std::strstr(copy, ".html")) {
            copyText(s.workingAddress, sizeof s.workingAddress, rest);
            s.sourceKind = SOURCE_HTTP;
            return 1;
        }
        return classifyPage(s, copy);
    }
    if (startsWith(copy, wire::kFileScheme)) {
        copyText(s.workingAddress, sizeof s.workingAddress, copy + 7);
        s.sourceKind = SOURCE_FILE;
        return 1;
    }
    // Any other text (capital or unknown scheme, no scheme) names a page.
    return classifyPage(s, copy);
}

int readPageMarkers(CaptureState &s, const char *answer)
{
    if (const char *mms = std::strstr(answer, wire::kMarkerMms)) {
        copyValue(s.workingAddress, sizeof s.workingAddress, skipBlanks(mms + std::strlen(wire::kMarkerMms)));
        s.pageCookie[0] = '\0';
        if (const char *cookie = std::strstr(answer, wire::kMarkerCookie)) {
            copyLineValue(s.pageCookie, sizeof s.pageCookie, cookie + std::strlen(wire::kMarkerCookie));
        }
        s.sourceKind = SOURCE_PORTAL;
        return 1;
    }
    if (const char *http = std::strstr(answer, wire::kMarkerHttp)) {
        copyValue(s.workingAddress, sizeof s.workingAddress, skipBlanks(http + std::strlen(wire::kMarkerHttp)));
        extractPort(s.workingAddress, s.serverPort);
        s.sourceKind = SOURCE_HTTP;
        return 1;
    }
    if (const char *asx = std::strstr(answer, wire::kMarkerAsx)) {
        copyValue(s.workingAddress, sizeof s.workingAddress, skipBlanks(asx + std::strlen(wire::kMarkerAsx)));
        // A playlist address written with "http://" may name its port.
        extractPort(s.workingAddress, s.serverPort);
        return resolveAsx(s);
    }
    return 0;
}

int resolveAsx(CaptureState &s)
{
    for (int hop = 0;; ++hop) {
        s.requestPort = s.serverPort;
        std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
        // A redirect leaves its address with the scheme, which says how to connect.
        const char *hostPath = s.workingAddress + webSchemeLength(s.workingAddress, &s.transport);
        const int count = httpFetch(s, s.receiveBuffer, hostPath);
        if (count < 1)
            return 0;
        s.receiveBuffer[count] = '\0';

        char status[512];
        upperCopy(status, sizeof status, statusLine(s.receiveBuffer, count));
        std::printf("CheckASX return : %s\n", status);
        const char *location = isRedirectStatus(status, true) ? findLocationValue(s.receiveBuffer) : nullptr;
        if (!location) {  // not a redirect, or one without a target: a playlist
            char target[kQuotedValueSize];
            if (!asxTarget(s.receiveBuffer, target, sizeof target))
                return 0;
            return applyAsxTarget(s, target);
        }
        // Two playlists that name each other would otherwise be fetched
        // forever; a stop ends the chain at once.
        if (s.stop.pending()) {
            shared().lastError = NG_ERR_STOPPED;
            return 0;
        }
        if (hop >= wire::kMaxRedirects) {
            traceFormat("asx: more than %d redirects, giving up", wire::kMaxRedirects);
            return 0;
        }
        copyValue(s.workingAddress, sizeof s.workingAddress, location);
        Transport next = Transport::Tcp;
        webSchemeLength(s.workingAddress, &next);
        s.serverPort = defaultWebPort(next);
        extractPort(s.workingAddress, s.serverPort);
    }
}

int asxTarget(const char *answer, char *target, size_t cap)
{
    char value[kQuotedValueSize];
    const char *rest = answer;
    switch (firstAsxReference(answer, isAdvertisement, value, sizeof value, &rest)) {
    case AsxScan::Found:
        copyText(target, cap, value);
        return 1;
    case AsxScan::Malformed:
        return 0;
    case AsxScan::NoEntry:
        break;
    }
    const char *mms = findNoCase(rest, "MMS://");
    if (!mms)
        return 0;
    copyValue(target, cap, mms, "\"");
    return 1;
}

int applyAsxTarget(CaptureState &s, const char *target)
{
    s.workingAddress[0] = '\0';
    if (startsWithNoCase(target, "MMS://")) {
        copyText(s.workingAddress, sizeof s.workingAddress, target + 6);
        s.serverPort = settings().tuning.mmsPort;
        s.transport = Transport::Tcp;
        std::printf("MMS. stream_url = %s\n", s.workingAddress);
        s.sourceKind = SOURCE_MMS;
        return 1;
    }
    Transport transport = Transport::Tcp;
    if (const size_t scheme = webSchemeLength(target, &transport)) {
        copyText(s.workingAddress, sizeof s.workingAddress, target + scheme);
        s.transport = transport;
        s.serverPort = defaultWebPort(transport);
        extractPort(s.workingAddress, s.serverPort);  // no scheme left: a port stays in the text
        std::printf("HTTP. stream_url = %s\n", s.workingAddress);
        s.sourceKind = SOURCE_HTTP;
        return 1;
    }
    if (startsWithNoCase(target, "RTSP://")) {
        copyText(s.workingAddress, sizeof s.workingAddress, target + 7);
        s.sourceKind = SOURCE_RTSP;
        return 1;
    }
    // Another scheme or a relative reference: nothing to connect to.
    traceFormat("asx: no stream in reference %s", target);
    return 0;
}

// Fetches a playlist into receiveBuffer, NUL-terminated; false when nothing arrived.
static bool fetchPlaylist(CaptureState &s, const char *address)
{
    s.requestPort = s.serverPort;
    std::memset(s.receiveBuffer, 0, sizeof s.receiveBuffer);
    const int count = httpFetch(s, s.receiveBuffer, address);
    if (count < 1)
        return false;
    s.receiveBuffer[count] = '\0';
    return true;
}

// The playlist's own address with its scheme and port, the base of its
// relative entries: classification took the port out of the text.
static void playlistBase(const CaptureState &s, const char *address, char *out, size_t cap)
{
    const size_t hostLength = std::strcspn(address, "/");
    char port[8] = "";
    if (s.serverPort != defaultWebPort(s.transport) && s.serverPort != kNoPort
        && !std::memchr(address, ':', hostLength))
        std::snprintf(port, sizeof port, ":%u", s.serverPort);
    const char *scheme = s.transport == Transport::Tls ? wire::kHttpsScheme : wire::kHttpScheme;
    std::snprintf(out, cap, "%s%.*s%s%s", scheme, static_cast<int>(hostLength), address, port, address + hostLength);
}

void resolveM3u(CaptureState &s, const char *address)
{
    char base[kAddressCopySize];
    playlistBase(s, address, base, sizeof base);
    if (!fetchPlaylist(s, address))
        return;
    if (isHlsAnswer(s.receiveBuffer)) {  // an ".m3u" address that serves HLS
        captureHls(s, absoluteHttpAddress(address, s.serverPort, s.transport).c_str());
        return;
    }
    char entry[kM3uEntrySize];
    if (!m3uTarget(s.receiveBuffer, entry, sizeof entry, &s.transport, base))
        return;
    defaultPortForEntry(s, entry);
    captureHttpStream(s, entry);
}

int m3uTarget(const char *answer, char *out, size_t cap, Transport *transport, const char *playlistAddress)
{
    Transport taken = Transport::Tcp;
    const char *body = std::strstr(answer, "\r\n\r\n");
    if (!body)
        return 0;
    for (const char *line = body + 4; *line;) {
        const char *end = line + std::strcspn(line, "\r\n");
        const char *text = skipBlanks(line);
        if (*text != '#' && text < end) {
            for (const char *p = line; p < end; ++p) {
                if (const size_t scheme = webSchemeLength(p, &taken)) {
                    copyValue(out, cap, p + scheme);
                    if (transport)
                        *transport = taken;
                    return out[0] != '\0';
                }
            }
            // A line without a scheme is an address relative to the
            // playlist's own ("stream.mp3", "/live/stream").
            char entry[kM3uEntrySize];
            copyValue(entry, sizeof entry, text);
            char resolved[kM3uEntrySize];
            if (playlistAddress && !std::strstr(entry, "://")
                && resolveAddress(playlistAddress, entry, resolved, sizeof resolved)) {
                if (const size_t scheme = webSchemeLength(resolved, &taken)) {
                    copyText(out, cap, resolved + scheme);
                    if (transport)
                        *transport = taken;
                    return out[0] != '\0';
                }
            }
        }
        line = end + std::strspn(end, "\r\n");
    }
    return 0;
}

void resolvePls(CaptureState &s, const char *address)
{
    if (!fetchPlaylist(s, address))
        return;
    char entry[kWorkingAddressSize];
    if (!plsTarget(s.receiveBuffer, entry, sizeof entry, &s.transport))
        return;
    copyText(s.workingAddress, sizeof s.workingAddress, entry);
    defaultPortForEntry(s, s.workingAddress);
    captureHttpStream(s, s.workingAddress);
}

int plsTarget(const char *answer, char *out, size_t cap, Transport *transport)
{
    const char *key = findNoCase(answer, wire::kPlsFirstFile);
    if (!key)
        return 0;
    char value[kAddressCopySize];
    copyValue(value, sizeof value, skipBlanks(key + std::strlen(wire::kPlsFirstFile)));
    Transport taken = Transport::Tcp;
    if (const size_t scheme = webSchemeLength(value, &taken)) {
        copyText(out, cap, value + scheme);
    } else if (std::strstr(value, "://")) {
        return 0;  // a scheme this route does not speak
    } else {
        copyText(out, cap, value);
    }
    if (transport && out[0])
        *transport = taken;
    return out[0] != '\0';
}

int quotedValue(const char *text, char out[384])
{
    return readQuotedValue(text, out, kQuotedValueSize) ? 1 : 0;
}

}  // namespace netgrab

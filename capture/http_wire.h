#pragma once
// Fixed texts of the HTTP stream route: the describe request that opens
// every HTTP source, the answer texts that select a route, and the markers
// that directory pages and playlists carry. One named constant per wire
// line, each with its own CR LF (RFC 7230, section 3: every header field
// line ends in CRLF, the header block ends with an empty line).

namespace netgrab {
namespace wire {

// ---- Request line of every request: GET, the path ("/" when the address
// has none), the version ----
constexpr const char kRequestLineStart[] = "GET ";
constexpr const char kRequestLineEnd[] = " HTTP/1.1\r\n";

// ---- Describe request (the first GET of every HTTP source) ----
// The header lines, sent in this order as the eleven describe slots; the
// MMS-over-HTTP play request and the portal's stream requests send several
// of them too. The
// client identifies itself as a Windows Media player so that a Windows
// Media server answers with a stream description ([MS-WMSP] 2.2.1: the
// Pragma tokens of 2.2.1.4, among them xClientGUID, 2.2.1.4.33, and the
// Supported tokens of 2.2.1.7);
// Icecast, SHOUTcast and ICY servers ignore what they do not know.
constexpr const char kAcceptLine[] = "Accept: */*\r\n";
constexpr const char kUserAgentLine[] = "User-Agent: NSPlayer/10.0.0.3802\r\n";
constexpr const char kHostLineFormat[] = "Host: %s\r\n";  // host without port
constexpr const char kAcceptAuthenticationLine[] = "X-Accept-Authentication: Negotiate, NTLM, Digest, Basic\r\n";
constexpr const char kPragmaVersion11Line[] = "Pragma: version11-enabled=1\r\n";
constexpr const char kPragmaStreamStartLine[] = "Pragma: no-cache,rate=1.000,stream-time=0,stream-offset=0:0,"
                                                "packet-num=4294967295,max-duration=0\r\n";
constexpr const char kPragmaPacketPairLine[] = "Pragma: packet-pair-experiment=1\r\n";
constexpr const char kPragmaPipelineLine[] = "Pragma: pipeline-experiment=1\r\n";
constexpr const char kSupportedLine[] = "Supported: com.microsoft.wm.srvppair, com.microsoft.wm.sswitch, "
                                        "com.microsoft.wm.predstrm, com.microsoft.wm.startupprofile\r\n";
constexpr const char kClientGuidLineFormat[] = "Pragma: xClientGUID=%s\r\n";
constexpr const char kAcceptLanguageLine[] = "Accept-Language: zh-TW, *;q=0.1\r\n";
constexpr const char kEndOfHeaders[] = "\r\n";  // the empty line closing the block

constexpr int kDescribeSlotCount = 11;
constexpr int kHostSlot = 2;
constexpr int kClientGuidSlot = 9;
constexpr int kLastSlot = 10;  // Accept-Language followed by the empty line

// ---- Answer texts that select the route ----
constexpr const char kStatusOk[] = "200 OK";  // also "ICY 200 OK"
constexpr const char kStatusHttp10Ok[] = "HTTP/1.0 200";
// Redirects followed by the describe request (compared upper-cased).
constexpr const char kRedirect10_302[] = "HTTP/1.0 302";
constexpr const char kRedirect11_302[] = "HTTP/1.1 302";
constexpr const char kRedirect11_301[] = "HTTP/1.1 301";
constexpr const char kRedirect10_301[] = "HTTP/1.0 301";  // followed for ASX only
constexpr const char kLocationName[] = "Location:";
// Moved notices in the body of an accepted answer (compared upper-cased).
constexpr const char kMoved302[] = "302 MOVED";
constexpr const char kMoved301[] = "301 MOVED";
constexpr const char kMpegAudioType[] = "audio/mpeg";

// ---- Playlists (compared upper-cased) ----
constexpr const char kAsxEntry[] = "<ENTRY";
constexpr const char kAsxRefHref[] = "<REF HREF";
constexpr const char kPlsFirstFile[] = "FILE1=";
constexpr const char kMmsScheme[] = "mms://";
constexpr const char kHttpScheme[] = "http://";
constexpr const char kHttpsScheme[] = "https://";
constexpr const char kFileScheme[] = "file://";

// ---- Directory page markers; the value follows on the same line ----
constexpr const char kMarkerMms[] = "[MPLAYER TYPE=MMS]";
constexpr const char kMarkerCookie[] = "[COOKIE]";
constexpr const char kMarkerHttp[] = "[MPLAYER TYPE=HTTP]";
constexpr const char kMarkerAsx[] = "[MPLAYER TYPE=ASX]";

// Every chain of further addresses follows at most this many: redirects
// of the describe request, the ASX fetch and the portal's reference, and
// the further addresses (ASX documents, moved notices) that an attempt
// classifies again. Browsers and curl use about the same figure.
constexpr int kMaxRedirects = 20;

}  // namespace wire
}  // namespace netgrab

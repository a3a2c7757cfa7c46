#pragma once
// Wire constants of the Windows Media routes: ASF object GUIDs, MMS-over-HTTP
// chunk framing, the MMS-over-TCP message layout, and every fixed request
// header line of the MMS-over-HTTP play request and of the portal sequence.
//
// References:
//   [ASF]     Advanced Systems Format Specification, rev. 01.20.03 (Dec 2004)
//   [MS-WMSP] Windows Media HTTP Streaming Protocol
//   [MS-MMSP] Microsoft Media Server (MMS) Protocol
// Header lines: one constant per line, each ending in its own CR LF.

#include <cstdint>

#include "http_wire.h"

namespace netgrab {
namespace wire {

// ---- ASF object GUIDs, in file byte order [ASF] 10.1 ----------------------
constexpr unsigned char kAsfHeaderObject[16] = {  // 75B22630-668E-11CF-A6D9-00AA0062CE6C
    0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char kAsfFilePropertiesObject[16] = {  // 8CABDCA1-A947-11CF-8EE4-00C00C205365
    0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr unsigned char kAsfStreamPropertiesObject[16] = {  // B7DC0791-A9B7-11CF-8EE6-00C00C205365
    0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr unsigned char kAsfDataObject[16] = {  // 75B22636-668E-11CF-A6D9-00AA0062CE6C
    0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// Field offsets from the start of an object [ASF] 3.1, 3.2, 3.3, 5.1.
constexpr int kObjectSizeOffset = 16;          // QWORD, every object
constexpr int kFilePropFileSize = 40;          // QWORD
constexpr int kFilePropPacketCount = 56;       // QWORD Data Packets Count
constexpr int kFilePropPlayDuration = 64;      // QWORD, 100-ns units, includes preroll
constexpr int kFilePropSendDuration = 72;      // QWORD, 100-ns units
constexpr int kFilePropPreroll = 80;           // QWORD, milliseconds
constexpr int kFilePropFlags = 88;             // DWORD
constexpr int kFilePropMinPacketSize = 92;     // DWORD
constexpr int kFilePropMaxPacketSize = 96;     // DWORD
constexpr int kStreamPropAvgBytesPerSec = 86;  // WAVEFORMATEX nAvgBytesPerSec of an audio stream
constexpr int kDataObjectPacketCount = 40;     // QWORD Total Data Packets
constexpr int kDataObjectHeaderSize = 50;      // GUID, size, file id, count, reserved
constexpr uint32_t kFileFlagSeekable = 0x02;
constexpr uint64_t kHundredNsPerSecond = 10000000;
constexpr uint64_t kHundredNsPerMs = 10000;

// ASF data packet whose payload parsing information starts with error
// correction data of two bytes [ASF] 5.2.1: flags 0x82, then two data bytes.
constexpr unsigned char kErrorCorrectionFlags = 0x82;
constexpr int kErrorCorrectionBytes = 3;
constexpr unsigned char kErrorCorrectionStart[kErrorCorrectionBytes] = {kErrorCorrectionFlags, 0x00, 0x00};

// ---- MMS over HTTP chunk framing [MS-WMSP] 2.2.3 --------------------------
constexpr unsigned char kChunkMark = '$';
constexpr unsigned char kChunkMarkAlt = 0xA4;  // '$' with the high bit set, seen from some servers
constexpr unsigned char kChunkHeader = 'H';
constexpr unsigned char kChunkData = 'D';
constexpr int kChunkStartBytes = 4;    // '$', the type letter, the 16-bit length
constexpr int kChunkFramingBytes = 8;  // after the length: location id, incarnation, flags, size

// ---- MMS over TCP [MS-MMSP] 2.2.4 ------------------------------------------
constexpr uint32_t kMmsRep = 0x00000001;  // rep, version, versionMinor, padding
constexpr uint32_t kMmsSessionId = 0xB00BFACE;
constexpr uint32_t kMmsSeal = 0x20534D4D;  // "MMS "
// Fields of the common prefix, as offsets from the message start.
constexpr int kMmsSessionIdOffset = 4;              // DWORD
constexpr int kMmsMessageLengthOffset = 8;          // DWORD: bytes after the first 16
constexpr int kMmsSealOffset = 12;                  // DWORD "MMS "
constexpr int kMmsChunkCountOffset = 16;            // DWORD: 8-byte units after the first 16
constexpr int kMmsSequenceOffset = 20;              // DWORD
constexpr int kMmsChunkLengthOffset = 32;           // DWORD: 8-byte units after the first 32
constexpr int kMmsMessageLengthBase = 16;           // bytes the length field does not count
constexpr int kMmsChunkLengthBase = 32;             // bytes the chunk length does not count
constexpr int kMmsCommandStartBytes = 12;           // enough of a message to read its length
constexpr int kMmsMessageIdOffset = 36;             // DWORD MID: message id, then direction
constexpr int kMmsDirectionOffset = 38;             // high word of the MID
constexpr int kMmsPrefixBytes = 40;                 // common prefix of every message; parameters follow
constexpr int kMmsPingBytes = kMmsPrefixBytes + 8;  // a ping carries two DWORD parameters
constexpr uint16_t kMmsToServer = 0x0003;
constexpr uint32_t kMmsPing = 0x0004001B;  // LinkMacToViewerPing
// The server's answers to the client's commands, MID with direction 0x0004.
constexpr uint32_t kMmsReportConnectedEx = 0x00040001;
constexpr uint32_t kMmsReportConnectedFunnel = 0x00040002;
constexpr uint32_t kMmsReportStartedPlaying = 0x00040005;
constexpr uint32_t kMmsReportOpenFile = 0x00040006;
constexpr uint32_t kMmsReportReadBlock = 0x00040011;
constexpr uint32_t kMmsReportFunnelInfo = 0x00040015;
constexpr uint32_t kMmsReportStreamSwitch = 0x00040021;
constexpr uint32_t kMmsPlayIncarnation = 0xF0F0F0F0;  // MMS_USE_PACKET_PAIR
constexpr uint32_t kMmsPacketPairTcp = 0xF0F0F0F1;    // MMS_PACKET_PAIR_TCP_HIGH_ENTROPY
constexpr int kMmsFunnelAnswerBytes = 2080;           // three ReportFunnelInfo: 512 + 512 + 1056
constexpr int kMmsPacketHeaderBytes = 8;              // data packet: location id, incarnation, flags, size
constexpr int kMmsPacketLengthOffset = 6;             // WORD packet length, header included
// A message, not a packet, starts with rep 1, version 0, version minor 0,
// padding, and the session id's low bytes CE FA.
constexpr int kMmsCommandProbeBytes = 6;
constexpr char kMmsPlayerId[] = "NSPlayer/10.0.0.3802; ";
// Answer to a ping: dwParam1 = 1, dwParam2 = 0x0001FFFF, as the server's
// ping carries them back.
constexpr unsigned char kMmsPongParams[8] = {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00};

// ---- MMS over HTTP play request [MS-WMSP] 2.2.2 ----------------------------
// Lines it shares with the describe request are in http_wire.h.
constexpr char kPragmaPlayOffset[] = "Pragma: no-cache,rate=1.000,stream-time=0,stream-offset=4294967295:4294967295,"
                                     "packet-num=4294967295,max-duration=0\r\n";
constexpr char kPragmaPlayStream[] = "Pragma: xPlayStrm=1\r\n";
constexpr char kPragmaClientId[] = "Pragma: client-id=2973610193\r\n";
constexpr char kPragmaLinkBandwidth[] = "Pragma: LinkBW=33514, AccelBW=2147483647, AccelDuration=18000\r\n";
constexpr char kPragmaSwitchCount[] = "Pragma: stream-switch-count=1\r\n";
constexpr char kPragmaSwitchEntry[] = "Pragma: stream-switch-entry=ffff:1:0 \r\n";

// ---- Portal sequence -------------------------------------------------------
constexpr char kPortalPageAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                                     "application/vnd.ms-powerpoint, application/vnd.ms-excel, application/msword, "
                                     "application/x-shockwave-flash, */*\r\n";
constexpr char kPortalPageLanguage[] = "Accept-Language: zh-tw\r\n";
constexpr char kAcceptEncoding[] = "Accept-Encoding: gzip, deflate\r\n";
constexpr char kPortalPageAgent[] = "User-Agent: Windows-Media-Player/10.00.00.3646\r\n";
constexpr char kKeepAlive[] = "Connection: Keep-Alive\r\n";
constexpr char kKeepAliveLast[] = "Connection: Keep-Alive\r\n\r\n";
constexpr char kPortalLinkAgent[] = "User-Agent: NSPlayer/10.00.00.3646\r\n";
constexpr char kCookieLastFormat[] = "Cookie:%s\r\n\r\n";
constexpr char kCookieFormat[] = "Cookie:%s\r\n";
constexpr char kPortalStreamAgent[] = "User-Agent: NSPlayer/10.0.0.3646\r\n";
constexpr char kPortalPlayStream[] = "Pragma: xPlayStrm=1\r\n"
                                     "Pragma: client-id=25356881\r\n";
constexpr char kPortalSupported[] = "Supported: com.microsoft.wm.srvppair, com.microsoft.wm.sswitch, "
                                    "com.microsoft.wm.predstrm\r\n";
constexpr char kPortalPlayTail[] = "Pragma: playlist-gen-id=1021898\r\n"
                                   "Pragma: stream-switch-count=1\r\n"
                                   "Pragma: stream-switch-entry=ffff:1:0 \r\n"
                                   "Accept-Language: zh-tw, *;q=0.1\r\n\r\n";
// Answer texts the portal's servers send (compared with their case).
constexpr char kPortalRedirect302[] = "302 Redirect";
constexpr char kPortalMoved302[] = "302 Moved";
constexpr char kPortalMoved301[] = "301 Moved";
constexpr char kPortalForbidden[] = "403 Forbidden";
constexpr char kPortalRefMarker[] = "<REF HREF=\"";
constexpr char kPortalStreamMarker[] = "Ref href=\"mms://";

}  // namespace wire
}  // namespace netgrab

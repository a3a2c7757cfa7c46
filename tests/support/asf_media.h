#pragma once
// Real ASF media for the Windows Media test peers: a WMA v2 tone made with
// ffmpeg at test time, cut into its header and its data packets the way a
// streaming server holds them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct AsfMedia
{
    std::string header;             // Header Object + the 50-byte Data Object header
    uint32_t headerObjectSize = 0;  // size of the Header Object alone
    uint32_t packetSize = 0;        // minimum (= maximum) data packet size
    uint32_t averageBytesPerSecond = 0;
    uint64_t prerollMs = 0;
    std::vector<std::string> packets;  // each packetSize bytes, padding included
    int seconds = 0;                   // length of the tone
};

// Makes `seconds` of a 440 Hz tone as WMA v2 at 64 kbit/s in dir and cuts it.
// False with a reason in *error when ffmpeg is missing or the file is odd.
// A packetSize other than 0 asks the muxer for packets of that size.
bool makeAsfMedia(const std::string &dir, int seconds, AsfMedia *out, std::string *error, unsigned packetSize = 0);

// The header as a live broadcast announces it: broadcast flag set, file
// size, packet counts, durations and Data Object size zero.
std::string broadcastHeader(const AsfMedia &media);

// Length of the padding at the end of a data packet, from its payload
// parsing information; 0 when it cannot be read.
size_t paddingLength(const std::string &packet);
// Send time and duration of a data packet in milliseconds, from its
// payload parsing information; 0 when they cannot be read.
uint32_t packetSendTimeMs(const std::string &packet);
uint32_t packetDurationMs(const std::string &packet);
// The packet without its trailing padding, as servers send it.
std::string withoutPadding(const std::string &packet);

// Little-endian helpers over strings of bytes.
uint64_t readLe(const std::string &bytes, size_t offset, int width);
void putLe(std::string &bytes, size_t offset, uint64_t value, int width);
std::string le(uint64_t value, int width);

// Offset of a 16-byte GUID in bytes, or npos.
size_t findGuid(const std::string &bytes, const unsigned char guid[16]);
extern const unsigned char kFilePropertiesGuid[16];
extern const unsigned char kDataObjectGuid[16];

// Runs ffprobe on a file: format duration in seconds (< 0 when ffprobe
// cannot open it as ASF) and the format name in *format.
double probeDuration(const std::string &path, std::string *format);

// Reads a whole file ("" when missing).
std::string fileBytes(const std::string &path);

// A fresh temporary directory (removed by the caller with removeTree).
std::string makeScratchDir(const char *tag);
void removeScratchDir(const std::string &dir);

}  // namespace testsupport

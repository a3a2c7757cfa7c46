#pragma once
// Small framed-audio fixtures made at test time: ADTS frames with payloads
// that never hold 0xFF, and the Ogg pages of a logical stream (made by
// libogg, checksums included).

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// One ADTS frame of length bytes (header included): AAC LC, stereo, no
// CRC, the given sampling frequency index (4: 44.1 kHz).
std::string adtsFrame(size_t length, unsigned rateIndex = 4, unsigned seed = 0);
// count frames of about length bytes each (lengths vary by a byte or two).
std::string adtsFrames(int count, size_t length = 371, unsigned seed = 0);

// The pages of one logical stream with the given serial: the first packet
// alone on the beginning-of-stream page, then the others as an encoder
// pages them.
std::vector<std::string> oggPages(int serial, const std::vector<std::string> &packets);
// A head packet followed by count audio packets of 1.5 KB and more.
std::vector<std::string> oggPackets(const std::string &head, int count);
// Identification headers that begin an Ogg Vorbis and an Ogg Opus stream.
std::string vorbisHead();
std::string opusHead();
std::string joinPages(const std::vector<std::string> &pages, size_t from = 0);

}  // namespace testsupport

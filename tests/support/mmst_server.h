#pragma once
// A script that makes a ScriptedServer speak MMS over TCP [MS-MMSP]: it
// answers the client's seven commands, sends the ASF header in header
// packets, then data packets, now and then a ping, and records all it
// receives (the client's commands and pong answers) for the test to check.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "asf_media.h"
#include "scripted_server.h"

namespace testsupport {

struct MmstPlan
{
    size_t first = 0;                                  // first data packet of the media to send
    size_t count = 0;                                  // data packets to send
    size_t pingEvery = 0;                              // a ping before every n-th packet (0: none)
    size_t oddPacketBefore = SIZE_MAX;                 // a packet of another length before this one
    bool keepStreaming = false;                        // then go on sending packets until the peer closes
    std::vector<size_t> funnelAnswer{512, 512, 1056};  // ReportFunnelInfo sizes
    bool trickleReadBlockAnswer = false;               // send the 56-byte answer in pieces, apart
    // Raw bytes sent just before data packet i (server commands and the like).
    std::vector<std::pair<size_t, std::string>> rawBefore;
    bool openFileDetails = false;          // ReportOpenFile carries the file's properties (112 bytes:
                                           // accepted, packet size, bit rate, header size), which
                                           // clients such as libVLC need before they ask for the header
    unsigned char dataIncarnation = 0x02;  // incarnation byte of data packets: the value
                                           // the client chose in StartPlaying (libVLC: 4)
    int stallAfterHalfHeaderMs = 0;        // >0: send only the first header packet, stall this
                                           // long, then go on with the session without the rest
    // Every answer (each send of the session) goes out in two pieces cut at
    // a point drawn from this seed, a short pause apart (0: whole).
    uint32_t splitSeed = 0;
    bool pingBeforeAnswers = false;  // a ping ahead of the answer to each of the seven commands
    int unexpectedAnswerAt = 0;      // 1..7: that command's answer carries the id 0x00040099,
    uint32_t answerLengthLie = 0;    // or, when set, this value as its length field
};

// A server message of `length` bytes with the given MID (0x0004xxxx).
std::string mmsServerMessage(uint32_t mid, size_t length);
// The ping a server sends, and the pong a client must answer it with.
std::string mmsPing(uint32_t sequence);
std::string mmsExpectedPong(uint32_t sequence);
// A data or header packet: 8-byte packet header then the payload.
std::string mmsPacket(const std::string &payload, uint32_t location, unsigned char flags);

Script mmstScript(const AsfMedia &media, const std::string &header, MmstPlan plan);

// The id a server message of an unexpectedAnswerAt plan carries.
constexpr uint32_t kMmsUnexpectedId = 0x00040099;

// Splits the client's bytes into messages by their length fields.
std::vector<std::string> splitMmsMessages(const std::string &bytes);

}  // namespace testsupport

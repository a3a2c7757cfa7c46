#include "mmsh_server.h"

#include <memory>

namespace testsupport {

std::string mmshChunk(char type, const std::string &payload, uint32_t location)
{
    std::string c;
    c += '$';
    c += type;
    c += le(payload.size() + 8, 2);
    // [MS-WMSP] 2.2.3.1: LocationId, Incarnation, AFFlags, PacketSize.
    c += le(location, 4);
    c += '\0';
    c += static_cast<char>(type == 'H' ? 0x0C : 0x00);
    c += le(payload.size() + 8, 2);
    c += payload;
    return c;
}

std::string mmshDescribeAnswer(const std::string &header, int parts)
{
    std::string body;
    size_t piece = (header.size() + static_cast<size_t>(parts) - 1) / static_cast<size_t>(parts);
    for (size_t at = 0, i = 0; at < header.size(); at += piece, ++i)
        body += mmshChunk('H', header.substr(at, piece), static_cast<uint32_t>(i));
    return "HTTP/1.0 200 OK\r\n"
           "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n"
           "Server: Cougar/9.01.01.3814\r\n"
           "Content-Length: "
        + std::to_string(body.size())
        + "\r\n"
          "Pragma: no-cache, client-id=3320437311, features=\"broadcast\"\r\n"
          "\r\n"
        + body;
}

std::string mmshPlayAnswerHead()
{
    return "HTTP/1.0 200 OK\r\n"
           "Content-Type: application/x-mms-framed\r\n"
           "Server: Cougar/9.01.01.3814\r\n"
           "Pragma: no-cache, client-id=3320437311, features=\"broadcast\"\r\n"
           "\r\n";
}

std::string mmshDataChunks(const AsfMedia &media, size_t first, size_t count)
{
    std::string out;
    for (size_t i = first; i < first + count && i < media.packets.size(); ++i)
        out += mmshChunk('D', withoutPadding(media.packets[i]), static_cast<uint32_t>(i));
    return out;
}

Script mmshDescribeScript(const std::string &header, int parts)
{
    return {readRequest(), send(mmshDescribeAnswer(header, parts)), closeNow()};
}

Script mmshPlayScript(const AsfMedia &media, size_t first, size_t count, StreamEnd end, const std::string &prefix)
{
    Script s{readRequest(), send(mmshPlayAnswerHead() + prefix + mmshDataChunks(media, first, count))};
    if (end == StreamEnd::KeepStreaming) {
        auto m = std::make_shared<AsfMedia>(media);
        s.push_back(stream([m](size_t i) { return mmshDataChunks(*m, i % m->packets.size(), 1); }, 2));
    }
    if (end == StreamEnd::GoQuiet)
        s.push_back(stall());
    s.push_back(closeNow());
    return s;
}

}  // namespace testsupport

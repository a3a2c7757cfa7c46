// Framed-audio fixtures (see framed_media.h).
#include "framed_media.h"

#include <ogg/ogg.h>

namespace testsupport {

std::string adtsFrame(size_t length, unsigned rateIndex, unsigned seed)
{
    std::string f(length, '\0');
    if (length < 7)
        return f;
    f[0] = static_cast<char>(0xFF);
    f[1] = static_cast<char>(0xF1);                                   // MPEG-4, layer 0, protection absent
    f[2] = static_cast<char>((1u << 6) | ((rateIndex & 0x0F) << 2));  // AAC LC
    f[3] = static_cast<char>((2u << 6) | ((length >> 11) & 0x03));    // two channels
    f[4] = static_cast<char>((length >> 3) & 0xFF);
    f[5] = static_cast<char>(((length & 0x07) << 5) | 0x1F);
    f[6] = static_cast<char>(0xFC);
    for (size_t i = 7; i < length; ++i)
        f[i] = static_cast<char>((i * 13 + seed) % 200);
    return f;
}

std::string adtsFrames(int count, size_t length, unsigned seed)
{
    std::string all;
    for (int i = 0; i < count; ++i)
        all += adtsFrame(length + static_cast<size_t>(i % 3), 4, seed + static_cast<unsigned>(i));
    return all;
}

std::vector<std::string> oggPages(int serial, const std::vector<std::string> &packets)
{
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    std::vector<std::string> pages;
    ogg_page og;
    auto take = [&](int (*out)(ogg_stream_state *, ogg_page *)) {
        while (out(&os, &og))
            pages.push_back(std::string(reinterpret_cast<const char *>(og.header), static_cast<size_t>(og.header_len))
                            + std::string(reinterpret_cast<const char *>(og.body), static_cast<size_t>(og.body_len)));
    };
    for (size_t i = 0; i < packets.size(); ++i) {
        ogg_packet op{};
        op.packet = reinterpret_cast<unsigned char *>(const_cast<char *>(packets[i].data()));
        op.bytes = static_cast<long>(packets[i].size());
        op.b_o_s = i == 0;
        op.granulepos = static_cast<ogg_int64_t>(i * 960);
        op.packetno = static_cast<ogg_int64_t>(i);
        ogg_stream_packetin(&os, &op);
        take(i == 0 ? &ogg_stream_flush : &ogg_stream_pageout);
    }
    take(&ogg_stream_flush);
    ogg_stream_clear(&os);
    return pages;
}

std::vector<std::string> oggPackets(const std::string &head, int count)
{
    std::vector<std::string> packets{head};
    for (int i = 0; i < count; ++i)
        packets.push_back(std::string(1500 + static_cast<size_t>(i) * 37, static_cast<char>('a' + i % 26)));
    return packets;
}

std::string vorbisHead()
{
    return std::string("\x01vorbis", 7) + std::string(23, 'v');
}
std::string opusHead()
{
    return "OpusHead" + std::string(11, '\x01');
}

std::string joinPages(const std::vector<std::string> &pages, size_t from)
{
    std::string all;
    for (size_t i = from; i < pages.size(); ++i)
        all += pages[i];
    return all;
}

}  // namespace testsupport

#include "mmst_server.h"

#include <memory>

namespace testsupport {

std::string mmsServerMessage(uint32_t mid, size_t length)
{
    std::string m(length, '\0');
    putLe(m, 0, 1, 4);            // rep = 1, version, versionMinor, padding
    putLe(m, 4, 0xB00BFACE, 4);   // sessionId
    putLe(m, 8, length - 16, 4);  // messageLength
    putLe(m, 12, 0x20534D4D, 4);  // seal "MMS "
    putLe(m, 16, (length - 16) / 8, 4);
    putLe(m, 32, (length - 32) / 8, 4);
    putLe(m, 36, mid, 4);
    return m;
}

std::string mmsPing(uint32_t sequence)
{
    std::string m = mmsServerMessage(0x0004001B, 48);
    putLe(m, 20, sequence, 4);
    return m;
}

std::string mmsExpectedPong(uint32_t sequence)
{
    std::string m = mmsPing(sequence);
    putLe(m, 36, 0x0003001B, 4);
    putLe(m, 40, 1, 4);
    putLe(m, 44, 0x0001FFFF, 4);
    return m;
}

std::string mmsPacket(const std::string &payload, uint32_t location, unsigned char flags)
{
    std::string p = le(location, 4);
    p += '\x02';  // playIncarnation
    p += static_cast<char>(flags);
    p += le(payload.size() + 8, 2);
    return p + payload;
}

std::vector<std::string> splitMmsMessages(const std::string &bytes)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at + 16 <= bytes.size()) {
        size_t len = static_cast<size_t>(readLe(bytes, at + 8, 4)) + 16;
        if (at + len > bytes.size())
            break;
        out.push_back(bytes.substr(at, len));
        at += len;
    }
    return out;
}

namespace {

// Waits for the next whole client message starting at *at.
bool nextMessage(ConnectionIo &io, size_t *at, std::string *message)
{
    if (!io.readAtLeast(*at + 16))
        return false;
    size_t len = static_cast<size_t>(readLe(io.received(), *at + 8, 4)) + 16;
    if (len > 4096 || !io.readAtLeast(*at + len))
        return false;
    *message = io.received().substr(*at, len);
    *at += len;
    return true;
}

}  // namespace

Script mmstScript(const AsfMedia &media, const std::string &header, MmstPlan plan)
{
    auto m = std::make_shared<AsfMedia>(media);
    auto h = std::make_shared<std::string>(header);
    return {call([m, h, plan](ConnectionIo &io) {
                size_t at = 0;
                std::string msg;
                // 1. LinkViewerToMacConnect -> LinkMacToViewerReportConnectedEX
                if (!nextMessage(io, &at, &msg) || !io.send(mmsServerMessage(0x00040001, 112)))
                    return false;
                // 2. LinkViewerToMacFunnelInfo -> three ReportFunnelInfo carrying
                //    packet pairs when asked for them over TCP [MS-MMSP] 3.2.5.4.
                //    A client may leave this step out and go on with ConnectFunnel
                //    (libVLC does).
                if (!nextMessage(io, &at, &msg))
                    return false;
                if (readLe(msg, 36, 4) == 0x00030018) {
                    for (size_t size : plan.funnelAnswer)
                        if (!io.send(mmsServerMessage(0x00040015, size)))
                            return false;
                    if (!nextMessage(io, &at, &msg))
                        return false;
                }
                // 3. ConnectFunnel -> ReportConnectedFunnel; 4. OpenFile -> ReportOpenFile
                if (!io.send(mmsServerMessage(0x00040002, 56)))
                    return false;
                std::string openFile = mmsServerMessage(0x00040006, 96);
                if (plan.openFileDetails) {
                    // [MS-MMSP] 2.2.4.23: hr = 0 / "file opened" (1), then the
                    // file attributes, packet size, packet count, bit rate, header size.
                    openFile = mmsServerMessage(0x00040006, 112);
                    putLe(openFile, 48, 1, 4);
                    putLe(openFile, 92, m->packetSize, 4);
                    putLe(openFile, 104, m->averageBytesPerSecond * 8, 4);
                    putLe(openFile, 108, h->size(), 4);
                }
                if (!nextMessage(io, &at, &msg) || !io.send(openFile))
                    return false;
                // 5. ReadBlock -> ReportReadBlock, then the header in two header packets.
                if (!nextMessage(io, &at, &msg))
                    return false;
                size_t cut = h->size() / 2;
                std::string answer = mmsServerMessage(0x00040011, 56) + mmsPacket(h->substr(0, cut), 0, 0x04)
                    + mmsPacket(h->substr(cut), 1, 0x08);
                if (plan.trickleReadBlockAnswer) {
                    // The client must wait for all 56 bytes before reading packets.
                    for (size_t at = 0; at < 56; at += 20) {
                        if (!io.send(answer.substr(at, at + 20 <= 56 ? 20 : 56 - at)) || !io.pause(15))
                            return false;
                    }
                    answer.erase(0, 56);
                }
                if (plan.stallAfterHalfHeaderMs > 0) {
                    // A server that goes quiet in the middle of the header.
                    answer = answer.substr(0, 56) + mmsPacket(h->substr(0, cut), 0, 0x04);
                    if (!io.send(answer) || !io.pause(plan.stallAfterHalfHeaderMs))
                        return false;
                } else if (!io.send(answer)) {
                    return false;
                }
                // 6. StreamSwitch -> ReportStreamSwitch
                if (!nextMessage(io, &at, &msg) || !io.send(mmsServerMessage(0x00040021, 56)))
                    return false;
                // 7. StartPlaying -> ReportStartedPlaying, then the data packets.
                if (!nextMessage(io, &at, &msg))
                    return false;
                auto dataPacket = [&](size_t i) {
                    std::string p = mmsPacket(m->packets[i], static_cast<uint32_t>(i), 0x00);
                    p[4] = static_cast<char>(plan.dataIncarnation);
                    return p;
                };
                std::string out = mmsServerMessage(0x00040005, 72);
                uint32_t pings = 0;
                for (size_t i = plan.first; i < plan.first + plan.count && i < m->packets.size(); ++i) {
                    if (plan.pingEvery && (i - plan.first) % plan.pingEvery == plan.pingEvery - 1)
                        out += mmsPing(++pings);
                    if (i == plan.oddPacketBefore)
                        out += mmsPacket(std::string(100, '\x82'), 0xFFFF, 0x00);
                    for (const auto &raw : plan.rawBefore)
                        if (raw.first == i)
                            out += raw.second;
                    out += dataPacket(i);
                }
                if (!io.send(out, 20000))
                    return false;
                // Before closing, give the client the time to answer every ping
                // (48 bytes each), so that the recording shows its answers.
                if (pings)
                    io.readAtLeast(at + 48 * pings, 5000);
                if (!plan.keepStreaming)
                    return true;
                for (size_t i = 0; !io.stopping() && !io.peerClosed(); ++i) {
                    size_t k = i % m->packets.size();
                    if (!io.send(dataPacket(k)))
                        return false;
                    if (!io.pause(2))
                        return false;
                }
                return true;
            }),
            closeNow()};
}

}  // namespace testsupport

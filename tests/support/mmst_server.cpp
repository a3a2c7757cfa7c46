#include "mmst_server.h"

#include <memory>
#include <random>

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

// Waits for the next whole client message starting at *at; pongs (the
// answers to pings sent before a command's answer) are passed over.
bool nextMessage(ConnectionIo &io, size_t *at, std::string *message)
{
    do {
        if (!io.readAtLeast(*at + 16))
            return false;
        size_t len = static_cast<size_t>(readLe(io.received(), *at + 8, 4)) + 16;
        if (len > 4096 || !io.readAtLeast(*at + len))
            return false;
        *message = io.received().substr(*at, len);
        *at += len;
    } while (readLe(*message, 36, 4) == 0x0003001B);
    return true;
}

// Sends the server's side of a session as the plan says: answers whole or
// in two pieces, a ping ahead of each command's answer, one answer with an
// id the client does not expect.
class AnswerSender
{
public:
    AnswerSender(ConnectionIo &io, const MmstPlan &plan) : io_(io), plan_(plan), random_(plan.splitSeed) {}
    // Bytes of the session, sent as one answer.
    bool send(const std::string &bytes, int timeoutMs = 5000)
    {
        if (plan_.splitSeed == 0 || bytes.size() < 2)
            return io_.send(bytes, timeoutMs);
        const size_t cut = std::uniform_int_distribution<size_t>(1, bytes.size() - 1)(random_);
        // The pause lets the first piece arrive on its own.
        return io_.send(bytes.substr(0, cut), timeoutMs) && io_.pause(5) && io_.send(bytes.substr(cut), timeoutMs);
    }
    // The answer to command `step` (1..7): a server message, perhaps behind
    // a ping, perhaps with another id.
    bool answer(int step, std::string message, const std::string &behind = std::string(), int timeoutMs = 5000)
    {
        if (step == plan_.unexpectedAnswerAt && plan_.answerLengthLie)
            putLe(message, 8, plan_.answerLengthLie, 4);
        else if (step == plan_.unexpectedAnswerAt)
            putLe(message, 36, kMmsUnexpectedId, 4);
        if (plan_.pingBeforeAnswers)
            message = mmsPing(static_cast<uint32_t>(100 + step)) + message;
        return send(message + behind, timeoutMs);
    }

private:
    ConnectionIo &io_;
    const MmstPlan &plan_;
    std::mt19937 random_;
};

}  // namespace

Script mmstScript(const AsfMedia &media, const std::string &header, MmstPlan plan)
{
    auto m = std::make_shared<AsfMedia>(media);
    auto h = std::make_shared<std::string>(header);
    return {call([m, h, plan](ConnectionIo &io) {
                size_t at = 0;
                std::string msg;
                AnswerSender out(io, plan);
                // 1. LinkViewerToMacConnect -> LinkMacToViewerReportConnectedEX
                if (!nextMessage(io, &at, &msg) || !out.answer(1, mmsServerMessage(0x00040001, 112)))
                    return false;
                // 2. LinkViewerToMacFunnelInfo -> three ReportFunnelInfo carrying
                //    packet pairs when asked for them over TCP [MS-MMSP] 3.2.5.4.
                //    A client may leave this step out and go on with ConnectFunnel
                //    (libVLC does).
                if (!nextMessage(io, &at, &msg))
                    return false;
                if (readLe(msg, 36, 4) == 0x00030018) {
                    bool first = true;
                    for (size_t size : plan.funnelAnswer) {
                        std::string info = mmsServerMessage(0x00040015, size);
                        if (!(first ? out.answer(2, info) : out.send(info)))
                            return false;
                        first = false;
                    }
                    if (!nextMessage(io, &at, &msg))
                        return false;
                }
                // 3. ConnectFunnel -> ReportConnectedFunnel; 4. OpenFile -> ReportOpenFile
                if (!out.answer(3, mmsServerMessage(0x00040002, 56)))
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
                if (!nextMessage(io, &at, &msg) || !out.answer(4, openFile))
                    return false;
                // 5. ReadBlock -> ReportReadBlock, then the header in two header packets.
                if (!nextMessage(io, &at, &msg))
                    return false;
                size_t cut = h->size() / 2;
                std::string readBlock = mmsServerMessage(0x00040011, 56);
                std::string packets = mmsPacket(h->substr(0, cut), 0, 0x04) + mmsPacket(h->substr(cut), 1, 0x08);
                if (plan.trickleReadBlockAnswer) {
                    // The client must wait for all 56 bytes before reading packets.
                    for (size_t at = 0; at < 56; at += 20) {
                        if (!io.send(readBlock.substr(at, at + 20 <= 56 ? 20 : 56 - at)) || !io.pause(15))
                            return false;
                    }
                    readBlock.clear();
                }
                if (plan.stallAfterHalfHeaderMs > 0) {
                    // A server that goes quiet in the middle of the header.
                    if (!out.answer(5, readBlock, mmsPacket(h->substr(0, cut), 0, 0x04))
                        || !io.pause(plan.stallAfterHalfHeaderMs))
                        return false;
                } else if (readBlock.empty() ? !out.send(packets) : !out.answer(5, readBlock, packets)) {
                    return false;
                }
                // 6. StreamSwitch -> ReportStreamSwitch
                if (!nextMessage(io, &at, &msg) || !out.answer(6, mmsServerMessage(0x00040021, 56)))
                    return false;
                // 7. StartPlaying -> ReportStartedPlaying, then the data packets.
                if (!nextMessage(io, &at, &msg))
                    return false;
                auto dataPacket = [&](size_t i) {
                    std::string p = mmsPacket(m->packets[i], static_cast<uint32_t>(i), 0x00);
                    p[4] = static_cast<char>(plan.dataIncarnation);
                    return p;
                };
                std::string stream;
                uint32_t pings = 0;
                for (size_t i = plan.first; i < plan.first + plan.count && i < m->packets.size(); ++i) {
                    if (plan.pingEvery && (i - plan.first) % plan.pingEvery == plan.pingEvery - 1)
                        stream += mmsPing(++pings);
                    if (i == plan.oddPacketBefore)
                        stream += mmsPacket(std::string(100, '\x82'), 0xFFFF, 0x00);
                    for (const auto &raw : plan.rawBefore)
                        if (raw.first == i)
                            stream += raw.second;
                    stream += dataPacket(i);
                }
                if (!out.answer(7, mmsServerMessage(0x00040005, 72), stream, 20000))
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

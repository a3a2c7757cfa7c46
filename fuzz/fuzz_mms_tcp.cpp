// The MMS-over-TCP readers: header packets into a fresh header reader (and
// the header gate when the header completes), then the data stream into a
// fresh data reader, with server commands and pings among the packets. A
// pong goes to one end of a socket pair whose other end is drained after
// every input, so nothing leaves the process. Also builds one client
// command with a path taken from the input.
//
// Input: byte 0 chooses the piece lengths; data[1] * 64 + data[2] bytes
// of header packets follow byte 4; byte 3 chooses the packet size used
// when no header passed the gate (100 + data[3] * 4); the rest is the data
// stream.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "asf_chunks.h"
#include "capture_state.h"
#include "connection.h"
#include "fuzz_support.h"
#include "mms_tcp.h"
#include "mms_wire.h"

namespace {

struct PongPair
{
    int ours = -1;
    int peer = -1;
    PongPair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            return;
        ours = fds[0];
        peer = fds[1];
        fcntl(ours, F_SETFL, fcntl(ours, F_GETFL) | O_NONBLOCK);
        fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);
    }
    void drain() const
    {
        char sink[4096];
        while (peer >= 0 && read(peer, sink, sizeof sink) > 0) {
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    static PongPair pongs;
    if (size < 5 || pongs.ours < 0)
        return 0;
    CaptureState *const ctx = &fuzzsupport::freshContext();
    fuzzsupport::freshOutput(*ctx);
    settings().tuning.pongTimeoutMs = 5;
    adoptConnection(ctx->connection, pongs.ours);

    const uint8_t *rest = data + 4;
    size_t left = size - 4;
    size_t headerLength = static_cast<size_t>(data[1]) * 64 + data[2];
    if (headerLength > left)
        headerLength = left;

    std::unique_ptr<AsfPacketSession> packets(new AsfPacketSession);
    std::unique_ptr<MmsHeaderReader> header(new MmsHeaderReader);
    fuzzsupport::feedInPieces(rest, headerLength, data[0], [&](const uint8_t *piece, size_t n) {
        feedHeaderPackets(*header, piece, static_cast<int>(n));
    });
    if (header->fill >= header->expectedHeaderLength + wire::kDataObjectHeaderSize)
        acceptStreamHeader(*ctx, *packets, header->buffer, header->fill);
    if (packets->packetSize < 0)
        packets->packetSize = 100 + data[3] * 4;
    rest += headerLength;
    left -= headerLength;

    std::unique_ptr<MmsDataReader> reader(new MmsDataReader);
    fuzzsupport::feedInPieces(rest, left, data[0], [&](const uint8_t *piece, size_t n) {
        if (!reader->streamBroken)
            feedMmsData(*ctx, *reader, *packets, piece, static_cast<int>(n), ctx->connection);
    });
    finishAsfFile(*ctx, *packets);
    pongs.drain();

    // One client command, its path from the start of the data stream.
    MmsCommandArgs args;
    std::string path(reinterpret_cast<const char *>(rest), left < 200 ? left : 200);
    args.path = path.c_str();
    args.clientGuid = path.c_str();
    unsigned char message[320];
    buildMmsCommand(data[3] % 9, data[1], args, message, sizeof message);

    adoptConnection(ctx->connection, 0);
    ctx->output.file = nullptr;  // the scratch file stays open for the next input
    return 0;
}

// The "$H"/"$D" chunk framing of the Windows Media routes: header chunks
// collected from a describe answer and put through the header gate, then a
// "$D" stream fed in pieces to a fresh chunk reader, packets completed into
// a scratch file, and the header fixed up at the end.
//
// Input: byte 0 chooses the piece lengths; byte 1 bit 0 says whether the
// packet size comes from a header that passes the gate (the describe
// answer is the next data[2] * 64 + data[3] bytes) or is set directly
// (100 + data[2] * 4 + data[3] bytes, bounded so the scratch file stays
// small); the rest is the data stream.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "asf_chunks.h"
#include "capture_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    if (size < 4)
        return 0;
    CaptureState *const ctx = &fuzzsupport::freshContext();
    fuzzsupport::freshOutput(*ctx);
    // Not value-initialised: the assembly buffer is written before it is read.
    std::unique_ptr<AsfPacketSession> packets(new AsfPacketSession);
    const uint8_t *rest = data + 4;
    size_t left = size - 4;
    if (data[1] & 1) {
        size_t answerLength = static_cast<size_t>(data[2]) * 64 + data[3];
        if (answerLength > left)
            answerLength = left;
        std::unique_ptr<unsigned char[]> header(new unsigned char[kReceiveBufferSize]);
        const AsfHeaderChunks chunks =
            collectHeaderChunks(rest, static_cast<int>(answerLength), header.get(), kReceiveBufferSize);
        if (chunks.found)
            acceptStreamHeader(*ctx, *packets, header.get(), chunks.length);
        rest += answerLength;
        left -= answerLength;
    } else {
        packets->packetSize = 100 + data[2] * 4 + data[3];
    }
    AsfChunkReader reader;
    fuzzsupport::feedInPieces(rest, left, data[0], [&](const uint8_t *piece, size_t n) {
        feedDataChunks(*ctx, reader, *packets, piece, static_cast<int>(n));
    });
    finishAsfFile(*ctx, *packets);
    ctx->output.file = nullptr;  // the scratch file stays open for the next input
    return 0;
}

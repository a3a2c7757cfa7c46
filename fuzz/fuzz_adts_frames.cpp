// ADTS framing behind the ICY metadata filter, as the AAC copier runs
// them: the input fed in pieces, every frame handed out checked to be one
// whole frame of the stream the framer stepped into.
//
// Input: byte 0 chooses the piece lengths; byte 1 is the metadata interval
// (0: none; else byte 1 x 64 bytes); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "adts_frames.h"
#include "fuzz_support.h"
#include "icy_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    if (size < 2)
        return 0;
    const std::unique_ptr<AdtsFramer> framer = std::make_unique<AdtsFramer>();
    IcyMetadataFilter icy;
    icy.start(static_cast<size_t>(data[1]) * 64);
    std::vector<unsigned char> piece;
    size_t audioIn = 0, framedOut = 0;
    fuzzsupport::feedInPieces(data + 2, size - 2, data[0], [&](const uint8_t *bytes, size_t n) {
        piece.assign(bytes, bytes + n);
        size_t length = icy.filter(piece.data(), piece.size());
        if (length > n)
            std::abort();
        audioIn += length;
        const unsigned char *at = piece.data();
        while (length > 0) {
            const size_t taken = framer->push(at, length);
            at += taken;
            length -= taken;
            const unsigned char *frame = nullptr;
            size_t frameLength = 0;
            while (framer->next(&frame, &frameLength)) {
                const AdtsHeader h = readAdtsHeader(frame, frameLength);
                if (!h.valid || h.frameLength != frameLength)
                    std::abort();
                framedOut += frameLength;
            }
            if (taken == 0)
                break;
        }
    });
    if (framedOut > audioIn)
        std::abort();  // nothing handed out twice
    return 0;
}

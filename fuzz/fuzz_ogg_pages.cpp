// Ogg paging as the Ogg copier runs it: the input fed in pieces, every
// page handed out checked to begin with the capture pattern and version 0,
// the first one a beginning-of-stream page, and no byte handed out twice.
//
// Input: byte 0 chooses the piece lengths; the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "ogg_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    if (size < 1)
        return 0;
    OggPager pager;
    size_t in = 0, out = 0;
    bool first = true;
    fuzzsupport::feedInPieces(data + 1, size - 1, data[0], [&](const uint8_t *bytes, size_t n) {
        if (pager.push(bytes, n) != n)
            std::abort();
        in += n;
        const unsigned char *page = nullptr;
        size_t length = 0;
        while (pager.next(&page, &length)) {
            if (length < 27 || std::memcmp(page, "OggS", 4) != 0 || page[4] != 0)
                std::abort();
            if (first && !(page[5] & 0x02))
                std::abort();
            first = false;
            out += length;
        }
    });
    if (out > in)
        std::abort();
    return 0;
}

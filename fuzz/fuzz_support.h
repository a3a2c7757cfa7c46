#pragma once
// Helpers of the fuzz targets: cutting the input into pieces (so that
// record boundaries fall anywhere) and a scratch output file that never
// grows past one input's worth of writes.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "capture_state.h"

namespace fuzzsupport {

// Calls feed(piece, length) over data[0, size) in pieces whose lengths
// follow from seed (1 to 64 bytes, changing from piece to piece; a seed of
// 0 feeds everything at once).
template <typename Feed>
void feedInPieces(const uint8_t *data, size_t size, uint8_t seed, Feed feed)
{
    if (seed == 0) {
        feed(data, size);
        return;
    }
    uint32_t state = seed;
    for (size_t at = 0; at < size;) {
        state = state * 1103515245u + 12345u;
        size_t n = 1 + (state >> 16) % 64;
        if (n > size - at)
            n = size - at;
        feed(data + at, n);
        at += n;
    }
}

// The capture state for one input, as new as one made for it: one block
// per process, destroyed and constructed again in place. Allocating the
// state (about 230 KB of buffers) afresh for each input cost more than the
// parsing under test (page faults on every input).
inline netgrab::CaptureState &freshContext()
{
    static netgrab::CaptureState *ctx = new netgrab::CaptureState();
    ctx->~CaptureState();
    return *new (ctx) netgrab::CaptureState();
}

// Points the output of s (a capture state made for this input) at an
// emptied scratch file (made once per process, removed from the directory at
// once) and clears the process-wide counters.
inline void freshOutput(netgrab::CaptureState &s)
{
    static FILE *scratch = [] {
        char name[] = "/tmp/netgrab-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            return static_cast<FILE *>(nullptr);
        unlink(name);
        return fdopen(fd, "w+b");
    }();
    if (scratch) {
        std::fflush(scratch);
        if (ftruncate(fileno(scratch), 0) != 0)
            return;
        std::rewind(scratch);
    }
    s.output.file = scratch;
    s.output.appendMode = 0;
    s.output.writeFailed = false;
    netgrab::shared().recordedBytes = 0;
    netgrab::shared().lastError = 0;
    s.stop.clear();
}

}  // namespace fuzzsupport

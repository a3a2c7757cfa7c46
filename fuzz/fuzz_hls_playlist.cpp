// Fuzz target: the HLS playlist reader (master and media playlists) fed in
// pieces, as a playlist arrives from the network, and what the recording
// does with the result: the variant choice and the segment plan.
//
// Input: the first byte seeds the piece sizes (fuzz_support.h; 0 feeds the
// body at once); the rest is the playlist body. The reading in pieces must
// equal the reading of the whole body at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "hls_playlist.h"
#include "hls_sequencer.h"

using namespace netgrab;

namespace {

void same(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const char *body = reinterpret_cast<const char *>(data + 1);
    const size_t length = size - 1;

    HlsPlaylistReader reader;
    fuzzsupport::feedInPieces(data + 1, length, data[0], [&](const uint8_t *piece, size_t n) {
        reader.feed(reinterpret_cast<const char *>(piece), n);
    });
    const HlsPlaylist pieces = reader.finish();
    const HlsPlaylist whole = readHlsPlaylist(body, length);

    same(pieces.error == whole.error);
    same(pieces.segments.size() == whole.segments.size());
    same(pieces.variants.size() == whole.variants.size());
    same(pieces.targetDurationS == whole.targetDurationS && pieces.mediaSequence == whole.mediaSequence);
    for (size_t i = 0; i < whole.segments.size(); ++i) {
        const HlsSegment &a = pieces.segments[i];
        const HlsSegment &b = whole.segments[i];
        same(a.uri == b.uri && a.sequence == b.sequence && a.durationMs == b.durationMs);
        same(a.keyIndex < static_cast<int>(whole.keys.size()) && a.mapIndex < static_cast<int>(whole.maps.size()));
    }
    for (size_t i = 0; i < whole.variants.size(); ++i)
        same(pieces.variants[i].uri == whole.variants[i].uri);
    same(whole.segments.size() <= kHlsMaxSegments && whole.variants.size() <= kHlsMaxVariants);

    const int chosen = chooseVariant(whole.variants);
    same(chosen < static_cast<int>(whole.variants.size()));
    looksLikeHls(body, length);

    // Two readings of the same playlist never hand out a segment twice.
    HlsSequencer sequencer;
    const HlsPlan first = sequencer.plan(whole);
    int64_t previous = INT64_MIN;
    for (size_t i : first.take) {
        same(i < whole.segments.size());
        same(whole.segments[i].sequence > previous);
        previous = whole.segments[i].sequence;
        sequencer.taken(previous);
    }
    same(sequencer.plan(whole).take.empty());
    HlsSequencer::reloadDelayMs(whole, first.changed);
    HlsSequencer::stallLimitMs(whole);
    return 0;
}

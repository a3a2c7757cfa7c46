#pragma once
// Which segments of a live media playlist are new, and when to read the
// playlist again (RFC 8216 section 6.3.4): segments are taken once each, in
// media-sequence order; segments that slid out of the window before they
// were taken are a gap, reported and passed over.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hls_playlist.h"

namespace netgrab {

// A playlist that has not listed a new segment for this many target
// durations has stalled (at least kHlsStallMinMs).
constexpr int kHlsStallTargetDurations = 3;
constexpr int64_t kHlsStallMinMs = 6000;
// Reload bounds whatever the target duration says: a playlist without one
// (or with 0) is read each second, one with a huge one at least each 30 s.
constexpr int64_t kHlsReloadMinMs = 500;
constexpr int64_t kHlsReloadMaxMs = 30000;

struct HlsPlan
{
    std::vector<size_t> take;  // indices into the playlist's segments, in order
    bool changed = false;      // a segment not seen before is listed
    int64_t gapFirst = -1;     // sequence numbers passed over (gapFirst..gapLast)
    int64_t gapLast = -1;
    bool restarted = false;  // the numbers went back: the server started over
};

class HlsSequencer
{
public:
    // The segments of this reading of the playlist to take now. The first
    // reading of a live playlist starts with its newest segment (a recording
    // covers the time from its start); one that has ended starts with its
    // first.
    HlsPlan plan(const HlsPlaylist &list);
    // Marks a segment as taken (its bytes are in the file, or it was
    // passed over for good).
    void taken(int64_t sequence) { next_ = sequence + 1; }
    // The wait before the next reading: the target duration after a reading
    // that changed, half of it after one that did not.
    static int64_t reloadDelayMs(const HlsPlaylist &list, bool changed);
    // The stall limit of this playlist.
    static int64_t stallLimitMs(const HlsPlaylist &list);
    // The first sequence number not yet taken; -1 before the first reading.
    int64_t next() const { return next_; }

private:
    int64_t next_ = -1;
    int64_t newestSeen_ = -1;
};

}  // namespace netgrab

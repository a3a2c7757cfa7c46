// Segment order of a live media playlist: each reading lists a window of
// segments numbered from EXT-X-MEDIA-SEQUENCE; the sequencer remembers the
// first number not yet taken and hands out the listed segments from there.
#include "hls_sequencer.h"

#include <algorithm>

namespace netgrab {

HlsPlan HlsSequencer::plan(const HlsPlaylist &list)
{
    HlsPlan plan;
    if (list.segments.empty())
        return plan;
    const int64_t first = list.segments.front().sequence;
    const int64_t last = list.segments.back().sequence;

    int64_t start;
    if (next_ < 0) {
        start = list.endList ? first : last;
    } else if (last + 1 < next_ && next_ - last > static_cast<int64_t>(list.segments.size()) + 1) {
        // More than a whole window behind what was taken: not a stale copy
        // of the playlist but a server that numbers anew.
        plan.restarted = true;
        newestSeen_ = -1;
        start = list.endList ? first : last;
    } else if (next_ < first) {
        plan.gapFirst = next_;
        plan.gapLast = first - 1;
        start = first;
    } else {
        start = next_;
    }
    plan.changed = last > newestSeen_;
    newestSeen_ = std::max(newestSeen_, last);
    for (size_t i = 0; i < list.segments.size(); ++i)
        if (list.segments[i].sequence >= start)
            plan.take.push_back(i);
    if (next_ < 0 || plan.restarted || plan.gapFirst >= 0)
        next_ = start;
    return plan;
}

int64_t HlsSequencer::reloadDelayMs(const HlsPlaylist &list, bool changed)
{
    const int64_t target =
        list.targetDurationS > kHlsReloadMaxMs / 1000 ? kHlsReloadMaxMs : list.targetDurationS * 1000;
    const int64_t delay = changed ? target : target / 2;
    return std::min(kHlsReloadMaxMs, std::max(kHlsReloadMinMs, delay));
}

int64_t HlsSequencer::stallLimitMs(const HlsPlaylist &list)
{
    const int64_t target =
        list.targetDurationS > kHlsReloadMaxMs / 1000 ? kHlsReloadMaxMs : list.targetDurationS * 1000;
    return std::max(kHlsStallMinMs, kHlsStallTargetDurations * target);
}

}  // namespace netgrab

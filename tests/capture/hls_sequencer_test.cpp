// Segment order of live playlists: each segment once, in media-sequence
// order, gaps reported, and the reload and stall times.
#include <gtest/gtest.h>

#include <vector>

#include "hls_sequencer.h"

using namespace netgrab;

namespace {

// A window of `count` segments numbered from `first`.
HlsPlaylist window(int64_t first, int count, bool endList = false, int64_t targetS = 6)
{
    HlsPlaylist list;
    list.targetDurationS = targetS;
    list.mediaSequence = first;
    list.endList = endList;
    for (int i = 0; i < count; ++i) {
        HlsSegment s;
        s.sequence = first + i;
        s.uri = "s" + std::to_string(first + i);
        list.segments.push_back(s);
    }
    return list;
}

// Takes every planned segment; returns their sequence numbers.
std::vector<int64_t> takeAll(HlsSequencer &sequencer, const HlsPlaylist &list, HlsPlan *planOut = nullptr)
{
    const HlsPlan plan = sequencer.plan(list);
    std::vector<int64_t> got;
    for (size_t i : plan.take) {
        got.push_back(list.segments[i].sequence);
        sequencer.taken(list.segments[i].sequence);
    }
    if (planOut)
        *planOut = plan;
    return got;
}

}  // namespace

TEST(HlsSequencer, EachSegmentOnceInOrderAcrossReadings)
{
    struct Reading
    {
        int64_t first;
        int count;
        std::vector<int64_t> taken;
        bool changed;
        int64_t gapFirst, gapLast;
    };
    const std::vector<Reading> readings = {
        {100, 5, {104}, true, -1, -1},  // live: starts at the newest
        {100, 5, {}, false, -1, -1},    // the same window again
        {101, 5, {105}, true, -1, -1},  // one new segment
        {103, 6, {106, 107, 108}, true, -1, -1},
        {102, 6, {}, false, -1, -1},                          // a stale copy: nothing twice
        {112, 5, {112, 113, 114, 115, 116}, true, 109, 111},  // slid out: a gap
        {113, 5, {117}, true, -1, -1},
        {0, 3, {2}, true, -1, -1},  // numbered anew: the newest again
    };
    HlsSequencer sequencer;
    for (size_t r = 0; r < readings.size(); ++r) {
        HlsPlan plan;
        EXPECT_EQ(takeAll(sequencer, window(readings[r].first, readings[r].count), &plan), readings[r].taken) << r;
        EXPECT_EQ(plan.changed, readings[r].changed) << r;
        EXPECT_EQ(plan.gapFirst, readings[r].gapFirst) << r;
        EXPECT_EQ(plan.gapLast, readings[r].gapLast) << r;
    }
}

TEST(HlsSequencer, EndedPlaylistIsTakenFromItsStart)
{
    HlsSequencer sequencer;
    EXPECT_EQ(takeAll(sequencer, window(7, 3, true)), (std::vector<int64_t>{7, 8, 9}));
    EXPECT_TRUE(takeAll(sequencer, window(7, 3, true)).empty());
    // An empty playlist plans nothing and is no change.
    HlsSequencer fresh;
    const HlsPlan plan = fresh.plan(window(0, 0));
    EXPECT_TRUE(plan.take.empty());
    EXPECT_FALSE(plan.changed);
    EXPECT_EQ(fresh.next(), -1);
}

TEST(HlsSequencer, SegmentNotTakenIsPlannedAgain)
{
    // A stop or a failed fetch between plan and taken leaves the segment
    // for the next reading.
    HlsSequencer sequencer;
    const HlsPlaylist list = window(10, 4);
    EXPECT_EQ(sequencer.plan(list).take.size(), 1u);
    EXPECT_EQ(sequencer.plan(list).take.size(), 1u);
    sequencer.taken(13);
    EXPECT_TRUE(sequencer.plan(list).take.empty());
}

TEST(HlsSequencer, ReloadAndStallTimes)
{
    const struct
    {
        int64_t targetS;
        bool changed;
        int64_t reloadMs;
        int64_t stallMs;
    } cases[] = {
        {6, true, 6000, 18000},
        {6, false, 3000, 18000},
        {1, false, 500, kHlsStallMinMs},
        {0, true, kHlsReloadMinMs, kHlsStallMinMs},
        {INT64_C(999999999999), true, kHlsReloadMaxMs, 3 * kHlsReloadMaxMs},
    };
    for (const auto &c : cases) {
        const HlsPlaylist list = window(0, 1, false, c.targetS);
        EXPECT_EQ(HlsSequencer::reloadDelayMs(list, c.changed), c.reloadMs) << c.targetS;
        EXPECT_EQ(HlsSequencer::stallLimitMs(list), c.stallMs) << c.targetS;
    }
}

#pragma once
// The HLS route: records a live (or ended) HLS presentation into one file.
// A master playlist leads to its variant; the media playlist is read again
// and again and each new segment appended once, in media-sequence order.

#include <cstdint>

#include "route_result.h"

namespace netgrab {

struct CaptureState;

// Caps and time limits of one fetch.
constexpr uint64_t kHlsSegmentMaxBytes = 64ull * 1024 * 1024;
constexpr uint64_t kHlsInitMaxBytes = 1024 * 1024;
constexpr int64_t kHlsPlaylistFetchMs = 15000;
// A segment may take three target durations to arrive, at least this long.
constexpr int64_t kHlsSegmentFetchMinMs = 20000;

// Whether an address (with or without its "http://") names an HLS playlist:
// its path ends in ".m3u8" before any query or fragment.
bool isHlsAddress(const char *address);
// Whether an HTTP answer (header block and the start of the body,
// NUL-terminated) is an HLS playlist: an HLS content type and a body that
// starts with "#EXTM3U" and holds HLS tags.
bool isHlsAnswer(const char *answer);

// Records the presentation at address (absolute, "http://"). Done after a
// stop or the end of an ended playlist; Failed (lastError says why) when a
// playlist or segment could not be fetched, the playlist stalled or was
// refused.
RouteResult captureHls(CaptureState &s, const char *address);

}  // namespace netgrab

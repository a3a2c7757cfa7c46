#pragma once
// Ogg pages of a stream (RFC 3533): whole pages from the first
// beginning-of-stream page on, so a recording never holds half a page and
// a later attempt appends from the new logical stream's first page (a
// chained Ogg stream).

#include <cstddef>

#include <ogg/ogg.h>

namespace netgrab {

class OggPager
{
public:
    OggPager();
    ~OggPager();
    OggPager(const OggPager &) = delete;
    OggPager &operator=(const OggPager &) = delete;

    // Copies the bytes in; returns how many were taken (0 only when no
    // memory could be had for them).
    size_t push(const unsigned char *bytes, size_t length);
    // The next whole page with a valid capture pattern, version 0 and
    // checksum: true with its bytes (header and body, valid until the next
    // call of push or next), false when more bytes are needed. Pages before
    // the first beginning-of-stream page are passed over.
    bool next(const unsigned char **page, size_t *length);
    // The first page taken carried an Opus identification header.
    bool opus() const { return opus_; }
    bool started() const { return started_; }

private:
    ogg_sync_state sync_;
    bool started_ = false;
    bool opus_ = false;
    // Header (27 bytes and 255 lacing values) and 255 segments of 255 bytes.
    unsigned char joined_[27 + 255 + 255 * 255];
};

}  // namespace netgrab

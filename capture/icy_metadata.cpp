// ICY metadata interleaving: the stream is N audio bytes, a length byte L,
// L x 16 metadata bytes, N audio bytes, ... from the first body byte on.
#include "icy_metadata.h"

#include <cstring>

#include "http_text.h"

namespace netgrab {

void IcyMetadataFilter::start(size_t interval)
{
    interval_ = interval;
    audioLeft_ = interval;
    metaLeft_ = 0;
}

size_t IcyMetadataFilter::filter(unsigned char *bytes, size_t length)
{
    if (!interval_ || !bytes)
        return length;
    size_t kept = 0;
    for (size_t at = 0; at < length;) {
        if (metaLeft_ > 0) {
            const size_t n = length - at < metaLeft_ ? length - at : metaLeft_;
            metaLeft_ -= n;
            at += n;
        } else if (audioLeft_ == 0) {
            metaLeft_ = static_cast<size_t>(bytes[at++]) * 16;
            audioLeft_ = interval_;
        } else {
            const size_t n = length - at < audioLeft_ ? length - at : audioLeft_;
            if (kept != at)
                std::memmove(bytes + kept, bytes + at, n);
            kept += n;
            at += n;
            audioLeft_ -= n;
        }
    }
    return kept;
}

size_t icyMetaInterval(const char *answer, size_t headerEnd)
{
    char value[32];
    if (!headerFieldValue(answer, static_cast<int>(headerEnd), "icy-metaint", value, sizeof value))
        return 0;
    if (value[0] == '\0')
        return 0;
    size_t interval = 0;
    for (const char *p = value; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        interval = interval * 10 + static_cast<size_t>(*p - '0');
        if (interval > kMaxIcyInterval)
            return 0;
    }
    return interval;
}

}  // namespace netgrab

// Ogg page framing with Debian's libogg (capture pattern, checksum and
// page lengths are the library's); this file chooses which pages count.
// The Opus identification header that marks an Ogg Opus stream begins
// with "OpusHead" (RFC 7845, section 5.1).
#include "ogg_pages.h"

#include <climits>
#include <cstring>

namespace netgrab {

namespace {

constexpr char kOpusHead[] = "OpusHead";
constexpr size_t kOpusHeadSize = sizeof kOpusHead - 1;

}  // namespace

OggPager::OggPager()
{
    ogg_sync_init(&sync_);
}

OggPager::~OggPager()
{
    ogg_sync_clear(&sync_);
}

size_t OggPager::push(const unsigned char *bytes, size_t length)
{
    if (length == 0)
        return 0;
    if (length > static_cast<size_t>(LONG_MAX))
        length = static_cast<size_t>(LONG_MAX);
    char *room = ogg_sync_buffer(&sync_, static_cast<long>(length));
    if (!room)
        return 0;
    std::memcpy(room, bytes, length);
    if (ogg_sync_wrote(&sync_, static_cast<long>(length)) != 0)
        return 0;
    return length;
}

bool OggPager::next(const unsigned char **page, size_t *length)
{
    for (;;) {
        ogg_page og;
        const long seek = ogg_sync_pageseek(&sync_, &og);
        if (seek == 0)
            return false;  // a page is not all here yet
        if (seek < 0)
            continue;  // bytes that begin no page were passed over
        if (ogg_page_version(&og) != 0)
            continue;
        if (!started_) {
            if (!ogg_page_bos(&og))
                continue;
            started_ = true;
            opus_ =
                og.body_len >= static_cast<long>(kOpusHeadSize) && std::memcmp(og.body, kOpusHead, kOpusHeadSize) == 0;
        }
        const size_t headerLength = static_cast<size_t>(og.header_len);
        const size_t bodyLength = static_cast<size_t>(og.body_len);
        *length = headerLength + bodyLength;
        // libogg hands back the header and the body side by side in its
        // buffer; should they ever lie apart, they are joined here.
        if (og.body == og.header + headerLength) {
            *page = og.header;
        } else {
            if (*length > sizeof joined_)
                continue;  // longer than any page
            std::memcpy(joined_, og.header, headerLength);
            std::memcpy(joined_ + headerLength, og.body, bodyLength);
            *page = joined_;
        }
        return true;
    }
}

}  // namespace netgrab

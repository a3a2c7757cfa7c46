// Content types (RFC 9110, section 8.3: type "/" subtype, then optional
// parameters after ';', compared without case).
#include "content_type.h"

#include <cstring>

#include "http_text.h"
#include "text_rules.h"

namespace netgrab {

namespace {

struct TypeRow
{
    const char *type;
    StreamType stream;
};

// AAC and AAC+ ("aacp" is HE-AAC) travel as ADTS frames; the Ogg types
// carry Vorbis, Opus or FLAC. The Windows Media types are those of a
// Windows Media server's describe and play answers ([MS-WMSP] 2.2.1.2)
// and of ASF files served as such.
constexpr TypeRow kTypes[] = {
    {"audio/aac", StreamType::Aac},
    {"audio/aacp", StreamType::Aac},
    {"audio/x-aac", StreamType::Aac},
    {"application/ogg", StreamType::Ogg},
    {"audio/ogg", StreamType::Ogg},
    {"audio/opus", StreamType::Ogg},
    {"audio/vorbis", StreamType::Ogg},
    {"application/vnd.ms.wms-hdr.asfv1", StreamType::WindowsMedia},
    {"application/x-mms-framed", StreamType::WindowsMedia},
    {"application/octet-stream", StreamType::WindowsMedia},
    {"video/x-ms-asf", StreamType::WindowsMedia},
    {"audio/x-ms-wma", StreamType::WindowsMedia},
    {"video/x-ms-wmv", StreamType::WindowsMedia},
    {"audio/x-ms-asf", StreamType::WindowsMedia},
};

constexpr size_t kLongestType = 64;

// The media type without parameters and trailing blanks.
void mediaType(const char *contentType, char *out, size_t cap)
{
    copyText(out, cap, contentType ? skipBlanks(contentType) : "");
    out[std::strcspn(out, ";")] = '\0';
    size_t n = std::strlen(out);
    while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t'))
        out[--n] = '\0';
}

bool equalNoCase(const char *a, const char *b)
{
    return std::strlen(a) == std::strlen(b) && startsWithNoCase(a, b);
}

}  // namespace

StreamType streamTypeOf(const char *contentType)
{
    char type[kLongestType + 2];
    mediaType(contentType, type, sizeof type);
    if (type[0] == '\0')
        return StreamType::None;
    for (const TypeRow &row : kTypes)
        if (equalNoCase(type, row.type))
            return row.stream;
    // "audio/mpeg" and its variants with a suffix ("audio/mpeg3"), but not
    // the playlist type "audio/mpegurl".
    if (startsWithNoCase(type, "audio/mpeg") && !startsWithNoCase(type, "audio/mpegurl"))
        return StreamType::MpegAudio;
    return StreamType::Unrecordable;
}

void printableMediaType(const char *contentType, char *out, size_t cap)
{
    if (!out || cap == 0)
        return;
    mediaType(contentType, out, cap < kLongestType + 1 ? cap : kLongestType + 1);
    for (char *p = out; *p; ++p)
        if (*p < 0x20 || *p > 0x7E)
            *p = '?';
}

}  // namespace netgrab

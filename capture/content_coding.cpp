// gzip (RFC 1952) and deflate (RFC 9110 names the zlib format of RFC 1950;
// some servers send bare RFC 1951 data under that name) with Debian's zlib.
#include "content_coding.h"

#include <cstring>
#include <memory>

#include <zlib.h>

#include "http_text.h"

namespace netgrab {

namespace {

constexpr int kAutoHeaderBits = 15 + 32;  // zlib or gzip, told by the header
constexpr int kRawBits = -15;             // bare deflate data

// Inflates in[0, inLength) into out[0, cap); the decoded length, or -1 when
// the data is broken, ends early or does not fit.
long inflateInto(const unsigned char *in, size_t inLength, unsigned char *out, size_t cap, int windowBits)
{
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, windowBits) != Z_OK)
        return -1;
    z.next_in = const_cast<unsigned char *>(in);
    z.avail_in = static_cast<uInt>(inLength);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(cap);
    const int result = inflate(&z, Z_FINISH);
    const long produced = static_cast<long>(cap - z.avail_out);
    inflateEnd(&z);
    return result == Z_STREAM_END ? produced : -1;
}

bool codingIs(const char *value, const char *coding)
{
    return std::strlen(value) == std::strlen(coding) && startsWithNoCase(value, coding);
}

}  // namespace

int decodeContentCoding(char *answer, int count, int capacity)
{
    if (!answer || count <= 0 || capacity <= 0 || count >= capacity)
        return count;
    const int headerEnd = headerBlockEnd(answer, count);
    if (headerEnd < 0)
        return count;
    char coding[32];
    if (!headerFieldValue(answer, headerEnd, "Content-Encoding", coding, sizeof coding))
        return count;
    const bool gzip = codingIs(coding, "gzip") || codingIs(coding, "x-gzip");
    const bool deflate = codingIs(coding, "deflate");
    if (!gzip && !deflate)
        return count;  // "identity" or a coding that was not asked for

    const int bodyStart = headerEnd + 4;
    const size_t room = static_cast<size_t>(capacity - 1 - bodyStart);
    std::unique_ptr<unsigned char[]> decoded(new unsigned char[room + 1]);
    const auto *body = reinterpret_cast<const unsigned char *>(answer + bodyStart);
    const size_t bodyLength = static_cast<size_t>(count - bodyStart);
    // One byte more than the room, so that a body that would not fit is
    // told apart from one that fills the room exactly.
    long length = inflateInto(body, bodyLength, decoded.get(), room + 1, kAutoHeaderBits);
    if (length < 0 && deflate)
        length = inflateInto(body, bodyLength, decoded.get(), room + 1, kRawBits);
    if (length < 0 || static_cast<size_t>(length) > room)
        return -1;
    std::memcpy(answer + bodyStart, decoded.get(), static_cast<size_t>(length));
    answer[bodyStart + length] = '\0';
    return bodyStart + static_cast<int>(length);
}

}  // namespace netgrab

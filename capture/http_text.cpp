#include "http_text.h"

#include <cstring>

#include "capture_state.h"
#include "http_wire.h"
#include "text_rules.h"

namespace netgrab {

namespace {

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool startsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (*text == '\0' || upperAscii(*text) != upperAscii(*prefix))
            return false;
    }
    return true;
}

const char *findNoCase(const char *text, size_t length, const char *needle)
{
    const size_t n = std::strlen(needle);
    if (n == 0)
        return text;
    for (size_t at = 0; at + n <= length; ++at) {
        size_t k = 0;
        while (k < n && upperAscii(text[at + k]) == upperAscii(needle[k]))
            ++k;
        if (k == n)
            return text + at;
    }
    return nullptr;
}

const char *findNoCase(const char *text, const char *needle)
{
    return findNoCase(text, std::strlen(text), needle);
}

bool isRedirectStatus(const char *status, bool http10Moved)
{
    return findNoCase(status, wire::kRedirect10_302) || findNoCase(status, wire::kRedirect11_302)
        || findNoCase(status, wire::kRedirect11_301) || (http10Moved && findNoCase(status, wire::kRedirect10_301));
}

const char *findLocationValue(const char *answer)
{
    const size_t nameLength = std::strlen(wire::kLocationName);
    for (const char *line = answer; *line;) {
        if (startsWithNoCase(line, wire::kLocationName))
            return skipBlanks(line + nameLength);
        const char *end = std::strchr(line, '\n');
        if (!end)
            break;
        line = end + 1;
    }
    const char *anywhere = std::strstr(answer, wire::kLocationName);
    return anywhere ? skipBlanks(anywhere + nameLength) : nullptr;
}

size_t webSchemeLength(const char *address, Transport *transport)
{
    if (startsWithNoCase(address, wire::kHttpScheme)) {
        *transport = Transport::Tcp;
        return sizeof wire::kHttpScheme - 1;
    }
    if (startsWithNoCase(address, wire::kHttpsScheme)) {
        *transport = Transport::Tls;
        return sizeof wire::kHttpsScheme - 1;
    }
    return 0;
}

uint16_t defaultWebPort(Transport transport)
{
    return transport == Transport::Tls ? 443 : 80;
}

bool splitHttpAddress(const char *address, char *host, size_t hostCap, char *path, size_t pathCap, Transport *transport)
{
    if (!address || hostCap == 0 || pathCap == 0)
        return false;
    size_t start = 0;
    if (startsWithNoCase(address, wire::kHttpsScheme)) {
        start = sizeof wire::kHttpsScheme - 1;
        if (transport)
            *transport = Transport::Tls;
    } else {
        const char *scheme = findNoCase(address, "HTTP:");
        if (!scheme)
            return false;
        start = static_cast<size_t>(scheme - address) + std::strlen(wire::kHttpScheme);
        if (start > std::strlen(address))
            return false;  // "http:" at the very end
        if (transport)
            *transport = Transport::Tcp;
    }
    const char *hostStart = address + start;
    const char *slash = std::strchr(hostStart, '/');
    size_t hostLength = slash ? static_cast<size_t>(slash - hostStart) : std::strlen(hostStart);
    const char *colon = static_cast<const char *>(std::memchr(hostStart, ':', hostLength));
    if (colon)
        hostLength = static_cast<size_t>(colon - hostStart);
    if (hostLength >= hostCap)
        hostLength = hostCap - 1;
    std::memcpy(host, hostStart, hostLength);
    host[hostLength] = '\0';
    copyText(path, pathCap, slash ? slash : "/");
    return true;
}

void copyValue(char *dst, size_t cap, const char *src, const char *extraStops)
{
    if (cap == 0)
        return;
    copyLineValue(dst, cap, src, extraStops);
    size_t n = std::strlen(dst);
    while (n > 0 && (dst[n - 1] == ' ' || dst[n - 1] == '\t'))
        dst[--n] = '\0';
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int decode(ChunkedDecoder &c, char *bytes, int length)
{
    int out = 0;
    for (int i = 0; i < length;) {
        const char b = bytes[i];
        switch (c.step) {
        case ChunkedStep::Size: {
            const int digit = hexValue(b);
            if (digit >= 0 && c.sizeDigits < 8) {  // 8 digits: up to 4 GiB
                c.left = c.left * 16u + static_cast<uint32_t>(digit);
                ++c.sizeDigits;
                ++i;
                break;
            }
            c.step = ChunkedStep::SizeRest;
            break;  // the byte is looked at again
        }
        case ChunkedStep::SizeRest:
            if (b == '\n') {
                c.step = c.left > 0 ? ChunkedStep::Data : ChunkedStep::Trailer;
                c.sizeDigits = 0;
            }
            ++i;
            break;
        case ChunkedStep::Data: {
            const uint32_t have = static_cast<uint32_t>(length - i);
            const int n = static_cast<int>(c.left < have ? c.left : have);
            std::memmove(bytes + out, bytes + i, static_cast<size_t>(n));
            out += n;
            i += n;
            c.left -= static_cast<uint32_t>(n);
            if (c.left == 0)
                c.step = ChunkedStep::DataEnd;
            break;
        }
        case ChunkedStep::DataEnd:
            if (b == '\r') {
                ++i;
            } else if (b == '\n') {
                ++i;
                c.step = ChunkedStep::Size;
            } else {
                c.step = ChunkedStep::Size;  // a missing CR LF: read on as a size line
            }
            break;
        case ChunkedStep::Trailer:
            // sizeDigits counts the characters of the current trailer line.
            if (b == '\n') {
                if (c.sizeDigits == 0)
                    c.step = ChunkedStep::Done;
                c.sizeDigits = 0;
            } else if (b != '\r') {
                ++c.sizeDigits;
            }
            ++i;
            break;
        case ChunkedStep::Done:
            i = length;
            break;
        }
    }
    return out;
}

}  // namespace

bool headerSaysChunked(const char *answer, int headerEnd)
{
    static const char kName[] = "Transfer-Encoding:";
    const int nameLength = static_cast<int>(sizeof kName - 1);
    for (int line = 0; line < headerEnd;) {
        int end = line;
        while (end < headerEnd && answer[end] != '\n')
            ++end;
        if (end - line >= nameLength && findNoCase(answer + line, static_cast<size_t>(nameLength), kName)
            && findNoCase(answer + line + nameLength, static_cast<size_t>(end - line - nameLength), "chunked"))
            return true;
        line = end + 1;
    }
    return false;
}

int headerBlockEnd(const char *answer, int count)
{
    if (!answer)
        return -1;
    for (int i = 0; i + 3 < count; ++i) {
        if (answer[i] == '\r' && answer[i + 1] == '\n' && answer[i + 2] == '\r' && answer[i + 3] == '\n')
            return i;
    }
    return -1;
}

bool headerFieldValue(const char *answer, int headerEnd, const char *name, char *out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (!answer || !name || headerEnd <= 0)
        return false;
    const size_t nameLength = std::strlen(name);
    // The status line comes first: fields begin after a line end.
    for (int line = 0; line < headerEnd;) {
        int end = line;
        while (end < headerEnd && answer[end] != '\n')
            ++end;
        const size_t lineLength = static_cast<size_t>(end - line);
        if (line > 0 && lineLength > nameLength && answer[line + nameLength] == ':'
            && findNoCase(answer + line, nameLength, name) == answer + line) {
            const char *value = answer + line + nameLength + 1;
            const char *stop = answer + end;
            while (value < stop && (*value == ' ' || *value == '\t'))
                ++value;
            while (stop > value && (stop[-1] == ' ' || stop[-1] == '\t' || stop[-1] == '\r'))
                --stop;
            size_t n = static_cast<size_t>(stop - value);
            if (n > cap - 1)
                n = cap - 1;
            std::memcpy(out, value, n);
            out[n] = '\0';
            return true;
        }
        line = end + 1;
    }
    return false;
}

int unchunkAnswer(ChunkedDecoder &c, char *answer, int count)
{
    c = ChunkedDecoder();
    if (!answer || count <= 0)
        return count;
    const int headerEnd = headerBlockEnd(answer, count);
    if (headerEnd < 0 || !headerSaysChunked(answer, headerEnd))
        return count;
    c.active = true;
    const int bodyStart = headerEnd + 4;
    return bodyStart + decode(c, answer + bodyStart, count - bodyStart);
}

int dechunkStream(ChunkedDecoder &c, char *bytes, int length)
{
    if (!c.active || !bytes || length <= 0)
        return length;
    return decode(c, bytes, length);
}

}  // namespace netgrab

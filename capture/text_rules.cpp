// Small text rules shared by the protocols.
#include "text_rules.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "capture_state.h"

namespace netgrab {

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
}  // namespace

void makeClientGuid(char out[40])
{
    // Seeded with the time in seconds: two calls within one second give the
    // same identifier. Digits are rand() % 15, so 'F' never occurs.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    int pos = 0;
    out[pos++] = '{';
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20)
            out[pos++] = '-';
        int d = std::rand() % 15;
        out[pos++] = static_cast<char>(d < 10 ? '0' + d : 'A' + (d - 10));
    }
    out[pos++] = '}';
    out[pos] = '\0';  // 38 characters and the NUL: fits the 40 bytes
}

void extractPort(char *address, uint16_t &port)
{
    if (!address)
        return;
    const char *scheme = std::strstr(address, "://");
    if (!scheme || scheme - address > 10)
        return;
    char *p = const_cast<char *>(scheme) + 3;
    for (; *p && *p != '/'; ++p) {
        if (*p != ':')
            continue;
        char *taken = p + 1;
        int n = 0;
        while (n < 10 && taken[n] && taken[n] != '/' && taken[n] != '\r' && taken[n] != '\n')
            ++n;
        char stop = taken[n];
        if (stop != '/' && stop != '\0')
            return;  // more than 10, or CR/LF
        // Leading decimal number; only its low 16 bits fit the port word.
        unsigned value = 0;
        bool nonZero = false;
        for (int i = 0; i < n && isDigit(taken[i]); ++i) {
            value = (value * 10u + static_cast<unsigned>(taken[i] - '0')) & 0xFFFFu;
            if (taken[i] != '0')
                nonZero = true;
        }
        port = nonZero ? static_cast<uint16_t>(value) : 80;
        std::memmove(p, taken + n, std::strlen(taken + n) + 1);
        return;
    }
}

uint16_t portFromText(const char *text)
{
    if (!text)
        return 1755;
    const char *colon = std::strchr(text, ':');
    if (!colon)
        return 1755;
    char port[20];  // longer port texts are cut
    int n = 0;
    for (const char *p = colon + 1; n < 19 && *p && *p != '\r' && *p != '\n' && *p != ' ' && *p != '/'; ++p)
        port[n++] = *p;
    port[n] = '\0';
    if (n == 0)
        return 0;
    if (!isDigit(port[n - 1]))
        return kNoPort;
    unsigned value = 0;
    for (int i = 0; i < n && isDigit(port[i]); ++i)
        value = (value * 10u + static_cast<unsigned>(port[i] - '0')) & 0xFFFFu;
    return static_cast<uint16_t>(value);
}

const char *statusLine(const char *answer, int length)
{
    static char line[512];
    if (length < 0)
        length = answer ? static_cast<int>(std::strlen(answer)) : 0;
    int n = 0;
    if (answer) {
        while (n < 511 && n < length - 1 && answer[n] != '\0' && !(answer[n] == '\r' && answer[n + 1] == '\n'))
            ++n;
        std::memcpy(line, answer, static_cast<size_t>(n));
    }
    line[n] = '\0';
    return line;
}

void copyText(char *dst, size_t cap, const char *src)
{
    if (!dst || cap == 0)
        return;
    size_t n = 0;
    if (src)
        while (n + 1 < cap && src[n])
            ++n;
    if (n)
        std::memmove(dst, src, n);
    dst[n] = '\0';
}

void copyLineValue(char *dst, size_t cap, const char *src, const char *extraStops)
{
    if (!dst || cap == 0)
        return;
    size_t n = 0;
    if (src) {
        if (!extraStops)
            extraStops = "";
        while (n + 1 < cap && src[n] && src[n] != '\r' && src[n] != '\n' && !std::strchr(extraStops, src[n]))
            ++n;
        if (n)
            std::memmove(dst, src, n);
    }
    dst[n] = '\0';
}

void upperCopy(char *dst, size_t cap, const char *src)
{
    if (!dst || cap == 0)
        return;
    size_t n = 0;
    if (src) {
        for (; n + 1 < cap && src[n]; ++n) {
            char c = src[n];
            dst[n] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    dst[n] = '\0';
}

const char *skipBlanks(const char *p)
{
    if (!p)
        return p;
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

}  // namespace netgrab

#include "http_text.h"

#include <cstring>

#include "http_wire.h"
#include "text_rules.h"

namespace netgrab {

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (*text == '\0' || upperAscii(*text) != upperAscii(*prefix)) return false;
    }
    return true;
}

const char* findNoCase(const char* text, const char* needle) {
    if (*needle == '\0') return text;
    for (; *text; ++text) {
        if (startsWithNoCase(text, needle)) return text;
    }
    return nullptr;
}

const char* findLocationValue(const char* answer) {
    const size_t nameLength = std::strlen(wire::kLocationName);
    for (const char* line = answer; *line;) {
        if (startsWithNoCase(line, wire::kLocationName)) return skipBlanks(line + nameLength);
        const char* end = std::strchr(line, '\n');
        if (!end) break;
        line = end + 1;
    }
    const char* anywhere = std::strstr(answer, wire::kLocationName);
    return anywhere ? skipBlanks(anywhere + nameLength) : nullptr;
}

void copyValue(char* dst, size_t cap, const char* src, const char* extraStops) {
    if (cap == 0) return;
    copyLineValue(dst, cap, src, extraStops);
    size_t n = std::strlen(dst);
    while (n > 0 && (dst[n - 1] == ' ' || dst[n - 1] == '\t')) dst[--n] = '\0';
}

}  // namespace netgrab

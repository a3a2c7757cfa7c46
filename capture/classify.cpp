// Stand-in classification by scheme until playlists and pages are handled.
#include "classify.h"

#include <cstring>

#include "capture_state.h"
#include "text_rules.h"

namespace netgrab {

int classifySource(const char* address) {
    CaptureState& s = state();
    char copy[512];
    copyText(copy, sizeof copy, address);
    s.serverPort = kNoPort;
    extractPort(copy);
    if (std::strncmp(copy, "mms://", 6) == 0) {
        copyText(s.workingAddress, sizeof s.workingAddress, copy + 6);
        s.sourceKind = SOURCE_MMS;
        if (s.serverPort == kNoPort) s.serverPort = 1755;
        return 1;
    }
    if (s.serverPort == kNoPort) s.serverPort = 80;
    if (std::strncmp(copy, "http://", 7) == 0) {
        copyText(s.workingAddress, sizeof s.workingAddress, copy + 7);
        s.sourceKind = SOURCE_HTTP;
        return 1;
    }
    if (std::strncmp(copy, "file://", 7) == 0) {
        copyText(s.workingAddress, sizeof s.workingAddress, copy + 7);
        s.sourceKind = SOURCE_FILE;
        return 1;
    }
    return 0;
}

int resolveAsx() { return 0; }
void resolveM3u(const char*) {}
void resolvePls(const char*) {}

int quotedValue(const char* text, char out[384]) {
    const char* open = std::strchr(text, '"');
    if (!open) return 0;
    const char* close = std::strchr(open + 1, '"');
    if (!close) return 0;
    size_t n = static_cast<size_t>(close - open - 1);
    if (n > 383) n = 383;
    std::memcpy(out, open + 1, n);
    out[n] = '\0';
    return 1;
}

}  // namespace netgrab

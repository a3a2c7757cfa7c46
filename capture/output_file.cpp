// The output file: outputBase + extension, always appended to.
#include "output_file.h"

#include <cstdio>
#include <cstring>

#include "capture_state.h"
#include "netgrab.h"
#include "trace.h"

namespace netgrab {

int openOutput(const char* extension) {
    CaptureState& s = state();
    closeOutput();
    char name[kOutputBaseSize + 16];
    int len = std::snprintf(name, sizeof name, "%s%s", s.outputBase, extension ? extension : "");
    if (len < 0 || static_cast<size_t>(len) >= sizeof name) {
        s.lastError = NG_ERR_FILE_OPEN;  // refuse a name that does not fit
        return 0;
    }
    if (FILE* probe = std::fopen(name, "rb")) {
        // It exists: note whether it already holds data, then reopen it for
        // reading and writing and stay at its end.
        std::fseek(probe, 0, SEEK_END);
        long size = std::ftell(probe);
        s.appendMode = size > 0 ? 1 : 0;
        std::fclose(probe);
        s.outputFile = std::fopen(name, "r+b");
        if (!s.outputFile) {
            s.lastError = NG_ERR_FILE_OPEN;
            return 0;
        }
        int seek = std::fseek(s.outputFile, 0, SEEK_END);
        traceFormat("%s append file!! [%s]   %d  seek = %d", s.requestedAddress, name,
                    static_cast<int>(std::ftell(s.outputFile)), seek);
        return 1;
    }
    traceFormat("%s append file!! [%s] new file\n", s.requestedAddress, name);
    s.appendMode = 0;
    if (FILE* created = std::fopen(name, "wb")) std::fclose(created);
    s.outputFile = std::fopen(name, "r+b");
    if (!s.outputFile) {
        s.lastError = NG_ERR_FILE_OPEN;
        return 0;
    }
    return 1;
}

bool writeOutput(const void* bytes, int length) {
    CaptureState& s = state();
    if (!s.outputFile || length < 0) return false;
    if (length == 0) return true;
    size_t n = std::fwrite(bytes, 1, static_cast<size_t>(length), s.outputFile);
    // Flushed at once: the bytes are on disk when the block has been handled,
    // so a recorder that is killed loses nothing it has received.
    bool ok = n == static_cast<size_t>(length) && std::fflush(s.outputFile) == 0;
    s.attemptBytesWritten += static_cast<int64_t>(n);
    return ok;
}

void closeOutput() {
    CaptureState& s = state();
    if (s.outputFile) {
        std::fclose(s.outputFile);
        s.outputFile = nullptr;
    }
}

}  // namespace netgrab

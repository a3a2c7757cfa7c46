// The output file: outputBase + extension, always appended to.
#include "output_file.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "capture_state.h"
#include "net/socket_shim.h"
#include "netgrab.h"
#include "trace.h"

namespace netgrab {

namespace {

// Prints "cannot write NAME: reason" unless this very line was the last one
// printed and no write has succeeded since: a lasting fault (a missing
// folder, a full disk) is told once, not once per attempt.
void reportFault(CaptureState &s, const char *name, int error)
{
    char line[sizeof s.output.faultShown];
    std::snprintf(line, sizeof line, "cannot write %s: %s\n", name, net::errorText(error));
    if (std::strcmp(line, s.output.faultShown) == 0)
        return;
    std::snprintf(s.output.faultShown, sizeof s.output.faultShown, "%s", line);
    std::fputs(line, stdout);
    std::fflush(stdout);
}

int failOpen(CaptureState &s, const char *name, int error)
{
    shared().lastError = NG_ERR_FILE_OPEN;
    reportFault(s, name, error);
    return 0;
}

// The file name of a variant; false when it does not fit.
bool variantName(const CaptureState &s, char *name, size_t cap, const char *extension, int variant)
{
    char suffix[16] = "";
    if (variant >= 2)
        std::snprintf(suffix, sizeof suffix, "-%d", variant);
    const int len = std::snprintf(name, cap, "%s%s%s", s.outputBase, suffix, extension ? extension : "");
    return len >= 0 && static_cast<size_t>(len) < cap;
}

}  // namespace

long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int openOutput(CaptureState &s, const char *extension)
{
    return openOutputVariant(s, extension, 0);
}

int openOutputVariant(CaptureState &s, const char *extension, int variant)
{
    closeOutput(s.output);
    char name[kOutputBaseSize + 32];
    if (!variantName(s, name, sizeof name, extension, variant)) {
        shared().lastError = NG_ERR_FILE_OPEN;  // refuse a name that does not fit
        return 0;
    }
    if (FILE *probe = std::fopen(name, "rb")) {
        // It exists: note whether it already holds data, then reopen it for
        // reading and writing and stay at its end.
        std::fseek(probe, 0, SEEK_END);
        long size = std::ftell(probe);
        s.output.appendMode = size > 0 ? 1 : 0;
        std::fclose(probe);
        s.output.file = std::fopen(name, "r+b");
        if (!s.output.file)
            return failOpen(s, name, net::lastError());
        int seek = std::fseek(s.output.file, 0, SEEK_END);
        traceFormat("%s append file!! [%s]   %d  seek = %d", s.requestedAddress, name,
                    static_cast<int>(std::ftell(s.output.file)), seek);
    } else {
        traceFormat("%s append file!! [%s] new file\n", s.requestedAddress, name);
        s.output.appendMode = 0;
        if (FILE *created = std::fopen(name, "wb"))
            std::fclose(created);
        s.output.file = std::fopen(name, "r+b");
        if (!s.output.file)
            return failOpen(s, name, net::lastError());
    }
    // Every write goes to the file at once (a recorder that is killed loses
    // nothing it has received), so stdio needs no buffer; without one, a
    // failed write leaves nothing behind that a later flush could add.
    std::setvbuf(s.output.file, nullptr, _IONBF, 0);
    std::snprintf(s.output.openName, sizeof s.output.openName, "%s", name);
    return 1;
}

bool writeOutput(CaptureState &s, const void *bytes, int length)
{
    if (!s.output.file || length < 0)
        return false;
    if (length == 0)
        return true;
    const long before = std::ftell(s.output.file);
    size_t n = std::fwrite(bytes, 1, static_cast<size_t>(length), s.output.file);
    if (n != static_cast<size_t>(length)) {
        const int error = net::lastError();
        // Take back what reached the file: a part of a packet or block would
        // make the recording unreadable from there on.
        if (before >= 0)
            net::truncateFile(s.output.file, before);
        s.output.writeFailed = true;
        shared().lastError = NG_ERR_FILE_OPEN;
        reportFault(s, s.output.openName, error);
        return false;
    }
    s.output.faultShown[0] = '\0';  // writing works (again): a new fault is told anew
    const long long now = steadyNowMs();
    if (s.output.bytesWritten == 0)
        s.output.firstWriteMs = now;
    s.output.lastWriteMs = now;
    s.output.bytesWritten += static_cast<int64_t>(n);
    return true;
}

void closeOutput(OutputState &output)
{
    if (output.file) {
        std::fclose(output.file);
        output.file = nullptr;
    }
}

}  // namespace netgrab

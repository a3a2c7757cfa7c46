// Fuzz target: source classification and the playlist readers over
// arbitrary text: the address a caller hands to netgrab, and the answers
// (directory pages, ASX, M3U and PLS playlists, moved notices) that the
// describe request and the playlist fetches read.
//
// Input: the first line (up to CR, LF or NUL) is an address, cut to the 255
// characters an attempt accepts; the whole input is an answer, cut to the
// kAnswerLimit bytes a request operation places and NUL-terminated as the
// request code does.
//
// Classification of an ".asx"/".wax" address or a page, and a page's ASX
// marker, fetch over HTTP. Here every name lookup fails (nothing is sent)
// and connects to numeric addresses give up at once; the program refuses to
// run unless its network namespace holds loopback only, so even such a
// connect cannot leave the machine (fuzz/run_short.sh and run_long.sh start
// it inside one).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "capture_state.h"
#include "classify.h"
#include "connection.h"
#include "fuzz_support.h"
#include "http_audio.h"
#include "text_rules.h"

using namespace netgrab;

namespace {

int noNames(const char *, uint32_t *)
{
    return 0;
}

// True when every interface of this process's network namespace is loopback.
bool loopbackOnly()
{
    std::ifstream dev("/proc/self/net/dev");
    std::string line;
    int interfaces = 0;
    while (std::getline(dev, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;  // the two heading lines
        const size_t start = line.find_first_not_of(' ');
        if (line.compare(start, colon - start, "lo") != 0)
            return false;
        ++interfaces;
    }
    return interfaces > 0;
}

void resetState(CaptureState &s)
{
    s.workingAddress[0] = '\0';
    s.pageCookie[0] = '\0';
    s.serverPort = kNoPort;
    s.requestPort = 80;
    s.sourceKind = SOURCE_NONE;
    s.stop.clear();
    shared().lastError = 0;
}

// Classifies a further address as the attempt loop does: the text is
// placed in workingAddress first.
void classifyFurther(CaptureState &s, const char *address)
{
    copyText(s.workingAddress, sizeof s.workingAddress, address);
    classifySource(s, s.workingAddress);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!loopbackOnly()) {
        std::fprintf(stderr,
                     "fuzz_playlist: runs only in a loopback-only network namespace "
                     "(tests/capture/in_loopback_netns.sh)\n");
        std::exit(2);
    }
    // The capture routines print progress lines; the fuzzer's own output
    // goes to stderr.
    if (!std::freopen("/dev/null", "w", stdout))
        std::exit(2);
    setNameLookup(noNames);
    CaptureTuning &t = settings().tuning;
    t.receivePollMs = 1;
    t.receivePollCount = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);

    // The address: at most 255 characters, as runAttempt refuses longer ones.
    size_t addressLength = 0;
    while (addressLength < size && addressLength < kWorkingAddressSize - 1 && text[addressLength] != '\0'
           && text[addressLength] != '\r' && text[addressLength] != '\n')
        ++addressLength;
    std::vector<char> address(text, text + addressLength);
    address.push_back('\0');

    // The answer: at most kAnswerLimit bytes, NUL-terminated; a heap block
    // of exactly that size, so ASan sees any read past the terminator.
    const size_t answerLength = size < static_cast<size_t>(kAnswerLimit) ? size : kAnswerLimit;
    std::vector<char> answer(text, text + answerLength);
    answer.push_back('\0');

    CaptureState *const ctx = &fuzzsupport::freshContext();
    CaptureState &s = *ctx;
    resetState(s);
    classifySource(s, address.data());

    char quoted[384];
    quotedValue(answer.data(), quoted);

    resetState(s);
    char asx[384];
    if (asxTarget(answer.data(), asx, sizeof asx))
        applyAsxTarget(s, asx);

    resetState(s);
    char further[512];
    if (findPlaylistTarget(answer.data(), further))
        classifyFurther(s, further);

    resetState(s);
    char entry[512];
    m3uTarget(answer.data(), entry, sizeof entry);
    char file1[kWorkingAddressSize];
    plsTarget(answer.data(), file1, sizeof file1);

    resetState(s);
    readPageMarkers(s, answer.data());
    return 0;
}

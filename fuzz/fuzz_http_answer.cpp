// The readers of HTTP answers: status line and its tests, the Location
// reader, the describe answer's route (further address, AAC+, MPEG audio,
// MMS over HTTP), the address splitter, ports, the MPEG frame start,
// chunked transfer decoding of a whole answer and of a stream fed in
// pieces, and the stream markers of a directory page.
//
// Input: byte 0 chooses the piece lengths of the chunked stream; the rest
// is the answer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "capture_state.h"
#include "classify.h"
#include "fuzz_support.h"
#include "http_audio.h"
#include "http_text.h"
#include "http_wire.h"
#include "text_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    if (size < 1)
        return 0;
    const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    const char *answer = bytes.c_str();  // NUL-terminated; may hold NULs before its end
    const int length = static_cast<int>(bytes.size());
    CaptureState *const ctx = &fuzzsupport::freshContext();
    ChunkedDecoder &decoder = ctx->chunked;

    const char *status = statusLine(answer, length);
    statusIsOk(status);
    statusIsRedirect(status);
    char value[kWorkingAddressSize];
    if (const char *location = findLocationValue(answer))
        copyValue(value, sizeof value, location);
    char target[512];
    routeOfAnswer(answer, "www.shoutcast.com", target);
    char host[128];
    char path[512];
    splitHttpAddress(answer, host, sizeof host, path, sizeof path);
    portFromText(answer);
    findFrameStart(data + 1, length);
    char address[kWorkingAddressSize];
    copyText(address, sizeof address, answer);
    uint16_t port = kNoPort;
    extractPort(address, port);

    // A whole answer: its header block says whether the body is chunked.
    std::string whole = bytes;
    unchunkAnswer(decoder, &whole[0], length);
    // A chunked stream arriving in pieces after its header block.
    std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    unchunkAnswer(decoder, &head[0], static_cast<int>(head.size()));
    std::string stream = bytes;
    fuzzsupport::feedInPieces(reinterpret_cast<const uint8_t *>(stream.data()), stream.size(), data[0],
                              [&decoder](const uint8_t *piece, size_t n) {
                                  dechunkStream(decoder, reinterpret_cast<char *>(const_cast<uint8_t *>(piece)),
                                                static_cast<int>(n));
                              });
    unchunkAnswer(decoder, nullptr, 0);  // the decoder off again

    // Directory page markers; an ASX marker alone would fetch its playlist,
    // which is no reader's work, so such pages are left out.
    if (std::strstr(answer, wire::kMarkerMms) || std::strstr(answer, wire::kMarkerHttp)
        || !std::strstr(answer, wire::kMarkerAsx))
        readPageMarkers(*ctx, answer);
    return 0;
}

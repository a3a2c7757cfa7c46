// The portal's scans of its answers: the playlist reference and stream
// markers of its pages, its redirect texts and their Location, the host
// and path splits of what it found, and the "$H" chunks of the stream
// server's describe answer.
//
// Input: the answer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "asf_chunks.h"
#include "capture_state.h"
#include "http_text.h"
#include "mms_wire.h"
#include "portal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace netgrab;
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const char *answer = bytes.c_str();

    char reference[512];
    char host[128];
    char path[512];
    if (findAfterMarker(answer, wire::kPortalRefMarker, reference, sizeof reference) && std::strlen(reference) >= 7)
        splitHostPath(reference + 7, host, sizeof host, path, sizeof path);
    if (portalAnswerRedirects(answer)) {
        if (const char *location = findLocationValue(answer)) {
            copyValue(reference, sizeof reference, location);
            if (std::strlen(reference) >= 7)
                splitHostPath(reference + 7, host, sizeof host, path, sizeof path);
        }
    }
    char stream[kWorkingAddressSize];
    if (findAfterMarker(answer, wire::kPortalStreamMarker, stream, sizeof stream))
        streamHostPath(stream, host, sizeof host, path, sizeof path);

    std::unique_ptr<unsigned char[]> header(new unsigned char[kReceiveBufferSize]);
    const int count = size < static_cast<size_t>(kAnswerLimit) ? static_cast<int>(size) : kAnswerLimit;
    collectHeaderChunks(data, count, header.get(), kReceiveBufferSize);
    return 0;
}

#include "asx_entries.h"

#include <cstring>

#include "http_text.h"
#include "http_wire.h"

namespace netgrab {

bool readQuotedValue(const char *text, char *out, size_t cap)
{
    const char *open = std::strchr(text, '"');
    if (!open || cap == 0)
        return false;
    const char *close = std::strchr(open + 1, '"');
    if (!close)
        return false;
    size_t n = static_cast<size_t>(close - open - 1);
    if (n > cap - 1)
        n = cap - 1;
    std::memcpy(out, open + 1, n);
    out[n] = '\0';
    return true;
}

AsxScan firstAsxReference(const char *answer, bool (*skip)(const char *reference), char *out, size_t cap,
                          const char **rest)
{
    const char *scan = answer;
    while (const char *entry = findNoCase(scan, wire::kAsxEntry)) {
        const char *ref = findNoCase(entry, wire::kAsxRefHref);
        if (!ref)
            return AsxScan::Malformed;
        if (!readQuotedValue(ref, out, cap))
            return AsxScan::Malformed;
        if (!skip(out))
            return AsxScan::Found;
        scan = entry + std::strlen(wire::kAsxEntry);
    }
    if (rest)
        *rest = scan;
    return AsxScan::NoEntry;
}

}  // namespace netgrab

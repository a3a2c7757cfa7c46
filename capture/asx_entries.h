#pragma once

#include <cstddef>

namespace netgrab {

// How a walk over the entries of an ASX document ended.
enum class AsxScan {
    Found,      // a reference that is not passed over
    Malformed,  // an entry without REF HREF="...", which ends the walk
    NoEntry,    // no entry left
};

// The text between the first two double quotes of `text`, cut to cap - 1
// bytes, into `out`; false (out untouched) without a closing quote.
bool readQuotedValue(const char *text, char *out, size_t cap);

// Walks the <ENTRY> elements of `answer` in order (names without regard to
// case). Each entry's first REF HREF="..." value, cut to cap - 1 bytes, is
// copied into `out`; the first one for which skip(out) is false ends the
// walk as Found. With NoEntry, *rest (when given) points after the last
// entry passed over, or at the document when there was none.
AsxScan firstAsxReference(const char *answer, bool (*skip)(const char *reference), char *out, size_t cap,
                          const char **rest = nullptr);

}  // namespace netgrab

#pragma once
// Reference resolution of an address found in a document (a playlist entry,
// a segment line) against the address the document came from.

#include <cstddef>

namespace netgrab {

// Resolves reference against the absolute address base (RFC 3986, section
// 5.2, strict: a reference with its own scheme is taken as it stands; dot
// segments that climb above the root are dropped, section 5.2.4) into out.
// The result must be an "http://" or "https://" address (scheme in any
// case) with a host; anything else, a base or reference that is not a
// valid URI, or a result that does not fit cap bytes with its NUL, returns
// false and leaves out an empty text (when cap > 0). Nothing is cut.
bool resolveAddress(const char *base, const char *reference, char *out, size_t cap);

}  // namespace netgrab

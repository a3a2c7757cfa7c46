#pragma once
// Content codings of fetched documents (RFC 9110, section 8.4.1): a page
// or playlist answer sent with "Content-Encoding: gzip" or "deflate" is
// decoded in place before it is read.

namespace netgrab {

// The answer answer[0, count) (a header block and a body) with a gzip or
// deflate body is rewritten as the header block and the decoded body, at
// most capacity - 1 bytes in all, NUL-terminated; an answer without a
// coding is left as it is. Returns the new length, or -1 when the body
// does not decode or its decoded form does not fit (nothing is cut).
int decodeContentCoding(char *answer, int count, int capacity);

}  // namespace netgrab

// Reference resolution with Debian's liburiparser (RFC 3986 parsing,
// section 5.2 resolution and recomposition), so no URI grammar is written
// here; this file only checks what the library hands back.
#include "address_resolve.h"

#include <cstring>

#include <uriparser/Uri.h>

#include "http_text.h"

namespace netgrab {

namespace {

// Owns one parsed URI for the span of a call.
class ParsedUri
{
public:
    ParsedUri() { std::memset(&uri_, 0, sizeof uri_); }
    ~ParsedUri()
    {
        if (parsed_)
            uriFreeUriMembersA(&uri_);
    }
    ParsedUri(const ParsedUri &) = delete;
    ParsedUri &operator=(const ParsedUri &) = delete;

    bool parse(const char *text)
    {
        const char *errorPos = nullptr;
        parsed_ = uriParseSingleUriA(&uri_, text, &errorPos) == URI_SUCCESS;
        return parsed_;
    }
    // Marks uri_ as filled by a library call other than parse().
    void filled() { parsed_ = true; }
    UriUriA *get() { return &uri_; }

private:
    UriUriA uri_;
    bool parsed_ = false;
};

size_t rangeLength(const UriTextRangeA &range)
{
    if (!range.first || !range.afterLast || range.afterLast < range.first)
        return 0;
    return static_cast<size_t>(range.afterLast - range.first);
}

bool rangeIsNoCase(const UriTextRangeA &range, const char *word)
{
    const size_t length = rangeLength(range);
    return length == std::strlen(word) && startsWithNoCase(range.first, word);
}

bool isWebAddress(const UriUriA &uri)
{
    if (!rangeIsNoCase(uri.scheme, "http") && !rangeIsNoCase(uri.scheme, "https"))
        return false;
    return rangeLength(uri.hostText) > 0;
}

}  // namespace

bool resolveAddress(const char *base, const char *reference, char *out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (!base || !reference)
        return false;

    ParsedUri baseUri;
    ParsedUri referenceUri;
    if (!baseUri.parse(base) || !referenceUri.parse(reference))
        return false;
    // A base without a scheme cannot anchor a reference (section 5.1).
    if (rangeLength(baseUri.get()->scheme) == 0)
        return false;

    ParsedUri resolved;
    const int added = uriAddBaseUriExA(resolved.get(), referenceUri.get(), baseUri.get(), URI_RESOLVE_STRICTLY);
    if (added != URI_SUCCESS)
        return false;
    resolved.filled();
    if (!isWebAddress(*resolved.get()))
        return false;

    int required = 0;
    if (uriToStringCharsRequiredA(resolved.get(), &required) != URI_SUCCESS || required < 0)
        return false;
    if (static_cast<size_t>(required) + 1 > cap)
        return false;
    int written = 0;
    if (uriToStringA(out, resolved.get(), static_cast<int>(cap), &written) != URI_SUCCESS) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace netgrab

// Messages of the error codes. Codes are never renumbered or reused, so a
// message stays with its code; a new code gets its row here.
#include "error_text.h"

#include "netgrab.h"

namespace netgrab {

namespace {

struct ErrorRow
{
    int code;
    const char *text;
};

constexpr ErrorRow kErrorTexts[] = {
    {NG_ERR_NONE, "no error"},
    {NG_ERR_FILE_OPEN, "the output file cannot be opened or written"},
    {NG_ERR_NO_MPEG_SYNC, "the answer holds no MPEG audio frame start"},
    {NG_ERR_RECEIVE, "receive failed: the server closed, failed or did not answer"},
    {NG_ERR_REFUSED, "the server refused or sent something that is not recorded"},
    {NG_ERR_NO_STREAM_HEADER, "no usable stream header"},
    {NG_ERR_CONTENT_TYPE, "the stream's content type cannot be recorded"},
    {NG_ERR_NET_START, "the socket layer could not be started"},
    {NG_ERR_STOPPED, "stopped on request"},
    {NG_ERR_INTERNAL, "internal failure of the capture library"},
    {NG_ERR_UNTRUSTED, "the server's certificate is not trusted"},
};

}  // namespace

const char *errorText(int code)
{
    for (const ErrorRow &row : kErrorTexts)
        if (row.code == code)
            return row.text;
    return "unknown error";
}

}  // namespace netgrab

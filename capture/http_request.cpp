// HTTP GET operations on loopback-or-remote servers (RFC 7230 framing, kept
// deliberately small: the answer is read into one buffer of at most
// kAnswerLimit bytes).
#include "http_request.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "capture_state.h"
#include "content_coding.h"
#include "http_text.h"
#include "http_wire.h"

namespace netgrab {

namespace {

// Appends texts to a buffer of fixed capacity; remembers whether everything fit.
struct TextBuilder
{
    char *buf;
    size_t cap;
    size_t len = 0;
    bool fits = true;

    TextBuilder(char *b, size_t c) : buf(b), cap(c) { buf[0] = '\0'; }
    void add(const char *text, size_t n)
    {
        if (!fits)
            return;
        if (n >= cap - len) {
            fits = false;
            return;
        }
        std::memcpy(buf + len, text, n);
        len += n;
        buf[len] = '\0';
    }
    void add(const char *text) { add(text, std::strlen(text)); }
};

// Browser-like request headers of httpFetch, one line each (RFC 7230 3.2).
constexpr const char *kFetchHeaders =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-powerpoint, "
    "application/vnd.ms-excel, application/msword, */*\r\n"
    "Accept-Language: zh-tw\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.1.4322)\r\n";

void addRequestLine(TextBuilder &b, const char *path)
{
    b.add(wire::kRequestLineStart);
    b.add(path && *path ? path : "/");
    b.add(wire::kRequestLineEnd);
}

// Request line and the first slotCount slots, composed in requestText.
// Length of the request, or -1 when it does not fit.
int composeRequest(CaptureState &s, const char *path, const HeaderSlot *slots, int slotCount)
{
    TextBuilder b(s.requestText, sizeof s.requestText);
    addRequestLine(b, path);
    for (int i = 0; slots && i < slotCount; ++i) {
        const size_t n = strnlen(slots[i], kHeaderSlotSize);
        // A slot holds whole lines: one that does not end in CR LF was cut.
        if (n < 2 || slots[i][n - 2] != '\r' || slots[i][n - 1] != '\n')
            return -1;
        b.add(slots[i], n);
    }
    if (!b.fits || b.len < 4 || std::memcmp(s.requestText + b.len - 4, "\r\n\r\n", 4) != 0)
        return -1;
    return static_cast<int>(b.len);
}

// Offset of needle in [from, to) of text, case-insensitive, or -1.
int findText(const char *text, int from, int to, const char *needle, bool ignoreCase)
{
    const int n = static_cast<int>(std::strlen(needle));
    for (int i = from; i + n <= to; ++i) {
        int k = 0;
        for (; k < n; ++k) {
            char a = text[i + k], b = needle[k];
            if (ignoreCase) {
                if (a >= 'A' && a <= 'Z')
                    a = static_cast<char>(a - 'A' + 'a');
                if (b >= 'A' && b <= 'Z')
                    b = static_cast<char>(b - 'A' + 'a');
            }
            if (a != b)
                break;
        }
        if (k == n)
            return i;
    }
    return -1;
}

// The Content-Length value of a header block [0, headerEnd), or 0 when none.
int contentLength(const char *answer, int headerEnd)
{
    int at = findText(answer, 0, headerEnd, "Content-Length:", true);
    if (at < 0)
        return 0;
    int i = at + 15;
    while (i < headerEnd && (answer[i] == ' ' || answer[i] == '\t'))
        ++i;
    long long value = 0;
    while (i < headerEnd && answer[i] >= '0' && answer[i] <= '9') {
        value = value * 10 + (answer[i++] - '0');
        if (value > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(value);
}

// Sends the composed request on the capture's connection, opened anew to
// host:requestPort. True when it went out and the connection is open; a
// failed connect is reported, a failed send closes the connection.
bool connectAndSend(CaptureState &s, const char *host, int length, bool requireAll)
{
    Connection &c = s.connection;
    if (!openConnection(c, host, s.requestPort, s.transport)) {
        if (!c.tlsFailed()) {  // a failed handshake has printed its own line
            std::printf("connect to server fail\n");
            std::fflush(stdout);
        }
        return false;
    }
    int sent = sendAll(c, s.requestText, length);
    if (sent < 0 || (requireAll && sent < length)) {
        closeConnection(c);
        return false;
    }
    return true;
}

// Receives an answer of at most kAnswerLimit bytes. With watchLength it stops
// once the header block and Content-Length bytes after it have arrived.
// Sets *exhausted when the loop ended on IO_FAILED or a full buffer.
int receiveAnswer(Connection &c, char *answer, bool watchLength, bool *exhausted)
{
    int total = 0;
    int headerEnd = -1;
    int length = 0;
    *exhausted = false;
    for (;;) {
        if (total >= kAnswerLimit) {
            *exhausted = true;
            break;
        }
        int n = receiveSome(c, answer + total, kAnswerLimit - total);
        if (n == IO_FAILED) {
            *exhausted = true;
            break;
        }
        const int before = total;
        total += n;
        if (!watchLength)
            continue;
        if (headerEnd < 0) {
            // Look back three bytes so a terminator split across two blocks
            // is found too.
            int from = before >= 3 ? before - 3 : 0;
            headerEnd = findText(answer, from, total, "\r\n\r\n", false);
            if (headerEnd >= 0)
                length = contentLength(answer, headerEnd);
        }
        if (headerEnd >= 0 && length > 0 && total - (headerEnd + 4) >= length)
            break;
    }
    return total;
}

int requestWithSlots(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                     int slotCount, bool *kept)
{
    int length = composeRequest(s, path, slots, slotCount);
    if (length < 0)
        return -1;
    if (!connectAndSend(s, host, length, false))
        return -1;
    bool exhausted = false;
    int total = receiveAnswer(s.connection, answer, true, &exhausted);
    if (kept && exhausted && total == kAnswerLimit)
        *kept = true;  // the caller goes on reading this stream
    else
        closeConnection(s.connection);
    return unchunkAnswer(s.chunked, answer, total);
}

}  // namespace

int httpFetch(CaptureState &s, char *answer, const char *hostPath)
{
    if (!answer || !hostPath)
        return -1;
    const char *slash = std::strchr(hostPath, '/');
    size_t hostLength = slash ? static_cast<size_t>(slash - hostPath) : std::strlen(hostPath);
    char host[kWorkingAddressSize];
    if (hostLength >= sizeof host)
        return -1;  // no host name is that long
    std::memcpy(host, hostPath, hostLength);
    host[hostLength] = '\0';

    TextBuilder b(s.requestText, sizeof s.requestText);
    addRequestLine(b, slash ? slash : "");
    b.add(kFetchHeaders);
    b.add("Host: ");
    b.add(host);
    b.add("\r\nConnection: close\r\n\r\n");
    if (!b.fits)
        return -1;

    if (!connectAndSend(s, host, static_cast<int>(b.len), false))
        return -1;
    std::memset(answer, 0, kAnswerLimit);
    bool exhausted = false;
    int total = receiveAnswer(s.connection, answer, false, &exhausted);
    closeConnection(s.connection);
    // The request says "Accept-Encoding: gzip, deflate": a compressed
    // answer is decoded in place, within the answer buffer's size.
    return decodeContentCoding(answer, unchunkAnswer(s.chunked, answer, total), kReceiveBufferSize + 1);
}

int httpRequest(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                int slotCount)
{
    if (!answer)
        return -1;
    return requestWithSlots(s, answer, host, path, slots, slotCount, nullptr);
}

int httpRequestKeep(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                    int slotCount, bool *kept)
{
    if (!answer || !kept)
        return -1;
    *kept = false;
    return requestWithSlots(s, answer, host, path, slots, slotCount, kept);
}

bool httpRequestFirst(CaptureState &s, char *answer, const char *host, const char *path, const HeaderSlot *slots,
                      int slotCount, int *count)
{
    if (!answer || !count)
        return false;
    int length = composeRequest(s, path, slots, slotCount);
    if (length < 0)
        return false;
    if (!connectAndSend(s, host, length, true))
        return false;
    int n = receiveSome(s.connection, answer, kAnswerLimit);
    if (n > 0) {
        *count = unchunkAnswer(s.chunked, answer, n);
        return true;
    }
    closeConnection(s.connection);
    return false;
}

}  // namespace netgrab

// GET over the library's connection primitives for the HLS route: one
// request per connection ("Connection: close"), the body delimited by
// Content-Length, the chunked framing (RFC 7230 section 4.1) or the close.
#include "hls_fetch.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "address_resolve.h"
#include "capture_state.h"
#include "connection.h"
#include "http_text.h"
#include "http_wire.h"
#include "netgrab.h"
#include "output_file.h"
#include "trace.h"

namespace netgrab {

namespace {

constexpr int kReceivePiece = 16384;

bool startsNoCase(const std::string &text, size_t at, const char *prefix)
{
    return startsWithNoCase(text.c_str() + at, prefix);
}

// The value of header `name` (with its colon) in the header block, blanks
// around it dropped; empty when missing.
std::string headerValue(const std::string &block, const char *name)
{
    for (size_t line = block.find('\n'); line != std::string::npos && line + 1 < block.size();
         line = block.find('\n', line + 1)) {
        if (!startsNoCase(block, line + 1, name))
            continue;
        size_t at = line + 1 + std::strlen(name);
        while (at < block.size() && (block[at] == ' ' || block[at] == '\t'))
            ++at;
        size_t end = block.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = block.size();
        while (end > at && (block[end - 1] == ' ' || block[end - 1] == '\t'))
            --end;
        return block.substr(at, end - at);
    }
    return std::string();
}

// "HTTP/1.x NNN ..." -> NNN, or 0.
int statusCode(const std::string &block)
{
    if (block.compare(0, 5, "HTTP/") != 0)
        return 0;
    const size_t space = block.find(' ');
    if (space == std::string::npos || space + 4 > block.size())
        return 0;
    int code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (block[i] < '0' || block[i] > '9')
            return 0;
        code = code * 10 + (block[i] - '0');
    }
    return code;
}

bool readLength(const std::string &text, uint64_t &out)
{
    if (text.empty() || text.size() > 18)
        return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    out = value;
    return true;
}

struct Answer
{
    FetchEnd end = FetchEnd::Done;
    std::string location;  // of a redirect
};

// One request on one connection.
Answer getOnce(CaptureState &s, const std::string &address, int64_t deadlineMs, uint64_t maxBytes, const BodySink &sink,
               FetchInfo &info)
{
    Answer result;
    std::string host, target;
    uint16_t port = 80;
    Transport transport = Transport::Tcp;
    if (!splitAbsoluteAddress(address, host, port, target, transport)) {
        traceFormat("hls: cannot fetch %.200s", address.c_str());
        result.end = FetchEnd::Failed;
        return result;
    }
    Connection &c = s.connection;
    if (!openConnection(c, host.c_str(), port, transport)) {
        traceFormat("hls: no connection to %.120s port %u", host.c_str(), port);
        // The connection has printed the certificate's fault; its error stays.
        result.end = c.tlsFailed() && shared().lastError == NG_ERR_UNTRUSTED ? FetchEnd::Untrusted : FetchEnd::Failed;
        return result;
    }
    struct Closer
    {
        Connection &c;
        ~Closer() { closeConnection(c); }
    } closer{c};

    std::string request = std::string(wire::kRequestLineStart) + target + wire::kRequestLineEnd;
    request +=
        "Host: " + host + (port != defaultWebPort(transport) ? ":" + std::to_string(port) : std::string()) + "\r\n";
    request += wire::kAcceptLine;
    request += wire::kUserAgentLine;
    request += "Connection: close\r\n\r\n";
    if (sendAll(c, request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size())) {
        result.end = FetchEnd::Failed;
        return result;
    }

    std::vector<char> buffer(kReceivePiece);
    std::string header;
    size_t headerEnd = std::string::npos;
    auto receive = [&](int &n) -> FetchEnd {
        if (steadyNowMs() > deadlineMs)
            return FetchEnd::TimedOut;
        n = receiveStream(c, buffer.data(), kReceivePiece);
        if (n > 0)
            return FetchEnd::Done;
        return s.stop.pending() ? FetchEnd::Stopped : FetchEnd::Failed;
    };

    // The header block.
    size_t separator = 4;
    while (headerEnd == std::string::npos) {
        int n = 0;
        const FetchEnd got = receive(n);
        if (got != FetchEnd::Done) {
            result.end = got;
            return result;
        }
        header.append(buffer.data(), static_cast<size_t>(n));
        headerEnd = header.find("\r\n\r\n");
        if (headerEnd == std::string::npos) {
            headerEnd = header.find("\n\n");
            separator = 2;
        } else {
            separator = 4;
        }
        if (headerEnd == std::string::npos && header.size() > kHlsHeaderMaxBytes) {
            traceFormat("hls: answer header longer than %zu bytes", kHlsHeaderMaxBytes);
            result.end = FetchEnd::Failed;
            return result;
        }
    }
    std::string body = header.substr(headerEnd + separator);
    header.resize(headerEnd + 2);
    info.status = statusCode(header);
    info.contentType = headerValue(header, "Content-Type:");
    info.finalAddress = address;
    if (info.status >= 300 && info.status < 400) {
        result.location = headerValue(header, "Location:");
        if (!result.location.empty())
            return result;
    }
    if (info.status != 200) {
        result.end = FetchEnd::HttpError;
        return result;
    }

    ChunkedDecoder chunked;
    chunked.active = headerSaysChunked(header.c_str(), static_cast<int>(header.size()));
    uint64_t length = 0;
    const bool hasLength = !chunked.active && readLength(headerValue(header, "Content-Length:"), length);
    if (hasLength && length > maxBytes) {
        result.end = FetchEnd::TooLarge;
        return result;
    }
    // Hands bytes[0, n) on; true while the body goes on.
    auto deliver = [&](char *bytes, int n, bool &ended) -> FetchEnd {
        if (chunked.active) {
            n = dechunkStream(chunked, bytes, n);
            ended = chunked.step == ChunkedStep::Done;
        }
        uint64_t take = static_cast<uint64_t>(n);
        if (hasLength && info.bodyBytes + take >= length) {
            take = length - info.bodyBytes;
            ended = true;
        }
        if (info.bodyBytes + take > maxBytes)
            return FetchEnd::TooLarge;
        info.bodyBytes += take;
        if (take > 0 && !sink(reinterpret_cast<const uint8_t *>(bytes), static_cast<size_t>(take)))
            return FetchEnd::Refused;
        return FetchEnd::Done;
    };
    bool ended = hasLength && length == 0;
    if (!body.empty() && !ended) {
        const FetchEnd got = deliver(&body[0], static_cast<int>(body.size()), ended);
        if (got != FetchEnd::Done) {
            result.end = got;
            return result;
        }
    }
    while (!ended) {
        if (s.stop.pending()) {
            result.end = FetchEnd::Stopped;
            return result;
        }
        int n = 0;
        const FetchEnd got = receive(n);
        if (got == FetchEnd::Failed && !hasLength && !chunked.active && !s.stop.pending())
            break;  // closed: the end
        if (got != FetchEnd::Done) {
            result.end = got;
            return result;
        }
        const FetchEnd delivered = deliver(buffer.data(), n, ended);
        if (delivered != FetchEnd::Done) {
            result.end = delivered;
            return result;
        }
    }
    return result;
}

}  // namespace

const char *fetchEndText(FetchEnd end)
{
    switch (end) {
    case FetchEnd::Done:
        return "done";
    case FetchEnd::Stopped:
        return "stopped";
    case FetchEnd::Failed:
        return "no answer";
    case FetchEnd::HttpError:
        return "refused";
    case FetchEnd::TooLarge:
        return "too large";
    case FetchEnd::TimedOut:
        return "timed out";
    case FetchEnd::Refused:
        return "not taken";
    case FetchEnd::Untrusted:
        return "certificate not trusted";
    }
    return "?";
}

std::string absoluteHttpAddress(const char *address, uint16_t port, Transport transport)
{
    // A scheme in the text wins over the transport the caller holds.
    const size_t schemeLength = webSchemeLength(address, &transport);
    std::string rest = address + schemeLength;
    const size_t hostEnd = rest.find_first_of("/?#");
    const size_t colon = rest.find(':');
    const bool named = colon != std::string::npos && (hostEnd == std::string::npos || colon < hostEnd);
    if (!named && port != defaultWebPort(transport) && port != 0 && port != 0xFFFF)
        rest.insert(hostEnd == std::string::npos ? rest.size() : hostEnd, ":" + std::to_string(port));
    return (transport == Transport::Tls ? wire::kHttpsScheme : wire::kHttpScheme) + rest;
}

bool splitAbsoluteAddress(const std::string &address, std::string &host, uint16_t &port, std::string &target,
                          Transport &transport)
{
    Transport named = Transport::Tcp;
    const size_t start = webSchemeLength(address.c_str(), &named);
    if (start == 0)
        return false;
    size_t end = address.find_first_of("/?#", start);
    if (end == std::string::npos)
        end = address.size();
    std::string authority = address.substr(start, end - start);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    port = defaultWebPort(named);
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']') == std::string::npos) {
        const std::string portText = authority.substr(colon + 1);
        authority.resize(colon);
        if (!portText.empty()) {
            uint64_t value = 0;
            if (!readLength(portText, value) || value == 0 || value > 65535)
                return false;
            port = static_cast<uint16_t>(value);
        }
    }
    host = authority;
    if (host.empty() || host.find_first_of("[] \t\r\n") != std::string::npos)
        return false;
    size_t fragment = address.find('#', end);
    target = address.substr(end, fragment == std::string::npos ? std::string::npos : fragment - end);
    if (target.empty() || target[0] != '/')
        target.insert(0, "/");
    if (target.find_first_of(" \t\r\n") != std::string::npos)
        return false;
    transport = named;
    return true;
}

FetchEnd hlsGet(CaptureState &s, const std::string &address, int64_t deadlineMs, uint64_t maxBytes,
                const BodySink &sink, FetchInfo &info)
{
    std::string current = address;
    for (int hop = 0;; ++hop) {
        info = FetchInfo();
        Answer answer = getOnce(s, current, deadlineMs, maxBytes, sink, info);
        if (answer.location.empty())
            return answer.end;
        if (s.stop.pending())
            return FetchEnd::Stopped;
        if (hop >= wire::kMaxRedirects) {
            traceFormat("hls: more than %d redirects, giving up", wire::kMaxRedirects);
            return FetchEnd::Failed;
        }
        char next[2048];
        if (!resolveAddress(current.c_str(), answer.location.c_str(), next, sizeof next)) {
            traceFormat("hls: redirect to an unusable address %.200s", answer.location.c_str());
            return FetchEnd::Failed;
        }
        current = next;
        traceFormat("hls: redirected to %.200s", current.c_str());
    }
}

}  // namespace netgrab

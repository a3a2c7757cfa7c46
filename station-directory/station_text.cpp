#include "station_text.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace stationdir {

std::string boundedText(const std::string &text, std::size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    for (unsigned char c : text)
        out += (c < 0x20 || c == 0x7f) ? ' ' : static_cast<char>(c);
    const auto b = out.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    out.erase(0, b);
    if (out.size() > maxBytes) {
        std::size_t cut = maxBytes;
        // Back up over continuation bytes to the start of a sequence.
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

namespace {

std::string addressWithScheme(const std::string &address, std::initializer_list<const char *> schemes)
{
    if (address.empty() || address.size() > kMaxAddressBytes)
        return {};
    if (std::any_of(address.begin(), address.end(),
                    [](unsigned char c) { return c <= 0x20 || c == 0x7f || c == '"' || c == '<' || c == '>'; }))
        return {};
    const auto colon = address.find("://");
    if (colon == std::string::npos)
        return {};
    std::string scheme = address.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (std::find_if(schemes.begin(), schemes.end(), [&](const char *s) { return scheme == s; }) == schemes.end())
        return {};
    const std::string rest = address.substr(colon + 3);
    if (rest.empty() || rest[0] == '/' || rest[0] == '?' || rest[0] == '#')
        return {};
    return address;
}

}  // namespace

std::string networkAddress(const std::string &address)
{
    return addressWithScheme(address, {"http", "https", "mms", "mmsh", "rtsp"});
}

std::string webAddress(const std::string &address)
{
    return addressWithScheme(address, {"http", "https"});
}

}  // namespace stationdir

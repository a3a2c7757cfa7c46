#include "station_playlist.h"

#include <cctype>
#include <map>
#include <sstream>

#include "station_text.h"

namespace stationdir {

namespace {

constexpr std::size_t kMaxEntries = 200000;

Station entry(const std::string &address, const std::string &title, const std::string &location)
{
    Station s;
    s.stream = networkAddress(boundedText(address, kMaxAddressBytes));
    s.name = boundedText(title, kMaxNameBytes);
    if (s.name.empty())
        s.name = boundedText(s.stream, kMaxNameBytes);
    s.location = boundedText(location, kMaxShortTextBytes);
    return s;
}

bool startsWithNoCase(const std::string &s, const std::string &prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

}  // namespace

std::vector<Station> parsePlaylist(const std::string &text, PlaylistFormat format, const std::string &location,
                                   std::size_t *skipped)
{
    std::vector<Station> out;
    std::size_t dropped = 0;
    auto add = [&](const std::string &address, const std::string &title) {
        Station s = entry(address, title, location);
        if (s.stream.empty() || out.size() >= kMaxEntries)
            ++dropped;
        else
            out.push_back(std::move(s));
    };
    std::istringstream in(text);
    std::string line;
    if (format == PlaylistFormat::M3u) {
        std::string title;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.rfind("\xEF\xBB\xBF", 0) == 0)
                line.erase(0, 3);
            if (startsWithNoCase(line, "#extinf:")) {
                const auto comma = line.find(',');
                title = comma == std::string::npos ? std::string() : line.substr(comma + 1);
            } else if (!line.empty() && line[0] != '#' && !boundedText(line, kMaxAddressBytes).empty()) {
                add(line, title);
                title.clear();
            }
        }
    } else {
        std::map<long, std::pair<std::string, std::string>> entries;  // N -> address, title
        while (std::getline(in, line) && entries.size() <= kMaxEntries) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const bool isFile = startsWithNoCase(line, "file"), isTitle = startsWithNoCase(line, "title");
            if (!isFile && !isTitle)
                continue;
            const std::string digits = line.substr(isFile ? 4 : 5, eq - (isFile ? 4 : 5));
            if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            auto &e = entries[std::stol(digits)];
            (isFile ? e.first : e.second) = line.substr(eq + 1);
        }
        for (const auto &[n, e] : entries) {
            (void)n;
            if (!e.first.empty())
                add(e.first, e.second);
        }
    }
    if (skipped)
        *skipped = dropped;
    return out;
}

}  // namespace stationdir

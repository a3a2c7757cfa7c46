#include "station_list.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace stationdir {

namespace {

std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

std::string trim(const std::string &s)
{
    auto b = s.find_first_not_of(" \r\n");
    if (b == std::string::npos)
        return {};
    auto e = s.find_last_not_of(" \r\n");
    return s.substr(b, e - b + 1);
}

bool allDigits(const std::string &s)
{
    return !s.empty() && s.size() <= 9
        && std::all_of(s.begin(), s.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

bool hasControlChars(const std::string &s)
{
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

}  // namespace

Station::Demo Station::demo() const
{
    static const struct
    {
        const char *prefix;
        Demo kind;
    } kinds[] = {{"tone:", Demo::Mp3}, {"wma:", Demo::Wma}, {"asx:", Demo::Asx}};
    for (const auto &k : kinds) {
        const std::string prefix = k.prefix;
        if (stream.compare(0, prefix.size(), prefix) == 0)
            return k.kind;
    }
    return Demo::None;
}

int Station::toneHz() const
{
    if (demo() == Demo::None)
        return 0;
    const std::string digits = stream.substr(stream.find(':') + 1);
    if (!allDigits(digits) || digits.size() > 5)
        return 0;
    const int hz = std::stoi(digits);
    return (hz >= 20 && hz <= 20000) ? hz : 0;
}

StationListResult parseStationList(const std::string &text)
{
    StationListResult result;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (trim(raw).empty() || raw[0] == '#')
            continue;
        auto f = splitTabs(raw);
        for (auto &field : f)
            field = trim(field);
        auto fail = [&](const std::string &why) {
            result.errors.push_back("line " + std::to_string(lineNo) + ": " + why);
        };
        if (f.size() < 6) {
            fail("needs at least id, name, location, genre, rate and stream");
            continue;
        }
        f.resize(7);
        Station s;
        s.id = f[0];
        s.name = f[1];
        s.location = f[2];
        s.genre = f[3];
        s.rate = f[4];
        s.stream = f[5];
        s.homepage = f[6];
        if (!allDigits(s.id)) {
            fail("id is not decimal digits");
            continue;
        }
        if (s.name.empty() || s.stream.empty()) {
            fail("name and stream must not be empty");
            continue;
        }
        bool bad = false;
        for (const auto &field : f)
            bad = bad || hasControlChars(field);
        if (bad) {
            fail("control characters in a field");
            continue;
        }
        if (s.demo() != Station::Demo::None && s.toneHz() == 0) {
            fail("tone frequency must be 20..20000 Hz");
            continue;
        }
        if (findStation(result.stations, s.id)) {
            fail("duplicate id " + s.id);
            continue;
        }
        result.stations.push_back(std::move(s));
    }
    return result;
}

std::optional<StationListResult> loadStationList(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return parseStationList(text.str());
}

namespace {
template <typename Get>
std::vector<std::string> distinct(const std::vector<Station> &stations, Get get)
{
    std::vector<std::string> out;
    for (const auto &s : stations) {
        const std::string &v = get(s);
        if (!v.empty() && std::find(out.begin(), out.end(), v) == out.end())
            out.push_back(v);
    }
    return out;
}
}  // namespace

std::vector<std::string> distinctLocations(const std::vector<Station> &stations)
{
    return distinct(stations, [](const Station &s) -> const std::string & { return s.location; });
}

std::vector<std::string> distinctGenres(const std::vector<Station> &stations)
{
    return distinct(stations, [](const Station &s) -> const std::string & { return s.genre; });
}

const Station *findStation(const std::vector<Station> &stations, const std::string &id)
{
    for (const auto &s : stations)
        if (s.id == id)
            return &s;
    return nullptr;
}

}  // namespace stationdir

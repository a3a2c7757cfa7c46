#include "hit_log.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace stationdir {

namespace {

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        auto p = s.find(sep, start);
        out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return out;
        start = p + 1;
    }
}

bool digitsOnly(const std::string &s, std::size_t maxLen)
{
    return s.size() <= maxLen && std::all_of(s.begin(), s.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::int64_t> seconds(const std::string &s)
{
    // Up to 12 digits: far beyond any date a player sends, far below overflow.
    if (s.empty() || !digitsOnly(s, 12))
        return std::nullopt;
    return std::stoll(s);
}

bool safePeer(const std::string &s)
{
    return s.size() <= 64 && std::all_of(s.begin(), s.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == ':' || c == '[' || c == ']';
           });
}

}  // namespace

std::optional<HitReport> parseHitQuery(const std::string &query)
{
    const auto f = split(query, '&');
    if (f.size() != 5 || f[0] != "PCAP1000" || f[2] != "0" || !digitsOnly(f[1], 9))
        return std::nullopt;
    auto start = seconds(f[3]);
    auto end = seconds(f[4]);
    if (!start || !end)
        return std::nullopt;
    HitReport r;
    r.stationId = f[1];
    r.start = *start;
    r.end = *end;
    return r;
}

bool HitLog::append(const HitReport &report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::ofstream out(path_, std::ios::app | std::ios::binary);
    if (!out)
        return false;
    out << report.received << '\t' << report.stationId << '\t' << report.start << '\t' << report.end << '\t'
        << (safePeer(report.peer) ? report.peer : std::string("?")) << '\n';
    out.flush();
    return static_cast<bool>(out);
}

std::vector<HitReport> HitLog::read() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HitReport> out;
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto f = split(line, '\t');
        if (f.size() != 5 || !digitsOnly(f[1], 9))
            continue;
        auto received = seconds(f[0]);
        auto start = seconds(f[2]);
        auto end = seconds(f[3]);
        if (!received || !start || !end)
            continue;
        out.push_back(HitReport{f[1], *start, *end, *received, f[4]});
    }
    return out;
}

}  // namespace stationdir

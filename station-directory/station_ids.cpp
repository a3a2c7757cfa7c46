#include "station_ids.h"

#include <algorithm>
#include <fstream>
#include <unordered_set>

namespace stationdir {

namespace {
constexpr std::size_t kMaxKeyBytes = 2100;
constexpr std::int64_t kLastId = 999999999;  // nine digits, as station ids are
}  // namespace

std::string stationKey(const Station &station)
{
    return station.uuid.empty() ? "url:" + station.stream : station.uuid;
}

StationIds::StationIds(std::string path) : path_(std::move(path))
{
    load();
}

void StationIds::load()
{
    if (path_.empty())
        return;
    std::ifstream in(path_, std::ios::binary);
    std::unordered_set<std::int64_t> used;
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab > 9 || tab + 1 >= line.size()
            || line.size() - tab - 1 > kMaxKeyBytes)
            continue;
        const std::string digits = line.substr(0, tab);
        if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::int64_t id = std::stoll(digits);
        std::string key = line.substr(tab + 1);
        if (id < kFirstId || used.count(id) || ids_.count(key))
            continue;
        used.insert(id);
        ids_.emplace(std::move(key), id);
        next_ = std::max(next_, id + 1);
    }
}

bool StationIds::assign(std::vector<Station> &stations)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string added;
    for (auto &s : stations) {
        std::string key = stationKey(s);
        if (key.size() > kMaxKeyBytes || key.find_first_of("\r\n") != std::string::npos) {
            s.id.clear();
            continue;
        }
        auto it = ids_.find(key);
        if (it == ids_.end()) {
            if (next_ > kLastId) {
                s.id.clear();
                continue;
            }
            it = ids_.emplace(key, next_++).first;
            added += std::to_string(it->second) + '\t' + key + '\n';
        }
        s.id = std::to_string(it->second);
    }
    if (added.empty() || path_.empty())
        return true;
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << added;
    out.flush();
    return static_cast<bool>(out);
}

std::size_t StationIds::size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ids_.size();
}

}  // namespace stationdir

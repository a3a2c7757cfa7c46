#include "catalog.h"

#include <algorithm>
#include <cctype>

namespace stationdir {

namespace {

const StationGroup *findGroup(const std::vector<StationGroup> &groups, const std::string &key)
{
    for (const auto &g : groups)
        if (g.key == key)
            return &g;
    return nullptr;
}

}  // namespace

Catalog::Catalog(std::vector<Station> stations, const CatalogOptions &options, std::string status)
    : options_(options),
      status_(std::move(status))
{
    stations_.reserve(stations.size());
    for (auto &s : stations) {
        if (s.id.empty() || (!s.checkedOk && !options.includeBroken) || byId_.count(s.id))
            continue;
        byId_.emplace(s.id, static_cast<std::uint32_t>(stations_.size()));
        stations_.push_back(std::move(s));
    }
    stations_.shrink_to_fit();
    if (options.searchable) {
        folded_.reserve(stations_.size());
        for (const auto &st : stations_)
            folded_.push_back(foldForSearch(st.name));
    }

    byVotes_.resize(stations_.size());
    for (std::uint32_t i = 0; i < byVotes_.size(); ++i)
        byVotes_[i] = i;
    std::stable_sort(byVotes_.begin(), byVotes_.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return stations_[a].votes > stations_[b].votes; });

    // Groups are filled walking the stations by votes, so their members
    // come out in that order.
    std::unordered_map<std::string, std::size_t> locationAt, genreAt;
    auto groupOf = [](std::vector<StationGroup> &groups, std::unordered_map<std::string, std::size_t> &at,
                      const std::string &key) -> StationGroup & {
        auto it = at.find(key);
        if (it == at.end()) {
            it = at.emplace(key, groups.size()).first;
            groups.push_back(StationGroup{key, {}, {}});
        }
        return groups[it->second];
    };
    // First-seen order is the order of the list, not of the votes.
    for (const auto &s : stations_) {
        if (!s.location.empty())
            groupOf(locations_, locationAt, s.location).countryCode = s.countryCode;
        if (s.tags.empty() && !s.genre.empty())
            groupOf(genres_, genreAt, s.genre);
        for (const auto &tag : s.tags)
            groupOf(genres_, genreAt, tag);
    }
    for (const std::uint32_t i : byVotes_) {
        const Station &s = stations_[i];
        if (!s.location.empty())
            locations_[locationAt[s.location]].members.push_back(i);
        if (s.tags.empty() && !s.genre.empty())
            genres_[genreAt[s.genre]].members.push_back(i);
        for (const auto &tag : s.tags)
            genres_[genreAt[tag]].members.push_back(i);
    }
    if (options.sortLocations)
        std::sort(locations_.begin(), locations_.end(),
                  [](const StationGroup &a, const StationGroup &b) { return a.key < b.key; });
    if (options.topGenres > 0) {
        std::stable_sort(genres_.begin(), genres_.end(), [](const StationGroup &a, const StationGroup &b) {
            return a.members.size() > b.members.size();
        });
        if (genres_.size() > options.topGenres)
            genres_.resize(options.topGenres);
    }
}

const Station *Catalog::find(const std::string &id) const
{
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &stations_[it->second];
}

const StationGroup *Catalog::location(const std::string &key) const
{
    return findGroup(locations_, key);
}

const StationGroup *Catalog::genre(const std::string &key) const
{
    return findGroup(genres_, key);
}

std::string foldForSearch(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace stationdir

#pragma once
// The stations a source serves, indexed for the pages: by id, by location
// and by genre, each group ordered by votes (most first; the list order
// among equals). Built once per load and shared read-only.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "station_list.h"

namespace stationdir {

struct CatalogOptions
{
    // Locations by name instead of in first-seen order.
    bool sortLocations = false;
    // Genres by station count (most first) and only so many; 0 = all, in
    // first-seen order.
    std::size_t topGenres = 0;
    // Stations whose last check failed are listed too.
    bool includeBroken = false;
    // The list pages offer a search by name.
    bool searchable = false;
};

struct StationGroup
{
    std::string key;                     // location or genre as the station data names it
    std::string countryCode;             // of a location, when the data gives one
    std::vector<std::uint32_t> members;  // indices into Catalog::stations()
};

class Catalog
{
public:
    // Stations without an id, or with the id of one before them, are left out.
    Catalog(std::vector<Station> stations, const CatalogOptions &options, std::string status = {});

    const std::vector<Station> &stations() const { return stations_; }
    const Station *find(const std::string &id) const;
    const std::vector<StationGroup> &locations() const { return locations_; }
    const std::vector<StationGroup> &genres() const { return genres_; }
    const StationGroup *location(const std::string &key) const;
    const StationGroup *genre(const std::string &key) const;
    // Every station, ordered as a group's members are.
    const std::vector<std::uint32_t> &byVotes() const { return byVotes_; }
    bool searchable() const { return options_.searchable; }
    // Whether station i's name holds the text; folded is foldForSearch(text).
    bool nameContains(std::uint32_t i, const std::string &folded) const
    {
        return folded.empty() || folded_[i].find(folded) != std::string::npos;
    }
    // Where the list comes from or why it is empty, for the pages.
    const std::string &status() const { return status_; }

private:
    CatalogOptions options_;
    std::vector<Station> stations_;
    std::unordered_map<std::string, std::uint32_t> byId_;
    std::vector<StationGroup> locations_, genres_;
    std::vector<std::uint32_t> byVotes_;
    std::vector<std::string> folded_;  // the names, folded for the search
    std::string status_;
};

// The text with ASCII letters in lower case: the search by name ignores
// their case.
std::string foldForSearch(std::string text);

}  // namespace stationdir

#pragma once
// Stable numeric ids for stations known by a key (a Radio Browser
// stationuuid, or the address of a playlist entry). The player stores a
// station id as a number, so each key keeps the number it got first, in
// a text file in the cache folder, one "ID<TAB>KEY" line per station.

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "station_list.h"

namespace stationdir {

class StationIds
{
public:
    // The first id handed out; below it are the ids of hand-written lists.
    static constexpr std::int64_t kFirstId = 100001;

    // path "" keeps the map in memory only. Lines that are not a well-formed
    // "ID<TAB>KEY" are ignored, and so is a second line for a key or an id.
    explicit StationIds(std::string path);

    // Sets the id of every station from its key (uuid, else "url:" and its
    // stream address), giving new keys the next free numbers and appending
    // them to the file in one write. False when the file cannot be written
    // (the ids still hold for this run).
    bool assign(std::vector<Station> &stations);
    std::size_t size() const;

private:
    void load();

    std::string path_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::int64_t> ids_;
    std::int64_t next_ = kFirstId;
};

// The key a station is known by in StationIds.
std::string stationKey(const Station &station);

}  // namespace stationdir

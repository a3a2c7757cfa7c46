#pragma once
// Where the directory's stations come from. A source hands out its current
// catalog (shared, read-only) and hears when the player played one of its
// stations. Sources: a station file (the TSV list, a saved Radio Browser
// JSON export, an M3U or PLS playlist) and the live Radio Browser API.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalog.h"

namespace stationdir {

class StationSource
{
public:
    virtual ~StationSource() = default;
    // False (with *error) when there is nothing to serve at all.
    virtual bool start(std::string *error) = 0;
    virtual void stop() {}
    // Never null after a successful start.
    virtual std::shared_ptr<const Catalog> catalog() = 0;
    // Lines of the source that were skipped, and why.
    virtual std::vector<std::string> warnings() { return {}; }
    // A listening report named this station.
    virtual void played(const Station &) {}
    // For the start-up line: where the stations come from.
    virtual std::string describe() const = 0;
};

// A station file, read again when it changes. The format follows the name:
// ".json" a saved Radio Browser export, ".m3u"/".m3u8" and ".pls"
// playlists, anything else the TSV station list. Stations of the JSON and
// playlist files get their ids from the id map in cacheDir.
std::unique_ptr<StationSource> makeFileSource(const std::string &path, const std::string &cacheDir, bool includeBroken);

// The options the pages of Radio Browser data share (sorted countries,
// the most common tags as genres, a search box).
CatalogOptions radioBrowserCatalogOptions(bool includeBroken);

}  // namespace stationdir

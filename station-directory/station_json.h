#pragma once
// Radio Browser station objects (an API answer or a saved export: a JSON
// array of station objects) read into stations. The text is data from
// outside: fields of the wrong type count as absent, texts are bounded,
// a station needs a stationuuid, a name and a network address.

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "station_list.h"

namespace stationdir {

struct StationJsonLimits
{
    std::size_t maxStations = 200000;
    std::size_t maxDepth = 32;
};

struct StationJsonResult
{
    bool ok = false;                // false: the text as a whole was refused
    std::string error;              // why, when !ok
    std::vector<Station> stations;  // ids left empty (see StationIds)
    std::size_t skipped = 0;        // entries without a usable uuid, name or address
};

StationJsonResult parseStationJson(const std::string &text, const StationJsonLimits &limits = {});
// The same, read as it comes from the stream (a saved export need not be
// held whole in memory).
StationJsonResult parseStationJson(std::istream &in, const StationJsonLimits &limits = {});

// Host names (with an optional ":port") of a /json/servers answer: an
// array of objects with a "name". Anything else in the answer is ignored.
std::vector<std::string> parseServerList(const std::string &text);

}  // namespace stationdir

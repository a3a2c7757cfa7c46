#pragma once
// The directory's station list: a UTF-8 text file, one station per line,
// fields separated by TAB (format documented in data/stations.tsv).

#include <optional>
#include <string>
#include <vector>

namespace stationdir {

struct Station
{
    std::string id;  // decimal digits
    std::string name;
    std::string location;
    std::string genre;
    std::string rate;
    std::string stream;    // "tone:HZ", "wma:HZ", "asx:HZ" or an absolute address
    std::string homepage;  // "" = none; "/…" = on the directory itself
    // Stations of a Radio Browser source: its stationuuid, votes, whether
    // its last check passed, and the tags it is listed under as a genre
    // (empty: the genre field alone).
    std::string uuid;
    long votes = 0;
    bool checkedOk = true;
    std::string countryCode;
    std::vector<std::string> tags;

    // The demo streams the directory makes itself.
    enum class Demo { None, Mp3, Wma, Asx };
    Demo demo() const;
    // Frequency of a demo stream (any kind), or 0 when the stream is an address.
    int toneHz() const;
};

struct StationListResult
{
    std::vector<Station> stations;
    std::vector<std::string> errors;  // "line N: why", one per skipped line
};

// Parses the list text. Bad lines are skipped and named in errors; a
// duplicate id keeps the first line.
StationListResult parseStationList(const std::string &text);

// Reads and parses the file; nullopt when it cannot be read.
std::optional<StationListResult> loadStationList(const std::string &path);

// Distinct values in first-seen order.
std::vector<std::string> distinctLocations(const std::vector<Station> &stations);
std::vector<std::string> distinctGenres(const std::vector<Station> &stations);

const Station *findStation(const std::vector<Station> &stations, const std::string &id);

}  // namespace stationdir

#pragma once
// The hit log: listening reports sent by players as
//   GET /cgi-bin/hlog?PCAP1000&<station id>&0&<start>&<end>
// with start and end in whole seconds since 1970-01-01 UTC. Each accepted
// report is appended to a text file, one TAB-separated line:
//   <received, seconds since 1970 UTC> <station id> <start> <end> <peer address>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace stationdir {

struct HitReport
{
    std::string stationId;  // decimal digits, may be empty
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t received = 0;
    std::string peer;
};

// Parses the raw query string (the text after "?"); nullopt when it is not
// a well-formed report.
std::optional<HitReport> parseHitQuery(const std::string &query);

class HitLog
{
public:
    explicit HitLog(std::string path) : path_(std::move(path)) {}
    const std::string &path() const { return path_; }

    // Appends one line; false when the file cannot be written.
    bool append(const HitReport &report);
    // Every well-formed line of the file, oldest first.
    std::vector<HitReport> read() const;

private:
    std::string path_;
    mutable std::mutex mutex_;
};

}  // namespace stationdir

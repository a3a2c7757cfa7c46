#pragma once
// The live Radio Browser source: the whole station list fetched from the
// API (the given server first, then its mirrors from /json/servers), kept
// in the cache folder and fetched again when older than the age limit. A
// restart or a lost network serves the cached list. Plays are counted
// through the API's click endpoint, at most once per station per day.

#include <chrono>
#include <memory>
#include <string>

#include "http_fetch.h"
#include "station_source.h"

namespace stationdir {

struct RadioBrowserOptions
{
    std::string baseUrl = "https://all.api.radio-browser.info";
    std::string cacheDir;
    std::chrono::seconds maxAge{std::chrono::hours(24)};
    // After a failed fetch, the next try.
    std::chrono::seconds retryAfter{std::chrono::minutes(10)};
    FetchLimits limits;
    FetchLimits clickLimits{std::chrono::milliseconds(5000), std::chrono::milliseconds(5000),
                            std::chrono::milliseconds(10000), 64u << 10};
    bool includeBroken = false;
};

// "VexaRadio-station-directory/<version>", sent with every request.
std::string directoryUserAgent();

std::unique_ptr<StationSource> makeRadioBrowserSource(RadioBrowserOptions options);

}  // namespace stationdir

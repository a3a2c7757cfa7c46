// Writes a saved Radio Browser export of N made-up stations with every
// field a real answer has, for the directory benchmark:
//   station_export FILE N
// 200 countries (a few large, many small), 1 to 5 tags each from 400,
// names in Latin and Chinese script, a tenth of the stations broken.
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: station_export FILE N\n");
        return 2;
    }
    const long n = std::atol(argv[2]);
    std::mt19937 rng(42);
    auto pick = [&](int size) {
        // Zipf-like: small indices far more often.
        std::uniform_real_distribution<double> u(0, 1);
        return static_cast<int>(std::pow(u(rng), 3.0) * size);
    };
    const char *words[] = {"Radio", "FM",   "Classic", "Hits",  "Jazz", "Rock", "News", "City",   "Live",  "Wave",
                           "電台",  "音樂", "新闻",    "Sound", "Star", "Nova", "Info", "Kultur", "Musik", "Latino"};
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << "[";
    for (long i = 0; i < n; ++i) {
        const int country = pick(200);
        std::string name = words[rng() % 20];
        for (int w = 0; w < 2 + static_cast<int>(rng() % 3); ++w)
            name += std::string(" ") + words[rng() % 20];
        name += " " + std::to_string(i);
        std::string tags;
        for (int t = 0, k = 1 + static_cast<int>(rng() % 5); t < k; ++t)
            tags += (t ? "," : "") + std::string("tag") + std::to_string(pick(400));
        char uuid[48];
        std::snprintf(uuid, sizeof uuid, "%08lx-0601-11e8-ae97-%012lx", i * 2654435761ul % 0xffffffff, i);
        const std::string host = "stream" + std::to_string(i % 997) + ".example.net";
        nlohmann::json s = {
            {"changeuuid", uuid},
            {"stationuuid", uuid},
            {"serveruuid", nullptr},
            {"name", name},
            {"url", "http://" + host + ":8000/live" + std::to_string(i)},
            {"url_resolved", "http://" + host + ":8000/live" + std::to_string(i) + ".mp3"},
            {"homepage", "https://www.station" + std::to_string(i) + ".example.org/"},
            {"favicon", "https://www.station" + std::to_string(i) + ".example.org/favicon-192x192.png"},
            {"tags", tags},
            {"country", "Country " + std::to_string(country)},
            {"countrycode", std::string(1, char('A' + country / 26 % 26)) + char('A' + country % 26)},
            {"iso_3166_2", nullptr},
            {"state", "State " + std::to_string(rng() % 50)},
            {"language", "english,german"},
            {"languagecodes", "en,de"},
            {"votes", static_cast<int>(rng() % 5000)},
            {"lastchangetime", "2024-01-15 10:20:30"},
            {"lastchangetime_iso8601", "2024-01-15T10:20:30Z"},
            {"codec", "MP3"},
            {"bitrate", 64 + 32 * static_cast<int>(rng() % 6)},
            {"hls", 0},
            {"lastcheckok", rng() % 10 == 0 ? 0 : 1},
            {"lastchecktime", "2024-06-01 08:00:00"},
            {"lastchecktime_iso8601", "2024-06-01T08:00:00Z"},
            {"lastcheckoktime", "2024-06-01 08:00:00"},
            {"lastcheckoktime_iso8601", "2024-06-01T08:00:00Z"},
            {"lastlocalchecktime", "2024-06-01 08:00:00"},
            {"lastlocalchecktime_iso8601", "2024-06-01T08:00:00Z"},
            {"clicktimestamp", "2024-06-01 07:59:00"},
            {"clicktimestamp_iso8601", "2024-06-01T07:59:00Z"},
            {"clickcount", static_cast<int>(rng() % 1000)},
            {"clicktrend", 0},
            {"ssl_error", 0},
            {"geo_lat", 50.1},
            {"geo_long", 8.6},
            {"has_extended_info", false},
        };
        out << (i ? "," : "") << s.dump();
    }
    out << "]";
    return out ? 0 : 1;
}

#include "radio_browser.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <unordered_map>

#include <sys/stat.h>

#include "files.h"
#include "station_ids.h"
#include "station_json.h"

namespace stationdir {

namespace {

std::int64_t today()
{
    return static_cast<std::int64_t>(std::time(nullptr)) / 86400;
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string utcText(std::time_t t)
{
    std::tm tm{};
    char buf[32] = "?";
    if (gmtime_r(&t, &tm))
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
    return buf;
}

class RadioBrowserSource : public StationSource
{
public:
    explicit RadioBrowserSource(RadioBrowserOptions options)
        : o_(std::move(options)),
          dir_(o_.cacheDir + "/radio-browser"),
          ids_(o_.cacheDir + "/station-ids.tsv"),
          server_(o_.baseUrl)
    {
    }

    ~RadioBrowserSource() override { stop(); }

    bool start(std::string *error) override
    {
        if (!makeDirs(dir_)) {
            *error = "cannot make the cache folder " + dir_;
            return false;
        }
        loadClicks();
        struct stat st
        {};
        bool fresh = false;
        if (stat(stationsPath().c_str(), &st) == 0) {
            std::string status;
            std::ifstream saved(stationsPath(), std::ios::binary);
            auto stations = accept(parseStationJson(saved), &status);
            if (stations) {
                setCatalog(std::move(*stations), "Stations of " + utcText(st.st_mtime) + " (saved copy).");
                fresh = std::time(nullptr) - st.st_mtime < static_cast<std::time_t>(o_.maxAge.count());
            }
        }
        if (!catalog())
            setCatalog({}, "The station list is being fetched from " + o_.baseUrl + ". Try again in a moment.");
        fetcher_ = std::thread([this, fresh] { fetchLoop(fresh); });
        clicker_ = std::thread([this] { clickLoop(); });
        return true;
    }

    void stop() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        if (fetcher_.joinable())
            fetcher_.join();
        if (clicker_.joinable())
            clicker_.join();
    }

    std::shared_ptr<const Catalog> catalog() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return catalog_;
    }

    void played(const Station &station) override
    {
        if (station.uuid.empty())
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        auto &day = clicked_[station.uuid];
        if (day == today())
            return;
        day = today();
        std::ofstream(clicksPath(), std::ios::binary | std::ios::app) << day << '\t' << station.uuid << '\n';
        clicks_.push_back(station.uuid);
        cv_.notify_all();
    }

    std::string describe() const override { return "Radio Browser at " + o_.baseUrl; }

private:
    std::string stationsPath() const { return dir_ + "/stations.json"; }
    std::string serversPath() const { return dir_ + "/servers.txt"; }
    std::string clicksPath() const { return dir_ + "/clicks.tsv"; }

    std::optional<std::vector<Station>> accept(StationJsonResult parsed, std::string *why)
    {
        if (!parsed.ok) {
            *why = parsed.error;
            return std::nullopt;
        }
        if (parsed.stations.empty()) {
            *why = "no usable stations in the answer";
            return std::nullopt;
        }
        ids_.assign(parsed.stations);
        return std::move(parsed.stations);
    }

    void setCatalog(std::vector<Station> stations, std::string status)
    {
        auto next = std::make_shared<const Catalog>(std::move(stations), radioBrowserCatalogOptions(o_.includeBroken),
                                                    std::move(status));
        std::lock_guard<std::mutex> lock(mutex_);
        catalog_ = std::move(next);
    }

    // Waits until the time or stop; false when stopping.
    bool waitFor(std::chrono::seconds delay)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return !cv_.wait_for(lock, delay, [this] { return stopping_.load(); });
    }

    void fetchLoop(bool fresh)
    {
        if (fresh && !waitFor(o_.maxAge))
            return;
        for (;;) {
            const bool ok = refresh();
            if (!waitFor(ok ? o_.maxAge : o_.retryAfter))
                return;
        }
    }

    std::string mirrorUrl(const std::string &name) const
    {
        const auto scheme = o_.baseUrl.substr(0, o_.baseUrl.find("://"));
        return scheme + "://" + name;
    }

    // One pass over the servers: the given one, then the mirrors it (or a
    // previous run) named. True when a list was taken.
    bool refresh()
    {
        std::vector<std::string> candidates{o_.baseUrl};
        std::istringstream saved(readWhole(serversPath()));
        for (std::string line; std::getline(saved, line);)
            if (!line.empty())
                candidates.push_back(line);
        const std::string path = o_.includeBroken ? "/json/stations?order=votes&reverse=true"
                                                  : "/json/stations?hidebroken=true&order=votes&reverse=true";
        const std::string ua = directoryUserAgent();
        std::string errors;
        bool askedForMirrors = false;
        for (std::size_t i = 0; i < candidates.size() && !stopping_; ++i) {
            const std::string server = candidates[i];  // a copy: mirrors are appended below
            bool seen = false;
            for (std::size_t j = 0; j < i; ++j)
                seen = seen || candidates[j] == server;
            if (seen)
                continue;
            auto answer = fetchBounded(server, path, ua, o_.limits, &stopping_);
            std::string why = answer.error;
            if (answer.ok) {
                if (auto stations = accept(parseStationJson(answer.body), &why)) {
                    writeFileAtomically(stationsPath(), answer.body);
                    answer.body = std::string();
                    setCatalog(std::move(*stations), "Stations of " + utcText(std::time(nullptr)) + ".");
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        server_ = server;
                    }
                    return true;
                }
            }
            errors += (errors.empty() ? "" : "; ") + server + ": " + why;
            std::fprintf(stderr, "station-directory: %s: %s\n", server.c_str(), why.c_str());
            if (!askedForMirrors) {
                askedForMirrors = true;
                auto servers = fetchBounded(server, "/json/servers", ua, o_.clickLimits, &stopping_);
                if (servers.ok) {
                    std::string list;
                    for (const auto &name : parseServerList(servers.body)) {
                        candidates.push_back(mirrorUrl(name));
                        list += mirrorUrl(name) + '\n';
                    }
                    if (!list.empty())
                        writeFileAtomically(serversPath(), list);
                }
            }
        }
        if (catalog()->stations().empty())
            setCatalog({}, "The station list cannot be fetched (" + errors + ").");
        return false;
    }

    void loadClicks()
    {
        std::istringstream in(readWhole(clicksPath()));
        std::string kept;
        for (std::string line; std::getline(in, line);) {
            const auto tab = line.find('\t');
            if (tab == std::string::npos || line.substr(0, tab) != std::to_string(today()))
                continue;
            clicked_[line.substr(tab + 1)] = today();
            kept += line + '\n';
        }
        writeFileAtomically(clicksPath(), kept);
    }

    void clickLoop()
    {
        const std::string ua = directoryUserAgent();
        for (;;) {
            std::string uuid, server;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock, [this] { return stopping_.load() || !clicks_.empty(); });
                if (stopping_)
                    return;
                uuid = clicks_.front();
                clicks_.pop_front();
                server = server_;
            }
            const auto answer = fetchBounded(server, "/json/url/" + uuid, ua, o_.clickLimits, &stopping_);
            if (!answer.ok)
                std::fprintf(stderr, "station-directory: click for %s at %s: %s\n", uuid.c_str(), server.c_str(),
                             answer.error.c_str());
        }
    }

    RadioBrowserOptions o_;
    std::string dir_;
    StationIds ids_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::atomic<bool> stopping_{false};
    std::shared_ptr<const Catalog> catalog_;
    std::string server_;                                     // the server the list came from; clicks go there
    std::unordered_map<std::string, std::int64_t> clicked_;  // uuid -> day
    std::deque<std::string> clicks_;
    std::thread fetcher_, clicker_;
};

}  // namespace

std::string directoryUserAgent()
{
    return std::string("VexaRadio-station-directory/") + VEXA_VERSION;
}

std::unique_ptr<StationSource> makeRadioBrowserSource(RadioBrowserOptions options)
{
    return std::make_unique<RadioBrowserSource>(std::move(options));
}

}  // namespace stationdir

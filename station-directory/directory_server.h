#pragma once
// The station directory's HTTP server: pages, hit log and demo streams.

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hit_log.h"
#include "radio_browser.h"
#include "station_source.h"
#include "tone_stream.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace stationdir {

struct DirectoryOptions
{
    std::string host = "127.0.0.1";
    int port = 0;              // 0 = any free port (see DirectoryServer::port)
    std::string stationsPath;  // a station file (see makeFileSource)
    // When set, the live Radio Browser source instead of the file (its
    // cacheDir defaults to cacheDir).
    std::optional<RadioBrowserOptions> radioBrowser;
    // List stations whose last check failed too.
    bool includeBroken = false;
    std::string hitLogPath;
    std::string cacheDir;
    std::string ffmpeg = "ffmpeg";
    // Seconds of audio a listener receives at once before pacing starts.
    double streamBurstSeconds = 2.0;
};

class DirectoryServer
{
public:
    explicit DirectoryServer(DirectoryOptions options);
    ~DirectoryServer();
    DirectoryServer(const DirectoryServer &) = delete;
    DirectoryServer &operator=(const DirectoryServer &) = delete;

    // Starts the station source, binds and starts serving on a thread of
    // its own. False (with *error set) when the source has nothing to
    // serve or the port cannot be bound.
    bool start(std::string *error);
    void stop();
    int port() const { return port_; }
    std::size_t stationCount();
    std::vector<std::string> listWarnings() { return source_->warnings(); }
    std::string sourceName() const { return source_->describe(); }

private:
    void handle(const httplib::Request &req, httplib::Response &res);
    void serveStream(const Station &station, httplib::Response &res);
    // The Windows Media demo: MMS over HTTP for a Windows Media client (its
    // describe and play requests), a plain ASF stream for any other.
    void serveAsf(const Station &station, const httplib::Request &req, httplib::Response &res);
    std::string selfBase(const httplib::Request &req) const;

    DirectoryOptions options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    HitLog hitLog_;
    ToneLibrary tones_;
    std::unique_ptr<StationSource> source_;

    std::mutex stateMutex_;
    std::vector<std::string> favourites_;
    std::string memberName_;

    std::atomic<bool> stopping_{false};
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
};

}  // namespace stationdir

#pragma once
// The station directory's HTTP server: pages, hit log and demo streams.

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hit_log.h"
#include "station_list.h"
#include "tone_stream.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace stationdir {

struct DirectoryOptions {
    std::string host = "127.0.0.1";
    int port = 0;  // 0 = any free port (see DirectoryServer::port)
    std::string stationsPath;
    std::string hitLogPath;
    std::string cacheDir;
    std::string ffmpeg = "ffmpeg";
    // Seconds of audio a listener receives at once before pacing starts.
    double streamBurstSeconds = 2.0;
};

class DirectoryServer {
public:
    explicit DirectoryServer(DirectoryOptions options);
    ~DirectoryServer();
    DirectoryServer(const DirectoryServer &) = delete;
    DirectoryServer &operator=(const DirectoryServer &) = delete;

    // Loads the station list, binds and starts serving on a thread of its
    // own. False (with *error set) when the list cannot be read or the
    // port cannot be bound.
    bool start(std::string *error);
    void stop();
    int port() const { return port_; }
    std::size_t stationCount();
    const std::vector<std::string> &listWarnings() const { return warnings_; }

private:
    void handle(const httplib::Request &req, httplib::Response &res);
    void serveStream(const Station &station, httplib::Response &res);
    // The Windows Media demo: MMS over HTTP for a Windows Media client (its
    // describe and play requests), a plain ASF stream for any other.
    void serveAsf(const Station &station, const httplib::Request &req, httplib::Response &res);
    std::shared_ptr<const std::vector<Station>> stations();
    std::string selfBase(const httplib::Request &req) const;

    DirectoryOptions options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    HitLog hitLog_;
    ToneLibrary tones_;
    std::vector<std::string> warnings_;

    std::mutex stationsMutex_;
    std::shared_ptr<const std::vector<Station>> stations_;
    std::time_t stationsMtime_ = 0;

    std::mutex stateMutex_;
    std::vector<std::string> favourites_;
    std::string memberName_;

    std::atomic<bool> stopping_{false};
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
};

}  // namespace stationdir

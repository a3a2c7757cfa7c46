#pragma once
// A loopback stand-in for a Radio Browser API server: the station list,
// the server list and the click endpoint in the documented JSON shapes,
// from fixtures the tests write, and hostile answers on request.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace fakerb {

struct FakeStation
{
    std::string uuid, name, url, urlResolved, homepage, tags, country, countryCode;
    int bitrate = 128;
    int hls = 0;
    int lastCheckOk = 1;
    int votes = 0;
};

// The JSON array of station objects, as /json/stations answers it.
std::string stationsJson(const std::vector<FakeStation> &stations);

// Thirty stations over three countries (Germany, China, Egypt) and four
// tags (rock, news, jazz, pop), votes 1000 down to 971 in list order:
// Chinese and Arabic names, markup in a name, an https and an HLS station,
// one whose last check failed and one whose address has no network
// scheme. Stream addresses are streamBase + "/<uuid>.mp3" (the https one
// on port 1 of loopback).
std::vector<FakeStation> fixtureStations(const std::string &streamBase);

class FakeRadioBrowser
{
public:
    enum class Answer { Stations, Status500, BadJson, Huge, WrongTypes, NotAnArray, Deep, Drip };

    FakeRadioBrowser();
    ~FakeRadioBrowser();
    bool start();
    void stop();
    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void setStations(std::string json);
    void setAnswer(Answer answer);
    // The /json/servers answer; "" = status 404.
    void setServers(std::string json);

    std::vector<std::string> clicks() const;
    std::vector<std::string> userAgents() const;
    int stationRequests() const { return stationRequests_; }
    int serverListRequests() const { return serverListRequests_; }
    // Waits (at most the bound) until this many clicks arrived.
    bool waitForClicks(std::size_t n, int seconds) const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::string stations_, servers_;
    Answer answer_ = Answer::Stations;
    std::vector<std::string> clicks_, userAgents_;
    std::atomic<int> stationRequests_{0};
    std::atomic<int> serverListRequests_{0};
    std::atomic<bool> stopping_{false};
};

}  // namespace fakerb

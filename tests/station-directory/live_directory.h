#pragma once
// What the Radio Browser tests share: the directory on a free loopback
// port with its cache, hit log and list in a working folder of its own,
// a client for its pages, and a look into the hidden elements.

#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include <ftw.h>
#include <unistd.h>

#include <httplib.h>

#include "directory_server.h"

namespace livedir {

// The value of the hidden element `name`, "<absent>" when there is none.
inline std::string element(const std::string &html, const std::string &name)
{
    std::smatch m;
    const std::regex re("name=\"" + name + "\" id=\"" + name + "\" value=\"([^\"]*)\"");
    return std::regex_search(html, m, re) ? m[1].str() : std::string("<absent>");
}

// Occurrences of needle in text.
inline std::size_t count(const std::string &text, const std::string &needle)
{
    std::size_t n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

class WorkFolder
{
public:
    WorkFolder()
    {
        char tmpl[] = "/tmp/vexa-live-directory-XXXXXX";
        if (mkdtemp(tmpl))
            path_ = tmpl;
    }
    ~WorkFolder()
    {
        if (!path_.empty())
            nftw(
                path_.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return ::remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

class Directory
{
public:
    // The live source on api (the fake's base address); `adjust` may
    // change the options before the start.
    bool start(const std::string &work, const std::string &api,
               const std::function<void(stationdir::DirectoryOptions &)> &adjust = {})
    {
        stationdir::DirectoryOptions o;
        o.port = 0;
        o.stationsPath = work + "/stations.tsv";
        o.hitLogPath = work + "/hitlog.tsv";
        o.cacheDir = work + "/cache";
        stationdir::RadioBrowserOptions live;
        live.baseUrl = api;
        live.retryAfter = std::chrono::hours(1);
        live.limits.connectTimeout = std::chrono::milliseconds(2000);
        live.limits.readTimeout = std::chrono::milliseconds(2000);
        live.limits.deadline = std::chrono::milliseconds(4000);
        o.radioBrowser = live;
        if (adjust)
            adjust(o);
        server_ = std::make_unique<stationdir::DirectoryServer>(o);
        if (!server_->start(&error))
            return false;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(10, 0);
        return true;
    }

    void stop()
    {
        client_.reset();
        server_.reset();
    }

    std::string get(const std::string &path, int *status = nullptr)
    {
        auto res = client_->Get(path.c_str());
        if (status)
            *status = res ? res->status : 0;
        return res ? res->body : std::string();
    }

    // Polls the page until it holds needle (at most `seconds`).
    bool waitFor(const std::string &path, const std::string &needle, int seconds = 30)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < until) {
            if (get(path).find(needle) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    stationdir::DirectoryServer &server() { return *server_; }
    std::string error;

private:
    std::unique_ptr<stationdir::DirectoryServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

}  // namespace livedir

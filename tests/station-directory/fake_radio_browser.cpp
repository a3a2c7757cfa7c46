#include "fake_radio_browser.h"

#include <chrono>
#include <cstdio>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace fakerb {

std::string stationsJson(const std::vector<FakeStation> &stations)
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto &s : stations)
        list.push_back({{"changeuuid", "00000000-0000-0000-0000-000000000000"},
                        {"stationuuid", s.uuid},
                        {"name", s.name},
                        {"url", s.url},
                        {"url_resolved", s.urlResolved},
                        {"homepage", s.homepage},
                        {"favicon", ""},
                        {"tags", s.tags},
                        {"country", s.country},
                        {"countrycode", s.countryCode},
                        {"state", ""},
                        {"language", ""},
                        {"codec", "MP3"},
                        {"bitrate", s.bitrate},
                        {"hls", s.hls},
                        {"lastcheckok", s.lastCheckOk},
                        {"votes", s.votes},
                        {"clickcount", 7}});
    return list.dump();
}

std::vector<FakeStation> fixtureStations(const std::string &streamBase)
{
    struct Country
    {
        const char *name, *code;
        int count;
    };
    const Country countries[] = {{"Germany", "DE", 12}, {"China", "CN", 10}, {"Egypt", "EG", 8}};
    const char *tags[] = {"rock", "news", "jazz", "pop"};
    const char *chinese[] = {"北京音樂台", "上海新闻广播", "廣州爵士", "深圳流行", "天津摇滚",
                             "重慶新聞",   "成都爵士",     "杭州流行", "南京摇滚", "武漢新聞"};
    const char *arabic[] = {"إذاعة القاهرة", "راديو النيل", "صوت الإسكندرية", "راديو مصر",
                            "إذاعة الأخبار", "نغم إف إم",   "راديو هيتس",     "إذاعة الجاز"};
    std::vector<FakeStation> out;
    int n = 0;
    for (const auto &c : countries) {
        for (int i = 0; i < c.count; ++i, ++n) {
            FakeStation s;
            char uuid[48];
            std::snprintf(uuid, sizeof uuid, "9617a958-0601-11e8-ae97-52543be04c%02x", n);
            s.uuid = uuid;
            s.country = c.name;
            s.countryCode = c.code;
            s.name = std::string(c.code) == "CN" ? chinese[i]
                : std::string(c.code) == "EG"    ? arabic[i]
                                                 : "Radio " + std::string(c.name) + " " + std::to_string(i + 1);
            s.url = streamBase + "/" + s.uuid + ".mp3";
            s.urlResolved = s.url;
            s.homepage = "http://127.0.0.1:1/home/" + std::to_string(n);
            s.tags = std::string(tags[n % 4]) + (n % 5 == 0 ? std::string(",") + tags[(n + 1) % 4] : "");
            s.bitrate = n % 2 ? 64 : 128;
            s.votes = 1000 - n;
            out.push_back(std::move(s));
        }
    }
    out[1].name = "<script>alert(\"x\")</script> & Co";
    out[2].urlResolved = "https://127.0.0.1:1/secure.mp3";
    out[2].name = "Secure Radio";
    out[3].urlResolved = streamBase + "/live/index.m3u8";
    out[3].hls = 1;
    out[3].name = "HLS Radio";
    out[4].lastCheckOk = 0;
    out[4].name = "Broken Radio";
    out[5].url = "javascript:alert(1)";
    out[5].urlResolved = "";
    out[5].name = "No Scheme Radio";
    out[6].homepage = "javascript:alert(2)";
    out[6].url = "";  // url_resolved alone
    return out;
}

FakeRadioBrowser::FakeRadioBrowser() : server_(std::make_unique<httplib::Server>()) {}

FakeRadioBrowser::~FakeRadioBrowser()
{
    stop();
}

bool FakeRadioBrowser::start()
{
    server_->Get("/json/stations", [this](const httplib::Request &req, httplib::Response &res) {
        ++stationRequests_;
        std::string body;
        Answer answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            userAgents_.push_back(req.get_header_value("User-Agent"));
            body = stations_;
            answer = answer_;
        }
        switch (answer) {
        case Answer::Stations:
            res.set_content(body, "application/json");
            break;
        case Answer::Status500:
            res.status = 500;
            res.set_content("{\"error\":\"down\"}", "application/json");
            break;
        case Answer::BadJson:
            res.set_content(body.substr(0, body.size() / 2) + "}}]", "application/json");
            break;
        case Answer::WrongTypes:
            res.set_content(R"([{"stationuuid":5,"name":["a"],"url":{"x":1},"votes":"many"},)"
                            R"({"stationuuid":"abc","name":12,"url":"http://127.0.0.1:9/a.mp3"},"text",7,null])",
                            "application/json");
            break;
        case Answer::NotAnArray:
            res.set_content(R"({"stations":[]})", "application/json");
            break;
        case Answer::Deep:
            res.set_content(std::string(100000, '[') + std::string(100000, ']'), "application/json");
            break;
        case Answer::Huge: {
            // 100 MB of one station object after another, made as it goes.
            const std::size_t total = 100u * 1000 * 1000;
            res.set_content_provider(total, "application/json",
                                     [this, total](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                                         static const std::string chunk = [] {
                                             std::string c = "[";
                                             while (c.size() < 65536)
                                                 c += R"({"stationuuid":"ab","name":"n","url":"http://a/"},)";
                                             return c.substr(0, 65536);
                                         }();
                                         if (stopping_)
                                             return false;
                                         const std::size_t n = std::min(chunk.size(), total - offset);
                                         return sink.write(chunk.data(), n);
                                     });
            break;
        }
        case Answer::Drip:
            // A valid start, then a byte every 200 ms for ever.
            res.set_chunked_content_provider("application/json", [this](std::size_t offset, httplib::DataSink &sink) {
                if (offset > 0) {
                    for (int i = 0; i < 4 && !stopping_; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                if (stopping_)
                    return false;
                return sink.write(offset == 0 ? "[" : " ", 1);
            });
            break;
        }
    });
    server_->Get("/json/servers", [this](const httplib::Request &, httplib::Response &res) {
        ++serverListRequests_;
        std::lock_guard<std::mutex> lock(mutex_);
        if (servers_.empty())
            res.status = 404;
        else
            res.set_content(servers_, "application/json");
    });
    server_->Get(R"(/json/url/([0-9a-f-]+))", [this](const httplib::Request &req, httplib::Response &res) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            clicks_.push_back(req.matches[1]);
            userAgents_.push_back(req.get_header_value("User-Agent"));
        }
        cv_.notify_all();
        res.set_content(R"({"ok":true,"message":"retrieved station url","stationuuid":")" + req.matches[1].str()
                            + R"(","name":"x","url":"http://127.0.0.1:9/"})",
                        "application/json");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop before the server runs would go unheard.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void FakeRadioBrowser::stop()
{
    stopping_ = true;
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void FakeRadioBrowser::setStations(std::string json)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stations_ = std::move(json);
}

void FakeRadioBrowser::setAnswer(Answer answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = answer;
}

void FakeRadioBrowser::setServers(std::string json)
{
    std::lock_guard<std::mutex> lock(mutex_);
    servers_ = std::move(json);
}

std::vector<std::string> FakeRadioBrowser::clicks() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return clicks_;
}

std::vector<std::string> FakeRadioBrowser::userAgents() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return userAgents_;
}

bool FakeRadioBrowser::waitForClicks(std::size_t n, int seconds) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(seconds), [&] { return clicks_.size() >= n; });
}

}  // namespace fakerb

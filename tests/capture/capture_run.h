#pragma once
// A whole capture for the tests: netgrab() on a thread of its own, stopped
// and joined as the recorder programs do, the trace lines it wrote, and an
// HTTP peer that answers by path.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netgrab.h"
#include "scripted_server.h"
#include "trace.h"

namespace testutil {

// netgrab() on a thread of its own, as the recorder programs run it.
class Recording
{
public:
    Recording(std::string source, std::string base) : source_(std::move(source)), base_(std::move(base))
    {
        thread_ = std::thread([this] { result_ = netgrab_api::netgrab(source_.c_str(), base_.c_str()); });
    }
    ~Recording() { stop(); }
    // Stops and joins; the seconds the stop took.
    double stop()
    {
        if (!thread_.joinable())
            return stopSeconds_;
        const auto asked = std::chrono::steady_clock::now();
        StopRecord();
        thread_.join();
        stopSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        return stopSeconds_;
    }
    int result() const { return result_; }

private:
    std::string source_, base_;
    double stopSeconds_ = 0;
    int result_ = -1;
    std::thread thread_;
};

// The capture's trace lines while it lives.
class TraceLog
{
public:
    TraceLog()
    {
        netgrab::setTraceSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += line + "\n";
        });
    }
    ~TraceLog() { netgrab::setTraceSink({}); }
    std::string all()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    // Waits (bounded) until a line holds text.
    bool waitFor(const std::string &text, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (all().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::string text_;
};

// A loopback HTTP peer that answers each request by its path, and records
// the paths asked for.
class PathServer
{
public:
    // handler(io, path) answers one request; the connection closes after it.
    using Handler = std::function<void(testsupport::ConnectionIo &, const std::string &)>;
    explicit PathServer(Handler handler)
        : handler_(std::move(handler)),
          server_({{testsupport::call([this](testsupport::ConnectionIo &io) {
              if (!io.readUntil("\r\n\r\n", 5000))
                  return false;
              const std::string request = io.received();
              const size_t start = request.find(' ') + 1;
              const std::string path = request.substr(start, request.find(' ', start) - start);
              {
                  std::lock_guard<std::mutex> lock(mutex_);
                  paths_.push_back(path);
              }
              handler_(io, path);
              return false;
          })}})
    {
    }
    ~PathServer() { server_.stop(); }
    std::string url(const std::string &path) const { return "http://" + server_.hostPort() + path; }
    std::vector<std::string> paths()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_;
    }
    size_t count(const std::string &path)
    {
        size_t n = 0;
        for (const std::string &p : paths())
            n += p == path;
        return n;
    }

private:
    Handler handler_;
    std::mutex mutex_;
    std::vector<std::string> paths_;
    testsupport::ScriptedServer server_;
};

}  // namespace testutil

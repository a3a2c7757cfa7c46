#include "http_fetch.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <httplib.h>

namespace stationdir {

FetchResult fetchBounded(const std::string &base, const std::string &path, const std::string &userAgent,
                         const FetchLimits &limits, const std::atomic<bool> *cancel)
{
    FetchResult r;
    if (base.rfind("http://", 0) != 0 && base.rfind("https://", 0) != 0) {
        r.error = "not an http or https address: " + base;
        return r;
    }
    httplib::Client client(base);
    if (!client.is_valid()) {
        r.error = "bad server address " + base;
        return r;
    }
    using std::chrono::duration_cast;
    using std::chrono::microseconds;
    const auto connect = duration_cast<microseconds>(limits.connectTimeout).count();
    const auto read = duration_cast<microseconds>(limits.readTimeout).count();
    client.set_connection_timeout(connect / 1000000, connect % 1000000);
    client.set_read_timeout(read / 1000000, read % 1000000);
    client.set_write_timeout(read / 1000000, read % 1000000);
    client.set_follow_location(true);
    client.set_keep_alive(false);

    // A watchdog ends the request at the deadline or when cancelled: the
    // read time-out alone lets a server that drips a byte at a time go on
    // for ever.
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool expired = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        const auto until = std::chrono::steady_clock::now() + limits.deadline;
        while (!done) {
            if (cancel && cancel->load()) {
                expired = true;
                break;
            }
            if (cv.wait_until(lock, std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)))
                    == std::cv_status::timeout
                && std::chrono::steady_clock::now() >= until) {
                expired = true;
                break;
            }
        }
        lock.unlock();
        if (expired)
            client.stop();
    });

    bool tooLarge = false;
    const httplib::Headers headers = {{"User-Agent", userAgent}, {"Accept", "application/json"}};
    auto res = client.Get(
        path.c_str(), headers,
        [&](const httplib::Response &response) {
            r.status = response.status;
            return response.status == 200;
        },
        [&](const char *data, std::size_t n) {
            if (r.body.size() + n > limits.maxBytes) {
                tooLarge = true;
                return false;
            }
            r.body.append(data, n);
            std::lock_guard<std::mutex> lock(mutex);
            return !expired;
        });
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    cv.notify_all();
    watchdog.join();

    if (tooLarge) {
        r.error = "answer larger than " + std::to_string(limits.maxBytes) + " bytes";
    } else if (expired) {
        r.error = cancel && cancel->load() ? "cancelled" : "no complete answer in time";
    } else if (!res) {
        r.error = r.status != 0 && r.status != 200 ? "status " + std::to_string(r.status)
                                                   : "request failed: " + httplib::to_string(res.error());
    } else if (res->status != 200) {
        r.error = "status " + std::to_string(res->status);
    } else {
        r.ok = true;
    }
    if (!r.ok)
        r.body.clear();
    return r;
}

}  // namespace stationdir

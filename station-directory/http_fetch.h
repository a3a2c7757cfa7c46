#pragma once
// One bounded HTTP(S) GET for answers from outside: a time-out on the
// connection and on every read, a deadline for the whole answer, a cap on
// its size, and a way to cancel it from another thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace stationdir {

struct FetchLimits
{
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds readTimeout{10000};
    // The whole answer, headers and body.
    std::chrono::milliseconds deadline{60000};
    std::size_t maxBytes = 64u << 20;
};

struct FetchResult
{
    bool ok = false;  // a 200 answer within the limits
    int status = 0;
    std::string body;
    std::string error;  // why not ok
};

// base: "http://host[:port]" or "https://…"; path starts with "/".
// cancel, when given, ends the request early once it becomes true.
FetchResult fetchBounded(const std::string &base, const std::string &path, const std::string &userAgent,
                         const FetchLimits &limits, const std::atomic<bool> *cancel = nullptr);

}  // namespace stationdir

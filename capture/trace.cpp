// Trace texts: discarded unless a test has installed a sink.
#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace netgrab {

namespace {
std::mutex g_sinkMutex;
std::function<void(const std::string &)> &sink()
{
    static std::function<void(const std::string &)> s;
    return s;
}
}  // namespace

void traceLine(const char *text)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    if (sink() && text)
        sink()(std::string(text));
}

void traceFormat(const char *format, ...)
{
    char text[2048];  // longer trace texts are cut
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    traceLine(text);
}

void setTraceSink(std::function<void(const std::string &)> s)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink() = std::move(s);
}

}  // namespace netgrab

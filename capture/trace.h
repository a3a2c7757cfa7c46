#pragma once
// Trace texts of the capture routines. The shipped hook discards them;
// tests install a sink to see them.

#include <functional>
#include <string>

namespace netgrab {

void traceLine(const char *text);
// printf-style convenience that formats into a bounded buffer, then calls traceLine.
void traceFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Test hook: receives every trace text; pass an empty function to discard again.
void setTraceSink(std::function<void(const std::string &)> sink);

}  // namespace netgrab

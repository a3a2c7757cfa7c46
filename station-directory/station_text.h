#pragma once
// Rules for station text that comes from outside (an API answer, a saved
// export, a playlist file): bounded, free of control characters, and
// addresses that name a network scheme.

#include <cstddef>
#include <string>

namespace stationdir {

// Longest texts kept from outside, in bytes.
constexpr std::size_t kMaxNameBytes = 200;
constexpr std::size_t kMaxAddressBytes = 2048;
constexpr std::size_t kMaxShortTextBytes = 100;  // country, one tag, …

// Control characters become blanks, blanks at both ends go, and the text
// is cut to at most maxBytes without splitting a UTF-8 sequence.
std::string boundedText(const std::string &text, std::size_t maxBytes);

// The address when it is one the player can play over the network
// (http, https, mms, mmsh, rtsp, with a host and no blanks or control
// characters); "" otherwise.
std::string networkAddress(const std::string &address);
// The same for a web site: http and https only.
std::string webAddress(const std::string &address);

}  // namespace stationdir

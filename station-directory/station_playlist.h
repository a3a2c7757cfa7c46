#pragma once
// Station files in the common playlist formats: M3U (an "#EXTINF:" line
// gives the title of the address after it) and PLS ("FileN=" addresses,
// "TitleN=" titles). Each entry with a network address is a station named
// by its title (else its address), listed under the given location.

#include <string>
#include <vector>

#include "station_list.h"

namespace stationdir {

enum class PlaylistFormat { M3u, Pls };

// Entries without a network address are skipped and counted in *skipped.
std::vector<Station> parsePlaylist(const std::string &text, PlaylistFormat format, const std::string &location,
                                   std::size_t *skipped);

}  // namespace stationdir

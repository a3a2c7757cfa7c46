#pragma once
// Country names in the directory's Chinese interface languages, by ISO
// 3166-1 alpha-2 code, for the countries a listener most often looks for.

#include <string>

namespace stationdir {

// Traditional (big5 == true) or Simplified Chinese name; nullptr when the
// code is not in the table.
const char *chineseCountryName(const std::string &code, bool traditional);

}  // namespace stationdir

#pragma once
// HTML pages of the station directory. Pure functions: station data and
// request values in, a complete UTF-8 HTML document out. Every text that
// comes from the station list or a request is HTML-escaped here.

#include <map>
#include <string>
#include <vector>

#include "catalog.h"
#include "hit_log.h"
#include "station_list.h"

namespace stationdir {

enum class Lang { English, Big5, Gb };

// "ap"/"english" -> English, "apbig5"/"big5" -> Big5, "apgb"/"gb" -> Gb.
bool langFromPrefix(const std::string &prefix, Lang *lang);
const char *listPrefix(Lang lang);  // "ap/", "apbig5/", "apgb/"
const char *sitePrefix(Lang lang);  // "english/", "big5/", "gb/"

std::string htmlEscape(const std::string &text);
std::string percentEncode(const std::string &text);  // RFC 3986 unreserved kept

enum class ListKind { Location, Genre };

struct ListView
{
    ListKind kind = ListKind::Location;
    std::string selected;  // location or genre chosen; "" = the index of all
    std::string pickedId;  // station picked on this page; "" = none
    std::string query;     // search by station name; "" = none
    std::size_t page = 1;  // of the stations shown, kStationsPerPage a page
};

constexpr std::size_t kStationsPerPage = 50;

// Location or genre list page. With a picked station it carries the hidden
// inputs "Edit" (id), "Edit2" (name) and "Edit1" (stream address); without
// one, "Edit" is "0" so a later pick of the same station counts again.
// Stations are shown by votes, a page at a time; a searchable catalog adds
// a search box by station name.
std::string listPage(Lang lang, const Catalog &catalog, const ListView &view, const std::string &selfBase);

// The station page read by the player: hidden inputs "Edit", "rname",
// "location", "genre", "website", "rate", "radioid", "rurl". nullptr
// gives a "no such station" page without them.
std::string stationPage(const Station *station, const std::string &selfBase);

// Address the player plays for a station: the directory's own stream for
// a tone station, else the stream field as it stands.
std::string streamUrl(const Station &station, const std::string &selfBase);
// The station's web site, absolute; "" when it has none.
std::string homepageUrl(const Station &station, const std::string &selfBase);

std::string homePage(const Catalog &catalog);
std::string myVexaPage(Lang lang, const Catalog &catalog, const std::vector<std::string> &favouriteIds);
std::string addFavouritePage(Lang lang, const Station *station, bool added);
std::string contactPage(Lang lang);
std::string indexPage(Lang lang);
std::string stationUpdatePage(Lang lang, const std::map<std::string, std::string> &values);
std::string stationUpdateDonePage(Lang lang, const std::map<std::string, std::string> &values);
std::string memberLogonPage(const std::string &userName, bool loggedOn);
std::string stationHomePage(const Station &station);
std::string hitLogPage(const std::vector<HitReport> &reports, const Catalog &catalog);
std::string notFoundPage(const std::string &path);

}  // namespace stationdir

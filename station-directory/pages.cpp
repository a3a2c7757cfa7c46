#include "pages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "country_names.h"

namespace stationdir {

namespace {

// Interface texts of the directory pages, one set per language.
struct Texts
{
    const char *htmlLang;
    const char *byLocation;
    const char *byGenre;
    const char *allLocations;
    const char *allGenres;
    const char *stations;
    const char *listen;
    const char *nowPlaying;
    const char *pickHint;
    const char *myVexa;
    const char *myVexaEmpty;
    const char *added;
    const char *alreadyAdded;
    const char *noStation;
    const char *contact;
    const char *contactText;
    const char *index;
    const char *indexText;
    const char *update;
    const char *updateHint;
    const char *fStation, *fLocation, *fGenre, *fRadioUrl, *fWebsite;
    const char *send;
    const char *thanks;
    const char *search, *find, *results, *previous, *next, *pageOf;
};

const Texts kEnglish = {
    "en",
    "Stations by location",
    "Stations by genre",
    "All locations",
    "All genres",
    "stations",
    "Listen",
    "Sent to the player",
    "Pick a station to listen.",
    "My Vexa",
    "Your list is empty. Use \"Add to my Vexa\" in the player's menu.",
    "Added to your list:",
    "Already in your list:",
    "No such station.",
    "Contact us",
    "Questions, new stations or corrections: write to the directory team at "
    "this address or use the station update form from the player's menu.",
    "Schedule a station",
    "Choose a list, then pick the station to record or play.",
    "Station update",
    "Tell us what to change for this station.",
    "Station",
    "Location",
    "Genre",
    "Station web site",
    "Web address",
    "Send",
    "Thank you. The directory team will check your update.",
    "Station name",
    "Find",
    "Stations named",
    "Previous",
    "Next",
    "Page %zu of %zu",
};

const Texts kBig5 = {
    "zh-Hant",
    "依地區瀏覽電台",
    "依類型瀏覽電台",
    "所有地區",
    "所有類型",
    "個電台",
    "收聽",
    "已送到播放器",
    "請選擇要收聽的電台。",
    "我的Vexa",
    "您的清單是空的。請使用播放器選單中的「加入到我的Vexa」。",
    "已加入您的清單：",
    "已在您的清單中：",
    "沒有這個電台。",
    "聯絡我們",
    "如有問題、新電台或更正，請寫信給目錄小組，或使用播放器選單中的電台更新表單。",
    "排程電台",
    "請選擇清單，然後選取要錄音或播放的電台。",
    "電台更新",
    "請告訴我們此電台需要更改的內容。",
    "電台",
    "地區",
    "類型",
    "電台網站",
    "網址",
    "送出",
    "謝謝。目錄小組將會檢查您的更新。",
    "電台名稱",
    "搜尋",
    "名稱含有",
    "上一頁",
    "下一頁",
    "第 %zu 頁，共 %zu 頁",
};

const Texts kGb = {
    "zh-Hans",
    "按地区浏览电台",
    "按类型浏览电台",
    "所有地区",
    "所有类型",
    "个电台",
    "收听",
    "已发送到播放器",
    "请选择要收听的电台。",
    "我的Vexa",
    "您的列表是空的。请使用播放器菜单中的“加入到我的Vexa”。",
    "已加入您的列表：",
    "已在您的列表中：",
    "没有这个电台。",
    "联络我们",
    "如有问题、新电台或更正，请写信给目录小组，或使用播放器菜单中的电台更新表单。",
    "排程电台",
    "请选择列表，然后选取要录音或播放的电台。",
    "电台更新",
    "请告诉我们此电台需要更改的内容。",
    "电台",
    "地区",
    "类型",
    "电台网站",
    "网址",
    "提交",
    "谢谢。目录小组将会检查您的更新。",
    "电台名称",
    "搜索",
    "名称含有",
    "上一页",
    "下一页",
    "第 %zu 页，共 %zu 页",
};

const Texts &texts(Lang lang)
{
    switch (lang) {
    case Lang::Big5:
        return kBig5;
    case Lang::Gb:
        return kGb;
    case Lang::English:
        break;
    }
    return kEnglish;
}

// One style sheet for every page; sized for the 390 px wide list browser.
const char kStyle[] = R"css(
body{margin:0;font:13px/1.45 "WenQuanYi Micro Hei","Noto Sans CJK SC",Arial,sans-serif;background:#f3f5f9;color:#1f2633}
header{background:#1f2736;color:#f4f7fb;padding:6px 10px;font-weight:bold;border-bottom:2px solid #4aa3ff}
nav{display:flex;gap:2px;background:#2e3a4f;padding:4px 6px 0}
nav a{padding:3px 12px;background:#46526a;color:#dce4f0;text-decoration:none;border-radius:4px 4px 0 0}
nav a.on{background:#f3f5f9;color:#1f2633;font-weight:bold}
main{padding:8px 10px}
h1{font-size:15px;margin:4px 0 8px;color:#1f2736}
ul.items{list-style:none;margin:0;padding:0}
ul.items li{border-bottom:1px solid #d5dbe5}
ul.items a{display:flex;justify-content:space-between;gap:8px;padding:5px 4px;color:#1f2633;text-decoration:none}
ul.items a:hover{background:#e2ecfa}
.count,.meta{color:#66728a;font-size:12px;white-space:nowrap}
li.picked{background:#ffd84a}
li.picked a{font-weight:bold}
.back{display:inline-block;margin-bottom:6px;color:#2f6fb5}
.note{background:#fff;border:1px solid #d5dbe5;border-left:3px solid #4aa3ff;padding:6px 8px;margin:8px 0}
table{border-collapse:collapse;width:100%}
td,th{border-bottom:1px solid #d5dbe5;padding:3px 6px;text-align:left}
form label{display:block;margin:6px 0 2px}
form input[type=text],form input[type=password]{width:95%;padding:3px}
input,button{font:inherit}
button{margin-top:8px;padding:3px 14px}
)css";

// Added to the style sheet of list pages with a search box or a pager.
const char kListToolsStyle[] = R"css(form.search{display:flex;gap:4px;margin:0 0 6px}
form.search input[type=search]{flex:1;padding:2px}
form.search button{margin-top:0}
.pager{display:flex;justify-content:space-between;margin:6px 0}
)css";

std::string page(const char *htmlLang, const std::string &title, const std::string &body, const char *extraStyle = "")
{
    std::ostringstream o;
    o << "<!DOCTYPE html>\n<html lang=\"" << htmlLang << "\"><head><meta charset=\"utf-8\">"
      << "<meta name=\"viewport\" content=\"width=device-width\">"
      << "<title>" << htmlEscape(title) << "</title><style>" << kStyle << extraStyle << "</style></head>\n<body>\n"
      << "<header>Vexa Radio</header>\n"
      << body << "\n</body></html>\n";
    return o.str();
}

std::string hidden(const std::string &name, const std::string &value)
{
    return "<input type=\"hidden\" name=\"" + name + "\" id=\"" + name + "\" value=\"" + htmlEscape(value) + "\">\n";
}

// A location's name in the page's language where it is known.
std::string locationName(const StationGroup &group, Lang lang)
{
    if (lang != Lang::English && !group.countryCode.empty())
        if (const char *name = chineseCountryName(group.countryCode, lang == Lang::Big5))
            return name;
    return group.key;
}

std::string formatted(const char *format, std::size_t a, std::size_t b)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

}  // namespace

bool langFromPrefix(const std::string &prefix, Lang *lang)
{
    if (prefix == "ap" || prefix == "english")
        *lang = Lang::English;
    else if (prefix == "apbig5" || prefix == "big5")
        *lang = Lang::Big5;
    else if (prefix == "apgb" || prefix == "gb")
        *lang = Lang::Gb;
    else
        return false;
    return true;
}

const char *listPrefix(Lang lang)
{
    return lang == Lang::Big5 ? "apbig5/" : lang == Lang::Gb ? "apgb/" : "ap/";
}

const char *sitePrefix(Lang lang)
{
    return lang == Lang::Big5 ? "big5/" : lang == Lang::Gb ? "gb/" : "english/";
}

std::string htmlEscape(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string percentEncode(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string streamUrl(const Station &station, const std::string &selfBase)
{
    if (station.toneHz() > 0) {
        switch (station.demo()) {
        case Station::Demo::Wma:
            return selfBase + "stream/" + station.id + ".asf";
        case Station::Demo::Asx:
            return selfBase + "stream/" + station.id + ".asx";
        default:
            return selfBase + "stream/" + station.id + ".mp3";
        }
    }
    return station.stream;
}

std::string homepageUrl(const Station &station, const std::string &selfBase)
{
    if (!station.homepage.empty() && station.homepage[0] == '/')
        return selfBase + station.homepage.substr(1);
    return station.homepage;
}

std::string listPage(Lang lang, const Catalog &catalog, const ListView &view, const std::string &selfBase)
{
    const Texts &t = texts(lang);
    const bool byLocation = view.kind == ListKind::Location;
    const std::string self = byLocation ? "location.asp" : "genre.asp";
    const std::string title = byLocation ? t.byLocation : t.byGenre;
    const auto &groups = byLocation ? catalog.locations() : catalog.genres();
    const StationGroup *group = view.selected.empty() ? nullptr
        : byLocation                                  ? catalog.location(view.selected)
                                                      : catalog.genre(view.selected);
    std::ostringstream b;
    b << "<nav><a href=\"location.asp\"" << (byLocation ? " class=\"on\"" : "") << ">" << t.fLocation << "</a>"
      << "<a href=\"genre.asp\"" << (!byLocation ? " class=\"on\"" : "") << ">" << t.fGenre << "</a></nav>\n<main>\n";
    if (catalog.stations().empty() && !catalog.status().empty())
        b << "<p class=\"note\">" << htmlEscape(catalog.status()) << "</p>\n";
    auto searchBox = [&] {
        if (!catalog.searchable())
            return;
        b << "<form class=\"search\" method=\"get\" action=\"" << self << "\">";
        if (!view.selected.empty())
            b << "<input type=\"hidden\" name=\"sel\" value=\"" << htmlEscape(view.selected) << "\">";
        b << "<input type=\"search\" name=\"q\" maxlength=\"100\" placeholder=\"" << t.search << "\" value=\""
          << htmlEscape(view.query) << "\"><button type=\"submit\">" << t.find << "</button></form>\n";
    };

    const Station *picked = view.pickedId.empty() ? nullptr : catalog.find(view.pickedId);
    bool tools = catalog.searchable();
    if (view.selected.empty() && view.query.empty()) {
        b << "<h1>" << htmlEscape(title) << "</h1>\n";
        searchBox();
        b << "<ul class=\"items\">\n";
        for (const auto &g : groups) {
            const std::size_t n = g.members.size();
            b << "<li><a href=\"" << self << "?sel=" << percentEncode(g.key) << "\"><span>"
              << htmlEscape(byLocation ? locationName(g, lang) : g.key) << "</span><span class=\"count\">" << n << ' '
              << (n == 1 && lang == Lang::English ? "station" : t.stations) << "</span></a></li>\n";
        }
        b << "</ul>\n";
    } else {
        // The stations of the location or genre (all of them for a search
        // from the index), those named like the query, a page of them.
        static const std::vector<std::uint32_t> kNone;
        const auto &members = group ? group->members : view.selected.empty() ? catalog.byVotes() : kNone;
        std::vector<std::uint32_t> matching;
        if (view.query.empty()) {
            matching = members;
        } else if (catalog.searchable()) {
            const std::string folded = foldForSearch(view.query);
            for (const std::uint32_t i : members)
                if (catalog.nameContains(i, folded))
                    matching.push_back(i);
        }
        const std::size_t pages = (matching.size() + kStationsPerPage - 1) / kStationsPerPage;
        const std::size_t page = std::clamp<std::size_t>(view.page, 1, std::max<std::size_t>(pages, 1));
        const std::size_t first = std::min(matching.size(), (page - 1) * kStationsPerPage);
        const std::vector<std::uint32_t> shown(matching.begin() + first,
                                               matching.begin() + std::min(matching.size(), first + kStationsPerPage));

        std::string here = self + "?";
        if (!view.selected.empty())
            here += "sel=" + percentEncode(view.selected) + "&amp;";
        if (!view.query.empty())
            here += "q=" + percentEncode(view.query) + "&amp;";
        const std::string heading = view.selected.empty() ? std::string(t.results) + " \u201c" + view.query + "\u201d"
            : group && byLocation                         ? locationName(*group, lang)
                                                          : view.selected;
        b << "<a class=\"back\" href=\"" << self << "\">&larr; " << (byLocation ? t.allLocations : t.allGenres)
          << "</a>\n"
          << "<h1>" << htmlEscape(heading) << "</h1>\n";
        searchBox();
        b << "<ul class=\"items\">\n";
        const std::string pageArg = page > 1 ? "page=" + std::to_string(page) + "&amp;" : std::string();
        for (const std::uint32_t i : shown) {
            const Station &s = catalog.stations()[i];
            const bool isPicked = picked && picked->id == s.id;
            b << "<li" << (isPicked ? " class=\"picked\"" : "") << "><a href=\"" << here << pageArg << "pick=" << s.id
              << "\"><span>" << (isPicked ? "&#9654; " : "") << htmlEscape(s.name) << "</span><span class=\"meta\">"
              << htmlEscape(byLocation ? s.genre : s.location) << " &middot; " << htmlEscape(s.rate)
              << "</span></a></li>\n";
        }
        b << "</ul>\n";
        if (pages > 1) {
            tools = true;
            b << "<div class=\"pager\">";
            if (page > 1)
                b << "<a href=\"" << here << "page=" << page - 1 << "\">&larr; " << t.previous << "</a>";
            else
                b << "<span></span>";
            b << "<span>" << formatted(t.pageOf, page, pages) << "</span>";
            if (page < pages)
                b << "<a href=\"" << here << "page=" << page + 1 << "\">" << t.next << " &rarr;</a>";
            else
                b << "<span></span>";
            b << "</div>\n";
        }
        b << "<p class=\"note\">"
          << (picked ? std::string(t.nowPlaying) + ": " + htmlEscape(picked->name) : std::string(t.pickHint))
          << "</p>\n";
    }
    // The list window reads these three: the picked station's id, name and
    // stream. "0" when nothing is picked on this page.
    b << "<form name=\"pick\">\n"
      << hidden("Edit", picked ? picked->id : "0") << hidden("Edit2", picked ? picked->name : "")
      << hidden("Edit1", picked ? streamUrl(*picked, selfBase) : "") << "</form>\n</main>";
    return page(t.htmlLang, title, b.str(), tools ? kListToolsStyle : "");
}

std::string stationPage(const Station *station, const std::string &selfBase)
{
    if (!station)
        return page("en", "Station", "<main><h1>No such station.</h1></main>");
    const Station &s = *station;
    const std::string home = homepageUrl(s, selfBase);
    std::ostringstream b;
    b << "<main>\n<h1>" << htmlEscape(s.name) << "</h1>\n<table>\n"
      << "<tr><th>Location</th><td>" << htmlEscape(s.location) << "</td></tr>\n"
      << "<tr><th>Genre</th><td>" << htmlEscape(s.genre) << "</td></tr>\n"
      << "<tr><th>Rate</th><td>" << htmlEscape(s.rate) << "</td></tr>\n</table>\n"
      << "<form name=\"radio\">\n"
      << hidden("Edit", home) << hidden("rname", s.name) << hidden("location", s.location) << hidden("genre", s.genre)
      << hidden("website", home) << hidden("rate", s.rate) << hidden("radioid", s.id)
      << hidden("rurl", streamUrl(s, selfBase)) << "</form>\n</main>";
    return page("en", s.name, b.str());
}

std::string homePage(const Catalog &catalog)
{
    std::ostringstream b;
    b << "<main><h1>Vexa Radio station directory</h1>\n<p>" << catalog.stations().size()
      << " stations. 目錄 · 目录</p>\n<ul class=\"items\">\n";
    const Lang langs[] = {Lang::English, Lang::Big5, Lang::Gb};
    const char *names[] = {"English", "繁體中文", "简体中文"};
    for (int i = 0; i < 3; ++i) {
        const Texts &t = texts(langs[i]);
        b << "<li><a href=\"" << listPrefix(langs[i]) << "location.asp\"><span>" << names[i]
          << "</span><span class=\"meta\">" << t.byLocation << "</span></a></li>\n"
          << "<li><a href=\"" << listPrefix(langs[i]) << "genre.asp\"><span>" << names[i]
          << "</span><span class=\"meta\">" << t.byGenre << "</span></a></li>\n";
    }
    b << "<li><a href=\"cgi-bin/hlog\"><span>Hit log</span><span class=\"meta\">listening reports</span>"
         "</a></li>\n</ul></main>";
    return page("en", "Vexa Radio station directory", b.str());
}

std::string myVexaPage(Lang lang, const Catalog &catalog, const std::vector<std::string> &favouriteIds)
{
    const Texts &t = texts(lang);
    std::ostringstream b;
    b << "<main><h1>" << t.myVexa << "</h1>\n";
    if (favouriteIds.empty())
        b << "<p class=\"note\">" << htmlEscape(t.myVexaEmpty) << "</p>\n";
    b << "<ul class=\"items\">\n";
    for (const auto &id : favouriteIds)
        if (const Station *s = catalog.find(id))
            b << "<li><a href=\"/ap/lisradio.asp?radioid=" << s->id << "\"><span>" << htmlEscape(s->name)
              << "</span><span class=\"meta\">" << htmlEscape(s->location) << "</span></a></li>\n";
    b << "</ul></main>";
    return page(t.htmlLang, t.myVexa, b.str());
}

std::string addFavouritePage(Lang lang, const Station *station, bool added)
{
    const Texts &t = texts(lang);
    std::ostringstream b;
    b << "<main><h1>" << t.myVexa << "</h1>\n<p class=\"note\">";
    if (!station)
        b << t.noStation;
    else
        b << (added ? t.added : t.alreadyAdded) << ' ' << htmlEscape(station->name);
    b << "</p>\n<a href=\"main1.asp\">" << t.myVexa << " &rarr;</a></main>";
    return page(t.htmlLang, t.myVexa, b.str());
}

std::string contactPage(Lang lang)
{
    const Texts &t = texts(lang);
    return page(t.htmlLang, t.contact,
                std::string("<main><h1>") + t.contact + "</h1>\n<p>" + t.contactText
                    + "</p>\n<p class=\"note\">directory@vexa.invalid</p></main>");
}

std::string indexPage(Lang lang)
{
    const Texts &t = texts(lang);
    const std::string L = std::string("/") + listPrefix(lang);
    return page(t.htmlLang, t.index,
                std::string("<main><h1>") + t.index + "</h1>\n<p>" + t.indexText
                    + "</p>\n<ul class=\"items\"><li><a href=\"" + L + "location.asp\">" + t.byLocation
                    + "</a></li><li><a href=\"" + L + "genre.asp\">" + t.byGenre + "</a></li></ul></main>");
}

namespace {
const char *const kUpdateKeys[] = {"station", "location", "genre", "radiourl", "website"};

std::string valueOf(const std::map<std::string, std::string> &values, const std::string &key)
{
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}
}  // namespace

std::string stationUpdatePage(Lang lang, const std::map<std::string, std::string> &values)
{
    const Texts &t = texts(lang);
    const char *labels[] = {t.fStation, t.fLocation, t.fGenre, t.fRadioUrl, t.fWebsite};
    std::ostringstream b;
    b << "<main><h1>" << t.update << "</h1>\n<p>" << t.updateHint << "</p>\n"
      << "<form method=\"post\" action=\"radioupdate.asp\">\n";
    for (int i = 0; i < 5; ++i)
        b << "<label for=\"" << kUpdateKeys[i] << "\">" << labels[i] << "</label><input type=\"text\" name=\""
          << kUpdateKeys[i] << "\" id=\"" << kUpdateKeys[i] << "\" value=\""
          << htmlEscape(valueOf(values, kUpdateKeys[i])) << "\">\n";
    b << "<button type=\"submit\">" << t.send << "</button>\n</form></main>";
    return page(t.htmlLang, t.update, b.str());
}

std::string stationUpdateDonePage(Lang lang, const std::map<std::string, std::string> &values)
{
    const Texts &t = texts(lang);
    const char *labels[] = {t.fStation, t.fLocation, t.fGenre, t.fRadioUrl, t.fWebsite};
    std::ostringstream b;
    b << "<main><h1>" << t.update << "</h1>\n<p class=\"note\">" << t.thanks << "</p>\n<table>\n";
    for (int i = 0; i < 5; ++i)
        b << "<tr><th>" << labels[i] << "</th><td>" << htmlEscape(valueOf(values, kUpdateKeys[i])) << "</td></tr>\n";
    b << "</table></main>";
    return page(t.htmlLang, t.update, b.str());
}

std::string memberLogonPage(const std::string &userName, bool loggedOn)
{
    std::ostringstream b;
    b << "<main><h1>Member logon 會員登入 会员登录</h1>\n";
    if (loggedOn) {
        b << "<p class=\"note\">Welcome, " << htmlEscape(userName) << ".</p>";
    } else {
        b << "<form method=\"post\" action=\"memberlogon.asp\">\n"
          << "<label for=\"user\">Member name</label><input type=\"text\" name=\"user\" id=\"user\">\n"
          << "<label for=\"password\">Password</label><input type=\"password\" name=\"password\" "
             "id=\"password\">\n<button type=\"submit\">Logon</button>\n</form>";
    }
    b << "</main>";
    return page("en", "Member logon", b.str());
}

std::string stationHomePage(const Station &station)
{
    return page("en", station.name,
                "<main><h1>" + htmlEscape(station.name) + "</h1>\n<p>" + htmlEscape(station.location) + " · "
                    + htmlEscape(station.genre) + "</p>\n<p class=\"note\">The station's own web site.</p></main>");
}

std::string hitLogPage(const std::vector<HitReport> &reports, const Catalog &catalog)
{
    auto utc = [](std::int64_t secs) {
        std::time_t tt = static_cast<std::time_t>(secs);
        std::tm tm{};
        char buf[32] = "?";
        if (gmtime_r(&tt, &tm))
            std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
        return std::string(buf);
    };
    std::ostringstream b;
    b << "<main><h1>Listening reports</h1>\n<p>" << reports.size() << " received (times in UTC).</p>\n"
      << "<table id=\"reports\">\n<tr><th>Station</th><th>Start</th><th>End</th><th>Minutes</th></tr>\n";
    for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
        const Station *s = catalog.find(it->stationId);
        b << "<tr><td>" << htmlEscape(it->stationId) << (s ? " " + htmlEscape(s->name) : std::string()) << "</td><td>"
          << utc(it->start) << "</td><td>" << utc(it->end) << "</td><td>" << (it->end - it->start) / 60
          << "</td></tr>\n";
    }
    b << "</table></main>";
    return page("en", "Listening reports", b.str());
}

std::string notFoundPage(const std::string &path)
{
    return page("en", "Not found", "<main><h1>Not found</h1><p>" + htmlEscape(path) + "</p></main>");
}

}  // namespace stationdir

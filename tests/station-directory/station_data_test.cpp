// Station data from outside: Radio Browser JSON read into stations and
// the station page made from them, the JSON reader's limits, the id map,
// playlist station files and the text rules they share.

#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "live_directory.h"
#include "pages.h"
#include "station_ids.h"
#include "station_json.h"
#include "station_playlist.h"
#include "station_text.h"

using namespace stationdir;

namespace {

using livedir::element;

// ------------------------------------------------------- JSON to the page

struct MappingRow
{
    const char *name;
    const char *fields;  // the station object without its braces and uuid
    // The station page's elements; rname "<absent>" = not listed.
    const char *rname, *rurl, *rate, *website, *location, *genre;
};
void PrintTo(const MappingRow &row, std::ostream *os)
{
    *os << row.name;
}

class JsonToPage : public ::testing::TestWithParam<MappingRow>
{};

TEST_P(JsonToPage, StationPageElements)
{
    const auto &row = GetParam();
    const std::string text =
        std::string(R"([{"stationuuid":"96062a7b-0601-11e8-ae97-52543be04c81",)") + row.fields + "}]";
    const auto parsed = parseStationJson(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    if (std::string(row.rname) == "<absent>") {
        EXPECT_TRUE(parsed.stations.empty());
        EXPECT_EQ(parsed.skipped, 1u);
        return;
    }
    ASSERT_EQ(parsed.stations.size(), 1u);
    Station s = parsed.stations[0];
    s.id = "100001";
    const std::string html = stationPage(&s, "http://127.0.0.1:8765/");
    EXPECT_EQ(element(html, "rname"), row.rname);
    EXPECT_EQ(element(html, "rurl"), row.rurl);
    EXPECT_EQ(element(html, "rate"), row.rate);
    EXPECT_EQ(element(html, "website"), row.website);
    EXPECT_EQ(element(html, "Edit"), row.website);
    EXPECT_EQ(element(html, "location"), row.location);
    EXPECT_EQ(element(html, "genre"), row.genre);
    EXPECT_EQ(element(html, "radioid"), "100001");
}

const MappingRow kMappingRows[] = {
    {"resolved_address_first",
     R"("name":"Jazz FM","url":"http://a.example/pls","url_resolved":"http://b.example/live","bitrate":128,)"
     R"("homepage":"https://jazz.example/","country":"Germany","countrycode":"DE","tags":"jazz,smooth jazz")",
     "Jazz FM", "http://b.example/live", "128K", "https://jazz.example/", "Germany", "jazz, smooth jazz"},
    {"address_when_nothing_resolved", R"("name":"A","url":"https://a.example/s","url_resolved":"")", "A",
     "https://a.example/s", "", "", "", ""},
    {"resolved_without_scheme_falls_back", R"("name":"A","url":"http://a.example/s","url_resolved":"ftp://x/")", "A",
     "http://a.example/s", "", "", "", ""},
    {"markup_escaped_in_attributes",
     R"("name":"<b>\"Loud\"</b> & 'Co'","url":"http://a.example/?a=1&b=2","country":"<i>X</i>")",
     "&lt;b&gt;&quot;Loud&quot;&lt;/b&gt; &amp; &#39;Co&#39;", "http://a.example/?a=1&amp;b=2", "", "",
     "&lt;i&gt;X&lt;/i&gt;", ""},
    {"chinese_and_arabic_names", R"("name":"北京音樂台 إذاعة","url":"http://a.example/","country":"China")",
     "北京音樂台 إذاعة", "http://a.example/", "", "", "China", ""},
    {"country_code_when_no_name", R"("name":"A","url":"http://a.example/","countrycode":"eg")", "A",
     "http://a.example/", "", "", "EG", ""},
    {"script_homepage_dropped", R"x("name":"A","url":"http://a.example/","homepage":"javascript:alert(1)")x", "A",
     "http://a.example/", "", "", "", ""},
    {"zero_bitrate_no_rate", R"("name":"A","url":"http://a.example/","bitrate":0)", "A", "http://a.example/", "", "",
     "", ""},
    {"hls_station", R"("name":"H","url":"http://a.example/live.m3u8","hls":1,"bitrate":96)", "H",
     "http://a.example/live.m3u8", "96K", "", "", ""},
    {"control_characters_blanked", R"("name":"A\u0000B\nC","url":"http://a.example/")", "A B C", "http://a.example/",
     "", "", "", ""},
    {"no_network_scheme_not_listed", R"x("name":"A","url":"javascript:alert(1)")x", "<absent>", "", "", "", "", ""},
    {"relative_address_not_listed", R"("name":"A","url":"/stream.mp3")", "<absent>", "", "", "", "", ""},
    {"empty_name_not_listed", R"("name":"  ","url":"http://a.example/")", "<absent>", "", "", "", "", ""},
    {"wrong_types_count_as_absent", R"("name":7,"url":"http://a.example/")", "<absent>", "", "", "", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Rows, JsonToPage, ::testing::ValuesIn(kMappingRows),
                         [](const auto &info) { return std::string(info.param.name); });

// An address with a quote, a blank or no host is not one to hand on.
TEST(JsonToPage, AddressWithQuoteBlankOrNoHostIsNotListed)
{
    for (const char *url : {R"(http://a.example/\"x)", "http://a.example/a b", "http://", "http://\\u0000x"}) {
        const auto parsed = parseStationJson(std::string(R"([{"stationuuid":"ab","name":"A","url":")") + url + "\"}]");
        ASSERT_TRUE(parsed.ok) << url;
        EXPECT_TRUE(parsed.stations.empty()) << url;
    }
}

// ---------------------------------------------------------- reader limits

struct LimitRow
{
    const char *name;
    std::string text;
    bool ok;
    std::size_t stations;
};
void PrintTo(const LimitRow &row, std::ostream *os)
{
    *os << row.name;
}

class JsonLimits : public ::testing::TestWithParam<LimitRow>
{};

TEST_P(JsonLimits, RefusesOrKeepsWhatIsUsable)
{
    const auto &row = GetParam();
    StationJsonLimits limits;
    limits.maxStations = 3;
    const auto r = parseStationJson(row.text, limits);
    EXPECT_EQ(r.ok, row.ok) << r.error;
    EXPECT_EQ(r.stations.size(), row.stations);
    if (!r.ok) {
        EXPECT_FALSE(r.error.empty());
    }
}

std::string stations(int n)
{
    std::string t = "[";
    for (int i = 0; i < n; ++i)
        t += std::string(i ? "," : "") + R"({"stationuuid":"a)" + std::to_string(i)
            + R"(","name":"S","url":"http://a.example/"})";
    return t + "]";
}

const LimitRow kLimitRows[] = {
    {"empty_text", "", false, 0},
    {"empty_array", "[]", true, 0},
    {"object_root", R"({"stations":[]})", false, 0},
    {"plain_value_root", "42", false, 0},
    {"truncated", stations(2).substr(0, 60), false, 0},
    {"trailing_garbage", stations(1) + "x", false, 0},
    {"invalid_utf8", "[{\"stationuuid\":\"ab\",\"name\":\"\xff\xfe\",\"url\":\"http://a/\"}]", false, 0},
    {"deep_nesting", std::string(100000, '[') + std::string(100000, ']'), false, 0},
    {"deep_inside_a_station",
     R"([{"stationuuid":"ab","name":"S","url":"http://a.example/","x":)" + std::string(40, '[') + std::string(40, ']')
         + "}]",
     false, 0},
    {"non_objects_skipped", R"([1,"two",null,true,[],)" + stations(1).substr(1), true, 1},
    {"nested_values_ignored",
     R"([{"stationuuid":"ab","name":"S","url":"http://a.example/","extra":{"name":"other","votes":[1,2]}}])", true, 1},
    {"station_count_capped", stations(5), true, 3},
    {"huge_numbers",
     R"([{"stationuuid":"ab","name":"S","url":"http://a.example/","votes":1e308,"bitrate":)"
     R"(18446744073709551615}])",
     true, 1},
    {"bad_uuid", R"([{"stationuuid":"../../etc","name":"S","url":"http://a.example/"}])", true, 0},
};
INSTANTIATE_TEST_SUITE_P(Rows, JsonLimits, ::testing::ValuesIn(kLimitRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(JsonLimits, LongTextsAreCutOnCharacterBoundaries)
{
    std::string name;
    for (int i = 0; i < 200; ++i)
        name += "台";  // 3 bytes each
    const auto r = parseStationJson(R"([{"stationuuid":"ab","name":")" + name
                                    + R"(","url":"http://a.example/",)"
                                      R"("tags":")"
                                    + std::string(5000, 'x') + R"(,jazz"}])");
    ASSERT_EQ(r.stations.size(), 1u);
    EXPECT_EQ(r.stations[0].name.size(), 198u);  // 66 whole characters within 200 bytes
    EXPECT_EQ(r.stations[0].name, name.substr(0, 198));
    for (const auto &tag : r.stations[0].tags)
        EXPECT_LE(tag.size(), kMaxShortTextBytes);
}

TEST(JsonLimits, ServerListKeepsHostNamesOnly)
{
    const auto names =
        parseServerList(R"([{"ip":"1.2.3.4","name":"de1.api.radio-browser.info"},{"name":"127.0.0.1:8080"},)"
                        R"({"name":"evil/path"},{"name":5},{"name":"de1.api.radio-browser.info"},"x"])");
    EXPECT_EQ(names, (std::vector<std::string>{"de1.api.radio-browser.info", "127.0.0.1:8080"}));
    EXPECT_TRUE(parseServerList("not json").empty());
    EXPECT_TRUE(parseServerList(R"({"name":"a"})").empty());
}

// ----------------------------------------------------------------- id map

class StationIdsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vexa-ids-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/station-ids.tsv";
    }
    void TearDown() override
    {
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    static std::vector<Station> withUuids(std::initializer_list<const char *> uuids)
    {
        std::vector<Station> out;
        for (const char *u : uuids) {
            Station s;
            s.uuid = u;
            out.push_back(s);
        }
        return out;
    }
    static std::vector<std::string> ids(const std::vector<Station> &stations)
    {
        std::vector<std::string> out;
        for (const auto &s : stations)
            out.push_back(s.id);
        return out;
    }
    std::string dir_, path_;
};

TEST_F(StationIdsTest, KeysKeepTheirNumbersAcrossRuns)
{
    const struct
    {
        std::initializer_list<const char *> uuids;
        std::vector<std::string> expected;
    } runs[] = {
        {{"aa", "bb"}, {"100001", "100002"}},
        {{"bb", "cc", "aa"}, {"100002", "100003", "100001"}},  // a new run of the program
        {{"dd", "dd"}, {"100004", "100004"}},
    };
    for (const auto &run : runs) {
        StationIds map(path_);
        auto stations = withUuids(run.uuids);
        ASSERT_TRUE(map.assign(stations));
        EXPECT_EQ(ids(stations), run.expected);
    }
    EXPECT_EQ(StationIds(path_).size(), 4u);
}

TEST_F(StationIdsTest, DamagedLinesAreIgnored)
{
    std::ofstream(path_) << "100005\taa\n"
                            "garbage\n"
                            "12\tlow\n"          // below the first id
                            "100005\tbb\n"       // a second key for an id
                            "100009\taa\n"       // a second id for a key
                            "1000000000\tbig\n"  // ten digits
                            "100007\n"
                            "x100008\tcc\n";
    StationIds map(path_);
    auto stations = withUuids({"aa", "bb", "low"});
    ASSERT_TRUE(map.assign(stations));
    EXPECT_EQ(ids(stations), (std::vector<std::string>{"100005", "100006", "100007"}));
}

TEST_F(StationIdsTest, PlaylistEntriesAreKnownByTheirAddress)
{
    Station a, b;
    a.stream = "http://a.example/1";
    b.stream = "http://a.example/2";
    std::vector<Station> first{a, b}, again{b};
    StationIds map(path_);
    map.assign(first);
    StationIds(path_).assign(again);
    EXPECT_EQ(again[0].id, first[1].id);
    EXPECT_EQ(stationKey(a), "url:http://a.example/1");
}

// -------------------------------------------------------------- playlists

struct PlaylistRow
{
    const char *name;
    PlaylistFormat format;
    const char *text;
    std::vector<std::pair<std::string, std::string>> stations;  // name, address
    std::size_t skipped;
};
void PrintTo(const PlaylistRow &row, std::ostream *os)
{
    *os << row.name;
}

class PlaylistFile : public ::testing::TestWithParam<PlaylistRow>
{};

TEST_P(PlaylistFile, EachEntryIsAStation)
{
    const auto &row = GetParam();
    std::size_t skipped = 99;
    const auto stations = parsePlaylist(row.text, row.format, "My list", &skipped);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto &s : stations) {
        got.emplace_back(s.name, s.stream);
        EXPECT_EQ(s.location, "My list");
    }
    EXPECT_EQ(got, row.stations);
    EXPECT_EQ(skipped, row.skipped);
}

const PlaylistRow kPlaylistRows[] = {
    {"m3u_titles",
     PlaylistFormat::M3u,
     "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,Jazz 爵士\r\nhttp://a.example/jazz\r\nhttps://a.example/plain\r\n",
     {{"Jazz 爵士", "http://a.example/jazz"}, {"https://a.example/plain", "https://a.example/plain"}},
     0},
    {"m3u_local_files_skipped", PlaylistFormat::M3u, "#EXTINF:-1,Local\n/music/a.mp3\nfile:///b.mp3\n", {}, 2},
    {"pls_numbered",
     PlaylistFormat::Pls,
     "[playlist]\nFile2=http://a.example/2\nTitle1=One\nFile1=mms://a.example/1\nTitle2=Two\nNumberOfEntries=2\n",
     {{"One", "mms://a.example/1"}, {"Two", "http://a.example/2"}},
     0},
    {"pls_bad_entries", PlaylistFormat::Pls, "[playlist]\nFilex=http://a.example/\nFile1=javascript:x\n", {}, 1},
};
INSTANTIATE_TEST_SUITE_P(Rows, PlaylistFile, ::testing::ValuesIn(kPlaylistRows),
                         [](const auto &info) { return std::string(info.param.name); });

// ------------------------------------------------------------- text rules

TEST(StationText, AddressesNeedANetworkScheme)
{
    const struct
    {
        const char *address;
        bool network, web;
    } rows[] = {
        {"http://a.example/x", true, true},
        {"HTTPS://a.example/", true, true},
        {"mms://a.example/x", true, false},
        {"rtsp://a.example/x", true, false},
        {"javascript:alert(1)", false, false},
        {"file:///etc/passwd", false, false},
        {"tone:440", false, false},
        {"/stations/1/", false, false},
        {"http:///x", false, false},
        {"http://a.example/<x>", false, false},
        {"", false, false},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(!networkAddress(row.address).empty(), row.network) << row.address;
        EXPECT_EQ(!webAddress(row.address).empty(), row.web) << row.address;
    }
}

}  // namespace

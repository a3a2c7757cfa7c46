// The directory on the live Radio Browser source, against a loopback fake
// of the API: the pages from its data, the saved copy, the mirrors, the
// click counting, and a saved export as a station file.

#include <fstream>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "fake_radio_browser.h"
#include "live_directory.h"

using namespace livedir;
using fakerb::FakeRadioBrowser;

namespace {

const char kStreams[] = "http://127.0.0.1:9/streams";

// The id in the pick link of the station shown as `name` (escaped).
std::string idOf(const std::string &html, const std::string &name)
{
    std::smatch m;
    const std::regex re("pick=([0-9]+)\"><span>(?:&#9654; )?"
                        + std::regex_replace(name, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + "</span>");
    return std::regex_search(html, m, re) ? m[1].str() : std::string();
}

class RadioBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(work_.path().empty());
        api_.setStations(fakerb::stationsJson(fakerb::fixtureStations(kStreams)));
        ASSERT_TRUE(api_.start());
    }

    // The directory on the fake, once it serves the fixture.
    void startDirectory(Directory &d, const std::function<void(stationdir::DirectoryOptions &)> &adjust = {})
    {
        ASSERT_TRUE(d.start(work_.path(), api_.base(), adjust)) << d.error;
        ASSERT_TRUE(d.waitFor("/ap/location.asp", "Germany")) << d.get("/ap/location.asp");
    }

    WorkFolder work_;
    FakeRadioBrowser api_;
};

TEST_F(RadioBrowserTest, CountriesAndStationsFromTheLiveList)
{
    Directory d;
    startDirectory(d);

    // Countries by name with the count of their working stations; the
    // Chinese pages name the countries they know.
    const std::string countries = d.get("/ap/location.asp");
    const auto china = countries.find("sel=China\"><span>China</span><span class=\"count\">10 stations");
    const auto egypt = countries.find("sel=Egypt\"><span>Egypt</span><span class=\"count\">8 stations");
    const auto germany = countries.find("sel=Germany\"><span>Germany</span><span class=\"count\">10 stations");
    ASSERT_NE(china, std::string::npos) << countries;
    ASSERT_NE(egypt, std::string::npos);
    ASSERT_NE(germany, std::string::npos);
    EXPECT_LT(china, egypt);
    EXPECT_LT(egypt, germany);
    EXPECT_NE(d.get("/apbig5/location.asp").find("<span>中國</span>"), std::string::npos);
    EXPECT_NE(d.get("/apgb/location.asp").find("<span>埃及</span>"), std::string::npos);

    // A country's stations by votes; the broken one and the one without a
    // network address are not listed, markup arrives as text.
    const std::string de = d.get("/ap/location.asp?sel=Germany");
    EXPECT_EQ(count(de, "pick="), 10u);
    EXPECT_LT(de.find("Radio Germany 1<"), de.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; Co"));
    EXPECT_LT(de.find("Secure Radio"), de.find("HLS Radio"));
    EXPECT_EQ(de.find("Broken Radio"), std::string::npos);
    EXPECT_EQ(de.find("No Scheme Radio"), std::string::npos);
    EXPECT_EQ(de.find("<script>"), std::string::npos);
    EXPECT_NE(d.get("/ap/location.asp?sel=Egypt").find("إذاعة القاهرة"), std::string::npos);

    // The station pages the player reads.
    struct Row
    {
        const char *name;
        std::string rurl;
        const char *rate, *website, *genre;
    };
    const std::string base = std::string(kStreams) + "/9617a958-0601-11e8-ae97-52543be04c";
    const Row rows[] = {
        {"Radio Germany 1", base + "00.mp3", "128K", "http://127.0.0.1:1/home/0", "rock, news"},
        {"Secure Radio", "https://127.0.0.1:1/secure.mp3", "128K", "http://127.0.0.1:1/home/2", "jazz"},
        {"HLS Radio", "http://127.0.0.1:9/streams/live/index.m3u8", "64K", "http://127.0.0.1:1/home/3", "pop"},
        {"Radio Germany 7", base + "06.mp3", "128K", "", "jazz"},
    };
    for (const auto &row : rows) {
        const std::string id = idOf(de, row.name);
        ASSERT_FALSE(id.empty()) << row.name;
        const std::string page = d.get("/ap/lisradio.asp?radioid=" + id);
        EXPECT_EQ(element(page, "rname"), row.name);
        EXPECT_EQ(element(page, "location"), "Germany");
        EXPECT_EQ(element(page, "genre"), row.genre) << row.name;
        EXPECT_EQ(element(page, "rate"), row.rate) << row.name;
        EXPECT_EQ(element(page, "website"), row.website) << row.name;
        EXPECT_EQ(element(page, "Edit"), row.website) << row.name;
        EXPECT_EQ(element(page, "radioid"), id);
        EXPECT_EQ(element(page, "rurl"), row.rurl) << row.name;
    }
    const std::string markup =
        d.get("/ap/lisradio.asp?radioid=" + idOf(de, "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; Co"));
    EXPECT_EQ(element(markup, "rname"), "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; Co");
    EXPECT_EQ(markup.find("<script>"), std::string::npos);

    // Every request named our program.
    for (const auto &agent : api_.userAgents())
        EXPECT_EQ(agent.rfind("VexaRadio-station-directory/", 0), 0u) << agent;
}

TEST_F(RadioBrowserTest, GenresAreTheMostCommonTags)
{
    Directory d;
    startDirectory(d);
    const std::string genres = d.get("/ap/genre.asp");
    EXPECT_EQ(count(genres, "genre.asp?sel="), 4u) << genres;
    EXPECT_NE(genres.find("sel=news\"><span>news</span><span class=\"count\">9 stations"), std::string::npos);
    EXPECT_LT(genres.find("sel=news"), genres.find("sel=rock"));
    // A station with two tags is under both.
    const std::string rock = d.get("/ap/genre.asp?sel=rock");
    const std::string news = d.get("/ap/genre.asp?sel=news");
    EXPECT_EQ(count(rock, "pick="), 8u);
    EXPECT_EQ(idOf(rock, "Radio Germany 1"), idOf(news, "Radio Germany 1"));
    EXPECT_NE(rock.find("Germany &middot; 128K"), std::string::npos);
}

TEST_F(RadioBrowserTest, ListPagesAreAPageAtATimeAndSearchable)
{
    std::vector<fakerb::FakeStation> many;
    for (int i = 0; i < 120; ++i) {
        fakerb::FakeStation s;
        char uuid[40];
        std::snprintf(uuid, sizeof uuid, "00000000-0000-0000-0000-%012d", i);
        s.uuid = uuid;
        s.name = (i % 10 == 7 ? "Talk " : "Music ") + std::to_string(i);
        s.url = std::string(kStreams) + "/" + std::to_string(i);
        s.country = "Germany";
        s.countryCode = "DE";
        s.tags = "pop";
        s.votes = 5000 - i;
        many.push_back(s);
    }
    api_.setStations(fakerb::stationsJson(many));
    Directory d;
    startDirectory(d);

    const struct
    {
        const char *path;
        std::size_t picks;
        const char *first;  // the first station shown
        const char *pager;  // "" = none
    } rows[] = {
        {"/ap/location.asp?sel=Germany", 50, "Music 0", "Page 1 of 3"},
        {"/ap/location.asp?sel=Germany&page=2", 50, "Music 50", "Page 2 of 3"},
        {"/ap/location.asp?sel=Germany&page=3", 20, "Music 100", "Page 3 of 3"},
        {"/ap/location.asp?sel=Germany&page=99", 20, "Music 100", "Page 3 of 3"},
        {"/ap/location.asp?sel=Germany&page=x", 50, "Music 0", "Page 1 of 3"},
        {"/ap/location.asp?sel=Germany&q=talk", 12, "Talk 7", ""},
        {"/ap/genre.asp?q=TALK%201", 3, "Talk 17", ""},  // from the index: every station
        {"/apgb/genre.asp?sel=pop&page=2", 50, "Music 50", "第 2 页，共 3 页"},
        {"/ap/location.asp?sel=Germany&q=%3Cnone%3E", 0, "", ""},
    };
    for (const auto &row : rows) {
        const std::string html = d.get(row.path);
        EXPECT_EQ(count(html, "pick="), row.picks) << row.path;
        std::smatch first;
        std::regex_search(html, first, std::regex("pick=[0-9]+\"><span>([^<]*)</span>"));
        EXPECT_EQ(first.size() > 1 ? first[1].str() : std::string(), row.first) << row.path;
        if (*row.pager) {
            EXPECT_NE(html.find(row.pager), std::string::npos) << row.path;
        } else {
            EXPECT_EQ(html.find("class=\"pager\""), std::string::npos) << row.path;
        }
        EXPECT_NE(html.find("<input type=\"search\" name=\"q\""), std::string::npos) << row.path;
    }
    // The pick keeps the page and the search; the query is escaped.
    const std::string picked = d.get("/ap/location.asp?sel=Germany&q=%22talk&page=1");
    EXPECT_NE(picked.find("value=\"&quot;talk\""), std::string::npos);
    const std::string page2 = d.get("/ap/location.asp?sel=Germany&page=2");
    const std::string id = idOf(page2, "Music 51");
    const std::string withPick = d.get("/ap/location.asp?sel=Germany&page=2&pick=" + id);
    EXPECT_EQ(element(withPick, "Edit"), id);
    EXPECT_EQ(element(withPick, "Edit2"), "Music 51");
    EXPECT_EQ(element(withPick, "Edit1"), std::string(kStreams) + "/51");
    EXPECT_NE(withPick.find("sel=Germany&amp;page=2&amp;pick=" + id), std::string::npos);
}

TEST_F(RadioBrowserTest, SavedCopyServesWhenTheServerIsGoneWithTheSameIds)
{
    std::string id;
    {
        Directory d;
        startDirectory(d);
        id = idOf(d.get("/ap/location.asp?sel=China"), "北京音樂台");
        ASSERT_FALSE(id.empty());
    }
    api_.stop();
    Directory again;
    ASSERT_TRUE(again.start(work_.path(), api_.base())) << again.error;
    // Served at once from the saved copy, although the server is gone.
    const std::string countries = again.get("/ap/location.asp");
    EXPECT_NE(countries.find("China"), std::string::npos) << countries;
    EXPECT_EQ(idOf(again.get("/ap/location.asp?sel=China"), "北京音樂台"), id);
    EXPECT_EQ(element(again.get("/ap/lisradio.asp?radioid=" + id), "rname"), "北京音樂台");
}

TEST_F(RadioBrowserTest, NoListYetGivesAPageThatSaysSo)
{
    api_.stop();
    Directory d;
    ASSERT_TRUE(d.start(work_.path(), api_.base())) << d.error;
    int status = 0;
    EXPECT_TRUE(d.waitFor("/ap/location.asp", "cannot be fetched"));
    const std::string html = d.get("/apgb/genre.asp", &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(element(html, "Edit"), "0");
    d.get("/ap/lisradio.asp?radioid=100001", &status);
    EXPECT_EQ(status, 404);
}

TEST_F(RadioBrowserTest, FallsBackToAMirrorFromTheServerList)
{
    FakeRadioBrowser mirror;
    mirror.setStations(fakerb::stationsJson(fakerb::fixtureStations(kStreams)));
    ASSERT_TRUE(mirror.start());
    api_.setAnswer(FakeRadioBrowser::Answer::Status500);
    api_.setServers(R"([{"ip":"127.0.0.1","name":"127.0.0.1:)" + std::to_string(mirror.port()) + R"("}])");
    Directory d;
    startDirectory(d);
    EXPECT_EQ(mirror.stationRequests(), 1);
    // Plays are counted where the list came from.
    const std::string id = idOf(d.get("/ap/location.asp?sel=Egypt"), "راديو النيل");
    d.get("/cgi-bin/hlog?PCAP1000&" + id + "&0&1700000000&1700000301");
    EXPECT_TRUE(mirror.waitForClicks(1, 30));
    EXPECT_TRUE(api_.clicks().empty());
}

TEST_F(RadioBrowserTest, PlaysAreClickedOncePerStationADay)
{
    std::string first, second, third;
    {
        Directory d;
        startDirectory(d);
        const std::string cn = d.get("/ap/location.asp?sel=China");
        first = idOf(cn, "北京音樂台");
        second = idOf(cn, "上海新闻广播");
        third = idOf(cn, "廣州爵士");
        for (const std::string &id : {first, first, second}) {
            int status = 0;
            EXPECT_EQ(d.get("/cgi-bin/hlog?PCAP1000&" + id + "&0&1700000000&1700000301", &status), "OK\n");
            EXPECT_EQ(status, 200);
        }
        ASSERT_TRUE(api_.waitForClicks(2, 30));
    }
    // Again after a restart: the first station was counted today already.
    Directory again;
    startDirectory(again);
    for (const std::string &id : {first, third})
        again.get("/cgi-bin/hlog?PCAP1000&" + id + "&0&1700000400&1700000701");
    ASSERT_TRUE(api_.waitForClicks(3, 30));
    EXPECT_EQ(api_.clicks(),
              (std::vector<std::string>{"9617a958-0601-11e8-ae97-52543be04c0c", "9617a958-0601-11e8-ae97-52543be04c0d",
                                        "9617a958-0601-11e8-ae97-52543be04c0e"}));
    // Our own hit log has every report.
    std::ifstream log(work_.path() + "/hitlog.tsv");
    std::size_t lines = 0;
    for (std::string line; std::getline(log, line);)
        ++lines;
    EXPECT_EQ(lines, 5u);
}

TEST_F(RadioBrowserTest, SavedExportAndPlaylistsAreStationFiles)
{
    const struct
    {
        const char *file;
        std::string text;
        const char *listPath;
        const char *name;
        const char *rurl;
    } rows[] = {
        {"export.json", fakerb::stationsJson(fakerb::fixtureStations(kStreams)), "/ap/location.asp?sel=Egypt",
         "راديو مصر", "http://127.0.0.1:9/streams/9617a958-0601-11e8-ae97-52543be04c19.mp3"},
        {"mine.m3u", "#EXTM3U\n#EXTINF:-1,Jazz &amp; Blues\nhttp://127.0.0.1:9/jazz\n", "/ap/location.asp?sel=mine",
         "Jazz &amp;amp; Blues", "http://127.0.0.1:9/jazz"},
        {"mine.pls", "[playlist]\nFile1=http://127.0.0.1:9/one\nTitle1=One 一\n", "/ap/location.asp?sel=mine", "One 一",
         "http://127.0.0.1:9/one"},
    };
    for (const auto &row : rows) {
        const std::string path = work_.path() + "/" + row.file;
        std::ofstream(path, std::ios::binary) << row.text;
        Directory d;
        ASSERT_TRUE(d.start(work_.path(), "", [&](stationdir::DirectoryOptions &o) {
            o.radioBrowser.reset();
            o.stationsPath = path;
        })) << d.error;
        const std::string list = d.get(row.listPath);
        const std::string id = idOf(list, row.name);
        ASSERT_FALSE(id.empty()) << row.file << "\n" << list;
        EXPECT_EQ(element(d.get("/ap/lisradio.asp?radioid=" + id), "rurl"), row.rurl) << row.file;
    }
    EXPECT_EQ(api_.stationRequests(), 0);
}

}  // namespace

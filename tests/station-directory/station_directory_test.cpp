// The bundled station directory: station list and hit-log parsing, and the
// page contract served over loopback.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "bounded_wait.h"
#include "directory_server.h"
#include "hit_log.h"
#include "pages.h"
#include "station_list.h"

using namespace stationdir;

namespace {

// ---------------------------------------------------------------- list file

struct ListRow
{
    const char *name;
    const char *text;
    std::size_t stations;
    std::size_t errors;
};
void PrintTo(const ListRow &row, std::ostream *os)
{
    *os << row.name;
}

class StationListParse : public ::testing::TestWithParam<ListRow>
{};

TEST_P(StationListParse, KeepsGoodLinesAndNamesBadOnes)
{
    const auto r = parseStationList(GetParam().text);
    EXPECT_EQ(r.stations.size(), GetParam().stations);
    EXPECT_EQ(r.errors.size(), GetParam().errors);
}

const ListRow kListRows[] = {
    {"full_line", "1\tName\tLoc\tGen\t128K\ttone:440\t/stations/1/\n", 1, 0},
    {"homepage_left_out", "1\tName\tLoc\tGen\t128K\thttp://127.0.0.1:1/a.mp3\n", 1, 0},
    {"comments_blank_and_crlf", "# c\n\n1\tA\tL\tG\tR\ttone:440\r\n", 1, 0},
    {"too_few_fields", "1\tA\tL\tG\n", 0, 1},
    {"id_not_digits", "x1\tA\tL\tG\tR\ttone:440\n", 0, 1},
    {"empty_name", "1\t\tL\tG\tR\ttone:440\n", 0, 1},
    {"tone_out_of_range", "1\tA\tL\tG\tR\ttone:5\n", 0, 1},
    {"tone_not_a_number", "1\tA\tL\tG\tR\ttone:4x0\n", 0, 1},
    {"duplicate_id_keeps_first", "1\tA\tL\tG\tR\ttone:440\n1\tB\tL\tG\tR\ttone:440\n", 1, 1},
    {"control_character", "1\tA\x01\tL\tG\tR\ttone:440\n", 0, 1},
};
INSTANTIATE_TEST_SUITE_P(Rows, StationListParse, ::testing::ValuesIn(kListRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(StationList, BundledListIsClean)
{
    auto r = loadStationList(std::string(VEXA_STATION_DIRECTORY_DATA_DIR) + "/stations.tsv");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->errors.empty()) << r->errors.front();
    EXPECT_GE(r->stations.size(), 3u);
    EXPECT_GE(distinctLocations(r->stations).size(), 2u);
    EXPECT_GE(distinctGenres(r->stations).size(), 2u);
}

// ---------------------------------------------------------------- hit query

struct HitRow
{
    const char *name;
    const char *query;
    bool ok;
};
void PrintTo(const HitRow &row, std::ostream *os)
{
    *os << row.name;
}

class HitQueryParse : public ::testing::TestWithParam<HitRow>
{};

TEST_P(HitQueryParse, AcceptsOnlyWellFormedReports)
{
    EXPECT_EQ(parseHitQuery(GetParam().query).has_value(), GetParam().ok);
}

const HitRow kHitRows[] = {
    {"report", "PCAP1000&57&0&1700000000&1700000301", true},
    {"empty_station_id", "PCAP1000&&0&1700000000&1700000301", true},
    {"wrong_tag", "PCAP2000&57&0&1700000000&1700000301", false},
    {"missing_end", "PCAP1000&57&0&1700000000", false},
    {"extra_field", "PCAP1000&57&0&1&2&3", false},
    {"third_not_zero", "PCAP1000&57&1&1700000000&1700000301", false},
    {"negative_time", "PCAP1000&57&0&-1&1700000301", false},
    {"id_with_tab_injection", "PCAP1000&5%097&0&1&2", false},
    {"huge_number", "PCAP1000&57&0&99999999999999999999&1", false},
};
INSTANTIATE_TEST_SUITE_P(Rows, HitQueryParse, ::testing::ValuesIn(kHitRows),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- server

std::string element(const std::string &html, const std::string &name)
{
    std::smatch m;
    const std::regex re("name=\"" + name + "\" id=\"" + name + "\" value=\"([^\"]*)\"");
    return std::regex_search(html, m, re) ? m[1].str() : std::string("<absent>");
}

class DirectoryServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vexa-directory-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        writeList("7\tTom & \"Jerry\" <FM> 湯姆電台\tHong Kong 香港\tPop 流行\t128K\ttone:440\t/stations/7/\n"
                  "8\tNo Site 无网站\tBeijing 北京\tPop 流行\t64K\thttp://127.0.0.1:9/live.mp3\n"
                  "9\tThird 第三\tHong Kong 香港\tTalk 談話\t128K\ttone:523\t/stations/9/\n");
        DirectoryOptions o;
        o.port = 0;
        o.stationsPath = dir_ + "/stations.tsv";
        o.hitLogPath = dir_ + "/hitlog.tsv";
        o.cacheDir = dir_ + "/cache";
        server_ = std::make_unique<DirectoryServer>(o);
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(5, 0);
        base_ = "http://127.0.0.1:" + std::to_string(server_->port()) + "/";
    }

    void TearDown() override
    {
        client_.reset();
        server_.reset();
        for (const char *f : {"/stations.tsv", "/hitlog.tsv"})
            std::remove((dir_ + f).c_str());
        std::remove((dir_ + "/cache/tone-440-128k-v1.mp3").c_str());
        rmdir((dir_ + "/cache").c_str());
        rmdir(dir_.c_str());
    }

    void writeList(const std::string &text)
    {
        std::ofstream(dir_ + "/stations.tsv", std::ios::binary | std::ios::trunc) << text;
    }

    std::string get(const std::string &path, int expectStatus = 200)
    {
        auto res = client_->Get(path.c_str());
        EXPECT_TRUE(res) << path;
        if (!res)
            return {};
        EXPECT_EQ(res->status, expectStatus) << path;
        return res->body;
    }

    std::string dir_;
    std::string base_;
    std::unique_ptr<DirectoryServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(DirectoryServerTest, StationPageCarriesTheEightElementsEscaped)
{
    auto res = client_->Get("/ap/lisradio.asp?radioid=7");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
    const std::string &html = res->body;
    EXPECT_EQ(element(html, "rname"), "Tom &amp; &quot;Jerry&quot; &lt;FM&gt; 湯姆電台");
    EXPECT_EQ(element(html, "location"), "Hong Kong 香港");
    EXPECT_EQ(element(html, "genre"), "Pop 流行");
    EXPECT_EQ(element(html, "rate"), "128K");
    EXPECT_EQ(element(html, "radioid"), "7");
    EXPECT_EQ(element(html, "rurl"), base_ + "stream/7.mp3");
    EXPECT_EQ(element(html, "Edit"), base_ + "stations/7/");
    EXPECT_EQ(element(html, "website"), base_ + "stations/7/");
    EXPECT_EQ(html.find("<FM>"), std::string::npos);
}

TEST_F(DirectoryServerTest, StationWithoutHomepageHasEmptyEditAndItsOwnStream)
{
    const std::string html = get("/ap/lisradio.asp?radioid=8");
    EXPECT_EQ(element(html, "Edit"), "");
    EXPECT_EQ(element(html, "rurl"), "http://127.0.0.1:9/live.mp3");
}

TEST_F(DirectoryServerTest, UnknownStationHasNoElements)
{
    const std::string html = get("/ap/lisradio.asp?radioid=12345", 404);
    EXPECT_EQ(element(html, "rurl"), "<absent>");
    EXPECT_EQ(element(html, "radioid"), "<absent>");
}

struct ListPageRow
{
    const char *name;
    const char *path;
    const char *htmlLang;
    const char *mustContain;
};
void PrintTo(const ListPageRow &row, std::ostream *os)
{
    *os << row.name;
}

class DirectoryListPages : public DirectoryServerTest, public ::testing::WithParamInterface<ListPageRow>
{};

TEST_P(DirectoryListPages, IndexCarriesNoPickAndLinksOn)
{
    const auto &row = GetParam();
    const std::string html = get(row.path);
    EXPECT_NE(html.find(std::string("<html lang=\"") + row.htmlLang + "\""), std::string::npos);
    EXPECT_NE(html.find(row.mustContain), std::string::npos);
    EXPECT_EQ(element(html, "Edit"), "0");
    EXPECT_EQ(element(html, "Edit2"), "");
    EXPECT_EQ(element(html, "Edit1"), "");
}

const ListPageRow kListPages[] = {
    {"english_location", "/ap/location.asp", "en", "location.asp?sel=Hong%20Kong%20%E9%A6%99%E6%B8%AF"},
    {"english_genre", "/ap/genre.asp", "en", "genre.asp?sel=Pop%20%E6%B5%81%E8%A1%8C"},
    {"big5_location", "/apbig5/location.asp", "zh-Hant", "依地區瀏覽電台"},
    {"big5_genre", "/apbig5/genre.asp", "zh-Hant", "依類型瀏覽電台"},
    {"gb_location", "/apgb/location.asp", "zh-Hans", "按地区浏览电台"},
    {"gb_genre", "/apgb/genre.asp", "zh-Hans", "按类型浏览电台"},
    {"one_location", "/ap/location.asp?sel=Hong%20Kong%20%E9%A6%99%E6%B8%AF", "en", "pick=9"},
};
INSTANTIATE_TEST_SUITE_P(Rows, DirectoryListPages, ::testing::ValuesIn(kListPages),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DirectoryServerTest, PickPageCarriesIdNameAndStream)
{
    const std::string html = get("/apgb/genre.asp?sel=Pop%20%E6%B5%81%E8%A1%8C&pick=8");
    EXPECT_EQ(element(html, "Edit"), "8");
    EXPECT_EQ(element(html, "Edit2"), "No Site 无网站");
    EXPECT_EQ(element(html, "Edit1"), "http://127.0.0.1:9/live.mp3");
    // The other station of the genre is still listed, not picked.
    EXPECT_NE(html.find("pick=7"), std::string::npos);
}

struct MenuPageRow
{
    const char *name;
    const char *path;
    const char *mustContain;
};
void PrintTo(const MenuPageRow &row, std::ostream *os)
{
    *os << row.name;
}

class DirectoryMenuPages : public DirectoryServerTest, public ::testing::WithParamInterface<MenuPageRow>
{};

TEST_P(DirectoryMenuPages, Answer)
{
    const std::string html = get(GetParam().path);
    EXPECT_NE(html.find(GetParam().mustContain), std::string::npos) << html;
}

const MenuPageRow kMenuPages[] = {
    {"my_vexa_english", "/english/main1.asp", "My Vexa"},
    {"add_favourite_big5", "/big5/addmyfav.asp?radioid=9", "已加入您的清單"},
    {"contact_gb", "/gb/contact1.asp", "联络我们"},
    {"schedule_index_english", "/english/indexap.asp", "/ap/location.asp"},
    {"schedule_index_big5", "/big5/indexap.asp", "/apbig5/genre.asp"},
    {"member_logon", "/AP/memberlogon.asp", "name=\"password\""},
    {"member_logon_after_base_slash", "//AP/memberlogon.asp", "name=\"password\""},
    {"update_form_after_base_slash", "//apgb/radioupdate.asp?station=&location=&genre=&radiourl=&website=", "电台更新"},
    {"home", "/", "apgb/location.asp"},
    {"station_home", "/stations/7/", "Tom &amp;"},
    {"update_form_escapes_values", "/apbig5/radioupdate.asp?station=A%26B%22&location=L&genre=G&radiourl=R&website=W",
     "value=\"A&amp;B&quot;\""},
};
INSTANTIATE_TEST_SUITE_P(Rows, DirectoryMenuPages, ::testing::ValuesIn(kMenuPages),
                         [](const auto &info) { return std::string(info.param.name); });

// The recorders send "Host:" without the port; the playlist they get must
// still name the directory's port (else they record from port 80).
TEST_F(DirectoryServerTest, PlaylistNamesThePortWhenTheHostLineLacksIt)
{
    const std::string port = std::to_string(server_->port());
    const struct
    {
        const char *host;
        std::string expected;
    } rows[] = {
        {"127.0.0.1", "http://127.0.0.1:" + port + "/stream/"},
        {"localhost:8000", "http://localhost:8000/stream/"},
        {"[::1]", "http://[::1]:" + port + "/stream/"},
        {"bad host", "http://127.0.0.1:" + port + "/stream/"},
    };
    for (const auto &row : rows) {
        auto res = client_->Get("/ap/lisradio.asp?radioid=9", {{"Host", row.host}});
        ASSERT_TRUE(res) << row.host;
        EXPECT_NE(res->body.find(row.expected), std::string::npos) << row.host << "\n" << res->body;
    }
}

TEST_F(DirectoryServerTest, AddedFavouriteShowsInMyVexa)
{
    get("/english/addmyfav.asp?radioid=9");
    EXPECT_NE(get("/english/addmyfav.asp?radioid=9").find("Already in your list"), std::string::npos);
    EXPECT_NE(get("/gb/main1.asp").find("Third 第三"), std::string::npos);
    get("/english/addmyfav.asp?radioid=4040", 404);
}

TEST_F(DirectoryServerTest, HitLogRecordsReportsAndShowsThem)
{
    EXPECT_EQ(get("/cgi-bin/hlog?PCAP1000&7&0&1700000000&1700000301"), "OK\n");
    get("/cgi-bin/hlog?PCAP1000&7&0&oops&1", 400);
    get("/cgi-bin/hlog?PCAP1000&9&0&1700000400&1700004000");

    std::ifstream file(dir_ + "/hitlog.tsv");
    std::string line1, line2, extra;
    ASSERT_TRUE(std::getline(file, line1));
    ASSERT_TRUE(std::getline(file, line2));
    EXPECT_FALSE(std::getline(file, extra));
    EXPECT_NE(line1.find("\t7\t1700000000\t1700000301\t127.0.0.1"), std::string::npos) << line1;
    EXPECT_NE(line2.find("\t9\t1700000400\t1700004000\t"), std::string::npos) << line2;

    const std::string page = get("/cgi-bin/hlog");
    EXPECT_NE(page.find("2 received"), std::string::npos);
    EXPECT_NE(page.find("2023-11-14 22:13:20"), std::string::npos);  // 1700000000 in UTC
    EXPECT_NE(page.find("Tom &amp;"), std::string::npos);
    // Newest first.
    EXPECT_LT(page.find("Third 第三"), page.find("Tom &amp;"));
}

TEST_F(DirectoryServerTest, EditedListIsReadAgain)
{
    EXPECT_EQ(element(get("/ap/lisradio.asp?radioid=10", 404), "rname"), "<absent>");
    // Make sure the modification time moves even on coarse file systems.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    writeList("10\tNew Station 新台\tTaipei 台北\tJazz\t128K\ttone:330\n");
    EXPECT_EQ(element(get("/ap/lisradio.asp?radioid=10"), "rname"), "New Station 新台");
}

TEST_F(DirectoryServerTest, DemoStreamIsMp3PacedAtItsBitrate)
{
    std::string received;
    // Timed from the first byte: making the tone (ffmpeg) comes before it.
    std::chrono::steady_clock::time_point first;
    std::string contentType;
    auto res = client_->Get(
        "/stream/7.mp3",
        [&](const httplib::Response &r) {
            contentType = r.get_header_value("Content-Type");
            return true;
        },
        [&](const char *data, std::size_t n) {
            if (received.empty())
                first = std::chrono::steady_clock::now();
            received.append(data, n);
            // Burst (2 s) plus one more second.
            return received.size() < 3 * kToneBytesPerSecond;
        });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
    ASSERT_GE(received.size(), 3 * kToneBytesPerSecond) << "ffmpeg missing?";
    EXPECT_EQ(contentType, "audio/mpeg");
    // MPEG audio frame sync: 11 set bits.
    EXPECT_EQ(static_cast<unsigned char>(received[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(received[1]) & 0xE0, 0xE0);
    // Paced: the second after the 2-s burst takes a second at 128 kbit/s
    // (half of it at twice the rate).
    EXPECT_GT(seconds, 0.85);
    EXPECT_LT(seconds, 1.0 + testwait::kLoadMarginMs / 1000.0);
}

TEST_F(DirectoryServerTest, StopEndsARunningStreamPromptly)
{
    std::atomic<bool> gotBytes{false};
    std::thread listener([this, &gotBytes] {
        httplib::Client c("127.0.0.1", server_->port());
        c.Get("/stream/7.mp3", [&](const char *, std::size_t) {
            gotBytes = true;
            return true;
        });
    });
    // The tone is made (ffmpeg) before the first byte. Without bytes the
    // stop still comes, so that the listener ends and can be joined.
    EXPECT_TRUE(testwait::waitUntil([&] { return gotBytes.load(); }, testwait::kEngineMs))
        << "the stream's first bytes";
    const auto t0 = std::chrono::steady_clock::now();
    server_->stop();
    listener.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
              testwait::kLoadMarginMs / 1000.0)
        << "the stop ends the stream";
}

}  // namespace

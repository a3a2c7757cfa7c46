// Hostile Radio Browser answers (bad JSON, 100 MB, wrong types, not an
// array, deep nesting, a slow drip, an error status) give the directory an
// error page or the saved list, never a crash or a hang.

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "fake_radio_browser.h"
#include "live_directory.h"

using namespace livedir;
using fakerb::FakeRadioBrowser;

namespace {

struct HostileRow
{
    const char *name;
    FakeRadioBrowser::Answer answer;
};
void PrintTo(const HostileRow &row, std::ostream *os)
{
    *os << row.name;
}

const HostileRow kHostileRows[] = {
    {"status_500", FakeRadioBrowser::Answer::Status500},
    {"bad_json", FakeRadioBrowser::Answer::BadJson},
    {"huge", FakeRadioBrowser::Answer::Huge},
    {"wrong_types", FakeRadioBrowser::Answer::WrongTypes},
    {"not_an_array", FakeRadioBrowser::Answer::NotAnArray},
    {"deep", FakeRadioBrowser::Answer::Deep},
    {"slow_drip", FakeRadioBrowser::Answer::Drip},
};

class HostileAnswer : public ::testing::TestWithParam<HostileRow>
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(work_.path().empty());
        api_.setStations(fakerb::stationsJson(fakerb::fixtureStations("http://127.0.0.1:9")));
        ASSERT_TRUE(api_.start());
    }
    WorkFolder work_;
    FakeRadioBrowser api_;
};

TEST_P(HostileAnswer, WithoutASavedListGivesAnErrorPage)
{
    api_.setAnswer(GetParam().answer);
    Directory d;
    ASSERT_TRUE(d.start(work_.path(), api_.base())) << d.error;
    const auto t0 = std::chrono::steady_clock::now();
    // The pages answer while the fetch runs, and say why there is no list.
    EXPECT_TRUE(d.waitFor("/ap/location.asp", "cannot be fetched", 60)) << d.get("/ap/location.asp");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
    int status = 0;
    EXPECT_EQ(element(d.get("/apbig5/genre.asp", &status), "Edit"), "0");
    EXPECT_EQ(status, 200);
}

TEST_P(HostileAnswer, KeepsTheSavedList)
{
    {
        Directory first;
        ASSERT_TRUE(first.start(work_.path(), api_.base())) << first.error;
        ASSERT_TRUE(first.waitFor("/ap/location.asp", "Germany"));
    }
    api_.setAnswer(GetParam().answer);
    api_.setServers(R"([{"name":"127.0.0.1:1"}])");
    Directory d;
    ASSERT_TRUE(d.start(work_.path(), api_.base(), [](stationdir::DirectoryOptions &o) {
        o.radioBrowser->maxAge = std::chrono::seconds(0);  // fetch again at once
    })) << d.error;
    // The saved list serves throughout, and still after the fetch failed
    // (the mirrors are asked for once the server's answer is refused).
    EXPECT_NE(d.get("/ap/location.asp?sel=China").find("北京音樂台"), std::string::npos);
    for (int i = 0; i < 1200 && api_.serverListRequests() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(api_.serverListRequests(), 1);
    EXPECT_TRUE(d.waitFor("/ap/location.asp", "Germany"));
    EXPECT_NE(d.get("/ap/location.asp?sel=China").find("北京音樂台"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileAnswer, ::testing::ValuesIn(kHostileRows),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

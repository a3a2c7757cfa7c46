// Text rules: port extraction, port texts, status lines, client GUIDs and
// the bounded copy helpers.
#include "text_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <ostream>
#include <string>

#include "capture_state.h"

using namespace netgrab;

namespace {

template <typename T>
std::string rowName(const ::testing::TestParamInfo<T> &info)
{
    return info.param.name;
}

// ---- extractPort ----
struct ExtractCase
{
    const char *name;
    const char *address;
    const char *expected;
    uint16_t expectedPort;  // kNoPort: left unchanged
};
void PrintTo(const ExtractCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExtractPort : public ::testing::TestWithParam<ExtractCase>
{};

TEST_P(ExtractPort, Rewrites)
{
    const ExtractCase &c = GetParam();
    char address[256];
    std::strcpy(address, c.address);
    uint16_t port = kNoPort;
    extractPort(address, port);
    EXPECT_STREQ(address, c.expected);
    EXPECT_EQ(port, c.expectedPort);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExtractPort,
    ::testing::Values(ExtractCase{"port_before_path", "http://radiohost:8000/live", "http://radiohost/live", 8000},
                      ExtractCase{"port_at_end", "http://radiohost:8000", "http://radiohost", 8000},
                      ExtractCase{"no_port", "mms://radiohost/live", "mms://radiohost/live", kNoPort},
                      ExtractCase{"empty_port_means_80", "http://host:/a", "http://host/a", 80},
                      ExtractCase{"zero_port_means_80", "http://host:0/a", "http://host/a", 80},
                      ExtractCase{"leading_digits_only", "http://host:81ab/a", "http://host/a", 81},
                      ExtractCase{"colon_in_path_ignored", "http://host/a:99", "http://host/a:99", kNoPort},
                      ExtractCase{"ten_characters_accepted", "http://h:1234567890/x", "http://h/x",
                                  static_cast<uint16_t>(1234567890u & 0xFFFF)},
                      ExtractCase{"eleven_characters_refused", "http://h:12345678901/x", "http://h:12345678901/x",
                                  kNoPort},
                      ExtractCase{"line_end_refused", "http://h:80\r\n", "http://h:80\r\n", kNoPort},
                      ExtractCase{"no_scheme", "radiohost:8000/live", "radiohost:8000/live", kNoPort},
                      ExtractCase{"scheme_too_far", "abcdefghijk://h:80/", "abcdefghijk://h:80/", kNoPort}),
    rowName<ExtractCase>);

// ---- portFromText ----
struct PortCase
{
    const char *name;
    const char *text;
    uint16_t expected;
};
void PrintTo(const PortCase &c, std::ostream *os)
{
    *os << c.name;
}

class PortFromText : public ::testing::TestWithParam<PortCase>
{};

TEST_P(PortFromText, Reads)
{
    EXPECT_EQ(portFromText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PortFromText,
                         ::testing::Values(PortCase{"no_colon", "mmshost/live", 1755},
                                           PortCase{"port_then_path", "mmshost:8080/live", 8080},
                                           PortCase{"port_then_line_end", "mmshost:7007\r\n", 7007},
                                           PortCase{"nothing_after_colon", "mmshost:/live", 0},
                                           PortCase{"not_numeric", "mmshost:abc", 0xFFFF},
                                           PortCase{"ends_in_digit", "mmshost:12x3", 12},
                                           PortCase{"over_long_text_is_cut", "h:1234567890123456789012345",
                                                    static_cast<uint16_t>(1234567890123456789ULL & 0xFFFF)},
                                           PortCase{"first_colon_counts", "a:81:82", 81}),
                         rowName<PortCase>);

// ---- statusLine ----
struct StatusCase
{
    const char *name;
    std::string answer;
    int length;
    std::string expected;
};
void PrintTo(const StatusCase &c, std::ostream *os)
{
    *os << c.name;
}

class StatusLine : public ::testing::TestWithParam<StatusCase>
{};

TEST_P(StatusLine, Copies)
{
    const StatusCase &c = GetParam();
    EXPECT_EQ(std::string(statusLine(c.answer.c_str(), c.length)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, StatusLine,
                         ::testing::Values(StatusCase{"first_line", "HTTP/1.0 200 OK\r\nServer: x\r\n", 30,
                                                      "HTTP/1.0 200 OK"},
                                           StatusCase{"length_cuts", "HTTP/1.0 200 OK\r\n", 5, "HTTP"},
                                           StatusCase{"lone_cr_kept", "ICY 200\rOK\r\n", 12, "ICY 200\rOK"},
                                           StatusCase{"no_line_end", "abc", 4, "abc"},
                                           StatusCase{"at_most_511", std::string(600, 'z'), 600, std::string(511, 'z')},
                                           StatusCase{"zero_length", "abc", 0, ""}),
                         rowName<StatusCase>);

TEST(StatusLineOfText, NegativeLengthReadsTheTextToItsEnd)
{
    EXPECT_STREQ(statusLine("HTTP/1.1 302 FOUND\r\nLOCATION: X", -1), "HTTP/1.1 302 FOUND");
    EXPECT_STREQ(statusLine("HTTP/1.0 200 OK\r\n", -1), "HTTP/1.0 200 OK");
}

// ---- makeClientGuid ----
TEST(ClientGuid, HasTheFormAndNeverF)
{
    char a[40], b[40];
    std::memset(a, '#', sizeof a);
    makeClientGuid(a);
    makeClientGuid(b);
    const std::regex form("\\{[0-9A-E]{8}-[0-9A-E]{4}-[0-9A-E]{4}-[0-9A-E]{4}-[0-9A-E]{12}\\}");
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    EXPECT_EQ(a[39], '#');  // 38 characters and the NUL
    // Seeded from the time in seconds: two calls in the same second agree.
    if (std::strcmp(a, b) != 0) {
        makeClientGuid(a);
        makeClientGuid(b);
        EXPECT_STREQ(a, b);
    }
}

// ---- bounded helpers ----
TEST(BoundedHelpers, NeverWritePastTheCapacity)
{
    char dst[8];
    std::memset(dst, '#', sizeof dst);
    copyText(dst, 5, "abcdefgh");
    EXPECT_STREQ(dst, "abcd");
    EXPECT_EQ(dst[5], '#');

    copyLineValue(dst, 8, "12;45\r\nxyz", ";");
    EXPECT_STREQ(dst, "12");
    copyLineValue(dst, 4, "abcdef\r\n");
    EXPECT_STREQ(dst, "abc");

    upperCopy(dst, 8, "mixed Case text");
    EXPECT_STREQ(dst, "MIXED C");
    copyText(dst, 8, nullptr);
    EXPECT_STREQ(dst, "");
    EXPECT_STREQ(skipBlanks(" \t value"), "value");
}

}  // namespace

// Reference resolution: the worked examples of RFC 3986 section 5.4 against
// their base, references that climb above the root, other schemes, garbage
// and results that do not fit.
#include "address_resolve.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

using namespace netgrab;

namespace {

constexpr const char *kRfcBase = "http://a/b/c/d;p?q";

struct ResolveCase
{
    const char *name;
    const char *base;
    const char *reference;
    const char *expected;  // nullptr: refused
};
void PrintTo(const ResolveCase &c, std::ostream *os)
{
    *os << c.name;
}

class ResolveAddress : public ::testing::TestWithParam<ResolveCase>
{};

TEST_P(ResolveAddress, Resolves)
{
    const ResolveCase &c = GetParam();
    char out[256];
    std::memset(out, 'x', sizeof out);
    const bool taken = resolveAddress(c.base, c.reference, out, sizeof out);
    if (c.expected) {
        EXPECT_TRUE(taken);
        EXPECT_STREQ(out, c.expected);
    } else {
        EXPECT_FALSE(taken);
        EXPECT_STREQ(out, "");
    }
}

// Section 5.4.1 (normal) and 5.4.2 (abnormal) with the section's base; a
// result whose scheme is not http(s) ("g:h") or that has no host
// ("http:g", read strictly) is refused.
INSTANTIATE_TEST_SUITE_P(
    Rfc3986, ResolveAddress,
    ::testing::Values(
        ResolveCase{"other_scheme", kRfcBase, "g:h", nullptr}, ResolveCase{"g", kRfcBase, "g", "http://a/b/c/g"},
        ResolveCase{"dot_g", kRfcBase, "./g", "http://a/b/c/g"},
        ResolveCase{"g_slash", kRfcBase, "g/", "http://a/b/c/g/"}, ResolveCase{"root_g", kRfcBase, "/g", "http://a/g"},
        ResolveCase{"network_path", kRfcBase, "//g", "http://g"},
        ResolveCase{"query", kRfcBase, "?y", "http://a/b/c/d;p?y"},
        ResolveCase{"g_query", kRfcBase, "g?y", "http://a/b/c/g?y"},
        ResolveCase{"fragment", kRfcBase, "#s", "http://a/b/c/d;p?q#s"},
        ResolveCase{"g_fragment", kRfcBase, "g#s", "http://a/b/c/g#s"},
        ResolveCase{"g_query_fragment", kRfcBase, "g?y#s", "http://a/b/c/g?y#s"},
        ResolveCase{"semicolon_x", kRfcBase, ";x", "http://a/b/c/;x"},
        ResolveCase{"g_semicolon_x", kRfcBase, "g;x", "http://a/b/c/g;x"},
        ResolveCase{"g_semicolon_query_fragment", kRfcBase, "g;x?y#s", "http://a/b/c/g;x?y#s"},
        ResolveCase{"empty", kRfcBase, "", "http://a/b/c/d;p?q"}, ResolveCase{"dot", kRfcBase, ".", "http://a/b/c/"},
        ResolveCase{"dot_slash", kRfcBase, "./", "http://a/b/c/"},
        ResolveCase{"dot_dot", kRfcBase, "..", "http://a/b/"},
        ResolveCase{"dot_dot_slash", kRfcBase, "../", "http://a/b/"},
        ResolveCase{"dot_dot_g", kRfcBase, "../g", "http://a/b/g"},
        ResolveCase{"two_up", kRfcBase, "../..", "http://a/"},
        ResolveCase{"two_up_slash", kRfcBase, "../../", "http://a/"},
        ResolveCase{"two_up_g", kRfcBase, "../../g", "http://a/g"},
        ResolveCase{"above_root_three", kRfcBase, "../../../g", "http://a/g"},
        ResolveCase{"above_root_four", kRfcBase, "../../../../g", "http://a/g"},
        ResolveCase{"root_dot_g", kRfcBase, "/./g", "http://a/g"},
        ResolveCase{"root_dot_dot_g", kRfcBase, "/../g", "http://a/g"},
        ResolveCase{"g_dot", kRfcBase, "g.", "http://a/b/c/g."},
        ResolveCase{"dot_g_name", kRfcBase, ".g", "http://a/b/c/.g"},
        ResolveCase{"g_dot_dot", kRfcBase, "g..", "http://a/b/c/g.."},
        ResolveCase{"dot_dot_g_name", kRfcBase, "..g", "http://a/b/c/..g"},
        ResolveCase{"dot_dot_in_middle", kRfcBase, "./../g", "http://a/b/g"},
        ResolveCase{"dot_end", kRfcBase, "./g/.", "http://a/b/c/g/"},
        ResolveCase{"dot_inside", kRfcBase, "g/./h", "http://a/b/c/g/h"},
        ResolveCase{"dot_dot_inside", kRfcBase, "g/../h", "http://a/b/c/h"},
        ResolveCase{"dot_dot_after_semicolon", kRfcBase, "g;x=1/../y", "http://a/b/c/y"},
        ResolveCase{"dots_in_query", kRfcBase, "g?y/../x", "http://a/b/c/g?y/../x"},
        ResolveCase{"dots_in_fragment", kRfcBase, "g#s/../x", "http://a/b/c/g#s/../x"},
        ResolveCase{"strict_scheme_without_host", kRfcBase, "http:g", nullptr}),
    [](const ::testing::TestParamInfo<ResolveCase> &info) { return std::string(info.param.name); });

// What playlists really carry, and what must never become a request.
INSTANTIATE_TEST_SUITE_P(
    Playlists, ResolveAddress,
    ::testing::Values(ResolveCase{"entry_beside_playlist", "http://radio.example:8000/lists/live.m3u", "stream.mp3",
                                  "http://radio.example:8000/lists/stream.mp3"},
                      ResolveCase{"entry_from_root", "http://radio.example:8000/lists/live.m3u", "/live/stream",
                                  "http://radio.example:8000/live/stream"},
                      ResolveCase{"https_base_kept", "https://radio.example/a/list.m3u8", "seg1.ts",
                                  "https://radio.example/a/seg1.ts"},
                      ResolveCase{"absolute_https_entry", "http://radio.example/list.m3u", "https://other.example/s",
                                  "https://other.example/s"},
                      ResolveCase{"scheme_in_any_case", "HTTP://radio.example/list.m3u", "s.mp3",
                                  "HTTP://radio.example/s.mp3"},
                      ResolveCase{"climb_from_deep_path", "http://h/a/b/c/list.m3u", "../../../../../../etc/passwd",
                                  "http://h/etc/passwd"},
                      ResolveCase{"file_entry_refused", "http://h/list.m3u", "file:///etc/passwd", nullptr},
                      ResolveCase{"mms_entry_refused", "http://h/list.m3u", "mms://h/live", nullptr},
                      ResolveCase{"mms_base_refused", "mms://h/list", "live", nullptr},
                      ResolveCase{"relative_base_refused", "/lists/live.m3u", "stream.mp3", nullptr},
                      ResolveCase{"empty_base_refused", "", "stream.mp3", nullptr},
                      ResolveCase{"space_in_reference", "http://h/list.m3u", "my stream.mp3", nullptr},
                      ResolveCase{"line_end_in_reference", "http://h/list.m3u", "s.mp3\r\nHost: evil", nullptr},
                      ResolveCase{"bad_percent_escape", "http://h/list.m3u", "s%zz.mp3", nullptr},
                      ResolveCase{"unclosed_ip_literal", "http://h/list.m3u", "http://[::1/s", nullptr},
                      ResolveCase{"binary_garbage", "http://h/list.m3u", "\x01\x7f\xfe", nullptr}),
    [](const ::testing::TestParamInfo<ResolveCase> &info) { return std::string(info.param.name); });

TEST(ResolveAddressBounds, ResultThatDoesNotFitIsRefusedNotCut)
{
    const char *base = "http://radio.example/lists/live.m3u";
    const std::string expected = "http://radio.example/lists/stream.mp3";
    std::string out(expected.size() + 1, 'x');
    ASSERT_TRUE(resolveAddress(base, "stream.mp3", &out[0], out.size()));
    EXPECT_EQ(std::string(out.c_str()), expected);

    char small[16];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(resolveAddress(base, "stream.mp3", small, sizeof small));
    EXPECT_STREQ(small, "");
    char exact[64];
    EXPECT_FALSE(resolveAddress(base, "stream.mp3", exact, expected.size()));  // no room for the NUL
    EXPECT_FALSE(resolveAddress(base, "stream.mp3", exact, 0));
    EXPECT_FALSE(resolveAddress(nullptr, "stream.mp3", exact, sizeof exact));
    EXPECT_FALSE(resolveAddress(base, nullptr, exact, sizeof exact));
}

}  // namespace

// ICY metadata blocks taken out of a stream: where the blocks stand, empty
// blocks, blocks split across receives, and the "icy-metaint" value.
#include "icy_metadata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

using namespace netgrab;

namespace {

std::string block(const std::string &text)
{
    const size_t units = (text.size() + 15) / 16;
    std::string b(1, static_cast<char>(units));
    b += text;
    b.append(units * 16 - text.size(), '\0');
    return b;
}

std::string filtered(size_t interval, std::string bytes, size_t piece)
{
    IcyMetadataFilter filter;
    filter.start(interval);
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        std::string part = bytes.substr(at, piece);
        const size_t kept = filter.filter(reinterpret_cast<unsigned char *>(&part[0]), part.size());
        out.append(part, 0, kept);
    }
    return out;
}

TEST(IcyMetadataFilter, KeepsTheAudioBetweenBlocks)
{
    const std::string title = block("StreamTitle='Night & Day';");
    const std::string stream =
        "abcdefgh" + title + "ijklmnop" + std::string(1, '\0') + "qrstuvwx" + block(std::string(4080, 'm')) + "yz";
    for (size_t piece : {1, 3, 8, 9, 100, 10000}) {
        EXPECT_EQ(filtered(8, stream, piece), "abcdefghijklmnopqrstuvwxyz") << "pieces of " << piece;
    }
}

TEST(IcyMetadataFilter, WithoutIntervalPassesEveryByte)
{
    IcyMetadataFilter filter;
    filter.start(0);
    EXPECT_FALSE(filter.active());
    std::string bytes = std::string("\x02", 1) + "all audio";
    EXPECT_EQ(filter.filter(reinterpret_cast<unsigned char *>(&bytes[0]), bytes.size()), bytes.size());
}

struct IntervalCase
{
    const char *name;
    const char *answer;
    size_t interval;
};
void PrintTo(const IntervalCase &c, std::ostream *os)
{
    *os << c.name;
}

class IcyInterval : public ::testing::TestWithParam<IntervalCase>
{};

TEST_P(IcyInterval, ReadsTheDeclaredInterval)
{
    const IntervalCase &c = GetParam();
    const char *end = std::strstr(c.answer, "\r\n\r\n");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(icyMetaInterval(c.answer, static_cast<size_t>(end - c.answer)), c.interval);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, IcyInterval,
    ::testing::Values(IntervalCase{"declared", "ICY 200 OK\r\nicy-metaint: 16000\r\n\r\n", 16000},
                      IntervalCase{"any_case_no_blank", "ICY 200 OK\r\nIcy-MetaInt:8192\r\n\r\n", 8192},
                      IntervalCase{"none", "ICY 200 OK\r\nicy-name: x\r\n\r\n", 0},
                      IntervalCase{"zero", "ICY 200 OK\r\nicy-metaint: 0\r\n\r\n", 0},
                      IntervalCase{"not_numeric", "ICY 200 OK\r\nicy-metaint: 12ab\r\n\r\n", 0},
                      IntervalCase{"huge", "ICY 200 OK\r\nicy-metaint: 99999999999999999999\r\n\r\n", 0},
                      IntervalCase{"only_in_body", "ICY 200 OK\r\n\r\nicy-metaint: 10\r\n\r\n", 0},
                      IntervalCase{"name_inside_other_field", "ICY 200 OK\r\nx-icy-metaint: 10\r\n\r\n", 0}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace

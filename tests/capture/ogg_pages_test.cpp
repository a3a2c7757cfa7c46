// Ogg pages: the first beginning-of-stream page, whole pages only, pages
// that are not pages (a stray capture pattern, a broken checksum, another
// version), a stream joined half-way, and the Opus mark; every row fed at
// once and in small pieces.
#include "ogg_pages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "framed_media.h"

using namespace netgrab;
using namespace testsupport;

namespace {

const std::vector<std::string> kVorbis = oggPages(7, oggPackets(vorbisHead(), 30));
const std::vector<std::string> kOpus = oggPages(9, oggPackets(opusHead(), 30));

struct Pages
{
    std::string bytes;
    bool opus = false;
};

Pages paged(const std::string &bytes, size_t piece)
{
    OggPager pager;
    Pages out;
    const size_t step = piece ? piece : bytes.size() + 1;
    for (size_t at = 0; at < bytes.size(); at += step) {
        const std::string block = bytes.substr(at, step);
        EXPECT_EQ(pager.push(reinterpret_cast<const unsigned char *>(block.data()), block.size()), block.size());
        const unsigned char *page = nullptr;
        size_t n = 0;
        while (pager.next(&page, &n))
            out.bytes.append(reinterpret_cast<const char *>(page), n);
    }
    out.opus = pager.opus();
    return out;
}

struct OggCase
{
    const char *name;
    std::string bytes;
    std::string expected;
    bool opus;
};
void PrintTo(const OggCase &c, std::ostream *os)
{
    *os << c.name;
}

class OggPaging : public ::testing::TestWithParam<OggCase>
{};

TEST_P(OggPaging, HandsOutWholePagesFromTheFirstBeginning)
{
    const OggCase &c = GetParam();
    for (size_t piece : {0, 1, 27, 300, 4096}) {
        const Pages got = paged(c.bytes, piece);
        EXPECT_EQ(got.bytes, c.expected) << "pieces of " << piece;
        EXPECT_EQ(got.opus, c.opus) << "pieces of " << piece;
    }
}

std::string withBrokenChecksum(std::string page)
{
    page[page.size() - 1] ^= 0x55;
    return page;
}
std::string withVersion(std::string page, char version)
{
    page[4] = version;
    return page;
}

const OggCase kCases[] = {
    {"vorbis_from_first_page", joinPages(kVorbis), joinPages(kVorbis), false},
    {"opus_named", joinPages(kOpus), joinPages(kOpus), true},
    {"text_before_first_page", "garbage OggS but no page" + joinPages(kVorbis), joinPages(kVorbis), false},
    {"joined_half_way_waits_for_a_beginning",
     kVorbis.at(3).substr(100) + kVorbis.at(4) + kVorbis.at(5) + joinPages(kOpus), joinPages(kOpus), true},
    {"chained_streams_kept_whole", joinPages(kVorbis) + joinPages(kOpus), joinPages(kVorbis) + joinPages(kOpus), false},
    {"last_page_cut_short_held_back", joinPages(kVorbis) + kOpus.at(0).substr(0, kOpus.at(0).size() - 1),
     joinPages(kVorbis), false},
    {"broken_checksum_passed_over", kVorbis.at(0) + kVorbis.at(1) + withBrokenChecksum(kVorbis.at(2)) + kVorbis.at(3),
     kVorbis.at(0) + kVorbis.at(1) + kVorbis.at(3), false},
    {"version_one_first_page_is_no_beginning", withVersion(kOpus.at(0), 1) + joinPages(kVorbis), joinPages(kVorbis),
     false},
    {"nothing", "", "", false},
};

INSTANTIATE_TEST_SUITE_P(Streams, OggPaging, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

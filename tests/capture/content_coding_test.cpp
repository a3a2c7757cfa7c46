// Compressed page and playlist answers: gzip, zlib and bare deflate bodies
// decoded in place, answers without a coding left alone, and broken or
// oversized bodies refused rather than cut; plus the playlist fetch that
// hands the decoded text on.
#include "content_coding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "capture_state.h"
#include "classify.h"
#include "http_request.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

using testutil::compressed;

const std::string kPlaylist = "#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://radio.example:8000/live\r\n";
const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n";

struct CodingCase
{
    const char *name;
    std::string answer;
    std::string expected;  // empty: refused (-1)
};
void PrintTo(const CodingCase &c, std::ostream *os)
{
    *os << c.name;
}

class ContentCoding : public ::testing::TestWithParam<CodingCase>
{};

TEST_P(ContentCoding, DecodesWithinTheBuffer)
{
    const CodingCase &c = GetParam();
    std::string buffer(kReceiveBufferSize + 1, 'x');
    std::memcpy(&buffer[0], c.answer.data(), c.answer.size());
    const int n = decodeContentCoding(&buffer[0], static_cast<int>(c.answer.size()), kReceiveBufferSize + 1);
    if (c.expected.empty()) {
        EXPECT_EQ(n, -1);
        return;
    }
    ASSERT_EQ(n, static_cast<int>(c.expected.size()));
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), c.expected);
}

const std::string kBig(kReceiveBufferSize, '#');  // decodes to more than the buffer holds

const CodingCase kCases[] = {
    {"gzip", kHead + "Content-Encoding: gzip\r\n\r\n" + compressed(kPlaylist, 31),
     kHead + "Content-Encoding: gzip\r\n\r\n" + kPlaylist},
    {"gzip_name_in_capitals", kHead + "content-encoding: GZIP\r\n\r\n" + compressed(kPlaylist, 31),
     kHead + "content-encoding: GZIP\r\n\r\n" + kPlaylist},
    {"deflate_zlib", kHead + "Content-Encoding: deflate\r\n\r\n" + compressed(kPlaylist, 15),
     kHead + "Content-Encoding: deflate\r\n\r\n" + kPlaylist},
    {"deflate_bare", kHead + "Content-Encoding: deflate\r\n\r\n" + compressed(kPlaylist, -15),
     kHead + "Content-Encoding: deflate\r\n\r\n" + kPlaylist},
    {"no_coding_left_alone", kHead + "\r\n" + kPlaylist, kHead + "\r\n" + kPlaylist},
    {"identity_left_alone", kHead + "Content-Encoding: identity\r\n\r\n" + kPlaylist,
     kHead + "Content-Encoding: identity\r\n\r\n" + kPlaylist},
    {"gzip_cut_short", kHead + "Content-Encoding: gzip\r\n\r\n" + compressed(kPlaylist, 31).substr(0, 20), ""},
    {"gzip_not_compressed", kHead + "Content-Encoding: gzip\r\n\r\n" + kPlaylist, ""},
    {"decoded_larger_than_buffer", kHead + "Content-Encoding: gzip\r\n\r\n" + compressed(kBig, 31), ""},
};

INSTANTIATE_TEST_SUITE_P(Answers, ContentCoding, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The playlist fetch decodes what the server compressed; the request stays
// as it was ("Accept-Encoding: gzip, deflate").
TEST(CompressedPlaylist, FetchHandsBackTheDecodedEntry)
{
    testutil::OwnCapture own;
    testutil::useFastTuning();
    const std::string body = compressed(kPlaylist, 31);
    ScriptedServer server({{readRequest(),
                            send(kHead + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(body.size())
                                 + "\r\n\r\n" + body)}});
    own.ctx.requestPort = server.port();
    const int n = httpFetch(own.ctx, own.ctx.receiveBuffer, "127.0.0.1/radio.m3u");
    ASSERT_GT(n, 0);
    char entry[512];
    ASSERT_EQ(m3uTarget(own.ctx.receiveBuffer, entry, sizeof entry), 1);
    EXPECT_STREQ(entry, "radio.example:8000/live");
    EXPECT_NE(server.received(0).find("\r\nAccept-Encoding: gzip, deflate\r\n"), std::string::npos);
}

}  // namespace

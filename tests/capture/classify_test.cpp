// Source classification and playlist resolution: pure text rules first,
// then pages, ASX, M3U and PLS playlists served by scripted loopback servers.
#include "classify.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "bounded_wait.h"
#include "capture_state.h"
#include "connection.h"
#include "netgrab.h"
#include "scripted_server.h"
#include "test_util.h"

using namespace netgrab;
using namespace testsupport;

namespace {

constexpr const char *kPortal = "portal.radio.test";

class ClassifyBase : protected testutil::OwnCapture
{
protected:
    void reset()
    {
        testutil::useFastTuning();
        CaptureState &s = ctx;
        netgrab::settings().config.portalHost = kPortal;
        netgrab::settings().config.shoutcastNoticeHost = "notice.radio.test";
        s.sourceKind = SOURCE_NONE;
        s.serverPort = kNoPort;
        s.workingAddress[0] = '\0';
        s.pageCookie[0] = '\0';
        s.stop.clear();
        netgrab::shared().lastError = 0;
    }
};

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

// ---- classification without the network ----

struct KindCase
{
    const char *name;
    const char *address;
    int32_t kind;
    const char *working;
    uint16_t port;
    Transport transport = Transport::Tcp;
};
void PrintTo(const KindCase &c, std::ostream *os)
{
    *os << c.name;
}

class ClassifyKind : public ::testing::TestWithParam<KindCase>, protected ClassifyBase
{
protected:
    void SetUp() override { reset(); }
};

TEST_P(ClassifyKind, LeavesKindAddressAndPort)
{
    const KindCase &c = GetParam();
    ASSERT_EQ(classifySource(ctx, c.address), 1);
    EXPECT_EQ(ctx.sourceKind, c.kind);
    EXPECT_STREQ(ctx.workingAddress, c.working);
    EXPECT_EQ(ctx.serverPort, c.port);
    EXPECT_EQ(ctx.transport, c.transport);
}

const KindCase kKindCases[] = {
    {"MmsDefaultPort", "mms://radiohost/live", SOURCE_MMS, "radiohost/live", 1755},
    {"MmsExplicitPort", "mms://radiohost:8080/live", SOURCE_MMS, "radiohost/live", 8080},
    {"HttpStream", "http://radiohost/live", SOURCE_HTTP, "radiohost/live", 80},
    {"HttpStreamPortTakenOut", "http://radiohost:8000/live", SOURCE_HTTP, "radiohost/live", 8000},
    {"HttpHostOnly", "http://radiohost", SOURCE_HTTP, "radiohost", 80},
    {"M3uEndingTheAddress", "http://radiohost/list.m3u", SOURCE_M3U, "radiohost/list.m3u", 80},
    {"M3uWithPort", "http://radiohost:8001/list.m3u", SOURCE_M3U, "radiohost/list.m3u", 8001},
    {"M3uFollowedByQuery", "http://radiohost/list.m3u?x=1", SOURCE_HTTP, "radiohost/list.m3u?x=1", 80},
    {"M3uUpperCaseIsStream", "http://radiohost/list.M3U", SOURCE_HTTP, "radiohost/list.M3U", 80},
    {"PlsEndingTheAddress", "http://radiohost/list.pls", SOURCE_PLS, "radiohost/list.pls", 80},
    {"PlsFirstOccurrenceMustEnd", "http://radiohost/a.pls/b.pls", SOURCE_HTTP, "radiohost/a.pls/b.pls", 80},
    {"AsxUpperCaseIsStream", "http://radiohost/Live.ASX", SOURCE_HTTP, "radiohost/Live.ASX", 80},
    {"PortalHostAnywhere", "http://portal.radio.test/ch/1.html", SOURCE_PORTAL, "portal.radio.test/ch/1.html", 80},
    {"PortalHostBeatsHtml", "http://www.portal.radio.test:81/a.html", SOURCE_PORTAL, "www.portal.radio.test/a.html",
     81},
    {"FileScheme", "file:///music/a.mp3", SOURCE_FILE, "/music/a.mp3", 80},
    // "https://" is the HTTP route over TLS, its port 443 unless named.
    {"HttpsStream", "https://radiohost/live", SOURCE_HTTP, "radiohost/live", 443, Transport::Tls},
    {"HttpsStreamPortTakenOut", "https://radiohost:8443/live", SOURCE_HTTP, "radiohost/live", 8443, Transport::Tls},
    {"HttpsM3u", "https://radiohost/list.m3u", SOURCE_M3U, "radiohost/list.m3u", 443, Transport::Tls},
    {"HttpsPls", "https://radiohost:444/list.pls", SOURCE_PLS, "radiohost/list.pls", 444, Transport::Tls},
    {"HttpsPortalHostIsAStream", "https://portal.radio.test/ch/1.mp3", SOURCE_HTTP, "portal.radio.test/ch/1.mp3", 443,
     Transport::Tls},
    {"LongAddressCutAtBuffer", nullptr, SOURCE_HTTP, nullptr, 80},
};

std::vector<KindCase> kindCases()
{
    static std::string longAddress = "http://radiohost/" + repeat('a', 400);
    static std::string longWorking = ("radiohost/" + repeat('a', 400)).substr(0, 255);
    std::vector<KindCase> cases(std::begin(kKindCases), std::end(kKindCases));
    cases.back().address = longAddress.c_str();
    cases.back().working = longWorking.c_str();
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Addresses, ClassifyKind, ::testing::ValuesIn(kindCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- ASX documents ----

struct AsxCase
{
    const char *name;
    const char *document;
    int result;
    const char *target;
};
void PrintTo(const AsxCase &c, std::ostream *os)
{
    *os << c.name;
}

class AsxDocument : public ::testing::TestWithParam<AsxCase>, protected ClassifyBase
{
protected:
    void SetUp() override { reset(); }
};

TEST_P(AsxDocument, FindsTheStreamReference)
{
    const AsxCase &c = GetParam();
    char target[384] = "unchanged";
    ASSERT_EQ(asxTarget(c.document, target, sizeof target), c.result);
    if (c.result) {
        EXPECT_STREQ(target, c.target);
    }
}

const AsxCase kAsxCases[] = {
    {"FirstEntry", "<ASX version=\"3.0\"><ENTRY><REF HREF=\"mms://radiohost/live\"/></ENTRY></ASX>", 1,
     "mms://radiohost/live"},
    {"LowerCaseTagsKeepReceivedCase", "<asx><entry><ref href=\"http://RadioHost:8000/Live\"/></entry></asx>", 1,
     "http://RadioHost:8000/Live"},
    {"AdvertisementsSkipped",
     "<asx><entry><ref href=\"http://ads/AD.GIF\"/></entry>\r\n"
     "<entry><ref href=\"http://ads/jingle.wav\"/></entry>\r\n"
     "<entry><ref href=\"mms://radiohost/live\"/></entry></asx>",
     1, "mms://radiohost/live"},
    {"WmaAndMp3Skipped",
     "<asx><entry><ref href=\"http://ads/a.wma\"/></entry><entry><ref href=\"http://x/b.Mp3\"/>"
     "</entry><entry><ref href=\"http://radiohost/stream\"/></entry></asx>",
     1, "http://radiohost/stream"},
    {"MmsTextAfterSkippedEntries",
     "<asx><entry><ref href=\"http://ads/a.gif\"/></entry>\r\n"
     "<param name=\"x\" value=\"mms://radiohost/backup\"/></asx>",
     1, "mms://radiohost/backup"},
    {"MmsTextRunsToLineEnd", "[Reference]\r\nRef1=MMS://RadioHost/Live?a=1\r\nRef2=x", 1, "MMS://RadioHost/Live?a=1"},
    {"EntryWithoutRef", "<asx><entry><title>x</title></entry></asx>", 0, nullptr},
    {"ReferenceWithoutClosingQuote", "<asx><entry><ref href=\"mms://radiohost/live", 0, nullptr},
    {"OnlyAdvertisements", "<asx><entry><ref href=\"http://ads/a.gif\"/></entry></asx>", 0, nullptr},
    {"NoPlaylistAtAll", "HTTP/1.0 200 OK\r\n\r\nhello", 0, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Documents, AsxDocument, ::testing::ValuesIn(kAsxCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(AsxDocumentLimits, LongReferenceCutAtBuffer)
{
    const std::string ref = "mms://radiohost/" + repeat('r', 600);
    const std::string doc = "<asx><entry><ref href=\"" + ref + "\"/></entry></asx>";
    char target[384];
    std::memset(target, '#', sizeof target);
    ASSERT_EQ(asxTarget(doc.c_str(), target, sizeof target), 1);
    EXPECT_EQ(std::string(target), ref.substr(0, 383));
}

struct SchemeCase
{
    const char *name;
    const char *target;
    int result;
    int32_t kind;
    const char *working;
    uint16_t port;
};
void PrintTo(const SchemeCase &c, std::ostream *os)
{
    *os << c.name;
}

class AsxScheme : public ::testing::TestWithParam<SchemeCase>, protected ClassifyBase
{
protected:
    void SetUp() override { reset(); }
};

TEST_P(AsxScheme, ClassifiesTheReference)
{
    const SchemeCase &c = GetParam();
    ctx.serverPort = 1234;
    ASSERT_EQ(applyAsxTarget(ctx, c.target), c.result);
    EXPECT_EQ(ctx.sourceKind, c.kind);
    EXPECT_STREQ(ctx.workingAddress, c.working);
    EXPECT_EQ(ctx.serverPort, c.port);
}

const SchemeCase kSchemeCases[] = {
    {"Mms", "mms://radiohost/live", 1, SOURCE_MMS, "radiohost/live", 1755},
    {"MmsUpperCase", "MMS://RadioHost/Live", 1, SOURCE_MMS, "RadioHost/Live", 1755},
    // The port stays in the text; the HTTP capture reads it from there.
    {"HttpWithPort", "http://radiohost:8000/live", 1, SOURCE_HTTP, "radiohost:8000/live", 80},
    {"HttpsWithPort", "HTTPS://radiohost:8443/live", 1, SOURCE_HTTP, "radiohost:8443/live", 443},
    {"Https", "https://radiohost/live", 1, SOURCE_HTTP, "radiohost/live", 443},
    {"Rtsp", "rtsp://radiohost/live", 1, SOURCE_RTSP, "radiohost/live", 1234},
    // Nothing to connect to: classification fails instead of leaving an
    // empty address behind an earlier kind.
    {"OtherScheme", "ftp://radiohost/live", 0, SOURCE_NONE, "", 1234},
    {"Relative", "live/stream", 0, SOURCE_NONE, "", 1234},
};

INSTANTIATE_TEST_SUITE_P(References, AsxScheme, ::testing::ValuesIn(kSchemeCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- M3U and PLS answers ----

struct PlaylistCase
{
    const char *name;
    const char *answer;
    int result;
    const char *address;
    Transport transport = Transport::Tcp;  // of the address taken
};
void PrintTo(const PlaylistCase &c, std::ostream *os)
{
    *os << c.name;
}

class M3uAnswer : public ::testing::TestWithParam<PlaylistCase>
{};
class PlsAnswer : public ::testing::TestWithParam<PlaylistCase>
{};

TEST_P(M3uAnswer, TakesTheFirstStream)
{
    const PlaylistCase &c = GetParam();
    char out[512] = "";
    Transport transport = Transport::Tcp;
    ASSERT_EQ(m3uTarget(c.answer, out, sizeof out, &transport), c.result);
    if (c.result) {
        EXPECT_STREQ(out, c.address);
        EXPECT_EQ(transport, c.transport);
    }
}

TEST_P(PlsAnswer, TakesFileOne)
{
    const PlaylistCase &c = GetParam();
    char out[256] = "";
    Transport transport = Transport::Tls;
    ASSERT_EQ(plsTarget(c.answer, out, sizeof out, &transport), c.result);
    if (c.result) {
        EXPECT_STREQ(out, c.address);
        EXPECT_EQ(transport, c.transport);
    }
}

const PlaylistCase kM3uCases[] = {
    {"Plain", "HTTP/1.0 200 OK\r\n\r\nhttp://radiohost:8000/live\r\n", 1, "radiohost:8000/live"},
    {"HttpsEntry", "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\r\nHTTPS://radiohost:8443/live\r\nhttp://second/\r\n", 1,
     "radiohost:8443/live", Transport::Tls},
    {"ExtendedWithComments",
     "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\n"
     "#EXTINF:-1,Station - http://www.station.example/\nHTTP://RadioHost/Live\nhttp://second/\n",
     1, "RadioHost/Live"},
    {"TrailingBlanksDropped", "HTTP/1.0 200 OK\r\n\r\n  http://radiohost/live  \r\n", 1, "radiohost/live"},
    {"HeaderLinkIgnored", "HTTP/1.0 200 OK\r\nLink: http://radiohost/x\r\n\r\nnothing\r\n", 0, nullptr},
    {"NoHeaderEnd", "http://radiohost/live\r\n", 0, nullptr},
    {"Empty", "HTTP/1.0 200 OK\r\n\r\n", 0, nullptr},
};

const PlaylistCase kPlsCases[] = {
    {"FileOneWithPort",
     "HTTP/1.0 200 OK\r\n\r\n[playlist]\r\nNumberOfEntries=2\r\nFile1=http://radiohost:8000/\r\n"
     "File2=http://other/\r\n",
     1, "radiohost:8000/"},
    {"KeyInAnyCase", "HTTP/1.0 200 OK\r\n\r\n[playlist]\nfile1=http://RadioHost/Live\n", 1, "RadioHost/Live"},
    {"HttpsFileOne", "HTTP/1.0 200 OK\r\n\r\n[playlist]\nFile1=https://radiohost/live\n", 1, "radiohost/live",
     Transport::Tls},
    {"SchemeInCapitals", "HTTP/1.0 200 OK\r\n\r\nFile1=HTTP://radiohost/live\n", 1, "radiohost/live"},
    // A value shorter than a scheme used to be cut past its end.
    {"ShortValueWithoutScheme", "HTTP/1.0 200 OK\r\n\r\nFile1=ab\n", 1, "ab"},
    {"OtherScheme", "HTTP/1.0 200 OK\r\n\r\nFile1=mms://radiohost/live\n", 0, nullptr},
    {"NoFileOne", "HTTP/1.0 200 OK\r\n\r\n[playlist]\nFile2=http://x/\n", 0, nullptr},
};

// Entries relative to the playlist's own address.
class M3uRelative : public ::testing::TestWithParam<PlaylistCase>
{};

TEST_P(M3uRelative, ResolvesAgainstThePlaylist)
{
    const PlaylistCase &c = GetParam();
    char out[512] = "";
    ASSERT_EQ(m3uTarget(c.answer, out, sizeof out, nullptr, "http://radiohost:8000/lists/live.m3u"), c.result);
    if (c.result) {
        EXPECT_STREQ(out, c.address);
    }
}

const PlaylistCase kM3uRelativeCases[] = {
    {"BesideThePlaylist", "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\r\n#EXTINF:-1,Radio\r\nstream.mp3\r\n", 1,
     "radiohost:8000/lists/stream.mp3"},
    {"FromTheRoot", "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\n/live/stream\n", 1, "radiohost:8000/live/stream"},
    {"UpAndAcross", "HTTP/1.0 200 OK\r\n\r\n  ../other/stream  \r\n", 1, "radiohost:8000/other/stream"},
    {"OtherHostWithoutScheme", "HTTP/1.0 200 OK\r\n\r\n//relay.example/live\r\n", 1, "relay.example/live"},
    {"AbsoluteEntryStillFirst", "HTTP/1.0 200 OK\r\n\r\nhttp://other/live\r\nstream.mp3\r\n", 1, "other/live"},
    {"OtherSchemePassedOver", "HTTP/1.0 200 OK\r\n\r\nmms://radiohost/live\r\nstream.mp3\r\n", 1,
     "radiohost:8000/lists/stream.mp3"},
    {"TextThatIsNoAddressPassedOver", "HTTP/1.0 200 OK\r\n\r\n<html>not found</html>\r\n", 0, nullptr},
    {"OnlyComments", "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\r\n#EXTINF:-1,Radio\r\n   \r\n", 0, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Answers, M3uRelative, ::testing::ValuesIn(kM3uRelativeCases),
                         [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Answers, M3uAnswer, ::testing::ValuesIn(kM3uCases),
                         [](const auto &info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Answers, PlsAnswer, ::testing::ValuesIn(kPlsCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PlaylistLimits, LongEntriesCutAtTheirBuffers)
{
    const std::string host = "radiohost/" + repeat('e', 900);
    const std::string m3u = "HTTP/1.0 200 OK\r\n\r\nhttp://" + host + "\r\n";
    char out[600];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(m3uTarget(m3u.c_str(), out, 512), 1);
    EXPECT_EQ(std::string(out), host.substr(0, 511));
    EXPECT_EQ(out[512], '#');

    const std::string pls = "HTTP/1.0 200 OK\r\n\r\nFile1=http://" + host + "\r\n";
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(plsTarget(pls.c_str(), out, 256), 1);
    EXPECT_EQ(std::string(out), host.substr(0, 255));
    EXPECT_EQ(out[256], '#');
}

// ---- quoted values ----

TEST(QuotedValue, TakesTextBetweenFirstTwoQuotes)
{
    char out[384];
    EXPECT_EQ(quotedValue("<REF HREF = \"mms://a/b\" />", out), 1);
    EXPECT_STREQ(out, "mms://a/b");
    EXPECT_EQ(quotedValue("x=\"\"", out), 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(quotedValue("x=\"open", out), 0);
    EXPECT_EQ(quotedValue("no quotes", out), 0);
    const std::string long_ = "\"" + repeat('v', 500) + "\"";
    EXPECT_EQ(quotedValue(long_.c_str(), out), 1);
    EXPECT_EQ(std::string(out), repeat('v', 383));
}

// ---- page markers ----

class PageMarkers : public ::testing::Test, protected ClassifyBase
{
protected:
    void SetUp() override { reset(); }
};

TEST_F(PageMarkers, PortalMarkerWithCookie)
{
    std::strcpy(ctx.pageCookie, "stale");
    const char *page = "HTTP/1.1 200 OK\r\n\r\n<html>\r\n[MPLAYER TYPE=MMS]streamhost/ch7?id=3\r\n"
                       "<p>x</p>\r\n[COOKIE]ASPSESSIONID=ABC; path=/\r\n</html>";
    ASSERT_EQ(readPageMarkers(ctx, page), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_PORTAL);
    EXPECT_STREQ(ctx.workingAddress, "streamhost/ch7?id=3");
    EXPECT_STREQ(ctx.pageCookie, "ASPSESSIONID=ABC; path=/");
}

TEST_F(PageMarkers, PortalMarkerWithoutCookieClearsIt)
{
    std::strcpy(ctx.pageCookie, "stale");
    ASSERT_EQ(readPageMarkers(ctx, "[MPLAYER TYPE=MMS]streamhost/ch7\n"), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_PORTAL);
    EXPECT_STREQ(ctx.pageCookie, "");
}

TEST_F(PageMarkers, HttpMarkerKeepsItsPortInTheText)
{
    ctx.serverPort = 8765;
    ASSERT_EQ(readPageMarkers(ctx, "<b>\n[MPLAYER TYPE=HTTP]radiohost:8000/live\r\n</b>"), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_HTTP);
    EXPECT_STREQ(ctx.workingAddress, "radiohost:8000/live");
}

TEST_F(PageMarkers, LongValuesCutAtTheirBuffers)
{
    const std::string page = "[MPLAYER TYPE=MMS]" + repeat('h', 700) + "\r\n[COOKIE]" + repeat('c', 900) + "\r\n";
    ASSERT_EQ(readPageMarkers(ctx, page.c_str()), 1);
    EXPECT_EQ(std::string(ctx.workingAddress), repeat('h', 255));
    EXPECT_EQ(std::string(ctx.pageCookie), repeat('c', 511));
}

TEST_F(PageMarkers, PageWithoutMarker)
{
    EXPECT_EQ(readPageMarkers(ctx, "HTTP/1.1 200 OK\r\n\r\n<html>MPLAYER TYPE=HTTP</html>"), 0);
}

// ---- over the network ----

std::string okPage(const std::string &body)
{
    return "HTTP/1.1 200 OK\r\n\r\n" + body;
}
std::string local(const ScriptedServer &s, const std::string &path)
{
    return "http://" + s.hostPort() + path;
}

class ClassifyServed : public ::testing::Test, protected ClassifyBase
{
protected:
    void SetUp() override { reset(); }
};

TEST_F(ClassifyServed, PageMarkerNamesHttpStream)
{
    ScriptedServer page({{readRequest(), send(okPage("<p>\r\n[MPLAYER TYPE=HTTP]127.0.0.1:8000/live\r\n"))}});
    ASSERT_EQ(classifySource(ctx, local(page, "/station/7.html").c_str()), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_HTTP);
    EXPECT_STREQ(ctx.workingAddress, "127.0.0.1:8000/live");
    EXPECT_NE(page.received(0).find("GET /station/7.html HTTP/1.1\r\n"), std::string::npos);
}

TEST_F(ClassifyServed, PageWithoutMarkerFails)
{
    ScriptedServer page({{readRequest(), send(okPage("<html>nothing here</html>"))}});
    EXPECT_EQ(classifySource(ctx, local(page, "/a.html").c_str()), 0);
}

TEST_F(ClassifyServed, LongPageIsShownCutAndStillRead)
{
    // A long directory page is read whole for its marker, but only its
    // start is printed.
    const std::string page = "[MPLAYER TYPE=HTTP]127.0.0.1:8000/live\r\n" + std::string(15000, 'x');
    ScriptedServer server({{readRequest(), send(okPage(page))}});
    testing::internal::CaptureStdout();
    const int result = classifySource(ctx, local(server, "/long.html").c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 1);
    EXPECT_STREQ(ctx.workingAddress, "127.0.0.1:8000/live");
    const size_t shown = out.find("DecodeServerURL : ");
    ASSERT_NE(shown, std::string::npos);
    const std::string line = out.substr(shown, out.find('\n', shown) - shown);
    EXPECT_LE(line.size(), std::string("DecodeServerURL : ").size() + 1024);
}

TEST_F(ClassifyServed, PageThatCannotBeFetchedFails)
{
    const std::string address = "http://127.0.0.1:" + std::to_string(testutil::closedPort()) + "/a.html";
    EXPECT_EQ(classifySource(ctx, address.c_str()), 0);
}

TEST_F(ClassifyServed, PageMarkerNamesAsxPlaylist)
{
    ScriptedServer asx(
        {{readRequest(), send(okPage("<asx><entry><ref href=\"mms://radiohost/live\"/></entry></asx>"))}});
    ScriptedServer page({{readRequest(), send(okPage("[MPLAYER TYPE=ASX]http://" + asx.hostPort() + "/ch.asx\r\n"))}});
    ASSERT_EQ(classifySource(ctx, local(page, "/station.html").c_str()), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_MMS);
    EXPECT_STREQ(ctx.workingAddress, "radiohost/live");
    EXPECT_EQ(ctx.serverPort, 1755);
    EXPECT_NE(asx.received(0).find("GET /ch.asx HTTP/1.1\r\n"), std::string::npos);
}

TEST_F(ClassifyServed, AsxAddressResolvesToHttpEntry)
{
    ScriptedServer asx(
        {{readRequest(), send(okPage("<ASX><Entry><Ref href=\"http://radiohost:8000/live\"/></Entry></ASX>"))}});
    ASSERT_EQ(classifySource(ctx, local(asx, "/list.wax").c_str()), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_HTTP);
    EXPECT_STREQ(ctx.workingAddress, "radiohost:8000/live");
    EXPECT_EQ(ctx.serverPort, 80);
}

// A scheme in capitals (or any scheme but mms, http and file) is no scheme:
// the address is fetched as a page, "HTTP:" taken for the host name.
struct PageSchemeCase
{
    const char *name;
    const char *scheme;
    bool fetched;  // "MMS:" is no host name (':' among its first four characters)
};
void PrintTo(const PageSchemeCase &c, std::ostream *os)
{
    *os << c.name;
}

class OtherSchemeIsPage : public ::testing::TestWithParam<PageSchemeCase>, protected ClassifyBase
{
protected:
    void SetUp() override
    {
        reset();
        // Every name resolves to loopback: no lookup leaves the machine.
        setNameLookup([](const char *, uint32_t *address) {
            *address = htonl(INADDR_LOOPBACK);
            return 1;
        });
    }
    void TearDown() override { setNameLookup(nullptr); }
};

TEST_P(OtherSchemeIsPage, FetchesTheAddressAsPage)
{
    ScriptedServer page({{readRequest(), send(okPage("[MPLAYER TYPE=HTTP]radiohost/live\r\n"))}});
    const std::string address = std::string(GetParam().scheme) + "127.0.0.1:" + std::to_string(page.port()) + "/live";
    if (!GetParam().fetched) {
        EXPECT_EQ(classifySource(ctx, address.c_str()), 0);
        EXPECT_EQ(page.connectionCount(), 0u);
        return;
    }
    ASSERT_EQ(classifySource(ctx, address.c_str()), 1);
    EXPECT_EQ(ctx.sourceKind, SOURCE_HTTP);
    EXPECT_STREQ(ctx.workingAddress, "radiohost/live");
    const std::string request = page.received(0);
    EXPECT_EQ(request.rfind("GET //127.0.0.1/live HTTP/1.1\r\n", 0), 0u) << request;
}

const PageSchemeCase kPageSchemes[] = {
    {"HttpInCapitals", "HTTP://", true},
    {"MmsInCapitals", "MMS://", false},
    {"Rtsp", "rtsp://", true},
};

INSTANTIATE_TEST_SUITE_P(Schemes, OtherSchemeIsPage, ::testing::ValuesIn(kPageSchemes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ClassifyServed, AsxRedirectWithoutLocationIsReadAsPlaylist)
{
    ScriptedServer asx(
        {{readRequest(),
          send("HTTP/1.1 302 Found\r\n\r\n<asx><entry><ref href=\"mms://radiohost/x\"/></entry></asx>")}});
    ASSERT_EQ(classifySource(ctx, local(asx, "/list.asx").c_str()), 1);
    EXPECT_STREQ(ctx.workingAddress, "radiohost/x");
}

// M3U and PLS resolution end in the HTTP capture of the address they name:
// the stream server sees the describe request on the entry's port. An
// entry without a port means port 80, not the playlist's own port
// ("radiohost" does not resolve here, so nothing is sent to port 80).
struct PlaylistRoute
{
    const char *name;
    int32_t kind;
    const char *path;
    bool entryNamesPort;
    std::string (*body)(const std::string &streamHostPort);
};
void PrintTo(const PlaylistRoute &c, std::ostream *os)
{
    *os << c.name;
}

class PlaylistResolution : public ::testing::TestWithParam<PlaylistRoute>, protected ClassifyBase
{
protected:
    void SetUp() override
    {
        reset();
        setNameLookup([](const char *, uint32_t *) { return 0; });
    }
    void TearDown() override { setNameLookup(nullptr); }
};

TEST_P(PlaylistResolution, CapturesTheNamedStream)
{
    const PlaylistRoute &r = GetParam();
    ScriptedServer stream({{readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    ScriptedServer list({{readRequest(), send(okPage(r.body(stream.hostPort())))}});
    ASSERT_EQ(classifySource(ctx, local(list, r.path).c_str()), 1);
    ASSERT_EQ(ctx.sourceKind, r.kind);
    ::testing::internal::CaptureStdout();
    if (r.kind == SOURCE_M3U)
        resolveM3u(ctx, ctx.workingAddress);
    else
        resolvePls(ctx, ctx.workingAddress);
    ::testing::internal::GetCapturedStdout();
    if (!r.entryNamesPort) {
        EXPECT_EQ(ctx.serverPort, 80);
        EXPECT_EQ(list.connectionCount(), 1u) << "the entry went to the playlist's port";
        EXPECT_EQ(stream.connectionCount(), 0u);
        return;
    }
    ASSERT_TRUE(stream.waitForReceived(0, "\r\n\r\n", testwait::kLoadMarginMs)) << "the stream request";
    EXPECT_EQ(stream.received(0).rfind("GET /live/a HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(stream.received(0).find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
    EXPECT_EQ(ctx.serverPort, stream.port());
    EXPECT_EQ(shared().lastError, NG_ERR_REFUSED);  // the 404 of the stream server
}

const PlaylistRoute kPlaylistRoutes[] = {
    {"M3u", SOURCE_M3U, "/list.m3u", true,
     [](const std::string &hp) { return "#EXTM3U\r\n#EXTINF:-1,Test\r\nhttp://" + hp + "/live/a\r\n"; }},
    {"Pls", SOURCE_PLS, "/list.pls", true,
     [](const std::string &hp) {
         return "[playlist]\r\nNumberOfEntries=1\r\nFile1=http://" + hp + "/live/a\r\nTitle1=x\r\n";
     }},
    {"M3uEntryWithoutPort", SOURCE_M3U, "/list.m3u", false,
     [](const std::string &) { return std::string("#EXTM3U\r\nhttp://radiohost/live/a\r\n"); }},
    {"PlsEntryWithoutPort", SOURCE_PLS, "/list.pls", false,
     [](const std::string &) { return std::string("[playlist]\r\nFile1=radiohost/live/a\r\n"); }},
};

INSTANTIATE_TEST_SUITE_P(Playlists, PlaylistResolution, ::testing::ValuesIn(kPlaylistRoutes),
                         [](const auto &info) { return std::string(info.param.name); });

// A relative entry is asked of the playlist's own server, at its port.
TEST_F(ClassifyServed, RelativeM3uEntryGoesToThePlaylistsServer)
{
    ScriptedServer server({{readRequest(), send(okPage("#EXTM3U\r\n#EXTINF:-1,Radio\r\n../live/a\r\n"))},
                           {readRequest(), send("HTTP/1.0 404 Not Found\r\n\r\n")}});
    ASSERT_EQ(classifySource(ctx, local(server, "/lists/radio.m3u").c_str()), 1);
    ASSERT_EQ(ctx.sourceKind, SOURCE_M3U);
    ::testing::internal::CaptureStdout();
    resolveM3u(ctx, ctx.workingAddress);
    ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(server.waitForReceived(1, "\r\n\r\n", 2000));
    EXPECT_EQ(server.received(1).rfind("GET /live/a HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(ctx.serverPort, server.port());
    EXPECT_EQ(shared().lastError, NG_ERR_REFUSED);  // the 404
}

// A playlist that cannot be fetched ends the attempt with the connection
// fault lines and nothing else: no capture, no error code.
TEST_F(ClassifyServed, PlaylistThatCannotBeFetchedEndsSilently)
{
    const uint16_t port = testutil::closedPort();
    ctx.serverPort = port;
    ::testing::internal::CaptureStdout();
    resolveM3u(ctx, "127.0.0.1/list.m3u");
    resolvePls(ctx, "127.0.0.1/list.pls");
    const std::string connectFault =
        "connect to  127.0.0.1:" + std::to_string(port) + "  fail -- 0000006f\nconnect to server fail\n";
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), connectFault + connectFault);
    EXPECT_EQ(shared().lastError, 0);
    EXPECT_EQ(ctx.serverPort, port);
}

}  // namespace

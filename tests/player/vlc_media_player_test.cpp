// The libVLC media player against the project's own loopback peers: an
// HTTP server with a paced MP3 stream, playlists and a web page; an MMS
// over HTTP and an MMS over TCP server with a WMA stream; a .wma and an
// .mp3 recorded by grablive from those servers. Each address must reach
// Playing and decode audio; a refused address and a web page must end in
// an error status. No call may hold the interface thread, and every event
// arrives on it. The engine plays into libVLC's silent "dummy" output.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>
#include <string>

#include "asf_media.h"
#include "bounded_wait.h"
#include "directory_server.h"
#include "icecast_server.h"
#include "mmsh_server.h"
#include "mmst_server.h"
#include "platform/vlc_media_player.h"
#include "scripted_server.h"

using namespace testsupport;

namespace {

// A call on the interface thread never waits for the engine; on a busy
// machine it may still take a while (bench/engine_switch measures it).
constexpr qint64 kMaxBlockMs = 500;

std::string httpHead(const std::string &type)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nCache-Control: no-cache\r\n\r\n";
}

// Sends `bytes` in a loop at `bytesPerSecond`, the first `burst` bytes at
// once, until the peer leaves or the server stops.
bool sendPaced(ConnectionIo &io, const std::string &bytes, size_t bytesPerSecond, size_t burst)
{
    const size_t tick = bytesPerSecond / 10;  // every 100 ms
    size_t at = 0;
    auto next = [&](size_t n) {
        std::string out;
        while (out.size() < n) {
            const size_t take = std::min(n - out.size(), bytes.size() - at);
            out += bytes.substr(at, take);
            at = (at + take) % bytes.size();
        }
        return out;
    };
    if (!io.send(next(burst)))
        return false;
    while (!io.stopping() && !io.peerClosed()) {
        if (!io.send(next(tick)) || !io.pause(100))
            return false;
    }
    return true;
}

}  // namespace

class VlcMediaPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::string m_dir;
    AsfMedia m_media;
    std::string m_mp3;
    std::unique_ptr<ScriptedServer> m_web;                     // MP3 stream, playlists, a page
    std::unique_ptr<ScriptedServer> m_mmsh;                    // MMS over HTTP
    std::unique_ptr<ScriptedServer> m_mmst;                    // MMS over TCP
    std::unique_ptr<stationdir::DirectoryServer> m_directory;  // its Windows Media demos
    QString m_recordedWma;
    QString m_recordedMp3;
    uint16_t m_closedPort = 0;

    QString web(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_web->port()).arg(QLatin1String(path));
    }
    QString mmsTcp() const { return QStringLiteral("mms://127.0.0.1:%1/live").arg(m_mmst->port()); }
    QString mmsHttp() const { return QStringLiteral("mmsh://127.0.0.1:%1/live").arg(m_mmsh->port()); }

    // The web server: routes each request by its path.
    Script webScript()
    {
        return {call([this](ConnectionIo &io) {
            if (!io.readUntil("\r\n\r\n"))
                return false;
            const std::string request = io.received();
            auto asks = [&](const char *path) { return request.find(std::string("GET ") + path + " ") == 0; };
            if (asks("/live.mp3"))
                return io.send(httpHead("audio/mpeg")) && sendPaced(io, m_mp3, 16000, 32000);
            std::string body;
            std::string type = "text/plain";
            const std::string mp3 = "http://127.0.0.1:" + std::to_string(m_web->port()) + "/live.mp3";
            const std::string mms = mmsTcp().toStdString();
            const std::string mmsh = mmsHttp().toStdString();
            if (asks("/list.asx")) {
                type = "video/x-ms-asf";
                body = "<ASX version=\"3.0\"><TITLE>Test</TITLE><ENTRY><REF HREF=\"" + mms + "\"/></ENTRY></ASX>\r\n";
            } else if (asks("/list.m3u")) {
                type = "audio/x-mpegurl";
                body = "#EXTM3U\r\n#EXTINF:-1,Test\r\n" + mp3 + "\r\n";
            } else if (asks("/list.pls")) {
                type = "audio/x-scpls";
                body = "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + mmsh
                    + "\r\nTitle1=Test\r\nLength1=-1\r\nVersion=2\r\n";
            } else if (asks("/page.html")) {
                type = "text/html; charset=utf-8";
                body = "<!DOCTYPE html><html><head><title>Station</title></head><body><p>" + std::string(2000, 'x')
                    + "</p></body></html>\n";
            } else {
                return io.send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            }
            return io.send(httpHead(type) + body);
        })};
    }

    // MMS over HTTP: the describe request gets the header, the play request
    // ("xPlayStrm=1") the data packets at the stream's own pace.
    Script mmshScript()
    {
        return {call([this](ConnectionIo &io) {
            if (!io.readUntil("\r\n\r\n"))
                return false;
            if (io.received().find("xPlayStrm=1") == std::string::npos)
                return io.send(mmshDescribeAnswer(broadcastHeader(m_media)));
            if (!io.send(mmshPlayAnswerHead()))
                return false;
            std::string chunks = mmshDataChunks(m_media, 0, m_media.packets.size());
            return sendPaced(io, chunks, chunks.size() / size_t(m_media.seconds),
                             chunks.size() / size_t(m_media.seconds));
        })};
    }

    // Runs grablive on a source for about two seconds; the recording's path.
    QString record(const QString &source, const char *stem)
    {
        const std::string out = m_dir + "/" + stem;
        const int rc =
            runProgram({VEXA_GRABLIVE, source.toStdString(), out, "2500"}, m_dir + "/" + stem + ".log", 20000);
        if (rc != 0) {
            qWarning("grablive: %s", readFile(m_dir + "/" + stem + ".log").c_str());
            return {};
        }
        for (const char *ext : {".wma", ".mp3"}) {
            if (!readFile(out + ext).empty())
                return QString::fromStdString(out + ext);
        }
        qWarning("grablive: %s", readFile(m_dir + "/" + stem + ".log").c_str());
        return {};
    }

    // Waits until the player plays and decodes audio; the status then
    // starts with "Playing".
    static void verifyPlays(VlcMediaPlayer &player)
    {
        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        QTRY_VERIFY_WITH_TIMEOUT(player.decodedAudioBlocks() > 0, testwait::kEngineMs);
        const int decoded = player.decodedAudioBlocks();
        const qint64 position = player.positionMs();
        QTRY_VERIFY_WITH_TIMEOUT(player.decodedAudioBlocks() > decoded + 10 || player.positionMs() > position + 500,
                                 testwait::kEngineMs);
        QVERIFY2(player.statusText().startsWith(QLatin1String("Playing")), qPrintable(player.statusText()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_dir = makeTempDir("vlc-player-test");
        std::string error;
        QVERIFY2(makeAsfMedia(m_dir, 4, &m_media, &error), error.c_str());
        QVERIFY(makeToneMp3(m_dir + "/tone.mp3", 4, 128));
        m_mp3 = readFile(m_dir + "/tone.mp3");
        QVERIFY(!m_mp3.empty());
        m_web = std::make_unique<ScriptedServer>(std::vector<Script>{webScript()});
        m_mmsh = std::make_unique<ScriptedServer>(std::vector<Script>{mmshScript()});
        MmstPlan plan;
        plan.count = m_media.packets.size();
        plan.keepStreaming = true;
        plan.openFileDetails = true;
        plan.dataIncarnation = 0x04;
        m_mmst =
            std::make_unique<ScriptedServer>(std::vector<Script>{mmstScript(m_media, broadcastHeader(m_media), plan)});
        m_closedPort = freeLoopbackPort();
        stationdir::DirectoryOptions options;
        options.stationsPath = VEXA_STATION_DIRECTORY_DATA_DIR "/stations.tsv";
        options.hitLogPath = m_dir + "/hitlog.tsv";
        options.cacheDir = m_dir + "/cache";
        m_directory = std::make_unique<stationdir::DirectoryServer>(options);
        QVERIFY2(m_directory->start(&error), error.c_str());
        // Recordings made by our own recorder, from the same peers.
        m_recordedWma = record(QStringLiteral("http://127.0.0.1:%1/live").arg(m_mmsh->port()), "recorded");
        QVERIFY(m_recordedWma.endsWith(QLatin1String(".wma")));
        m_recordedMp3 = record(web("/live.mp3"), "recorded-mp3");
        QVERIFY(m_recordedMp3.endsWith(QLatin1String(".mp3")));
    }

    void cleanupTestCase()
    {
        m_directory.reset();
        m_web.reset();
        m_mmsh.reset();
        m_mmst.reset();
        removeTree(m_dir);
    }

    void playsEveryKind_data()
    {
        QTest::addColumn<QString>("url");
        // The bit rate the status names ("" where the engine is told none:
        // it does not pass on the rate of an ASF header).
        QTest::addColumn<QString>("rate");
        QTest::newRow("http-mp3") << web("/live.mp3") << QStringLiteral(" 128K");
        QTest::newRow("mms-tcp") << mmsTcp() << QString();
        QTest::newRow("mms-http") << mmsHttp() << QString();
        QTest::newRow("asx-to-mms-tcp") << web("/list.asx") << QString();
        QTest::newRow("m3u-to-http-mp3") << web("/list.m3u") << QStringLiteral(" 128K");
        QTest::newRow("pls-to-mms-http") << web("/list.pls") << QString();
        const QString directory = QStringLiteral("http://127.0.0.1:%1/stream/").arg(m_directory->port());
        QTest::newRow("directory-asx") << directory + QStringLiteral("7.asx") << QString();
        QTest::newRow("directory-wma") << directory + QStringLiteral("8.asf") << QString();
        QTest::newRow("directory-wma-as-mms-http")
            << QStringLiteral("mmsh") + directory.mid(4) + QStringLiteral("8.asf") << QString();
        QTest::newRow("recorded-wma") << m_recordedWma << QString();
        QTest::newRow("recorded-mp3") << m_recordedMp3 << QStringLiteral(" 128K");
    }

    void playsEveryKind()
    {
        QFETCH(QString, url);
        QFETCH(QString, rate);
        VlcMediaPlayer player({QStringLiteral("--aout=dummy")});
        QVERIFY(player.isAvailable());
        bool offThread = false;
        connect(
            &player, &MediaPlayer::playerEvent, this, [&] { offThread |= QThread::currentThread() != thread(); },
            Qt::DirectConnection);
        QElapsedTimer timer;
        timer.start();
        player.setUrl(url);
        QVERIFY(timer.elapsed() < kMaxBlockMs);
        verifyPlays(player);
        QVERIFY2(rate.isEmpty() ? !player.statusText().endsWith(QLatin1Char('K')) : player.statusText().endsWith(rate),
                 qPrintable(player.statusText()));
        timer.restart();
        player.stop();
        QVERIFY(timer.elapsed() < kMaxBlockMs);
        QCOMPARE(player.playState(), MediaPlayer::Stopped);
        QTest::qWait(200);
        QCOMPARE(player.playState(), MediaPlayer::Stopped);
        QCOMPARE(player.statusText(), QStringLiteral("Stopped"));
        QVERIFY(!offThread);
    }

    void failureShowsInStatus_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/live.mp3").arg(m_closedPort)
                                 << QStringLiteral("connection refused");
        QTest::newRow("refused-mms") << QStringLiteral("mms://127.0.0.1:%1/live").arg(m_closedPort)
                                     << QStringLiteral("connection refused");
        QTest::newRow("web-page") << web("/page.html") << QStringLiteral("not a media stream");
        QTest::newRow("not-found") << web("/missing.mp3") << QStringLiteral("not found (HTTP 404)");
        QTest::newRow("missing-file") << QString::fromStdString(m_dir + "/none.wma") << QStringLiteral("no such file");
    }

    void failureShowsInStatus()
    {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        VlcMediaPlayer player({QStringLiteral("--aout=dummy")});
        QElapsedTimer timer;
        timer.start();
        player.setUrl(url);
        QVERIFY(timer.elapsed() < kMaxBlockMs);
        QTRY_VERIFY_WITH_TIMEOUT(player.statusText().startsWith(QLatin1String("Error: ")), testwait::kEngineMs);
        QCOMPARE(player.playState(), MediaPlayer::Stopped);
        QVERIFY2(player.statusText().endsWith(QLatin1String("': ") + reason), qPrintable(player.statusText()));
    }

    // Pause holds the position, Play resumes; a station switch replaces the
    // first address's reports with the second's; the volume reads back.
    void pauseResumeSwitch()
    {
        VlcMediaPlayer player({QStringLiteral("--aout=dummy")});
        player.setOutputVolume(12345);
        QCOMPARE(player.outputVolume(), 12345);
        player.setUrl(m_recordedWma);
        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() > 300, testwait::kEngineMs);
        player.pause();
        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), MediaPlayer::Paused, testwait::kLoadMarginMs);
        QCOMPARE(player.statusText(), QStringLiteral("Paused"));
        const qint64 held = player.positionMs();
        QTest::qWait(500);
        QVERIFY(player.positionMs() <= held + 100);
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() > held + 300, testwait::kEngineMs);

        QSignalSpy states(&player, &MediaPlayer::playStateChanged);
        QElapsedTimer timer;
        timer.start();
        player.stop();
        player.setUrl(web("/live.mp3"));
        QVERIFY(timer.elapsed() < kMaxBlockMs);
        QCOMPARE(player.url(), web("/live.mp3"));
        verifyPlays(player);
        QCOMPARE(player.outputVolume(), 12345);
    }
};

QTEST_GUILESS_MAIN(VlcMediaPlayerTest)
#include "vlc_media_player_test.moc"

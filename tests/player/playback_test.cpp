// Playback: status line, elapsed time, listened seconds and the listening
// report, over a fake media player and a fixed clock.

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

#include "fake_listening.h"
#include "fake_platform.h"
#include "core/main_state.h"
#include "core/playback.h"

class PlaybackTest : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        FakePlatform platform;
        MainState state;
        FakeReportSender reports;
        Playback playback{state, platform.mediaPlayer, platform.clock, platform.regional, reports};
        Rig()
        {
            playback.setHitLogBaseUrl(QStringLiteral("http://127.0.0.1:8765"));
            state.languageCode = QStringLiteral("1");
        }
        // A directory station as a completed station page leaves it.
        void startStation(const QString &id)
        {
            state.listenStartTime = platform.regional.dateTimeText(platform.clock.now());
            state.stationId = id;
            playback.startStation(QStringLiteral("http://127.0.0.1:8765/stream/") + id + QStringLiteral(".mp3"));
        }
        void listen(int seconds)
        {
            for (int i = 0; i < seconds; ++i) {
                platform.clock.current = platform.clock.current.addSecs(1);
                playback.tick();
            }
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        // A fixed zone without summer time in March, east of Greenwich: the
        // report times below are literal, so a bias of the wrong sign or
        // size cannot pass.
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    void timeZoneBiasIsMinutesWestOfUtc()
    {
        QCOMPARE(RegionalFormat::timeZoneBias(QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0))), -480);
    }

    void reportIsDueAtThreeHundredCountedSeconds_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("localFile");
        QTest::addColumn<bool>("reported");
        QTest::newRow("299 s: nothing") << 299 << false << false;
        QTest::newRow("300 s: report") << 300 << false << true;
        QTest::newRow("an hour: report") << 3600 << false << true;
        QTest::newRow("local file, an hour: nothing") << 3600 << true << false;
    }
    void reportIsDueAtThreeHundredCountedSeconds()
    {
        QFETCH(int, seconds);
        QFETCH(bool, localFile);
        QFETCH(bool, reported);
        Rig rig;
        rig.startStation(QStringLiteral("57"));
        if (localFile)
            rig.state.listenSeconds = Playback::kLocalFileMark;
        rig.listen(seconds);
        rig.playback.stopRoutine();
        QCOMPARE(rig.reports.sent.size(), reported ? 1 : 0);
        QCOMPARE(rig.state.listenSeconds, QStringLiteral("0"));
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:00"));
        QVERIFY(rig.platform.mediaPlayer.calls.contains(QStringLiteral("stop")));
        if (!reported)
            return;
        // Both times are UTC seconds; they differ by the time listened.
        QCOMPARE(rig.state.timeZoneBias, QStringLiteral("-480"));
        const qint64 start = 1773451800;  // 2026-03-14 09:30:00 in UTC+8
        const QString expected =
            QStringLiteral("http://127.0.0.1:8765/cgi-bin/hlog?PCAP1000&57&0&%1&%2").arg(start).arg(start + seconds);
        QCOMPARE(rig.reports.sent.first().toString(), expected);
    }

    void countStopsAt301AndLocalFileMarkNeverMoves()
    {
        Rig rig;
        rig.listen(400);
        QCOMPARE(rig.state.listenSeconds, QStringLiteral("301"));
        rig.state.listenSeconds = Playback::kLocalFileMark;
        rig.listen(5);
        QCOMPARE(rig.state.listenSeconds, QStringLiteral("400"));
    }

    void nextStationAfterALocalFileCountsFromZero()
    {
        Rig rig;
        rig.state.listenSeconds = Playback::kLocalFileMark;
        rig.listen(3600);
        rig.playback.stopRoutine();
        rig.startStation(QStringLiteral("9"));
        rig.listen(299);
        rig.playback.stopRoutine();
        QVERIFY(rig.reports.sent.isEmpty());
    }

    // Addresses from pages and the store play only with a network scheme;
    // anything else never reaches the media player.
    void onlyNetworkStreamAddressesPlay_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("played");
        QTest::newRow("http") << QStringLiteral("http://127.0.0.1:8765/stream/1.mp3") << true;
        QTest::newRow("https") << QStringLiteral("https://radio.example/live") << true;
        QTest::newRow("mms") << QStringLiteral("mms://media.example/live") << true;
        QTest::newRow("mmsh") << QStringLiteral("mmsh://media.example:8080/live") << true;
        QTest::newRow("rtsp") << QStringLiteral("rtsp://media.example/live") << true;
        QTest::newRow("upper-case scheme") << QStringLiteral("HTTP://radio.example/a.asx") << true;
        QTest::newRow("file address") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("absolute path") << QStringLiteral("/dev/zero") << false;
        QTest::newRow("relative path") << QStringLiteral("radiorecord/2026314930.wma") << false;
        QTest::newRow("drive path") << QStringLiteral("c:\\grablive.exe") << false;
        QTest::newRow("no host") << QStringLiteral("http:///etc/passwd") << false;
        QTest::newRow("other scheme") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void onlyNetworkStreamAddressesPlay()
    {
        QFETCH(QString, address);
        QFETCH(bool, played);
        Rig rig;
        QCOMPARE(rig.playback.startStation(address), played);
        QCOMPARE(rig.platform.mediaPlayer.url(), played ? address : QString());
        QCOMPARE(rig.platform.mediaPlayer.calls.isEmpty(), !played);
    }

    // A recording plays through its own entry point, as a file address,
    // and is marked so that it is never reported.
    void localRecordingPlaysAsAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("2026314930.wma"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Rig rig;
        QVERIFY(!rig.playback.playLocalFile(dir.filePath(QStringLiteral("missing.wma"))));
        QVERIFY(rig.platform.mediaPlayer.calls.isEmpty());
        QVERIFY(rig.playback.playLocalFile(path));
        QCOMPARE(QUrl(rig.platform.mediaPlayer.url()).toLocalFile(), path);
        QCOMPARE(rig.state.listenSeconds, Playback::kLocalFileMark);
    }

    void reportTimesAreUtcWithTheBias()
    {
        const QDateTime local(QDate(2026, 3, 14), QTime(9, 30, 0));
        QCOMPARE(Playback::reportSeconds(local, 0), Q_INT64_C(1773480600));
        // UTC+8: bias -480 minutes.
        QCOMPARE(Playback::reportSeconds(local, -480), Q_INT64_C(1773480600) - 8 * 3600);
        QCOMPARE(Playback::reportSeconds(local, 300), Q_INT64_C(1773480600) + 5 * 3600);
    }

    void startTimeWithTwoDigitYearIsThisCentury()
    {
        // en_US writes "3/14/26 9:30:00 AM", which reads back as 1926.
        Rig rig;
        rig.startStation(QStringLiteral("57"));
        QVERIFY(rig.state.listenStartTime.contains(QStringLiteral("/26 ")));
        rig.listen(300);
        rig.playback.stopRoutine();
        QCOMPARE(rig.reports.sent.size(), 1);
        const QStringList fields = rig.reports.sent.first().query().split(QLatin1Char('&'));
        QCOMPARE(fields.value(3), QStringLiteral("1773451800"));  // 2026, 09:30 in UTC+8
    }

    void unreadableStartTimeSendsNothing()
    {
        Rig rig;
        rig.state.stationId = QStringLiteral("57");
        rig.state.listenStartTime = QStringLiteral("not a time");
        rig.listen(300);
        rig.playback.stopRoutine();
        QVERIFY(rig.reports.sent.isEmpty());
        QCOMPARE(rig.state.listenSeconds, QStringLiteral("0"));
    }

    void stationIdFromAPageCannotAddFields()
    {
        Rig rig;
        rig.startStation(QStringLiteral("5&9#x"));
        rig.listen(300);
        rig.playback.stopRoutine();
        QCOMPARE(rig.reports.sent.size(), 1);
        QVERIFY(
            rig.reports.sent.first().toString(QUrl::FullyEncoded).contains(QStringLiteral("PCAP1000&5%269%23x&0&")));
    }

    void pauseFreezesTheCount()
    {
        Rig rig;
        rig.playback.setElapsedInterval(5);
        rig.startStation(QStringLiteral("57"));
        rig.playback.play();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.listenSeconds.toInt() >= 3, 5000);
        rig.playback.pause();
        QCOMPARE(rig.platform.mediaPlayer.playState(), MediaPlayer::Paused);
        const QString frozen = rig.state.listenSeconds;
        const QString shown = rig.playback.elapsedText();
        QTest::qWait(60);
        QCOMPARE(rig.state.listenSeconds, frozen);
        QCOMPARE(rig.playback.elapsedText(), shown);
        // Play resumes from where the count stood.
        rig.playback.play();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.listenSeconds.toInt() > frozen.toInt(), 5000);
        QVERIFY(rig.playback.elapsedText() > shown);
    }

    void countFollowsThePlayStateInAnyLanguage_data()
    {
        QTest::addColumn<QString>("status");
        QTest::newRow("English status") << QStringLiteral("Playing");
        QTest::newRow("Chinese status") << QStringLiteral("正在播放");
        QTest::newRow("no status") << QString();
    }
    void countFollowsThePlayStateInAnyLanguage()
    {
        QFETCH(QString, status);
        Rig rig;
        rig.platform.mediaPlayer.status = status;
        rig.platform.mediaPlayer.setState(MediaPlayer::Playing);
        QVERIFY(rig.playback.elapsedTimerOn());
        rig.listen(42);
        rig.platform.mediaPlayer.setState(MediaPlayer::Paused);
        QVERIFY(!rig.playback.elapsedTimerOn());
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:42"));
        rig.platform.mediaPlayer.setState(MediaPlayer::Stopped);
        QVERIFY(!rig.playback.elapsedTimerOn());
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:00"));
    }

    void hoursWrapAtSixty()
    {
        Rig rig;
        QSignalSpy shown(&rig.playback, &Playback::elapsedChanged);
        for (int i = 0; i < 60 * 60 * 60 - 1; ++i)
            rig.playback.tick();
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("59:59:59"));
        rig.playback.tick();
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:00"));
        QCOMPARE(shown.last(), (QVariantList{QStringLiteral("00"), QStringLiteral("00"), QStringLiteral("00")}));
    }

    void statusLineRule_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("quoted name dropped")
            << QStringLiteral("Playing 'Some Station' 128K") << QStringLiteral("Playing 128K");
        QTest::newRow("no apostrophe") << QStringLiteral("Connecting...") << QStringLiteral("Connecting...");
        QTest::newRow("single apostrophe") << QStringLiteral("  Opening ' x.mp3") << QStringLiteral("Opening x.mp3");
        QTest::newRow("several quotes") << QStringLiteral("A 'b' c 'd' e") << QStringLiteral("A e");
        QTest::newRow("tail cut at 255") << (QStringLiteral("S '") + QString(300, QLatin1Char('z')))
                                         << (QStringLiteral("S") + QString(255, QLatin1Char('z')));
    }
    void statusLineRule()
    {
        QFETCH(QString, status);
        QFETCH(QString, shown);
        QCOMPARE(Playback::statusLine(status), shown);
    }

    void statusFollowsTheInterfaceLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("shown");
        // "Connecting" reads differently in the two Chinese scripts.
        QTest::newRow("1 English") << QStringLiteral("1") << QStringLiteral("Connecting 128K");
        QTest::newRow("2 Traditional") << QStringLiteral("2") << QStringLiteral("正在連線 128K");
        QTest::newRow("3 Simplified") << QStringLiteral("3") << QStringLiteral("正在连接 128K");
    }
    void statusFollowsTheInterfaceLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, shown);
        Rig rig;
        rig.state.languageCode = language;
        rig.platform.mediaPlayer.status = QStringLiteral("Connecting 'http://127.0.0.1/x.mp3' 128K");
        rig.platform.mediaPlayer.setState(MediaPlayer::Playing);
        QCOMPARE(rig.state.statusText(), shown);
    }

    void directoryNavigationEndsThePreviousStationWithItsReport()
    {
        Rig rig;
        rig.startStation(QStringLiteral("57"));
        rig.playback.play();
        rig.listen(301);
        QSignalSpy liveStop(&rig.playback, &Playback::liveRecordingStopRequested);
        rig.playback.beforeDirectoryNavigation();
        QCOMPARE(rig.reports.sent.size(), 1);
        QCOMPARE(liveStop.size(), 1);
        QVERIFY(!rig.playback.elapsedTimerOn());
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:00"));
        QCOMPARE(rig.state.listenSeconds, QStringLiteral("0"));
    }

    void playAfterStopStartsTheDisplayAtZero()
    {
        Rig rig;
        rig.platform.mediaPlayer.setState(MediaPlayer::Playing);
        rig.listen(10);
        rig.platform.mediaPlayer.setState(MediaPlayer::Paused);
        rig.playback.play();
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:10"));
        rig.playback.stopRoutine();
        rig.playback.play();
        QCOMPARE(rig.playback.elapsedText(), QStringLiteral("00:00:00"));
        QVERIFY(rig.playback.elapsedTimerOn());
    }
};

QTEST_MAIN(PlaybackTest)
#include "playback_test.moc"

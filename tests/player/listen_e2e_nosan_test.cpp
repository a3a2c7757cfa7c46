// End to end: the real player (its assembly with libVLC and Qt
// WebEngine) under a private Xvfb, against the bundled station directory
// on a free loopback port. Location from the list menu, a pick in the
// list window, the station plays, Stop sends the listening report to the
// directory's hit log; played again and closed with a report due, the
// program ends only after that report has reached the hit log. Leaves
// screenshots in the working folder.
//
// The elapsed-time timer runs every 10 ms here (a test hook), so the 300
// counted seconds of a due report pass in about three real ones.

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "directory/station_list.h"
#include "directory/station_list_window.h"
#include "directory_server.h"
#include "fake_platform.h"
#include "platform/clock.h"
#include "platform/qt_report_sender.h"
#include "platform/vlc_media_player.h"
#include "platform/qt_web_browser.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

extern char **environ;

namespace {

pid_t g_xvfb = -1;

// Starts Xvfb on a display it picks itself (-displayfd); "" on failure.
std::string startXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    std::string screen = "1280x800x24";
    const char *argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
    const int rc = posix_spawnp(&g_xvfb, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string display;
    if (rc == 0) {
        pollfd p{fds[0], POLLIN, 0};
        char buf[32];
        while (poll(&p, 1, 15000) > 0) {
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0)
                break;
            display.append(buf, std::size_t(n));
            if (display.find('\n') != std::string::npos)
                break;
        }
    }
    close(fds[0]);
    while (!display.empty() && (display.back() == '\n' || display.back() == '\r'))
        display.pop_back();
    return display.empty() ? std::string() : ":" + display;
}

void stopXvfb()
{
    if (g_xvfb > 0) {
        kill(g_xvfb, SIGTERM);
        waitpid(g_xvfb, nullptr, 0);
        g_xvfb = -1;
    }
}

// Runs `script` in the page of a shown browser view and waits for it.
QVariant runScript(QWebEngineView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &r) {
        result = r;
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 10000)
        QTest::qWait(10);
    return result;
}

bool saveScreen(const QString &file)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(file);
}

}  // namespace

class ListenEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pickPlayStopReports()
    {
        // The bundled directory with its demo list, on a free port.
        QTemporaryDir work;
        QVERIFY(work.isValid());
        stationdir::DirectoryOptions options;
        options.port = 0;
        options.stationsPath = QStringLiteral(VEXA_STATION_DIRECTORY_DATA_DIR "/stations.tsv").toStdString();
        options.hitLogPath = work.filePath(QStringLiteral("hitlog.tsv")).toStdString();
        options.cacheDir = work.filePath(QStringLiteral("cache")).toStdString();
        stationdir::DirectoryServer directory(options);
        std::string error;
        QVERIFY2(directory.start(&error), error.c_str());
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(directory.port());

        // A program folder of our own: the shipped store (language chosen,
        // English) and skin pictures.
        const QDir shipped(QStringLiteral(VEXA_TEST_PROGRAM_DIR));
        const QDir program(work.path());
        QVERIFY(QFile::copy(shipped.filePath(QStringLiteral("rd.d")), program.filePath(QStringLiteral("rd.d"))));
        QVERIFY(program.mkpath(QStringLiteral("pic")));
        QVERIFY(program.mkpath(QStringLiteral("radiorecord")));
        for (const QString &name : QDir(shipped.filePath(QStringLiteral("pic"))).entryList(QDir::Files))
            QFile::copy(shipped.filePath(QStringLiteral("pic/") + name), program.filePath(QStringLiteral("pic/") + name));
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-setup"));
            db.setDatabaseName(program.filePath(QStringLiteral("rd.d")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("e2e-setup"));

        // The real media player and browsers; fakes for what this road
        // does not touch.
        FakePlatform fakes;
        VlcMediaPlayer mediaPlayer({QStringLiteral("--aout=dummy")});
        QtWebBrowserFactory browsers;
        QtReportSender reports;
        SystemClock clock;
        RegionalFormat regional;
        PlatformParts parts = fakes.parts;
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.clock = &clock;
        parts.regional = &regional;
        parts.reports = &reports;

        auto app = std::make_unique<Application>(parts, program.path());
        app->useAddresses(base, base.chopped(1));
        app->playback().setElapsedInterval(10);
        app->start();
        TForm_main *main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));

        // Location from the list menu: the list window opens docked beside
        // the main window and shows the location list.
        main->Location2->trigger();
        TForm_location *list = app->stationListWindow();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        QCOMPARE(list->pos(), QPoint(main->frameGeometry().right() + 1, main->frameGeometry().top()));
        QTRY_VERIFY_WITH_TIMEOUT(!app->stationList().panelVisible(), 30000);
        auto *view = qobject_cast<QWebEngineView *>(list->Web1);
        QVERIFY(view);
        QCOMPARE(runScript(view, QStringLiteral("document.querySelectorAll('ul.items a').length")).toInt(), 4);

        // Browse: the first location, then its first station.
        QSignalSpy picked(&app->stationList(), &StationList::stationPicked);
        runScript(view, QStringLiteral("document.querySelector('ul.items a').click(); true"));
        QTRY_VERIFY_WITH_TIMEOUT(view->url().toString().contains(QStringLiteral("sel=")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            runScript(view, QStringLiteral("document.readyState === 'complete' && !!document.querySelector('a[href*=pick]')")).toBool(),
            true, 10000);
        runScript(view, QStringLiteral("document.querySelector('a[href*=pick]').click(); true"));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 1, 10000);
        QCOMPARE(picked.first().first().toString(), QStringLiteral("1"));

        // The main window shows the station and plays its stream.
        const QString name = QStringLiteral("Harbour Tone FM 海港音樂台");
        QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), name, 15000);
        QCOMPARE(app->state().stationId, QStringLiteral("1"));
        QCOMPARE(app->state().stationStreamUrl, base + QStringLiteral("stream/1.mp3"));
        QCOMPARE(app->state().stationPageUrl, base + QStringLiteral("ap/lisradio.asp?radioid=1"));
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 20000);
        const qint64 position = mediaPlayer.positionMs();
        QTRY_VERIFY_WITH_TIMEOUT(mediaPlayer.positionMs() >= position + 1000, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(main->LabStatus->text(), QStringLiteral("Playing 128K"), 5000);

        QTRY_VERIFY_WITH_TIMEOUT(app->state().listenSeconds.toInt() >= 300, 20000);
        QVERIFY(saveScreen(QStringLiteral("listen_e2e_playing.png")));
        QVERIFY(main->lisTime1->text() + main->lisTime2->text() + main->lisTime3->text() != QStringLiteral("000000"));

        // Stop, as a click on the skin's Stop picture: the report arrives.
        QTest::mouseClick(main->picStop, Qt::LeftButton);
        QCOMPARE(main->lisTime3->text(), QStringLiteral("00"));
        QFile hitLog(work.filePath(QStringLiteral("hitlog.tsv")));
        QTRY_VERIFY_WITH_TIMEOUT(hitLog.exists() && hitLog.size() > 0, 10000);
        QVERIFY(hitLog.open(QIODevice::ReadOnly));
        const QStringList fields = QString::fromUtf8(hitLog.readAll()).trimmed().split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields.at(1), QStringLiteral("1"));
        const qint64 start = fields.at(2).toLongLong();
        const qint64 end = fields.at(3).toLongLong();
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(end >= start && end - start < 120, qPrintable(fields.join(QLatin1Char(' '))));
        QVERIFY2(qAbs(end - now) < 120, "report times are UTC seconds of now");
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Stopped, 5000);
        QVERIFY(saveScreen(QStringLiteral("listen_e2e_stopped.png")));
        hitLog.close();

        // A Windows Media demo station of the same location: its address is
        // an ASX playlist on the directory naming an MMS-over-HTTP stream.
        runScript(view, QStringLiteral("document.querySelector('a[href$=\"pick=7\"]').click(); true"));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(app->state().stationStreamUrl, base + QStringLiteral("stream/7.asx"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 20000);
        const int decoded = mediaPlayer.decodedAudioBlocks();
        QTRY_VERIFY_WITH_TIMEOUT(mediaPlayer.decodedAudioBlocks() > decoded + 10, 10000);
        // libVLC does not pass on the rate an ASF header states.
        QTRY_COMPARE_WITH_TIMEOUT(main->LabStatus->text(), QStringLiteral("Playing"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(main->lisTime3->text() != QStringLiteral("00"), 5000);
        QVERIFY(saveScreen(QStringLiteral("listen_e2e_asx_playing.png")));
        QTest::mouseClick(main->picStop, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Stopped, 5000);

        app.reset();

        // The player started again, a station played until a report is
        // due, then the program closed. Once the main window has closed the
        // program's event loop runs no more; the report sender goes first
        // here, before anything else could run a queued network step, and
        // the report must have reached the hit log by then.
        auto lastReports = std::make_unique<QtReportSender>();
        parts.reports = lastReports.get();
        app = std::make_unique<Application>(parts, program.path());
        app->useAddresses(base, base.chopped(1));
        app->playback().setElapsedInterval(10);
        app->start();
        main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        app->directory().loadStationPage(QStringLiteral("2"));
        QTRY_COMPARE_WITH_TIMEOUT(app->state().stationId, QStringLiteral("2"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(app->state().listenSeconds.toInt() >= 300, 20000);
        QSignalSpy finished(app.get(), &Application::finished);
        QElapsedTimer closing;
        closing.start();
        main->close();
        qInfo("closing with a report due took %lld ms", closing.elapsed());
        QCOMPARE(finished.size(), 1);
        lastReports.reset();
        QVERIFY(hitLog.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(hitLog.readAll()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(1).split(QLatin1Char('\t')).value(1), QStringLiteral("2"));
        app.reset();

        directory.stop();
    }
};

int main(int argc, char **argv)
{
    // A private X server: the web engine needs a real display for shown
    // views, and screenshots need a screen to grab.
    const std::string display = startXvfb();
    if (display.empty()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    if (geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        ListenEndToEndTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    stopXvfb();
    return status;
}

#include "listen_e2e_nosan_test.moc"

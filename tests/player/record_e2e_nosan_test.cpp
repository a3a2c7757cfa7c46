// End to end: the real player under a private Xvfb with the bundled
// station directory on a free loopback port and the real recorders. A
// demo station is picked and plays, Record runs grablive for 10 s, Stop
// ends it; the file is in radiorecord/, the schedule table holds the live
// entry with its end and file name, the recordings list shows the file and
// a double click plays it. Leaves the screenshots record_e2e_recording.png
// and record_e2e_list.png in the working folder.

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
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
#include "platform/posix_process_launcher.h"
#include "platform/vlc_media_player.h"
#include "platform/qt_web_browser.h"
#include "player_fixture.h"
#include "recording/live_recording.h"
#include "recording/recordings_list_window.h"
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

// A screenshot of the whole virtual screen, as `import -window root`.
bool saveScreen(const QString &file)
{
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    if (import.waitForFinished(20000) && import.exitCode() == 0)
        return true;
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(file);
}

}  // namespace

class RecordEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordStopListPlay()
    {
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

        // A program folder of our own with the shipped store and skin, the
        // recorders of the build beside the program, and no radiorecord/
        // (the first Record makes it).
        const QDir shipped(QStringLiteral(VEXA_TEST_PROGRAM_DIR));
        const QDir program(work.filePath(QStringLiteral("program folder")));
        QVERIFY(QDir(work.path()).mkpath(QStringLiteral("program folder/pic")));
        QVERIFY(QFile::copy(shipped.filePath(QStringLiteral("rd.d")), program.filePath(QStringLiteral("rd.d"))));
        for (const QString &name : QDir(shipped.filePath(QStringLiteral("pic"))).entryList(QDir::Files))
            QFile::copy(shipped.filePath(QStringLiteral("pic/") + name), program.filePath(QStringLiteral("pic/") + name));
        for (const char *recorder : {"grablive", "grabclock"}) {
            QVERIFY(QFile::link(QStringLiteral(VEXA_RECORDER_DIR "/") + QLatin1String(recorder),
                                program.filePath(QLatin1String(recorder))));
        }
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-setup"));
            db.setDatabaseName(program.filePath(QStringLiteral("rd.d")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("e2e-setup"));

        FakePlatform fakes;
        VlcMediaPlayer mediaPlayer({QStringLiteral("--aout=dummy")});
        QtWebBrowserFactory browsers;
        PosixProcessLauncher processes;
        SystemClock clock;
        RegionalFormat regional;
        PlatformParts parts = fakes.parts;
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.processes = &processes;
        parts.clock = &clock;
        parts.regional = &regional;

        auto app = std::make_unique<Application>(parts, program.path());
        app->state().directoryBaseUrl = base;
        app->playback().setHitLogBaseUrl(base.chopped(1));
        app->start();
        TForm_main *main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));

        // Pick the first station of the first location.
        main->Location2->trigger();
        TForm_location *list = app->stationListWindow();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        QTRY_VERIFY_WITH_TIMEOUT(!app->stationList().panelVisible(), 30000);
        auto *view = qobject_cast<QWebEngineView *>(list->Web1);
        QVERIFY(view);
        QSignalSpy picked(&app->stationList(), &StationList::stationPicked);
        QTRY_COMPARE_WITH_TIMEOUT(runScript(view, QStringLiteral("!!document.querySelector('ul.items a')")).toBool(), true, 10000);
        runScript(view, QStringLiteral("document.querySelector('ul.items a').click(); true"));
        QTRY_VERIFY_WITH_TIMEOUT(view->url().toString().contains(QStringLiteral("sel=")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            runScript(view, QStringLiteral("document.readyState === 'complete' && !!document.querySelector('a[href*=pick]')")).toBool(),
            true, 10000);
        runScript(view, QStringLiteral("document.querySelector('a[href*=pick]').click(); true"));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!main->LabRname->text().isEmpty(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 20000);
        list->close();

        // Record for 10 s: the station goes on playing meanwhile.
        QSignalSpy ended(&processes, &PosixProcessLauncher::childEnded);
        QTest::mouseClick(main->picRec, Qt::LeftButton);
        LiveRecording &live = app->liveRecording();
        QVERIFY(live.isRecording());
        QVERIFY(!main->btnRec->isEnabled());
        QVERIFY(main->btnRec2->isEnabled());
        QVERIFY(main->picRec->isHidden());
        QVERIFY(!main->picRec2->isHidden());
        const QString file = live.captureFileName + QStringLiteral(".mp3");
        QVERIFY(file.startsWith(program.filePath(QStringLiteral("radiorecord/"))));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 0, 15000);
        // The shot shows the indicator: it is taken on a tick that shows it.
        QTRY_VERIFY_WITH_TIMEOUT(!main->image31->isHidden(), 3000);
        QVERIFY(saveScreen(QStringLiteral("record_e2e_recording.png")));
        QTest::qWait(10000);
        QCOMPARE(mediaPlayer.playState(), MediaPlayer::Playing);

        QTest::mouseClick(main->picRec2, Qt::LeftButton);
        QVERIFY(!live.isRecording());
        QVERIFY(main->btnRec->isEnabled());
        QVERIFY(main->image31->isHidden());
        QVERIFY(ended.wait(2500));
        QCOMPARE(ended.first().at(2).toBool(), false);   // it finished its file

        // The file: MP3 frames from the first byte, about 10 s at 16000 B/s.
        QFile recorded(file);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QByteArray head = recorded.read(2);
        QCOMPARE(static_cast<unsigned char>(head.at(0)), 0xFF);
        QVERIFY((static_cast<unsigned char>(head.at(1)) & 0xE0) == 0xE0);
        QVERIFY2(recorded.size() > 8 * 16000, qPrintable(QString::number(recorded.size())));

        // The live entry: its end and the file name without extension.
        const QString stamp = QFileInfo(live.captureFileName).fileName();
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-check"));
            db.setDatabaseName(program.filePath(QStringLiteral("rd.d")));
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("SELECT onf, mode1, name1, time1, time2, filename2, radiourl FROM recSchedul WHERE idno = ")
                               + live.liveEntryId));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("N"));
            QCOMPARE(query.value(1).toString(), QStringLiteral("Real time record"));
            QCOMPARE(query.value(2).toString(), main->LabRname->text());
            const QTime start = regional.parseTime(query.value(3).toString());
            const QTime end = regional.parseTime(query.value(4).toString());
            QVERIFY2(start.isValid() && end.isValid() && start.secsTo(end) >= 10 && start.secsTo(end) < 60,
                     qPrintable(query.value(3).toString() + " - " + query.value(4).toString()));
            QCOMPARE(query.value(5).toString(), stamp);
            QCOMPARE(query.value(6).toString(), app->state().stationStreamUrl);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("e2e-check"));

        // The recordings list shows the file; a double click plays it.
        bool listed = false;
        bool shot = false;
        whenModal([&](QWidget *modal) {
            auto *recordings = qobject_cast<TForm_recordlist *>(modal);
            if (!recordings)
                return;
            // Checked inside; the window is closed whatever they find.
            [&] {
                QAbstractItemModel *model = recordings->FileListBox1->model();
                const QModelIndex root = recordings->FileListBox1->rootIndex();
                QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(root), 1, 5000);
                const QModelIndex item = model->index(0, 0, root);
                listed = item.data().toString() == QFileInfo(file).fileName();
                recordings->FileListBox1->setCurrentIndex(item);
                QTest::qWait(300);
                shot = saveScreen(QStringLiteral("record_e2e_list.png"));
                Q_EMIT recordings->FileListBox1->doubleClicked(item);
                QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 10000);
            }();
            recordings->close();
        }, 10000);
        app->openRecordingsList();
        QVERIFY(listed);
        QVERIFY(shot);
        QCOMPARE(mediaPlayer.url(), QFileInfo(file).absoluteFilePath());
        QCOMPARE(main->LabRname->text(), QFileInfo(file).fileName());
        QCOMPARE(app->state().listenSeconds, QStringLiteral("400"));
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 10000);

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
        RecordEndToEndTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    stopXvfb();
    return status;
}

#include "record_e2e_nosan_test.moc"

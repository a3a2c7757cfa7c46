// End to end: the real player under a private Xvfb with the bundled
// station directory and the real grabclock. A one-time recording of a
// demo station a few seconds from now for 20 s and a one-time play right
// after it are entered in the schedule window; the recording's file
// appears and the list shows it, the play starts and stops on time.
// Leaves screenshots in the working folder.

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

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

#include "directory_server.h"
#include "fake_platform.h"
#include "platform/clock.h"
#include "platform/posix_process_launcher.h"
#include "platform/vlc_media_player.h"
#include "platform/qt_web_browser.h"
#include "recording/schedule_editor_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

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

bool saveScreen(const QString &file)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(file);
}


// The player's own launcher, noting what it started.
class DetachedLauncher final : public ProcessLauncher
{
public:
    qint64 startProcess(const QString &program, const QStringList &arguments) override
    {
        const qint64 pid = m_real.startProcess(program, arguments);
        started << (QStringList{program} + arguments);
        if (pid > 0)
            pids << pid;
        return pid;
    }
    QList<qint64> findByFileName(const QString &name) const override { return m_real.findByFileName(name); }
    bool terminate(qint64 pid) override { return m_real.terminate(pid); }
    bool isRunning(qint64 pid) const override { return m_real.isRunning(pid); }

    QList<QStringList> started;
    QList<qint64> pids;

private:
    PosixProcessLauncher m_real;
};
}  // namespace

class ScheduleEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordThenPlayOnTime()
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
        const QString stream = base + QStringLiteral("stream/1.mp3");

        // A program folder of our own: the shipped store (English chosen),
        // skin pictures, the recordings folder and the real grabclock.
        const QDir shipped(QStringLiteral(VEXA_TEST_PROGRAM_DIR));
        const QDir program(work.filePath(QStringLiteral("program")));
        QVERIFY(program.mkpath(QStringLiteral("pic")));
        QVERIFY(program.mkpath(QStringLiteral("radiorecord")));
        QVERIFY(QFile::copy(shipped.filePath(QStringLiteral("rd.d")), program.filePath(QStringLiteral("rd.d"))));
        for (const QString &name : QDir(shipped.filePath(QStringLiteral("pic"))).entryList(QDir::Files))
            QFile::copy(shipped.filePath(QStringLiteral("pic/") + name), program.filePath(QStringLiteral("pic/") + name));
        QVERIFY(QFile::copy(QStringLiteral(VEXA_TEST_GRABCLOCK), program.filePath(QStringLiteral("grabclock"))));
        QFile::setPermissions(program.filePath(QStringLiteral("grabclock")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
        SystemClock clock;
        RegionalFormat regional;
        DetachedLauncher launcher;
        PlatformParts parts = fakes.parts;
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.clock = &clock;
        parts.regional = &regional;
        parts.processes = &launcher;

        auto app = std::make_unique<Application>(parts, program.path());
        app->state().directoryBaseUrl = base;
        app->playback().setHitLogBaseUrl(base.chopped(1));
        app->start();
        TForm_main *main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));

        // The schedule window from the main menu.
        main->Recordschedule1->trigger();
        TForm_record *w = app->scheduleWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        main->move(10, 300);
        w->move(600, 40);

        // A recording of 20 s starting a few seconds from now, and a play of
        // 8 s right after it, both once, today.
        QDateTime now = QDateTime::currentDateTime();
        now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
        const QDateTime recordStart = now.addSecs(6);
        const QDateTime recordEnd = recordStart.addSecs(20);
        const QDateTime playStart = recordEnd.addSecs(2);
        const QDateTime playEnd = playStart.addSecs(8);
        if (playEnd.date() != now.date())
            QSKIP("too close to midnight for a one-day entry");
        const QString name = QStringLiteral("Harbour Tone FM");
        auto enter = [&](int mode, const QDateTime &start, const QDateTime &end) {
            w->ComboBox1->setCurrentIndex(mode);
            w->Edit1->setText(name);
            w->Edit2->setText(stream);
            w->ComboBox2->setCurrentIndex(0);
            w->Date1->setDate(start.date());
            w->Date2->setDate(end.date());
            w->time1->setTime(start.time());
            w->Time2->setTime(end.time());
            w->CheckBox1->setChecked(true);
            QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        };
        enter(0, recordStart, recordEnd);
        enter(1, playStart, playEnd);
        QVERIFY(fakes.messages.shown.empty());
        QAbstractItemModel *list = w->TntDBGrid1->model();
        QCOMPARE(list->rowCount(), 2);

        // The recorder starts on time, with the whole 20 s.
        QTRY_COMPARE_WITH_TIMEOUT(launcher.started.size(), 1, 15000);
        const QDateTime startedAt = QDateTime::currentDateTime();
        QVERIFY2(qAbs(startedAt.msecsTo(recordStart)) < 2500, qPrintable(startedAt.toString()));
        const QStringList command = launcher.started.first();
        QCOMPARE(command.value(0), program.filePath(QStringLiteral("grabclock")));
        QCOMPARE(command.value(1), stream);
        QVERIFY(command.value(2).startsWith(program.filePath(QStringLiteral("radiorecord/"))));
        QCOMPARE(command.value(3), QStringLiteral("20000"));
        QCOMPARE(launcher.pids.size(), 1);
        const QString recordingName = QFileInfo(command.value(2)).fileName();

        // The entry is inside its window: its row is marked.
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(0, 0), Qt::BackgroundRole).value<QColor>(),
                                  QColor(212, 208, 200), 3000);
        QTest::qWait(1500);
        QVERIFY(saveScreen(QStringLiteral("schedule_e2e_recording.png")));

        // The file appears and the list shows its name.
        const QString file = program.filePath(QStringLiteral("radiorecord/") + recordingName + QStringLiteral(".mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(0, 8)).toString(), recordingName + QStringLiteral(".mp3"), 5000);

        // The play starts on time and the main window shows the station.
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.url(), stream, 30000);
        const QDateTime playedAt = QDateTime::currentDateTime();
        QVERIFY2(qAbs(playedAt.msecsTo(playStart)) < 2500, qPrintable(playedAt.toString()));
        QCOMPARE(main->LabRname->text(), name);
        QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 10000);
        QVERIFY(saveScreen(QStringLiteral("schedule_e2e_playing.png")));

        // It stops at its end; the entry is switched off.
        QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), QString(), 20000);
        const QDateTime stoppedAt = QDateTime::currentDateTime();
        QVERIFY2(qAbs(stoppedAt.msecsTo(playEnd)) < 2500, qPrintable(stoppedAt.toString()));
        QTRY_VERIFY_WITH_TIMEOUT(mediaPlayer.playState() != MediaPlayer::Playing, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(1, 0)).toString(), QStringLiteral("N"), 3000);

        // The recorder ends by itself after 20 s and its settle wait.
        QTRY_VERIFY_WITH_TIMEOUT(kill(pid_t(launcher.pids.first()), 0) != 0, 15000);
        const qint64 size = QFileInfo(file).size();
        QVERIFY2(size > 250000, qPrintable(QString::number(size)));   // 20 s at 16 000 bytes/s
        QVERIFY(saveScreen(QStringLiteral("schedule_e2e_done.png")));

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
        ScheduleEndToEndTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    stopXvfb();
    return status;
}

#include "schedule_e2e_nosan_test.moc"

// End to end: the real player under a private Xvfb with the bundled
// station directory on a free loopback port and the real recorders. A
// demo station is picked and plays, Record runs grablive for 10 s, Stop
// ends it; the file is in radiorecord/, the schedule table holds the live
// entry with its end and file name, the recordings list shows the file and
// a double click plays it. Leaves the screenshots record_e2e_recording.png
// and record_e2e_list.png in the working folder.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QToolButton>
#include <QWebEngineView>

#include <memory>

#include <signal.h>
#include <unistd.h>
#include <string>

#include "directory/station_list.h"
#include "directory/station_list_window.h"
#include "bounded_wait.h"
#include "e2e_fixture.h"
#include "platform/posix_close_signals.h"
#include "platform/posix_process_launcher.h"
#include "player_fixture.h"
#include "recording/live_recording.h"
#include "recording/recordings_list_window.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

namespace {

// A screenshot of the whole virtual screen, as `import -window root`.
bool saveScreen(const QString &file)
{
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    if (import.waitForFinished(20000) && import.exitCode() == 0)
        return true;
    return xvfb::saveScreen(file);
}

}  // namespace

class RecordEndToEndTest : public QObject
{
    Q_OBJECT

    // Shows the player and plays the first station of the first location.
    void playFirstStation(e2e::Fixture &f, Application &app)
    {
        TForm_main *main = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QWebEngineView *view = e2e::showStationList(app);
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(!app.stationList().panelVisible(), 30000);
        QSignalSpy picked(&app.stationList(), &StationList::stationPicked);
        QTRY_COMPARE_WITH_TIMEOUT(
            e2e::runScript(view, QStringLiteral("!!document.querySelector('ul.items a')")).toBool(), true, 10000);
        QVERIFY(e2e::pickFirstStation(view));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!main->LabRname->text().isEmpty(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        app.stationListWindow()->close();
    }

private Q_SLOTS:
    void recordStopListPlay()
    {
        // A program folder of our own with the shipped store and skin, the
        // recorders of the build beside the program, and no radiorecord/
        // (the first Record makes it).
        e2e::Fixture f;
        QVERIFY2(f.start(QStringLiteral("program folder"), false), f.error.c_str());
        const QDir &program = f.program;
        for (const char *recorder : {"grablive", "grabclock"}) {
            QVERIFY(QFile::link(QStringLiteral(VEXA_RECORDER_DIR "/") + QLatin1String(recorder),
                                program.filePath(QLatin1String(recorder))));
        }
        PosixProcessLauncher processes;
        f.parts.processes = &processes;

        auto app = f.startPlayer();
        TForm_main *main = app->mainWindow();
        playFirstStation(f, *app);
        if (QTest::currentTestFailed())
            return;

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
        QTRY_VERIFY_WITH_TIMEOUT(!main->image31->isHidden(), LiveRecording::kBlinkIntervalMs + testwait::kLoadMarginMs);
        QVERIFY(saveScreen(QStringLiteral("record_e2e_recording.png")));
        QTest::qWait(10000);
        QCOMPARE(f.mediaPlayer.playState(), MediaPlayer::Playing);

        QTest::mouseClick(main->picRec2, Qt::LeftButton);
        QVERIFY(!live.isRecording());
        QVERIFY(main->btnRec->isEnabled());
        QVERIFY(main->image31->isHidden());
        // grablive settles for 1 s; the launcher forces it after its grace.
        QTRY_VERIFY2_WITH_TIMEOUT(!ended.isEmpty(),
                                  qPrintable(QStringLiteral("grablive's end after the stop; grablive processes: %1")
                                                 .arg(processes.findByFileName(QStringLiteral("grablive")).size())),
                                  testwait::recorderEndMs(1000, PosixProcessLauncher::kDefaultGraceMs));
        QCOMPARE(ended.first().at(2).toBool(), false);  // it finished its file

        // The file: MP3 frames from the first byte, about 10 s at 16000 B/s.
        QFile recorded(file);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QByteArray head = recorded.read(2);
        QCOMPARE(static_cast<unsigned char>(head.at(0)), 0xFF);
        QVERIFY((static_cast<unsigned char>(head.at(1)) & 0xE0) == 0xE0);
        QVERIFY2(recorded.size() > 8 * 16000, qPrintable(QString::number(recorded.size())));

        // The live entry: its end and the file name without extension.
        const QString stamp = QFileInfo(live.captureFileName).fileName();
        QSqlRecord entry;
        QVERIFY(e2e::runOnStore(
            program.filePath(QStringLiteral("rd.d")),
            QStringLiteral("SELECT onf, mode1, name1, time1, time2, filename2, radiourl, filename1 FROM recSchedul "
                           "WHERE idno = ")
                + live.liveEntryId,
            &entry));
        QCOMPARE(entry.value(0).toString(), QStringLiteral("N"));
        QCOMPARE(entry.value(1).toString(), QStringLiteral("Real time record"));
        QCOMPARE(entry.value(2).toString(), main->LabRname->text());
        const QTime start = f.regional.parseTime(entry.value(3).toString());
        const QTime end = f.regional.parseTime(entry.value(4).toString());
        QVERIFY2(start.isValid() && end.isValid() && start.secsTo(end) >= 10 && start.secsTo(end) < 60,
                 qPrintable(entry.value(3).toString() + " - " + entry.value(4).toString()));
        // filename2 names the recording; a schedule tick that finds its file
        // may already have completed the entry (filename1, filename2 cleared).
        const QString awaited = entry.value(5).toString(), completed = entry.value(7).toString();
        QVERIFY2(awaited == stamp || (awaited.isEmpty() && completed == stamp + QStringLiteral(".mp3")),
                 qPrintable(awaited + " / " + completed));
        QCOMPARE(entry.value(6).toString(), app->state().stationStreamUrl);

        // The recordings list shows the file; a double click plays it.
        bool listed = false;
        bool shot = false;
        whenModal(
            [&](QWidget *modal) {
                auto *recordings = qobject_cast<TForm_recordlist *>(modal);
                if (!recordings)
                    return;
                // Checked inside; the window is closed whatever they find.
                [&] {
                    QAbstractItemModel *model = recordings->FileListBox1->model();
                    const QModelIndex root = recordings->FileListBox1->rootIndex();
                    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(root), 1, testwait::kLoadMarginMs);
                    const QModelIndex item = model->index(0, 0, root);
                    listed = item.data().toString() == QFileInfo(file).fileName();
                    recordings->FileListBox1->setCurrentIndex(item);
                    QTest::qWait(300);
                    shot = saveScreen(QStringLiteral("record_e2e_list.png"));
                    Q_EMIT recordings->FileListBox1->doubleClicked(item);
                    QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
                }();
                recordings->close();
            },
            10000);
        app->openRecordingsList();
        QVERIFY(listed);
        QVERIFY(shot);
        const QString played = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded);
        QCOMPARE(f.mediaPlayer.url(), played);
        QCOMPARE(main->LabRname->text(), QFileInfo(file).fileName());
        QCOMPARE(app->state().listenSeconds, QStringLiteral("400"));
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);

        app.reset();
        f.directory.stop();
    }

    // SIGTERM while recording runs the close of the main window: the live
    // recorder is asked to end and finishes its file, the live entry gets
    // its end and file name, the player ends.
    void signalEndsTheRecordingAndThePlayer()
    {
        e2e::Fixture f;
        QVERIFY2(f.start(QStringLiteral("program"), true), f.error.c_str());
        QVERIFY(
            QFile::link(QStringLiteral(VEXA_RECORDER_DIR "/grablive"), f.program.filePath(QStringLiteral("grablive"))));
        PosixProcessLauncher processes;
        f.parts.processes = &processes;
        auto app = f.startPlayer();
        PosixCloseSignals closeSignals(app->mainWindow());
        QVERIFY(closeSignals.isActive());
        playFirstStation(f, *app);
        if (QTest::currentTestFailed())
            return;

        QSignalSpy ended(&processes, &PosixProcessLauncher::childEnded);
        QSignalSpy finished(app.get(), &Application::finished);
        QTest::mouseClick(app->mainWindow()->picRec, Qt::LeftButton);
        LiveRecording &live = app->liveRecording();
        QVERIFY(live.isRecording());
        const QString file = live.captureFileName + QStringLiteral(".mp3");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 0, 15000);

        QElapsedTimer closing;
        closing.start();
        QVERIFY(::kill(::getpid(), SIGTERM) == 0);
        QVERIFY(finished.wait(5000));
        QVERIFY(!live.isRecording());
        QVERIFY(ended.wait(5000));
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(ended.first().at(2).toBool(), false);  // it finished its file
        QSqlRecord entry;
        QVERIFY(
            e2e::runOnStore(f.program.filePath(QStringLiteral("rd.d")),
                            QStringLiteral("SELECT time1, time2, filename2, filename1 FROM recSchedul WHERE idno = ")
                                + live.liveEntryId,
                            &entry));
        const QString stamp = QFileInfo(live.captureFileName).fileName();
        QVERIFY2(entry.value(2).toString() == stamp || entry.value(3).toString() == stamp + QStringLiteral(".mp3"),
                 qPrintable(entry.value(2).toString()));
        app.reset();
        f.directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<RecordEndToEndTest>(argc, argv);
}

#include "record_e2e_nosan_test.moc"

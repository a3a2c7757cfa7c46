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
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <csignal>
#include <memory>
#include <string>

#include "bounded_wait.h"
#include "e2e_fixture.h"
#include "platform/posix_process_launcher.h"
#include "recording/schedule_editor_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

// The player's own launcher, noting what it started.
class DetachedLauncher final : public ProcessLauncher
{
public:
    qint64 startProcess(const QString &program, const QStringList &arguments) override
    {
        sinceStart.start();
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
    QElapsedTimer sinceStart;  // of the last process started

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
        // A program folder of our own: the shipped store (English chosen),
        // skin pictures, the recordings folder and the real grabclock.
        e2e::Fixture f;
        QVERIFY2(f.start(QStringLiteral("program"), true), f.error.c_str());
        const QString stream = f.base + QStringLiteral("stream/1.mp3");
        const QDir &program = f.program;
        QVERIFY(QFile::copy(QStringLiteral(VEXA_TEST_GRABCLOCK), program.filePath(QStringLiteral("grabclock"))));
        QFile::setPermissions(program.filePath(QStringLiteral("grabclock")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        DetachedLauncher launcher;
        f.parts.processes = &launcher;

        auto app = f.startPlayer();
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
        QVERIFY(f.fakes.messages.shown.empty());
        QAbstractItemModel *list = w->TntDBGrid1->model();
        QCOMPARE(list->rowCount(), 2);

        // The recorder starts on time, with the whole 20 s.
        QTRY_COMPARE_WITH_TIMEOUT(launcher.started.size(), 1, 15000);
        const QDateTime startedAt = QDateTime::currentDateTime();
        QVERIFY2(startedAt.msecsTo(recordStart) < 2500 && recordStart.msecsTo(startedAt) < testwait::kLoadMarginMs,
                 qPrintable(startedAt.toString()));
        const QStringList command = launcher.started.first();
        QCOMPARE(command.value(0), program.filePath(QStringLiteral("grabclock")));
        QCOMPARE(command.value(1), stream);
        QVERIFY(command.value(2).startsWith(program.filePath(QStringLiteral("radiorecord/"))));
        QCOMPARE(command.value(3), QStringLiteral("20000"));
        QCOMPARE(launcher.pids.size(), 1);
        const QString recordingName = QFileInfo(command.value(2)).fileName();

        // The entry is inside its window: its row is marked.
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(0, 0), Qt::BackgroundRole).value<QColor>(),
                                  QColor(212, 208, 200), testwait::kLoadMarginMs);
        QTest::qWait(1500);
        QVERIFY(xvfb::saveScreen(QStringLiteral("schedule_e2e_recording.png")));

        // The file appears and the list shows its name.
        const QString file = program.filePath(QStringLiteral("radiorecord/") + recordingName + QStringLiteral(".mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(0, 8)).toString(), recordingName + QStringLiteral(".mp3"),
                                  testwait::kLoadMarginMs);

        // The play starts on time and the main window shows the station.
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.url(), stream, 30000);
        const QDateTime playedAt = QDateTime::currentDateTime();
        QVERIFY2(playedAt.msecsTo(playStart) < 2500 && playStart.msecsTo(playedAt) < testwait::kLoadMarginMs,
                 qPrintable(playedAt.toString()));
        QCOMPARE(main->LabRname->text(), name);
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        QVERIFY(xvfb::saveScreen(QStringLiteral("schedule_e2e_playing.png")));

        // It stops at its end; the entry is switched off.
        QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), QString(), 20000);
        const QDateTime stoppedAt = QDateTime::currentDateTime();
        QVERIFY2(stoppedAt.msecsTo(playEnd) < 2500 && playEnd.msecsTo(stoppedAt) < testwait::kLoadMarginMs,
                 qPrintable(stoppedAt.toString()));
        QTRY_VERIFY_WITH_TIMEOUT(f.mediaPlayer.playState() != MediaPlayer::Playing, testwait::kLoadMarginMs);
        QTRY_COMPARE_WITH_TIMEOUT(list->data(list->index(1, 0)).toString(), QStringLiteral("N"),
                                  testwait::kLoadMarginMs);

        // The recorder ends by itself after 20 s and its settle wait.
        QTRY_VERIFY2_WITH_TIMEOUT(kill(pid_t(launcher.pids.first()), 0) != 0, "grabclock's end after its 20 s",
                                  testwait::recorderEndMs(20000 + 4000, 0));
        // Never sooner.
        QVERIFY2(launcher.sinceStart.elapsed() >= 20000 + 4000,
                 qPrintable(QStringLiteral("grabclock ran %1 ms").arg(launcher.sinceStart.elapsed())));
        // 20 s at 16 000 bytes/s; a paced server on a busy machine falls
        // behind the clock, so half of it is promised.
        const qint64 size = QFileInfo(file).size();
        QVERIFY2(size > 10 * 16000, qPrintable(QString::number(size)));
        QVERIFY(xvfb::saveScreen(QStringLiteral("schedule_e2e_done.png")));

        app.reset();
        f.directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<ScheduleEndToEndTest>(argc, argv);
}

#include "schedule_e2e_nosan_test.moc"

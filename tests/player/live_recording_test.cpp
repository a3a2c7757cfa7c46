// Live recording, the recorder control and the recordings list against
// fakes (launcher, clock, media player, message boxes) in the real
// assembly, on a temporary program folder with the shipped store.
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <functional>
#include <memory>

#include "bounded_wait.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "core/address_rules.h"
#include "recording/live_recording.h"
#include "recording/recorder_control.h"
#include "recording/record_setup_window.h"
#include "recording/recorder_host_window.h"
#include "recording/recordings_list.h"
#include "recording/recordings_list_window.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"
#include "store/write_queue.h"
#include "store_lock_holder.h"

namespace {

const QString kStream = QStringLiteral("http://127.0.0.1:8765/stream/1.mp3");

// A value read from the store file over a plain connection of its own,
// which a lock held elsewhere does not keep out of a write-ahead-log store.
QVariant rawValue(const QString &store, const QString &statement)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(store);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                value = query.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return value;
}
int rawCount(const QString &store, const QString &statement)
{
    return rawValue(store, statement).toInt();
}
QString rawText(const QString &store, const QString &statement)
{
    return rawValue(store, statement).toString();
}

// The assembly on fakes, with a station playing.
struct Rig
{
    Rig()
    {
        platform.clock.current = QDateTime(QDate(2007, 5, 9), QTime(8, 5, 3));
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->state().languageCode = QStringLiteral("1");
    }
    void tune(const QString &name = QStringLiteral("Harbour FM"), const QString &url = kStream)
    {
        app->state().setStationName(name);
        platform.mediaPlayer.setUrl(url);
    }
    TForm_main *main() const { return app->mainWindow(); }
    LiveRecording &live() const { return app->liveRecording(); }
    QString entry(const QString &column) const
    {
        return folder.value(QStringLiteral("SELECT %1 FROM recSchedul WHERE idno = %2").arg(column, live().liveEntryId))
            .toString();
    }
    int entries() const { return folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(); }
    QString recordings() const { return folder.path() + QStringLiteral("/radiorecord/"); }

    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
};

using RigAction = std::function<void(Rig &)>;

// The four record controls and the indicator in one state.
bool controlsShow(const Rig &rig, bool recording)
{
    const TForm_main *m = rig.main();
    return m->btnRec->isEnabled() == !recording && m->btnRec2->isEnabled() == recording
        && m->picRec->isHidden() == recording && m->picRec2->isHidden() == !recording
        && m->image31->isHidden() == !recording && rig.live().blinking() == recording
        && rig.live().isRecording() == recording;
}

}  // namespace

Q_DECLARE_METATYPE(RigAction)

class LiveRecordingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stamp_data()
    {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("no leading zeros") << QDateTime(QDate(2007, 5, 9), QTime(8, 5, 3)) << "200759853";
        QTest::newRow("two digits each") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)) << "20261231235959";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0)) << "202611000";
    }
    void stamp()
    {
        QFETCH(QDateTime, at);
        QFETCH(QString, stamp);
        QCOMPARE(LiveRecording::recordingStamp(at), stamp);
    }

    // A name already on disk (any extension) or handed out gets a suffix.
    void suffixRule_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("name");
        const QString s = QStringLiteral("20261211115");
        QTest::newRow("free") << QStringList{} << QStringList{} << s;
        QTest::newRow("other stamps only") << QStringList{s + "1.mp3", "1" + s + ".wma"} << QStringList{} << s;
        QTest::newRow("mp3 exists") << QStringList{s + ".mp3"} << QStringList{} << s + "_2";
        QTest::newRow("wma and _2 exist") << QStringList{s + ".wma", s + "_2.mp3"} << QStringList{} << s + "_3";
        QTest::newRow("no extension") << QStringList{s} << QStringList{} << s + "_2";
        QTest::newRow("other extension") << QStringList{s + ".part"} << QStringList{} << s + "_2";
        QTest::newRow("handed out, no file yet") << QStringList{} << QStringList{s} << s + "_2";
    }
    void suffixRule()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, taken);
        QFETCH(QString, name);
        QTemporaryDir dir;
        for (const QString &file : files) {
            QFile f(dir.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QSet<QString> takenSet(taken.begin(), taken.end());
        QCOMPARE(LiveRecording::uniqueFileName(dir.path(), QStringLiteral("20261211115"), takenSet), name);
    }

    void addressRule_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("recordable");
        QTest::newRow("http") << kStream << true;
        QTest::newRow("HTTP capitals") << "HTTP://radio.example/live" << true;
        QTest::newRow("mms") << "mms://media.example/live" << true;
        QTest::newRow("blank in path") << "http://radio.example/my station.asx" << true;
        QTest::newRow("page form") << "radio.example/station.html" << true;
        QTest::newRow("page form with port") << "127.0.0.1:8765/ap/page.asp" << true;
        QTest::newRow("file url") << "file:///etc/passwd" << false;
        QTest::newRow("file short") << "FILE:/tmp/x.mp3" << false;
        QTest::newRow("absolute path") << "/home/user/radiorecord/2007.mp3" << false;
        QTest::newRow("relative path") << "./radiorecord/2007.mp3" << false;
        QTest::newRow("home path") << "~/x.mp3" << false;
        QTest::newRow("drive path") << "c:\\radio\\x.wma" << false;
        QTest::newRow("option-like") << "-o" << false;
        QTest::newRow("https") << "https://radio.example/live" << true;
        QTest::newRow("HLS over https") << "https://radio.example/live/master.m3u8" << true;
        QTest::newRow("https, no host") << "https:///etc/passwd" << false;
        QTest::newRow("other scheme") << "ftp://radio.example/x.mp3" << false;
        QTest::newRow("scheme only") << "http://" << false;
        QTest::newRow("no host") << "http:///etc/passwd" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("line break") << "http://a.example/x\nhttp://b" << false;
        QTest::newRow("too long") << "http://a.example/" + QString(300, QLatin1Char('x')) << false;
    }
    void addressRule()
    {
        QFETCH(QString, address);
        QFETCH(bool, recordable);
        QCOMPARE(AddressRules::recordable(address), recordable);
    }

    // Each value is one argument, whatever blanks it holds.
    void recorderArguments_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<qint64>("duration");
        QTest::addColumn<QStringList>("expected");
        const QString dir = QStringLiteral("/opt/my radio");
        const QString address = QStringLiteral("http://radio.example/my station.asx");
        const QString out = dir + QStringLiteral("/radiorecord/200759853");
        QTest::newRow("live") << true << qint64(0) << QStringList{dir + "/grablive", address, out, "86400000"};
        QTest::newRow("scheduled") << false << qint64(1800000)
                                   << QStringList{dir + "/grabclock", address, out, "1800000"};
        QTest::newRow("scheduled, zero") << false << qint64(0) << QStringList{dir + "/grabclock", address, out, "1"};
        QTest::newRow("scheduled, negative")
            << false << qint64(-5) << QStringList{dir + "/grabclock", address, out, "1"};
        QTest::newRow("scheduled, past 32 bits")
            << false << qint64(5000000000LL) << QStringList{dir + "/grabclock", address, out, "2147483647"};
    }
    void recorderArguments()
    {
        QFETCH(bool, live);
        QFETCH(qint64, duration);
        QFETCH(QStringList, expected);
        FakeProcessLauncher launcher;
        RecorderControl control(launcher, QStringLiteral("/opt/my radio"));
        const bool started = live ? control.startLiveRecorder(expected.at(1), expected.at(2))
                                  : control.startScheduledRecorder(expected.at(1), expected.at(2), duration);
        QVERIFY(started);
        QCOMPARE(launcher.started, QList<QStringList>{expected});
        launcher.startSucceeds = false;
        QVERIFY(!control.startScheduledRecorder(expected.at(1), expected.at(2), duration));
        QVERIFY(!control.startScheduledRecorder(QStringLiteral("file:///etc/passwd"), expected.at(2), duration));
    }

    // The live entry as Record writes it, in the interface language, and
    // as Stop completes it.
    void liveEntryAndStop_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("once");
        QTest::newRow("English") << "1"
                                 << "Real time record"
                                 << "Once";
        QTest::newRow("Traditional Chinese") << "2"
                                             << "即時錄音"
                                             << "一次";
    }
    void liveEntryAndStop()
    {
        QFETCH(QString, language);
        QFETCH(QString, mode);
        QFETCH(QString, once);
        Rig rig;
        rig.app->state().languageCode = language;
        rig.tune(QStringLiteral("Harbour FM 海港"));
        const RegionalFormat &regional = rig.platform.regional;
        const QDateTime start = rig.platform.clock.current;
        QSignalSpy changed(&rig.app->shell().schedule, &ScheduleTable::changed);

        QTest::mouseClick(rig.main()->picRec, Qt::LeftButton);
        QVERIFY(controlsShow(rig, true));
        QCOMPARE(rig.live().captureFileName, rig.recordings() + "200759853");
        QCOMPARE(rig.live().liveFileName, QStringLiteral("200759853"));
        QCOMPARE(rig.app->recordSetupWindow()->Edit1->text(), rig.live().captureFileName);
        QCOMPARE(rig.platform.processes.started,
                 (QList<QStringList>{
                     {rig.folder.path() + "/grablive", kStream, rig.recordings() + "200759853", "86400000"}}));
        QVERIFY(rig.live().liveEntryId.toInt() > 0);
        const QStringList columns{"onf",   "mode1", "mode2", "name1", "radiourl", "freq1",     "freq2",    "date1",
                                  "date2", "time1", "time2", "date3", "status1",  "filename1", "filename2"};
        QStringList values;
        for (const QString &column : columns)
            values << rig.entry(column);
        QCOMPARE(values,
                 (QStringList{"N", mode, "1", "Harbour FM 海港", kStream, once, "0", regional.dateText(start.date()),
                              regional.dateText(start.date()), regional.timeText(start.time()),
                              regional.timeText(start.time()), "", "", "", ""}));
        // Written once, into the table the runner and the list read.
        QCOMPARE(changed.size(), 1);
        QCOMPARE(rig.app->shell().schedule.entries().size(), rig.entries());

        const QDateTime end = start.addSecs(30 * 60 + 7);
        rig.platform.clock.current = end;
        QTest::mouseClick(rig.main()->picRec2, Qt::LeftButton);
        QVERIFY(controlsShow(rig, false));
        QCOMPARE(rig.entry("date2"), regional.dateText(end.date()));
        QCOMPARE(rig.entry("time2"), regional.timeText(end.time()));
        QCOMPARE(rig.entry("filename2"), QStringLiteral("200759853"));
        QCOMPARE(rig.entry("time1"), regional.timeText(start.time()));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(rig.platform.processes.terminated, QList<qint64>{1000});
    }

    // Every caller of the stop action ends the recording and completes
    // the entry.
    void stopCallers_data()
    {
        QTest::addColumn<RigAction>("stopBy");
        QTest::newRow("Stop-recording picture")
            << RigAction([](Rig &rig) { QTest::mouseClick(rig.main()->picRec2, Qt::LeftButton); });
        QTest::newRow("btnRec2") << RigAction([](Rig &rig) { rig.main()->btnRec2->click(); });
        QTest::newRow("playback Stop") << RigAction(
            [](Rig &rig) { QTest::mouseClick(rig.main()->picStop, Qt::LeftButton); });
        QTest::newRow("directory navigation")
            << RigAction([](Rig &rig) { rig.app->playback().beforeDirectoryNavigation(); });
        QTest::newRow("memory button") << RigAction([](Rig &rig) { Q_EMIT rig.main()->recordStopClicked(); });
        QTest::newRow("window close") << RigAction([](Rig &rig) { rig.main()->close(); });
    }
    void stopCallers()
    {
        QFETCH(RigAction, stopBy);
        Rig rig;
        rig.tune();
        rig.main()->btnRec->click();
        QVERIFY(controlsShow(rig, true));
        rig.platform.clock.current = rig.platform.clock.current.addSecs(60);
        stopBy(rig);
        QVERIFY(controlsShow(rig, false));
        QCOMPARE(rig.entry("filename2"), QStringLiteral("200759853"));
        QCOMPARE(rig.entry("time2"), rig.platform.regional.timeText(rig.platform.clock.current.time()));
        QCOMPARE(rig.platform.processes.terminated, QList<qint64>{1000});
    }

    // Record stays idle (or returns to idle) on each failure.
    void failures_data()
    {
        QTest::addColumn<RigAction>("arrange");
        QTest::addColumn<int>("newEntries");
        QTest::addColumn<int>("starts");
        QTest::addColumn<QString>("message");
        QTest::newRow("no station name") << RigAction([](Rig &rig) { rig.tune(QString()); }) << 0 << 0 << "";
        // A station that plays but cannot be recorded is named to the user.
        const QString refused = QStringLiteral("This station cannot be recorded:");
        QTest::newRow("local file plays") << RigAction([](Rig &rig) {
            rig.tune(QStringLiteral("200759853.mp3"), rig.recordings() + QStringLiteral("200759853.mp3"));
        }) << 0 << 0 << refused;
        QTest::newRow("file address") << RigAction([](Rig &rig) {
            rig.tune(QStringLiteral("x"), QStringLiteral("file:///etc/passwd"));
        }) << 0 << 0 << refused;
        QTest::newRow("rtsp station") << RigAction([](Rig &rig) {
            rig.tune(QStringLiteral("Secure FM"), QStringLiteral("rtsp://radio.example/live"));
        }) << 0 << 0 << refused;
        QTest::newRow("recordings folder cannot be made") << RigAction([](Rig &rig) {
            rig.tune();
            QDir(rig.recordings()).removeRecursively();
            QFile blocker(rig.folder.path() + QStringLiteral("/radiorecord"));
            blocker.open(QIODevice::WriteOnly);
        }) << 0 << 0 << "Cannot write to the recordings folder:";
        QTest::newRow("schedule table gone") << RigAction([](Rig &rig) {
            rig.tune();
            rig.folder.sql({QStringLiteral("ALTER TABLE recSchedul RENAME TO gone")});
        }) << 0 << 0 << "";
        // Nothing was recorded: no entry is left, the recorder is named.
        QTest::newRow("recorder does not start") << RigAction([](Rig &rig) {
            rig.tune();
            rig.platform.processes.startSucceeds = false;
        }) << 0 << 1 << "The recorder could not be started:";
    }
    void failures()
    {
        QFETCH(RigAction, arrange);
        QFETCH(int, newEntries);
        QFETCH(int, starts);
        QFETCH(QString, message);
        Rig rig;
        const int before = rig.entries();
        arrange(rig);
        rig.main()->btnRec->click();
        QVERIFY(controlsShow(rig, false));
        QCOMPARE(rig.entries() - before, newEntries);
        QCOMPARE(rig.platform.processes.started.size(), starts);
        if (message.isEmpty()) {
            QVERIFY(rig.platform.messages.shown.empty());
        } else {
            // The detail: the folder that cannot be written, or the address.
            const QString detail = message.startsWith(QLatin1String("Cannot write")) ? rig.recordings()
                : message.startsWith(QLatin1String("The recorder")) ? rig.folder.path() + QStringLiteral("/grablive")
                                                                    : rig.platform.mediaPlayer.url();
            QCOMPARE(int(rig.platform.messages.shown.size()), 1);
            QCOMPARE(rig.platform.messages.shown.front().text, message + " " + detail);
        }
    }

    // A live recorder that ends by itself (at once, or later) is noticed:
    // the window goes idle, the user is told once with the recorder's last
    // log line, and the entry gets the time of the end; without a file of
    // at least one byte it is closed as failed, with no file to wait for.
    void recorderEndsByItself_data()
    {
        QTest::addColumn<int>("afterSecs");
        QTest::addColumn<QByteArray>("written");  // the recording's bytes; null: no file
        QTest::addColumn<QByteArray>("log");      // what the recorder printed
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("recording");
        const QByteArray connectFail = "connect to  127.0.0.1:9  fail -- 0000006f\n";
        QTest::newRow("exits at once, no file")
            << 0 << QByteArray() << connectFail << "connect to  127.0.0.1:9  fail -- 0000006f"
            << "Failed"
            << "";
        QTest::newRow("exits at once, empty file")
            << 0 << QByteArray("") << QByteArray("output name too long\n\n") << "output name too long"
            << "Failed"
            << "";
        QTest::newRow("dies later with a recording")
            << 19 << QByteArray("ID3 some audio") << QByteArray("write failed: no space left on device\n")
            << "write failed: no space left on device"
            << ""
            << "200759853.mp3";
        QTest::newRow("nothing printed") << 5 << QByteArray() << QByteArray() << "The recorder ended without a message."
                                         << "Failed"
                                         << "";
    }
    void recorderEndsByItself()
    {
        QFETCH(int, afterSecs);
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, log);
        QFETCH(QString, reason);
        QFETCH(QString, state);
        QFETCH(QString, recording);
        Rig rig;
        rig.tune();
        QFile logFile(rig.folder.path() + QStringLiteral("/grablive.log"));
        QVERIFY(logFile.open(QIODevice::WriteOnly));
        logFile.write("older run's last line\n---- 2007-05-09T08:05:03 start: grablive ...\n" + log);
        logFile.close();
        rig.main()->btnRec->click();
        QVERIFY(controlsShow(rig, true));
        if (!written.isNull()) {
            QFile file(rig.live().captureFileName + QStringLiteral(".mp3"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(written);
        }
        rig.platform.clock.current = rig.platform.clock.current.addSecs(afterSecs);
        const QString endTime = rig.platform.regional.timeText(rig.platform.clock.current.time());
        rig.platform.processes.exit(1000);
        QTRY_VERIFY_WITH_TIMEOUT(controlsShow(rig, false), 10000);
        QCOMPARE(int(rig.platform.messages.shown.size()), 1);
        QCOMPARE(rig.platform.messages.shown.front().text, QStringLiteral("The recording ended early: ") + reason);
        QCOMPARE(rig.entry("time2"), endTime);
        QCOMPARE(rig.entry("status1"), state);
        // A file with bytes completes the entry; nothing is left awaited.
        QTRY_COMPARE_WITH_TIMEOUT(rig.entry("filename1"), recording, 5000);
        QCOMPARE(rig.entry("filename2"), QString());
        // A failed recorder's empty file is not left to be listed.
        QCOMPARE(QFileInfo::exists(rig.live().captureFileName + QStringLiteral(".mp3")), !recording.isEmpty());
        // Record works again; a Stop now touches nothing.
        rig.main()->btnRec2->click();
        QVERIFY(rig.platform.processes.terminated.isEmpty());
        QCOMPARE(int(rig.platform.messages.shown.size()), 1);
    }

    void missingFolderIsMade()
    {
        Rig rig;
        QVERIFY(QDir(rig.recordings()).removeRecursively());
        rig.tune();
        rig.main()->btnRec->click();
        QVERIFY(controlsShow(rig, true));
        QVERIFY(QFileInfo(rig.recordings()).isDir());
        QVERIFY(QDir(rig.recordings()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // 1 Dec 01:11:05 and 1 Dec 11:01:05 have the same stamp: the second
    // recording gets a file of its own.
    void sameStampGetsItsOwnFile()
    {
        Rig rig;
        rig.tune();
        rig.platform.clock.current = QDateTime(QDate(2026, 12, 1), QTime(1, 11, 5));
        rig.main()->btnRec->click();
        QFile written(rig.live().captureFileName + QStringLiteral(".mp3"));
        QVERIFY(written.open(QIODevice::WriteOnly));
        written.close();
        rig.main()->btnRec2->click();
        rig.platform.clock.current = QDateTime(QDate(2026, 12, 1), QTime(11, 1, 5));
        rig.main()->btnRec->click();
        QCOMPARE(rig.live().captureFileName, rig.recordings() + "20261211115_2");
        QCOMPARE(rig.entry("filename2"), QString());
        rig.main()->btnRec2->click();
        QCOMPARE(rig.entry("filename2"), QStringLiteral("20261211115_2"));
    }

    // Stop with no recording running: the last entry stays as it was, and
    // only a live recorder of this program folder writing into its
    // recordings folder is stopped (one left from an earlier run); another
    // player's grablive, or one writing elsewhere, is never signalled.
    void stopWhileIdle()
    {
        Rig rig;
        rig.tune();
        rig.main()->btnRec->click();
        rig.main()->btnRec2->click();
        const QString time2 = rig.entry("time2");
        rig.platform.clock.current = rig.platform.clock.current.addSecs(3600);
        FakeProcessLauncher &processes = rig.platform.processes;
        const QString grablive = rig.folder.path() + QStringLiteral("/grablive");
        const QString elsewhere = QStringLiteral("/home/someone/other player");
        processes.running[QStringLiteral("grablive")] = {74, 75, 76, 77, 78};
        processes.commandLines[74] = {elsewhere + QStringLiteral("/grablive"), kStream,
                                      elsewhere + QStringLiteral("/radiorecord/200759"), QStringLiteral("86400000")};
        processes.commandLines[75] = {grablive, kStream, elsewhere + QStringLiteral("/radiorecord/200759"),
                                      QStringLiteral("86400000")};
        processes.commandLines[76] = {grablive, kStream, QStringLiteral("radiorecord/200759"),
                                      QStringLiteral("86400000")};
        // 77: nothing can be read about it (it ended, or is not the user's).
        processes.commandLines[78] = {grablive, kStream, rig.recordings() + QStringLiteral("200759"),
                                      QStringLiteral("86400000")};
        rig.main()->clickStop();
        QCOMPARE(rig.entry("time2"), time2);
        QCOMPARE(processes.terminated, (QList<qint64>{1000, 78}));

        // None of its own left: nothing is signalled.
        processes.running[QStringLiteral("grablive")] = {74, 75, 76, 77};
        rig.main()->clickStop();
        QCOMPARE(processes.terminated, (QList<qint64>{1000, 78}));
    }

    // Another program holds the store locked (a sqlite3 in BEGIN
    // EXCLUSIVE): Record and Stop return at once, the recorder starts on
    // time, the user is told once, and the live entry with its end is
    // written when the lock goes.
    void recordsWhileTheStoreIsLocked()
    {
        Rig rig;
        rig.tune();
        const QString store = rig.folder.storeFile();
        auto entriesOnDisk = [&] { return rawCount(store, QStringLiteral("SELECT count(*) FROM recSchedul")); };
        const int before = entriesOnDisk();
        StoreLockHolder holder(store);
        QVERIFY2(holder.held(), holder.output().constData());

        QElapsedTimer click;
        click.start();
        rig.main()->btnRec->click();
        const qint64 recordMs = click.elapsed();
        qInfo("Record with the store locked: %lld ms", recordMs);
        QVERIFY2(recordMs < 500, qPrintable(QString::number(recordMs)));
        QVERIFY(rig.live().isRecording());
        QCOMPARE(rig.platform.processes.started.size(), 1);
        QCOMPARE(rig.platform.processes.started.first().at(2), rig.live().captureFileName);
        QVERIFY(!rig.live().liveEntryId.isEmpty());
        QCOMPARE(entriesOnDisk(), before);
        // The recorder has written some of its file.
        QFile written(rig.live().captureFileName + QStringLiteral(".mp3"));
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write("ID3") == 3);
        written.close();

        // Told once, however long it stays locked.
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.platform.messages.shown.size()), 1, 15000);
        QVERIFY(rig.platform.messages.shown.front().text.contains(QStringLiteral("locked")));
        rig.platform.clock.current = rig.platform.clock.current.addSecs(60);
        click.restart();
        rig.main()->btnRec2->click();
        qInfo("Stop with the store locked: %lld ms", click.elapsed());
        QVERIFY2(click.elapsed() < 500, qPrintable(QString::number(click.elapsed())));
        QTest::qWait(WriteQueue::kRetryMs * 3);
        QCOMPARE(int(rig.platform.messages.shown.size()), 1);
        QCOMPARE(entriesOnDisk(), before);

        QVERIFY(holder.release());
        QTRY_COMPARE_WITH_TIMEOUT(entriesOnDisk(), before + 1, 5000);
        const QString where = QStringLiteral(" FROM recSchedul WHERE idno = ") + rig.live().liveEntryId;
        // The ended recorder's file completes the entry.
        QTRY_COMPARE_WITH_TIMEOUT(rawText(store, QStringLiteral("SELECT filename1") + where),
                                  rig.live().liveFileName + QStringLiteral(".mp3"), 5000);
        const RegionalFormat &regional = rig.platform.regional;
        QCOMPARE(rawText(store, QStringLiteral("SELECT time1") + where), regional.timeText(QTime(8, 5, 3)));
        QCOMPARE(rawText(store, QStringLiteral("SELECT time2") + where), regional.timeText(QTime(8, 6, 3)));
        QCOMPARE(rawText(store, QStringLiteral("SELECT radiourl") + where), kStream);
    }

    // The recorder this player started is stopped, not the first one a
    // name search would find.
    void stopPrefersOwnRecorder()
    {
        Rig rig;
        rig.tune();
        rig.platform.processes.running[QStringLiteral("grablive")] = {50};
        rig.main()->btnRec->click();
        QCOMPARE(rig.platform.processes.running.value(QStringLiteral("grablive")), (QList<qint64>{50, 1000}));
        rig.main()->btnRec2->click();
        QCOMPARE(rig.platform.processes.terminated, QList<qint64>{1000});
    }

    void indicatorBlinks()
    {
        Rig rig;
        rig.tune();
        QSignalSpy blinked(&rig.live(), &LiveRecording::indicatorVisibleChanged);
        rig.main()->btnRec->click();
        QCOMPARE(blinked.size(), 1);
        const int blinkBound = LiveRecording::kBlinkIntervalMs + testwait::kLoadMarginMs;
        QVERIFY2(blinked.wait(blinkBound), "the indicator's first blink");
        QVERIFY(rig.main()->image31->isHidden());
        QVERIFY2(blinked.wait(blinkBound), "the indicator's second blink");
        QVERIFY(!rig.main()->image31->isHidden());
        // A station start stops the blinking; the stop hides it.
        rig.app->playback().startStation(kStream);
        QVERIFY(!rig.live().blinking());
        rig.main()->btnRec2->click();
        QVERIFY(rig.main()->image31->isHidden());
    }

    // Closing the host window stops a live recorder; Button1 reports a
    // recorder that cannot start; output is read while the child runs.
    void recorderHostWindow()
    {
        Rig rig;
        TFormR *host = rig.app->recorderHostWindow();
        QCOMPARE(host->size(), QSize(1, 1));
        rig.tune();
        rig.main()->btnRec->click();
        QCOMPARE(host->Edit1->text(),
                 rig.folder.path() + "/grablive " + kStream + " " + rig.recordings() + "200759853 86400000");
        host->close();
        QCOMPARE(rig.platform.processes.terminated, QList<qint64>{1000});

        rig.platform.processes.startSucceeds = false;
        host->Button1->click();
        QCOMPARE(rig.platform.processes.started.last().at(0), rig.folder.path() + "/grabclock");
        QCOMPARE(rig.platform.messages.shown.back().text, QStringLiteral("Error CreateProcess"));

        // The ping diagnostic, read into Memo1.
        if (!QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty()) {
            host->Button2->click();
            QTRY_VERIFY_WITH_TIMEOUT(host->Memo1->toPlainText().contains(QStringLiteral("4 packets transmitted")),
                                     15000);
        }

        // More than a pipe holds before the child ends.
        QPlainTextEdit memo;
        memo.setPlainText(QStringLiteral("before\n"));
        TFormR::RunWithCapturedOutput(QStringLiteral("seq"), {QStringLiteral("1"), QStringLiteral("40000")}, &memo);
        QTRY_VERIFY_WITH_TIMEOUT(memo.toPlainText().endsWith(QStringLiteral("\n40000\n")), 10000);
        QCOMPARE(memo.toPlainText().count(QLatin1Char('\n')), 40001);
    }

    // Opens on radiorecord/ with the mask; a double click plays the file
    // as a local recording, which no Stop ever reports.
    void recordingsList()
    {
        Rig rig;
        for (const char *name : {"a.mp3", "b.WMA", "c.wav", "d.txt", "e.mp3.part", "f.Mp3"}) {
            QFile f(rig.recordings() + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        bool opened = false;
        whenModal([&](QWidget *modal) {
            auto *list = qobject_cast<TForm_recordlist *>(modal);
            opened = list != nullptr;
            if (list)
                list->close();
        });
        rig.app->openRecordingsList();
        QVERIFY(opened);

        TForm_recordlist *list = rig.app->recordingsListWindow();
        QCOMPARE(list->folder(), QDir(rig.recordings()).absolutePath());
        QAbstractItemModel *model = list->FileListBox1->model();
        const QModelIndex root = list->FileListBox1->rootIndex();
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(root), 4, testwait::kLoadMarginMs);
        QStringList shown;
        for (int row = 0; row < model->rowCount(root); ++row)
            shown << model->index(row, 0, root).data().toString();
        shown.sort();
        QCOMPARE(shown, (QStringList{"a.mp3", "b.WMA", "c.wav", "f.Mp3"}));

        rig.app->state().listenSeconds = QStringLiteral("301");
        QSignalSpy reports(&rig.app->playback(), &Playback::reportSent);
        const QModelIndex file = model->index(0, 0, root);
        const QString name = file.data().toString();
        list->show();
        Q_EMIT list->FileListBox1->doubleClicked(file);
        QCOMPARE(rig.app->state().listenSeconds, QStringLiteral("400"));
        QCOMPARE(rig.main()->LabRname->text(), name);
        const QString path = QDir(rig.recordings()).absoluteFilePath(name);
        QCOMPARE(rig.platform.mediaPlayer.url(), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
        QVERIFY(rig.app->playback().elapsedTimerOn());
        QVERIFY(list->isVisible());
        // Recording a local file is refused; stopping it reports nothing.
        rig.main()->btnRec->click();
        QVERIFY(controlsShow(rig, false));
        rig.main()->clickStop();
        QCOMPARE(reports.size(), 0);
    }

    void recordingsListWithoutFolder()
    {
        Rig rig;
        QVERIFY(QDir(rig.recordings()).removeRecursively());
        FakeMediaPlayer player;
        RecordingsList list(rig.app->state(), player, rig.app->playback(), rig.folder.path());
        QCOMPARE(list.initialFolder(), QDir::currentPath());
        QVERIFY(rig.platform.messages.shown.empty());
        QVERIFY(!RecordingsList::drives().isEmpty());
    }
};

QTEST_MAIN(LiveRecordingTest)
#include "live_recording_test.moc"

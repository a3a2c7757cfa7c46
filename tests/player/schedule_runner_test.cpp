// The schedule runner: the window test, the run states, the completion
// step and the clock tick, over a fake clock, media player and launcher.

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <ctime>

#include "schedule_fixture.h"

using Fields = QMap<QString, QString>;
Q_DECLARE_METATYPE(Fields)

namespace {

const QString kStream = QStringLiteral("http://127.0.0.1:8765/stream/1.mp3");

QDateTime dt(const char *text, int ms = 0)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss")).addMSecs(ms);
}

// Local time is Berlin's while one lives: its clock skips 02:00-03:00 on
// 29 March 2026 and repeats 02:00-03:00 on 25 October 2026.
struct BerlinTime
{
    QByteArray saved = qgetenv("TZ");
    BerlinTime()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    ~BerlinTime()
    {
        if (saved.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", saved);
        tzset();
    }
};

Fields daily(const char *name, const char *start, const char *end, const char *mode = "0")
{
    return {{"mode2", mode},       {"freq1", "Every Day"}, {"freq2", "1"},   {"onf", "Y"},
            {"radiourl", kStream}, {"name1", name},        {"time1", start}, {"time2", end}};
}

// Ticks once a second (a quarter second past) from `from` for `seconds`.
void tickThrough(ScheduleRig &rig, QDateTime from, int seconds)
{
    for (int s = 0; s < seconds; ++s, from = from.addSecs(1)) {
        rig.platform.clock.current = from.addMSecs(250);
        rig.tick();
    }
}

// The recorder arguments (address, output, duration) started for entry `id`.
QStringList recordersOf(const ScheduleRig &rig, qint64 id)
{
    QStringList durations;
    for (const QStringList &args : rig.platform.processes.started) {
        if (args.value(2).endsWith(QString::number(id)))
            durations << args.value(3);
    }
    return durations;
}

// A one-time recording "Demo" of kStream due 3/14/26 10:00-11:00 AM.
qint64 addDemoRecording(ScheduleRig &rig)
{
    return rig.add({{"mode2", "0"},
                    {"freq2", "0"},
                    {"onf", "Y"},
                    {"name1", "Demo"},
                    {"radiourl", kStream},
                    {"date1", "3/14/26"},
                    {"date2", "3/14/26"},
                    {"time1", "10:00:00 AM"},
                    {"time2", "11:00:00 AM"}});
}

}  // namespace

class ScheduleRunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // 2026-03-14 is a Saturday (weekday 7), 2026-03-15 a Sunday (1).
    void windowTest_data()
    {
        QTest::addColumn<QString>("freq");
        QTest::addColumn<QString>("date1");
        QTest::addColumn<QString>("date2");
        QTest::addColumn<QString>("date3");
        QTest::addColumn<QString>("time1");
        QTest::addColumn<QString>("time2");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("position");   // WindowPosition
        QTest::addColumn<QDateTime>("end");  // window end when inside

        const int in = int(WindowPosition::Inside), out = int(WindowPosition::Outside),
                  other = int(WindowPosition::OtherWeekday);
        const QString ten = QStringLiteral("10:00:00 AM"), eleven = QStringLiteral("11:00:00 AM");
        const QString d14 = QStringLiteral("3/14/26"), d16 = QStringLiteral("3/16/26");
        QTest::newRow("once: inside") << "0" << d14 << d14 << "" << ten << eleven << dt("2026-03-14 10:30:00") << in
                                      << dt("2026-03-14 11:00:00");
        QTest::newRow("once: before start")
            << "0" << d14 << d14 << "" << ten << eleven << dt("2026-03-14 09:59:59", 999) << out << QDateTime();
        QTest::newRow("once: start second")
            << "0" << d14 << d14 << "" << ten << eleven << dt("2026-03-14 10:00:00") << in << dt("2026-03-14 11:00:00");
        QTest::newRow("once: first instant of the end second")
            << "0" << d14 << d14 << "" << ten << eleven << dt("2026-03-14 11:00:00") << in << dt("2026-03-14 11:00:00");
        QTest::newRow("once: rest of the end second")
            << "0" << d14 << d14 << "" << ten << eleven << dt("2026-03-14 11:00:00", 1) << out << QDateTime();
        QTest::newRow("once across days: middle day, in the times")
            << "0" << d14 << d16 << "" << ten << eleven << dt("2026-03-15 10:15:00") << in << dt("2026-03-16 11:00:00");
        QTest::newRow("once across days: middle day, outside the times")
            << "0" << d14 << d16 << "" << ten << eleven << dt("2026-03-15 12:00:00") << out << QDateTime();
        QTest::newRow("once across days: the day after")
            << "0" << d14 << d16 << "" << ten << eleven << dt("2026-03-17 10:15:00") << out << QDateTime();
        QTest::newRow("daily: inside, dates not read")
            << "1"
            << "junk"
            << ""
            << "" << ten << eleven << dt("2026-03-20 10:59:59") << in << dt("2026-03-20 11:00:00");
        QTest::newRow("daily: outside") << "1"
                                        << ""
                                        << ""
                                        << "" << ten << eleven << dt("2026-03-20 11:00:01") << out << QDateTime();
        QTest::newRow("weekly: on its weekday")
            << "2"
            << "Sat"
            << ""
            << "6" << ten << eleven << dt("2026-03-14 10:30:00") << in << dt("2026-03-14 11:00:00");
        QTest::newRow("weekly: its weekday, outside the times")
            << "2"
            << "Sat"
            << ""
            << "6" << ten << eleven << dt("2026-03-14 12:00:00") << out << QDateTime();
        QTest::newRow("weekly: another weekday")
            << "2"
            << "Sat"
            << ""
            << "6" << ten << eleven << dt("2026-03-15 10:30:00") << other << QDateTime();
        QTest::newRow("weekly: a bad digit is Monday")
            << "2"
            << ""
            << ""
            << "x" << ten << eleven << dt("2026-03-16 10:30:00") << in << dt("2026-03-16 11:00:00");
        const QString late = QStringLiteral("11:00:00 PM"), early = QStringLiteral("1:00:00 AM");
        QTest::newRow("across midnight, daily: evening")
            << "1"
            << ""
            << ""
            << "" << late << early << dt("2026-03-14 23:30:00") << in << dt("2026-03-15 01:00:00");
        QTest::newRow("across midnight, daily: morning")
            << "1"
            << ""
            << ""
            << "" << late << early << dt("2026-03-15 00:30:00") << in << dt("2026-03-15 01:00:00");
        QTest::newRow("across midnight, daily: afternoon")
            << "1"
            << ""
            << ""
            << "" << late << early << dt("2026-03-15 14:00:00") << out << QDateTime();
        QTest::newRow("across midnight, weekly: morning after its weekday")
            << "2"
            << ""
            << ""
            << "6" << late << early << dt("2026-03-15 00:30:00") << in << dt("2026-03-15 01:00:00");
        QTest::newRow("across midnight, weekly: morning of its weekday")
            << "2"
            << ""
            << ""
            << "6" << late << early << dt("2026-03-14 00:30:00") << out << QDateTime();
        QTest::newRow("across midnight, once: morning after the last day")
            << "0" << d14 << QStringLiteral("3/15/26") << "" << late << early << dt("2026-03-16 00:30:00") << in
            << dt("2026-03-16 01:00:00");
        QTest::newRow("across midnight, once: morning of the first day")
            << "0" << d14 << d14 << "" << late << early << dt("2026-03-14 00:30:00") << out << QDateTime();
    }
    void windowTest()
    {
        QFETCH(QString, freq);
        QFETCH(QString, date1);
        QFETCH(QString, date2);
        QFETCH(QString, date3);
        QFETCH(QString, time1);
        QFETCH(QString, time2);
        QFETCH(QDateTime, now);
        QFETCH(int, position);
        QFETCH(QDateTime, end);
        const RegionalFormat regional(QLocale(QLocale::English, QLocale::UnitedStates));
        const auto times =
            ScheduleWindow::read(regional, freq, date1, date2, ScheduleWindow::weekdayFromDigit(date3), time1, time2);
        QVERIFY(times);
        const EntryWindow window = ScheduleWindow::test(*times, now);
        QCOMPARE(int(window.position), position);
        QCOMPARE(window.end, end);
    }

    void unreadableEntriesDoNotRead_data()
    {
        QTest::addColumn<QString>("freq");
        QTest::addColumn<QString>("date1");
        QTest::addColumn<QString>("time1");
        QTest::newRow("once, bad first day") << "0"
                                             << "14.03.2026"
                                             << "10:00:00 AM";
        QTest::newRow("daily, empty start") << "1"
                                            << ""
                                            << "";
        QTest::newRow("no frequency") << "-1"
                                      << "3/14/26"
                                      << "10:00:00 AM";
    }
    void unreadableEntriesDoNotRead()
    {
        QFETCH(QString, freq);
        QFETCH(QString, date1);
        QFETCH(QString, time1);
        const RegionalFormat regional(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(!ScheduleWindow::read(regional, freq, date1, QStringLiteral("3/14/26"), 2, time1,
                                      QStringLiteral("11:00:00 AM")));
    }

    void recordingDuration_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("on time") << dt("2026-03-14 10:00:00") << dt("2026-03-14 11:00:00")
                                 << dt("2026-03-14 10:00:00", 400) << qint64(3600000);
        // A late start records to the scheduled end, not for the whole length.
        QTest::newRow("late start") << dt("2026-03-14 10:00:00") << dt("2026-03-14 11:00:00")
                                    << dt("2026-03-14 10:30:00") << qint64(1800000);
        QTest::newRow("Monday to Wednesday")
            << dt("2026-03-16 10:00:00") << dt("2026-03-18 11:00:00") << dt("2026-03-16 10:00:00") << qint64(176400000);
        // 30 days do not fit 32 bits: the recorder's largest duration.
        QTest::newRow("30 days") << dt("2026-03-01 10:00:00") << dt("2026-03-31 10:00:00") << dt("2026-03-01 10:00:00")
                                 << qint64(2147483647);
    }
    void recordingDuration()
    {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QDateTime, now);
        QFETCH(qint64, ms);
        QCOMPARE(ScheduleWindow::recordingDurationMs(start, end, now), ms);
    }

    void recordingStampHasNoLeadingZeros()
    {
        QCOMPARE(ScheduleWindow::recordingStamp(dt("2007-05-09 08:05:03")), QStringLiteral("200759853"));
    }

    // One tick at 10:30 on Saturday 14 March for one entry 10:00-11:00.
    void runStates_data()
    {
        QTest::addColumn<Fields>("entry");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("status");  // status1 after the tick
        QTest::addColumn<QString>("onf");     // onf after the tick
        QTest::addColumn<int>("recorders");   // recorders started
        QTest::addColumn<bool>("played");     // the stream was handed to the player

        const Fields once{
            {"mode2", "0"},       {"freq1", "Once"},    {"freq2", "0"},           {"onf", "Y"},
            {"date1", "3/14/26"}, {"date2", "3/14/26"}, {"time1", "10:00:00 AM"}, {"time2", "11:00:00 AM"}};
        auto with = [](Fields f, const Fields &changes) {
            for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
                f.insert(it.key(), it.value());
            return f;
        };
        const QString in = QStringLiteral("3/14/26 10:30:00 AM"), after = QStringLiteral("3/14/26 11:30:00 AM");
        QTest::newRow("once record: started, switched off") << once << in << ""
                                                            << "N" << 1 << false;
        QTest::newRow("once record, disabled: nothing") << with(once, {{"onf", "N"}}) << in << ""
                                                        << "N" << 0 << false;
        QTest::newRow("once record, window passed: nothing") << once << after << ""
                                                             << "Y" << 0 << false;
        QTest::newRow("once play: playing") << with(once, {{"mode2", "1"}}) << in << "Playing"
                                            << "Y" << 0 << true;
        const Fields daily = with(once, {{"freq2", "1"}, {"freq1", "Every Day"}, {"date1", ""}, {"date2", ""}});
        QTest::newRow("daily record: recording") << daily << in << "Recording"
                                                 << "Y" << 1 << false;
        QTest::newRow("daily record, already recording: nothing")
            << with(daily, {{"status1", "Recording"}}) << in << "Recording"
            << "Y" << 0 << false;
        QTest::newRow("daily record outside: idle again") << with(daily, {{"status1", "Recording"}}) << after << ""
                                                          << "Y" << 0 << false;
        QTest::newRow("daily record, Enable cleared: nothing") << with(daily, {{"onf", ""}}) << in << ""
                                                               << "" << 0 << false;
        QTest::newRow("daily play, stopped: not idle") << with(daily, {{"mode2", "1"}, {"status1", "N"}}) << in << "N"
                                                       << "Y" << 0 << false;
        QTest::newRow("daily play outside: idle again")
            << with(daily, {{"mode2", "1"}, {"status1", "N"}}) << after << ""
            << "Y" << 0 << false;
        const Fields weekly = with(daily, {{"freq2", "2"}, {"date3", "6"}, {"status1", "Recording"}});
        QTest::newRow("weekly, its weekday outside: idle again") << weekly << after << ""
                                                                 << "Y" << 0 << false;
        QTest::newRow("weekly, another weekday: kept") << with(weekly, {{"date3", "0"}}) << after << "Recording"
                                                       << "Y" << 0 << false;
        QTest::newRow("weekly play on its weekday: playing")
            << with(weekly, {{"mode2", "1"}, {"status1", ""}}) << in << "Playing"
            << "Y" << 0 << true;
        QTest::newRow("no frequency: nothing") << with(once, {{"freq2", "-1"}}) << in << ""
                                               << "Y" << 0 << false;
        // An address without a network scheme can never run: nothing starts
        // and the entry stays as it is (the list marks it).
        QTest::newRow("not a network address: no recorder, left as it is")
            << with(once, {{"radiourl", "file:///etc/passwd"}}) << in << ""
            << "Y" << 0 << false;
        QTest::newRow("play of a local path: nothing")
            << with(once, {{"mode2", "1"}, {"radiourl", "/etc/hostname"}}) << in << ""
            << "Y" << 0 << false;
    }
    void runStates()
    {
        QFETCH(Fields, entry);
        QFETCH(QString, now);
        QFETCH(QString, status);
        QFETCH(QString, onf);
        QFETCH(int, recorders);
        QFETCH(bool, played);
        ScheduleRig rig;
        if (!entry.contains(QStringLiteral("radiourl")))
            entry.insert(QStringLiteral("radiourl"), kStream);
        entry.insert(QStringLiteral("name1"), QStringLiteral("Demo"));
        const qint64 id = rig.add(entry);
        rig.at(now);
        rig.tick();
        QCOMPARE(rig.value(id, QStringLiteral("status1")), status);
        QCOMPARE(rig.value(id, QStringLiteral("onf")), onf);
        QCOMPARE(rig.platform.processes.started.size(), recorders);
        QCOMPARE(rig.platform.mediaPlayer.url() == kStream, played);
        if (played) {
            QCOMPARE(rig.state.stationName(), QStringLiteral("Demo"));
            QCOMPARE(rig.runner.playingEntryId, QString::number(id));
        }
    }

    // A recording whose recorder is refused (an address the capture
    // library does not take) or does not start is a failed entry: never
    // shown as recording, no file awaited, a log line says why; a daily
    // entry is tried again in its next window.
    void refusedRecorderIsAFailedEntry_data()
    {
        QTest::addColumn<QString>("freq2");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("launches");
        QTest::addColumn<int>("attempts");  // programs the launcher was asked to start
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("onf");
        QTest::newRow("daily, mmsh") << "1"
                                     << "mmsh://radio.example/live" << true << 0 << "Failed"
                                     << "Y";
        QTest::newRow("daily, rtsp") << "1"
                                     << "rtsp://radio.example/live" << true << 0 << "Failed"
                                     << "Y";
        QTest::newRow("daily, launcher fails") << "1" << kStream << false << 1 << "Failed"
                                               << "Y";
        QTest::newRow("once, mmsh") << "0"
                                    << "mmsh://radio.example/live" << true << 0 << "Failed"
                                    << "N";
    }
    void refusedRecorderIsAFailedEntry()
    {
        QFETCH(QString, freq2);
        QFETCH(QString, address);
        QFETCH(bool, launches);
        QFETCH(int, attempts);
        QFETCH(QString, status);
        QFETCH(QString, onf);
        ScheduleRig rig;
        rig.platform.processes.startSucceeds = launches;
        const qint64 id = rig.add({{"mode2", "0"},
                                   {"freq2", freq2},
                                   {"onf", "Y"},
                                   {"name1", "Demo"},
                                   {"radiourl", address},
                                   {"date1", "3/14/26"},
                                   {"date2", "3/14/26"},
                                   {"time1", "10:00:00 AM"},
                                   {"time2", "11:00:00 AM"}});
        rig.at(QStringLiteral("3/14/26 10:30:00 AM"));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("schedule entry %1: the recorder did not start").arg(id)));
        QSignalSpy started(&rig.runner, &ScheduleRunner::scheduledRecordingStarted);
        QSignalSpy failed(&rig.runner, &ScheduleRunner::scheduledRecordingFailed);
        rig.tick();
        QCOMPARE(started.size(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Demo"));
        QVERIFY(!failed.at(0).at(1).toString().isEmpty());
        QCOMPARE(rig.value(id, QStringLiteral("status1")), status);
        QCOMPARE(rig.value(id, QStringLiteral("onf")), onf);
        QCOMPARE(rig.value(id, QStringLiteral("filename2")), QString());
        // Not started again within the same window.
        rig.at(QStringLiteral("3/14/26 10:30:01 AM"));
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), attempts);
        if (freq2 == QLatin1String("1")) {
            // Outside the window it is idle again, ready for tomorrow.
            rig.at(QStringLiteral("3/14/26 11:30:00 AM"));
            rig.tick();
            QCOMPARE(rig.value(id, QStringLiteral("status1")), QString());
        }
    }

    // A recording due 10:00-11:00 that starts at 10:30 records until 11:00.
    void scheduledRecordingCommand()
    {
        ScheduleRig rig;
        const qint64 id = addDemoRecording(rig);
        // One write marks the entry; the list follows the table's signal.
        QSignalSpy changed(&rig.schedule, &ScheduleTable::changed);
        QSignalSpy started(&rig.runner, &ScheduleRunner::scheduledRecordingStarted);
        QSignalSpy failed(&rig.runner, &ScheduleRunner::scheduledRecordingFailed);
        rig.at(QStringLiteral("3/14/26 10:30:05 AM"));
        rig.tick();
        const QString name = QStringLiteral("202631410305") + QString::number(id);
        const QString output = rig.folder.path() + QStringLiteral("/radiorecord/") + name;
        QCOMPARE(started.size(), 1);
        QCOMPARE(started.at(0), (QVariantList{QStringLiteral("Demo"), output}));
        QCOMPARE(failed.size(), 0);
        QCOMPARE(rig.platform.processes.started.value(0),
                 (QStringList{rig.folder.path() + QStringLiteral("/grabclock"), kStream, output,
                              QStringLiteral("1795000")}));
        QCOMPARE(rig.value(id, QStringLiteral("filename2")), name);
        QCOMPARE(changed.size(), 1);
        QVERIFY(rig.runner.recorderCommand.endsWith(output + QStringLiteral(" 1795000")));
        // Switched off: never started again.
        rig.at(QStringLiteral("3/14/26 10:30:06 AM"));
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), 1);
    }

    void completionStep_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("filename1");
        QTest::addColumn<QString>("filename2");
        QTest::newRow("wma") << QStringList{"rec7.wma"} << "rec7.wma"
                             << "";
        QTest::newRow("mp3") << QStringList{"rec7.mp3"} << "rec7.mp3"
                             << "";
        QTest::newRow("both: wma first") << QStringList{"rec7.mp3", "rec7.wma"} << "rec7.wma"
                                         << "";
        // Stations serving AAC, Ogg or HLS are recorded under their own endings.
        for (const char *ending : {".aac", ".ogg", ".opus", ".ts", ".m4a", ".mp4"}) {
            const QString file = QStringLiteral("rec7") + QLatin1String(ending);
            QTest::newRow(ending) << QStringList{file} << file << "";
        }
        QTest::newRow("another entry's ending") << QStringList{"rec7.txt", "rec70.aac"} << ""
                                                << "rec7";
        QTest::newRow("none yet") << QStringList{} << ""
                                  << "rec7";
        // An empty file is a recorder that has not written yet (or failed).
        QTest::newRow("empty file") << QStringList{"rec7.mp3="} << ""
                                    << "rec7";
        QTest::newRow("empty wma, mp3 with bytes") << QStringList{"rec7.wma=", "rec7.mp3"} << "rec7.mp3"
                                                   << "";
    }
    void completionStep()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, filename1);
        QFETCH(QString, filename2);
        ScheduleRig rig;
        // A live entry: never started by the runner, completed all the same.
        const qint64 id = rig.add(
            {{"mode1", "Real time record"}, {"mode2", "1"}, {"freq2", "0"}, {"onf", "N"}, {"filename2", "rec7"}});
        // "name=": an empty file.
        for (const QString &f : files) {
            if (f.endsWith(QLatin1Char('=')))
                rig.touch(f.chopped(1), {});
            else
                rig.touch(f);
        }
        const QString done = rig.folder.path() + QStringLiteral("/radiorecord/") + filename1;
        if (!filename1.isEmpty()) {
            QFile file(done);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(1234, 'x'));
        }
        QSignalSpy finished(&rig.runner, &ScheduleRunner::scheduledRecordingFinished);
        rig.tick();
        QCOMPARE(rig.value(id, QStringLiteral("filename1")), filename1);
        QCOMPARE(rig.value(id, QStringLiteral("filename2")), filename2);
        // One notice for a completed file, none while it is awaited.
        QCOMPARE(finished.size(), filename1.isEmpty() ? 0 : 1);
        if (!filename1.isEmpty()) {
            QCOMPARE(finished.at(0).at(1).toString(), done);
            QCOMPARE(finished.at(0).at(2).toLongLong(), 1234);
        }
        QCOMPARE(rig.platform.processes.started.size(), 0);
    }

    // Entries that fail are skipped; the entries after them still run.
    void failingEntryIsSkipped_data()
    {
        QTest::addColumn<Fields>("bad");
        QTest::addColumn<bool>("deleteBad");
        const Fields daily{{"mode2", "0"},          {"freq2", "1"},   {"onf", "Y"},
                           {"radiourl", kStream},   {"name1", "Bad"}, {"time1", "10:00:00 AM"},
                           {"time2", "11:00:00 AM"}};
        Fields badTime = daily;
        badTime.insert(QStringLiteral("time1"), QStringLiteral("ten o'clock"));
        Fields badDate = daily;
        badDate.insert(QStringLiteral("freq2"), QStringLiteral("0"));
        badDate.insert(QStringLiteral("date1"), QStringLiteral("2026-03-14"));
        badDate.insert(QStringLiteral("date2"), QStringLiteral("3/14/26"));
        QTest::newRow("time that does not read") << badTime << false;
        QTest::newRow("date that does not read") << badDate << false;
        QTest::newRow("row deleted meanwhile") << daily << true;
    }
    void failingEntryIsSkipped()
    {
        QFETCH(Fields, bad);
        QFETCH(bool, deleteBad);
        ScheduleRig rig;
        const qint64 badId = rig.add(bad);
        const qint64 goodId = rig.add({{"mode2", "0"},
                                       {"freq2", "1"},
                                       {"onf", "Y"},
                                       {"radiourl", kStream},
                                       {"name1", "Good"},
                                       {"time1", "10:00:00 AM"},
                                       {"time2", "11:00:00 AM"}});
        if (deleteBad)  // the runner's copy still holds it
            rig.sql(QStringLiteral("DELETE FROM recSchedul WHERE idno = %1").arg(badId));
        rig.at(QStringLiteral("3/14/26 10:30:00 AM"));
        rig.tick();
        QCOMPARE(rig.value(goodId, QStringLiteral("status1")), QStringLiteral("Recording"));
        QCOMPARE(rig.platform.processes.started.size(), 1);
        QCOMPARE(rig.platform.processes.started.value(0).value(2).endsWith(QString::number(goodId)), true);
    }

    // A one-second timer skips seconds now and then: the play still stops,
    // once, at or after its end.
    void playStopsAfterSkippedEndSecond_data()
    {
        QTest::addColumn<int>("lastTickSecond");  // seconds after 10:00:00 the clock tick runs at
        QTest::newRow("end second") << 5;
        QTest::newRow("end second skipped") << 6;
    }
    void playStopsAfterSkippedEndSecond()
    {
        QFETCH(int, lastTickSecond);
        ScheduleRig rig;
        const qint64 id = rig.add({{"mode2", "1"},
                                   {"freq1", "Once"},
                                   {"freq2", "0"},
                                   {"onf", "Y"},
                                   {"radiourl", kStream},
                                   {"name1", "Demo"},
                                   {"date1", "3/14/26"},
                                   {"date2", "3/14/26"},
                                   {"time1", "10:00:00 AM"},
                                   {"time2", "10:00:05 AM"}});
        for (int s : {0, 1, 2, 3, lastTickSecond, lastTickSecond + 1}) {
            rig.at(QStringLiteral("3/14/26 10:00:0%1 AM").arg(s), 300);
            rig.tick();
            QCOMPARE(rig.platform.mediaPlayer.playState() == MediaPlayer::Playing, s < 5);
        }
        QCOMPARE(rig.platform.mediaPlayer.calls.count(QStringLiteral("stop")), 1);
        QCOMPARE(rig.value(id, QStringLiteral("status1")), QStringLiteral("N"));
        QCOMPARE(rig.value(id, QStringLiteral("onf")), QStringLiteral("N"));
        QCOMPARE(rig.state.stationName(), QString());
        QCOMPARE(rig.runner.playingEntryId, QStringLiteral("0"));
    }

    // A whole day at one tick a second: a daily play across midnight and a
    // daily recording each run once, on time, and come back idle.
    void wholeDay()
    {
        ScheduleRig rig;
        const qint64 play = rig.add({{"mode2", "1"},
                                     {"freq1", "Every Day"},
                                     {"freq2", "1"},
                                     {"onf", "Y"},
                                     {"radiourl", kStream},
                                     {"name1", "Night"},
                                     {"time1", "11:59:50 PM"},
                                     {"time2", "12:00:10 AM"}});
        const qint64 record = rig.add({{"mode2", "0"},
                                       {"freq2", "1"},
                                       {"onf", "Y"},
                                       {"radiourl", kStream},
                                       {"name1", "Noon"},
                                       {"time1", "12:00:00 PM"},
                                       {"time2", "12:30:00 PM"}});
        QDateTime t = rig.platform.regional.parseDateTime(QStringLiteral("3/14/26 12:00:20 AM"));
        QStringList playStates;
        QDateTime stoppedAt;
        for (int s = 0; s < 24 * 3600; ++s, t = t.addSecs(1)) {
            rig.platform.clock.current = t.addMSecs(250);
            rig.tick();
            const QString st = rig.entry(0).runState;
            if (playStates.isEmpty() || playStates.last() != st)
                playStates << st;
            if (!stoppedAt.isValid() && rig.platform.mediaPlayer.calls.contains(QStringLiteral("stop")))
                stoppedAt = t;
        }
        QCOMPARE(rig.platform.processes.started.size(), 1);
        QCOMPARE(rig.platform.processes.started.value(0).value(3), QStringLiteral("1800000"));
        QCOMPARE(rig.value(record, QStringLiteral("status1")), QString());
        // Stopped ("N") by the clock tick and idle again at once in the
        // same second, outside the window.
        QCOMPARE(playStates, (QStringList{"", "Playing", ""}));
        QCOMPARE(stoppedAt.time(), QTime(0, 0, 10));
        QCOMPARE(rig.value(play, QStringLiteral("status1")), QString());
        QCOMPARE(rig.platform.mediaPlayer.calls.count(QStringLiteral("stop")), 1);
    }

    // Spring forward: windows with an end (or both ends) in the skipped
    // hour run to (from) the first valid time after it, for the real time
    // that passes.
    void springForward()
    {
        BerlinTime berlin;
        ScheduleRig rig;
        const qint64 dailyId = rig.add(daily("Daily", "1:59:40 AM", "2:30:00 AM"));
        Fields once = daily("Once", "1:59:50 AM", "2:30:00 AM");
        once.insert(QStringLiteral("freq2"), QStringLiteral("0"));
        once.insert(QStringLiteral("date1"), QStringLiteral("3/29/26"));
        once.insert(QStringLiteral("date2"), QStringLiteral("3/29/26"));
        const qint64 onceId = rig.add(once);
        const qint64 inGapId = rig.add(daily("Gap", "2:10:00 AM", "2:20:00 AM"));
        // 01:59:00 CET to 03:15:00 CEST: 16 minutes of real time.
        tickThrough(rig, dt("2026-03-29 01:59:00"), 16 * 60);
        QCOMPARE(recordersOf(rig, dailyId), QStringList{QStringLiteral("20000")});
        QCOMPARE(recordersOf(rig, onceId), QStringList{QStringLiteral("10000")});
        QCOMPARE(recordersOf(rig, inGapId), QStringList{QStringLiteral("600000")});
        QCOMPARE(rig.platform.processes.started.size(), 3);
    }

    // Fall back: the repeated hour starts no daily entry a second time,
    // nor does a clock set back the same day.
    void fallBackAndClockSetBackRunOnce()
    {
        BerlinTime berlin;
        ScheduleRig rig;
        const qint64 a = rig.add(daily("A", "2:10:00 AM", "2:20:00 AM"));
        const qint64 b = rig.add(daily("B", "1:55:00 AM", "2:05:00 AM"));
        rig.add(daily("Play", "2:30:00 AM", "2:35:00 AM", "1"));
        // 01:50 CEST to 03:00 CET: two hours and ten minutes of real time.
        tickThrough(rig, dt("2026-10-25 01:50:00"), 130 * 60);
        QCOMPARE(recordersOf(rig, a).size(), 1);
        QCOMPARE(recordersOf(rig, b).size(), 1);
        QCOMPARE(rig.platform.mediaPlayer.calls.count(QStringLiteral("play")), 1);
        // The user sets the clock back before the windows.
        tickThrough(rig, dt("2026-10-25 03:00:00").addSecs(-3600 * 2), 45 * 60);
        QCOMPARE(rig.platform.processes.started.size(), 2);
        QCOMPARE(rig.platform.mediaPlayer.calls.count(QStringLiteral("play")), 1);
        // The next day they run again.
        tickThrough(rig, dt("2026-10-26 01:54:00"), 20 * 60);
        QCOMPARE(recordersOf(rig, a).size(), 2);
        QCOMPARE(recordersOf(rig, b).size(), 2);
    }

    // A recorder never writes into a file (or a name another recorder got)
    // that already exists: the name gets the "_2" suffix live recordings use.
    void outputNameIsNeverReused()
    {
        ScheduleRig rig;
        const qint64 first = rig.add(daily("First", "10:00:00 AM", "11:00:00 AM"));
        rig.touch(QStringLiteral("202631410305") + QString::number(first) + QStringLiteral(".mp3"));
        rig.at(QStringLiteral("3/14/26 10:30:05 AM"));
        rig.tick();
        QCOMPARE(rig.platform.processes.started.value(0).value(2),
                 rig.runner.recordingsFolder() + QStringLiteral("202631410305") + QString::number(first)
                     + QStringLiteral("_2"));
        QCOMPARE(rig.value(first, QStringLiteral("filename2")),
                 QStringLiteral("202631410305") + QString::number(first) + QStringLiteral("_2"));
    }

    // An entry that can never run is traced once and starts nothing, in any
    // mode.
    void neverRunnableEntryIsNotStarted_data()
    {
        QTest::addColumn<Fields>("changes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("once, end before start on one day")
            << Fields{{"time1", "10:00:00 AM"}, {"time2", "9:00:00 AM"}} << "it ends before it starts";
        QTest::newRow("once, last day before first day")
            << Fields{{"date1", "3/15/26"}, {"date2", "3/14/26"}} << "it ends before it starts";
        QTest::newRow("local file address") << Fields{{"radiourl", "/etc/hostname"}} << "not a network address";
        QTest::newRow("date in another regional format")
            << Fields{{"date1", "14.03.26"}} << "do not read in the current regional format";
    }
    void neverRunnableEntryIsNotStarted()
    {
        QFETCH(Fields, changes);
        QFETCH(QString, reason);
        for (const char *mode : {"0", "1"}) {
            ScheduleRig rig;
            Fields entry{{"mode2", mode},         {"freq1", "Once"},       {"freq2", "0"},       {"onf", "Y"},
                         {"radiourl", kStream},   {"name1", "Demo"},       {"date1", "3/14/26"}, {"date2", "3/14/26"},
                         {"time1", "9:00:00 AM"}, {"time2", "11:00:00 AM"}};
            for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
                entry.insert(it.key(), it.value());
            const qint64 id = rig.add(entry);
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("schedule entry %1 is not run: .*%2")
                                                        .arg(id)
                                                        .arg(QRegularExpression::escape(reason))));
            for (const char *now : {"3/14/26 9:30:00 AM", "3/14/26 10:30:00 AM", "3/15/26 9:30:00 AM"}) {
                rig.at(QString::fromLatin1(now));
                rig.tick();
            }
            QCOMPARE(rig.platform.processes.started.size(), 0);
            QVERIFY(rig.platform.mediaPlayer.url().isEmpty());
            QCOMPARE(rig.value(id, QStringLiteral("onf")), QStringLiteral("Y"));
        }
    }

    void clockTickShowsTimeAndReopensTheCopy()
    {
        ScheduleRig rig;
        QSignalSpy shown(&rig.runner, &ScheduleRunner::clockShown);
        rig.schedule.close();
        rig.at(QStringLiteral("3/14/26 9:05:07 PM"));
        rig.runner.clockTick();
        QCOMPARE(shown.value(0).value(0).toString(), QStringLiteral("9:05:07 PM"));
        QCOMPARE(rig.runner.clockText, QStringLiteral("3/14/26 9:05:07 PM"));
        QVERIFY(rig.schedule.isOpen());
    }

    // A scheduled recorder that ends while the player runs: with a file of
    // some bytes the entry is complete; without one (or with an empty one)
    // it has failed, is announced with the recorder's last log line, and no
    // empty file is left behind.
    void scheduledRecorderEnds_data()
    {
        QTest::addColumn<QByteArray>("written");  // null: no file
        QTest::addColumn<bool>("failed");
        QTest::newRow("no file") << QByteArray() << true;
        QTest::newRow("empty file") << QByteArray("") << true;
        QTest::newRow("recording") << QByteArray("audio") << false;
    }
    void scheduledRecorderEnds()
    {
        QFETCH(QByteArray, written);
        QFETCH(bool, failed);
        ScheduleRig rig;
        QSignalSpy failures(&rig.runner, &ScheduleRunner::scheduledRecordingFailed);
        const qint64 id = addDemoRecording(rig);
        rig.at(QStringLiteral("3/14/26 10:30:00 AM"));
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), 1);
        const QString name = QFileInfo(rig.platform.processes.started.first().at(2)).fileName();
        QFile log(rig.folder.path() + QStringLiteral("/grabclock.log"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("---- start: grabclock ...\nconnect to server fail\n");
        log.close();
        if (!written.isNull())
            rig.touch(name + QStringLiteral(".mp3"), written);
        if (failed) {
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(
                    QStringLiteral("schedule entry %1: the recorder ended without a recording").arg(id)));
        }
        rig.platform.processes.exit(1000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.value(id, QStringLiteral("filename2")), QString(), 5000);
        QCOMPARE(rig.value(id, QStringLiteral("status1")), failed ? QStringLiteral("Failed") : QString());
        QCOMPARE(rig.value(id, QStringLiteral("filename1")), failed ? QString() : name + QStringLiteral(".mp3"));
        QCOMPARE(failures.count(), failed ? 1 : 0);
        if (failed) {
            QCOMPARE(failures.at(0).at(0).toString(), QStringLiteral("Demo"));
            QCOMPARE(failures.at(0).at(1).toString(), QStringLiteral("connect to server fail"));
        }
        QCOMPARE(QFileInfo::exists(rig.folder.path() + QStringLiteral("/radiorecord/") + name + QStringLiteral(".mp3")),
                 !failed);
        QCOMPARE(rig.recorder.runningRecorders(), 0);
    }

    // Due recordings beyond the cap wait (the log says so): they start on
    // later ticks, as running recorders end.
    void runningRecordersAreCapped()
    {
        ScheduleRig rig;
        const int cap = RecorderControl::kMaxRunningRecorders;
        for (int i = 0; i < cap + 5; ++i) {
            rig.add({{"mode2", "0"},
                     {"freq2", "0"},
                     {"onf", "Y"},
                     {"name1", QStringLiteral("Demo %1").arg(i)},
                     {"radiourl", kStream},
                     {"date1", "3/14/26"},
                     {"date2", "3/14/26"},
                     {"time1", "10:00:00 AM"},
                     {"time2", "11:00:00 AM"}});
        }
        const QRegularExpression waiting(QStringLiteral("%1 recorders running, due recordings wait").arg(cap));
        rig.at(QStringLiteral("3/14/26 10:30:00 AM"));
        QTest::ignoreMessage(QtWarningMsg, waiting);
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), cap);
        rig.at(QStringLiteral("3/14/26 10:30:01 AM"));
        QTest::ignoreMessage(QtWarningMsg, waiting);
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), cap);

        // Three finish their files and end: three more start.
        for (int i = 0; i < 3; ++i) {
            rig.touch(QFileInfo(rig.platform.processes.started.at(i).at(2)).fileName() + QStringLiteral(".mp3"));
            rig.platform.processes.exit(1000 + i);
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.recorder.runningRecorders(), cap - 3, 5000);
        rig.at(QStringLiteral("3/14/26 10:30:02 AM"));
        QTest::ignoreMessage(QtWarningMsg, waiting);
        rig.tick();
        QCOMPARE(rig.platform.processes.started.size(), cap + 3);
        QCOMPARE(rig.recorder.runningRecorders(), cap);
    }
};

QTEST_MAIN(ScheduleRunnerTest)
#include "schedule_runner_test.moc"

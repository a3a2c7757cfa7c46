// The schedule editor's logic: the checks of Add and Modify with their
// messages, the fields written, loading an entry, Delete, the data events,
// playing a recording and the row state, over a fake clock.

#include <QSignalSpy>
#include <QUrl>
#include <QTest>

#include "plain_user.h"
#include "recording/schedule_editor.h"
#include "schedule_fixture.h"

using Fields = QMap<QString, QString>;
Q_DECLARE_METATYPE(Fields)

namespace {

const QString kStream = QStringLiteral("http://127.0.0.1:8765/stream/1.mp3");

// Now is Saturday 14 March 2026, 9:30:00.500.
struct EditorRig : ScheduleRig
{
    ScheduleEditor editor{store, schedule, state, playback, platform.parts, folder.path()};

    EditorRig()
    {
        platform.clock.current = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0, 500));
        editor.create(folder.storeFile());
        editor.showSteps();
        editor.form.name = QStringLiteral("Demo");
        editor.form.stationAddress = kStream;
    }
    QDate today() const { return platform.clock.current.date(); }
    int count()
    {
        QSqlQuery query(store.database());
        query.exec(QStringLiteral("SELECT count(*) FROM recSchedul"));
        return query.next() ? query.value(0).toInt() : -1;
    }
    QString lastMessage() const
    {
        return platform.messages.shown.empty() ? QString() : platform.messages.shown.back().text;
    }
};

}  // namespace

class ScheduleEditorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validation_data()
    {
        QTest::addColumn<int>("frequency");
        QTest::addColumn<int>("firstDay");  // days from today
        QTest::addColumn<int>("lastDay");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");  // empty: saved
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("firstDayAfter");
        QTest::addColumn<int>("lastDayAfter");

        const int name = int(ScheduleEditor::Field::Name), first = int(ScheduleEditor::Field::FirstDay),
                  last = int(ScheduleEditor::Field::LastDay), start = int(ScheduleEditor::Field::StartTime),
                  end = int(ScheduleEditor::Field::EndTime);
        const QTime ten(10, 0), eleven(11, 0);
        QTest::newRow("first day yesterday") << 0 << -1 << 0 << ten << eleven << "Demo"
                                             << "Date Error!" << first << 0 << 0;
        QTest::newRow("last day yesterday") << 0 << 0 << -1 << ten << eleven << "Demo"
                                            << "Date Error!" << last << 0 << 0;
        QTest::newRow("start a second ago") << 0 << 1 << 1 << QTime(9, 29, 59) << eleven << "Demo"
                                            << "" << -1 << 1 << 1;
        QTest::newRow("start a second ago, today") << 0 << 0 << 0 << QTime(9, 29, 59) << eleven << "Demo"
                                                   << "Time Error!" << start << 0 << 0;
        QTest::newRow("start this second") << 0 << 0 << 0 << QTime(9, 30) << eleven << "Demo"
                                           << "" << -1 << 0 << 0;
        QTest::newRow("end before now") << 0 << 1 << 0 << QTime(9, 0) << QTime(9, 10) << "Demo"
                                        << "Time Error!" << end << 0 << 0;
        QTest::newRow("end before start") << 0 << 2 << 1 << ten << eleven << "Demo"
                                          << "Date or Time Error!" << end << 0 << 1;
        QTest::newRow("across midnight") << 0 << 0 << 0 << QTime(23, 0) << QTime(1, 0) << "Demo"
                                         << "" << -1 << 0 << 0;
        QTest::newRow("no name") << 0 << 0 << 0 << ten << eleven << ""
                                 << "Please input name." << name << 0 << 0;
        QTest::newRow("daily: days and times not checked") << 1 << -5 << -6 << QTime(8, 0) << QTime(7, 0) << "Demo"
                                                           << "" << -1 << -5 << -6;
        QTest::newRow("daily: no name") << 1 << 0 << 0 << ten << eleven << ""
                                        << "Please input name." << name << 0 << 0;
    }
    void validation()
    {
        QFETCH(int, frequency);
        QFETCH(int, firstDay);
        QFETCH(int, lastDay);
        QFETCH(QTime, start);
        QFETCH(QTime, end);
        QFETCH(QString, name);
        QFETCH(QString, message);
        QFETCH(int, focus);
        QFETCH(int, firstDayAfter);
        QFETCH(int, lastDayAfter);
        EditorRig rig;
        QSignalSpy focused(&rig.editor, &ScheduleEditor::focusRequested);
        focused.clear();
        rig.editor.form.frequency = frequency;
        rig.editor.form.firstDay = rig.today().addDays(firstDay);
        rig.editor.form.lastDay = rig.today().addDays(lastDay);
        rig.editor.form.startTime = start;
        rig.editor.form.endTime = end;
        rig.editor.form.name = name;
        QCOMPARE(rig.editor.add(), message.isEmpty());
        QCOMPARE(rig.count(), message.isEmpty() ? 1 : 0);
        QCOMPARE(rig.lastMessage(), message);
        QCOMPARE(focused.isEmpty() ? -1 : int(focused.last().value(0).value<ScheduleEditor::Field>()), focus);
        QCOMPARE(rig.editor.form.firstDay, rig.today().addDays(firstDayAfter));
        QCOMPARE(rig.editor.form.lastDay, rig.today().addDays(lastDayAfter));
    }

    void messagesAreTranslated()
    {
        EditorRig rig;
        rig.editor.setTranslator([](const QString &t) { return QStringLiteral("<") + t + QStringLiteral(">"); });
        rig.editor.form.name.clear();
        rig.editor.add();
        QCOMPARE(rig.lastMessage(), QStringLiteral("<Please input name.>"));
    }

    void addWritesTheEntry_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("frequency");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<Fields>("stored");
        QTest::newRow("record once") << 0 << 0 << true
                                     << Fields{{"mode1", "Record"}, {"mode2", "0"},           {"freq1", "Once"},
                                               {"freq2", "0"},      {"date1", "3/15/26"},     {"date2", "3/16/26"},
                                               {"date3", ""},       {"time1", "10:00:00 AM"}, {"time2", "11:00:00 AM"},
                                               {"onf", "Y"}};
        QTest::newRow("play daily, disabled")
            << 1 << 1 << false << Fields{{"mode1", "Play"}, {"mode2", "1"}, {"freq1", "Every Day"}, {"freq2", "1"},
                                         {"date1", ""},     {"date2", ""},  {"date3", ""},          {"onf", ""}};
        QTest::newRow("record weekly") << 0 << 2 << true
                                       << Fields{{"freq1", "Every Week"}, {"freq2", "2"}, {"date1", "Wed"},
                                                 {"date2", ""},           {"date3", "3"}, {"onf", "Y"}};
        QTest::newRow("no mode, no frequency")
            << -1 << -1 << true
            << Fields{{"mode1", ""}, {"mode2", "-1"}, {"freq1", ""}, {"freq2", "-1"}, {"date1", ""}, {"date3", ""}};
    }
    void addWritesTheEntry()
    {
        QFETCH(int, mode);
        QFETCH(int, frequency);
        QFETCH(bool, enabled);
        QFETCH(Fields, stored);
        EditorRig rig;
        rig.editor.form.mode = mode;
        rig.editor.form.frequency = frequency;
        rig.editor.form.enabled = enabled;
        rig.editor.form.weekday = 3;
        rig.editor.form.firstDay = rig.today().addDays(1);
        rig.editor.form.lastDay = rig.today().addDays(2);
        rig.editor.form.startTime = QTime(10, 0);
        rig.editor.form.endTime = QTime(11, 0);
        QVERIFY(rig.editor.add());
        stored.insert(QStringLiteral("name1"), QStringLiteral("Demo"));
        stored.insert(QStringLiteral("radiourl"), kStream);
        stored.insert(QStringLiteral("status1"), QString());
        for (auto it = stored.constBegin(); it != stored.constEnd(); ++it)
            QCOMPARE(rig.value(1, it.key()), it.value());
        // Data event: the runner's copy holds the new entry at once.
        QCOMPARE(rig.schedule.entries().size(), 1);
    }

    // Modify writes the current entry (the first after showing, else the
    // one clicked) and makes it idle again.
    void modifyReArmsTheCurrentEntry_data()
    {
        QTest::addColumn<int>("clicked");  // -1: none
        QTest::addColumn<qint64>("changed");
        QTest::newRow("after showing: the first") << -1 << qint64(1);
        QTest::newRow("the entry clicked") << 1 << qint64(2);
    }
    void modifyReArmsTheCurrentEntry()
    {
        QFETCH(int, clicked);
        QFETCH(qint64, changed);
        EditorRig rig;
        for (const char *name : {"First", "Second"})
            rig.add({{"name1", name},
                     {"freq1", "Every Day"},
                     {"freq2", "1"},
                     {"time1", "10:00:00 AM"},
                     {"time2", "11:00:00 AM"},
                     {"status1", "N"},
                     {"onf", "N"},
                     {"mode1", "Play"}});
        rig.editor.showSteps();
        if (clicked >= 0)
            rig.editor.loadEntry(clicked);
        rig.editor.form.name = QStringLiteral("Changed");
        rig.editor.form.enabled = true;
        QVERIFY(rig.editor.modify());
        QCOMPARE(rig.value(changed, QStringLiteral("name1")), QStringLiteral("Changed"));
        QCOMPARE(rig.value(changed, QStringLiteral("status1")), QString());
        QCOMPARE(rig.value(changed, QStringLiteral("onf")), QStringLiteral("Y"));
        QCOMPARE(rig.value(3 - changed, QStringLiteral("status1")), QStringLiteral("N"));
        QCOMPARE(rig.entry(int(changed - 1)).name, QStringLiteral("Changed"));
    }

    void modifyOfAnEntryGoneOrNoneDoesNotSucceed()
    {
        EditorRig rig;
        QVERIFY(!rig.editor.modify());  // empty list: nothing at all
        QVERIFY(rig.platform.messages.shown.empty());
        rig.add({{"name1", "Old"}, {"freq2", "1"}, {"freq1", "Every Day"}});
        rig.editor.showSteps();
        rig.sql(QStringLiteral("DELETE FROM recSchedul"));
        rig.editor.form.frequency = 1;
        QVERIFY(!rig.editor.modify());
        QCOMPARE(rig.count(), 0);
        QVERIFY(rig.platform.messages.shown.empty());
    }

    void addFailingInTheStoreIsReported()
    {
        EditorRig rig;
        rig.store.close();
        QVERIFY(!rig.editor.add());
        QCOMPARE(rig.platform.messages.shown.back().title, QStringLiteral("Error"));
        QCOMPARE(rig.lastMessage(), QStringLiteral("Database error"));
    }

    void noStoreAtCreation()
    {
        ProgramFolder folder(false);
        FakePlatform platform;
        MainState state;
        FakeReportSender reports;
        Playback playback(state, platform.mediaPlayer, platform.clock, platform.regional, reports);
        Store store;
        ScheduleTable schedule(store);
        ScheduleEditor editor(store, schedule, state, playback, platform.parts, folder.path());
        QVERIFY(!editor.create(folder.storeFile()));
        QCOMPARE(platform.messages.shown.size(), size_t(2));
        QCOMPARE(platform.messages.shown.front().text, QStringLiteral("Database connect error!"));
        QVERIFY(editor.listEmpty());
        QVERIFY(!editor.deleteCurrent());
    }

    void deleteRemovesTheCurrentEntry()
    {
        EditorRig rig;
        const qint64 first = rig.add({{"name1", "First"}});
        const qint64 second = rig.add({{"name1", "Second"}});
        rig.editor.showSteps();
        rig.editor.loadEntry(1);
        QSignalSpy reset(&rig.editor, &ScheduleEditor::listChanged);
        QVERIFY(rig.editor.deleteCurrent());
        QCOMPARE(rig.value(second, QStringLiteral("name1")), QStringLiteral("<none>"));
        QCOMPARE(rig.value(first, QStringLiteral("name1")), QStringLiteral("First"));
        QCOMPARE(rig.schedule.entries().size(), 1);
        QCOMPARE(reset.size(), 1);
    }

    void loadEntry_data()
    {
        QTest::addColumn<Fields>("entry");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("frequency");
        QTest::addColumn<QDate>("firstDay");
        QTest::addColumn<int>("weekday");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<int>("controls");
        const Fields once{{"name1", "Demo"},    {"radiourl", "http://x/"}, {"onf", "Y"},
                          {"mode1", "Play"},    {"freq1", "Once"},         {"date1", "3/20/26"},
                          {"date2", "3/21/26"}, {"time1", "8:15:00 PM"},   {"time2", "9:00:00 PM"}};
        auto with = [](Fields f, const Fields &changes) {
            for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
                f.insert(it.key(), it.value());
            return f;
        };
        const QDate kept(2026, 3, 14);  // the pickers' value before loading
        const int dates = int(ScheduleEditor::DateControls::Dates),
                  weekday = int(ScheduleEditor::DateControls::Weekday), none = int(ScheduleEditor::DateControls::None),
                  unchanged = -1;
        QTest::newRow("once") << once << 1 << 0 << QDate(2026, 3, 20) << 0 << QTime(20, 15) << dates;
        QTest::newRow("weekly") << with(once, {{"freq1", "Every Week"}, {"date1", "Fri"}, {"date2", ""}}) << 1 << 2
                                << kept << 5 << QTime(20, 15) << weekday;
        QTest::newRow("daily") << with(once, {{"freq1", "Every Day"}, {"mode1", "Record"}}) << 0 << 1 << kept << 0
                               << QTime(20, 15) << none;
        QTest::newRow("live entry: no mode") << with(once, {{"mode1", "Real time record"}}) << -1 << 0
                                             << QDate(2026, 3, 20) << 0 << QTime(20, 15) << dates;
        QTest::newRow("time that does not read: loading stops")
            << with(once, {{"time1", "late"}}) << 1 << 0 << kept << 0 << QTime(9, 30) << unchanged;
    }
    void loadEntry()
    {
        QFETCH(Fields, entry);
        QFETCH(int, mode);
        QFETCH(int, frequency);
        QFETCH(QDate, firstDay);
        QFETCH(int, weekday);
        QFETCH(QTime, start);
        QFETCH(int, controls);
        EditorRig rig;
        rig.add({{"name1", "Other"}});
        rig.add(entry);
        rig.editor.showSteps();
        QSignalSpy shown(&rig.editor, &ScheduleEditor::dateControlsChanged);
        rig.editor.loadEntry(1);
        const ScheduleForm &form = rig.editor.form;
        QCOMPARE(form.name, QStringLiteral("Demo"));
        QCOMPARE(form.stationAddress, QStringLiteral("http://x/"));
        QVERIFY(form.enabled);
        QCOMPARE(form.mode, mode);
        QCOMPARE(form.frequency, frequency);
        QCOMPARE(form.startTime, start);
        QCOMPARE(form.firstDay, firstDay);
        QCOMPARE(form.weekday, weekday);
        QCOMPARE(shown.isEmpty() ? -1 : int(shown.last().value(0).value<ScheduleEditor::DateControls>()), controls);
        QCOMPARE(rig.editor.currentRow(), 1);
    }

    void playRecording_data()
    {
        QTest::addColumn<Fields>("entry");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("played");
        QTest::addColumn<QString>("message");
        const Fields done{{"name1", "Demo"},
                          {"freq2", "0"},
                          {"date1", "3/13/26"},
                          {"date2", "3/13/26"},
                          {"time1", "9:00:00 AM"},
                          {"time2", "10:00:00 AM"},
                          {"filename1", "20263139011.mp3"}};
        Fields running = done;
        running.insert(QStringLiteral("date1"), QStringLiteral("3/14/26"));
        running.insert(QStringLiteral("date2"), QStringLiteral("3/14/26"));
        Fields noFile = done;
        noFile.remove(QStringLiteral("filename1"));
        QTest::newRow("finished: plays") << done << true << true << "";
        QTest::newRow("file gone") << done << false << false << "File not exist.";
        QTest::newRow("inside its window: nothing") << running << true << false << "";
        QTest::newRow("no file yet: nothing") << noFile << false << false << "";
    }
    void playRecording()
    {
        QFETCH(Fields, entry);
        QFETCH(bool, fileThere);
        QFETCH(bool, played);
        QFETCH(QString, message);
        EditorRig rig;
        rig.add(entry);
        rig.editor.showSteps();
        if (fileThere)
            rig.touch(QStringLiteral("20263139011.mp3"));
        rig.editor.playRecording(0);
        const QString path = rig.folder.path() + QStringLiteral("/radiorecord/20263139011.mp3");
        QCOMPARE(rig.platform.mediaPlayer.url() == QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), played);
        QCOMPARE(rig.state.listenSeconds == QStringLiteral("400"), played);
        QCOMPARE(rig.state.stationName(), played ? QStringLiteral("20263139011.mp3") : QString());
        QCOMPARE(rig.lastMessage(), message);
    }

    // The list marks entries inside their window now, enabled or not.
    void rowState_data()
    {
        QTest::addColumn<Fields>("entry");
        QTest::addColumn<int>("state");
        const int inside = int(ScheduleEditor::RowState::Inside), outside = int(ScheduleEditor::RowState::Outside),
                  plain = int(ScheduleEditor::RowState::Plain);
        const Fields daily{{"freq2", "1"}, {"time1", "9:00:00 AM"}, {"time2", "10:00:00 AM"}, {"onf", ""}};
        Fields later = daily;
        later.insert(QStringLiteral("time1"), QStringLiteral("11:00:00 AM"));
        later.insert(QStringLiteral("time2"), QStringLiteral("12:00:00 PM"));
        Fields nightly = daily;
        nightly.insert(QStringLiteral("time1"), QStringLiteral("11:00:00 PM"));
        Fields sunday = daily;
        sunday.insert(QStringLiteral("freq2"), QStringLiteral("2"));
        sunday.insert(QStringLiteral("date3"), QStringLiteral("0"));
        Fields badDate = daily;
        badDate.insert(QStringLiteral("freq2"), QStringLiteral("0"));
        badDate.insert(QStringLiteral("date1"), QStringLiteral("someday"));
        QTest::newRow("daily, inside, disabled") << daily << inside;
        QTest::newRow("daily, later today") << later << outside;
        QTest::newRow("across midnight, morning part") << nightly << inside;
        QTest::newRow("weekly, another weekday") << sunday << plain;
        QTest::newRow("date that does not read") << badDate << plain;
    }
    void rowState()
    {
        QFETCH(Fields, entry);
        QFETCH(int, state);
        EditorRig rig;
        rig.add(entry);
        rig.editor.showSteps();
        QCOMPARE(int(rig.editor.rowState(0)), state);
    }

    // The list says why a stored entry can never run; a sound one says
    // nothing.
    void neverRunsReason_data()
    {
        QTest::addColumn<Fields>("entry");
        QTest::addColumn<QString>("reason");
        const Fields once{{"freq2", "0"},          {"date1", "3/14/26"},     {"date2", "3/14/26"},
                          {"time1", "9:00:00 AM"}, {"time2", "10:00:00 AM"}, {"radiourl", "http://x/"}};
        auto with = [](Fields f, const Fields &changes) {
            for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
                f.insert(it.key(), it.value());
            return f;
        };
        QTest::newRow("sound") << once << "";
        QTest::newRow("daily, end before start: across midnight")
            << with(once, {{"freq2", "1"}, {"time1", "11:00:00 PM"}}) << "";
        QTest::newRow("once, end before start")
            << with(once, {{"time1", "11:00:00 AM"}}) << "Never runs: it ends before it starts.";
        QTest::newRow("no network scheme")
            << with(once, {{"radiourl", "/home/user/a.mp3"}}) << "Never runs: its address is not a network address.";
        QTest::newRow("date of another regional format")
            << with(once, {{"date2", "14.03.2026"}})
            << "Never runs: its dates or times do not read in the current regional format.";
    }
    void neverRunsReason()
    {
        QFETCH(Fields, entry);
        QFETCH(QString, reason);
        EditorRig rig;
        rig.add(entry);
        rig.editor.showSteps();
        QCOMPARE(rig.editor.neverRunsReason(rig.editor.schedule().entries().at(0)), reason);
    }

    // On a store open for reading only, Add, Modify and Delete say that
    // they need a writable store instead of failing without a word.
    void readOnlyStoreRefusesEdits()
    {
        QVERIFY(asPlainUser([] {
            EditorRig rig;
            rig.add({{"name1", "Demo"},
                     {"radiourl", kStream},
                     {"freq2", "1"},
                     {"mode2", "0"},
                     {"time1", "9:00:00 AM"},
                     {"time2", "10:00:00 AM"}});
            QFile::setPermissions(rig.folder.storeFile(), QFileDevice::ReadOwner);
            rig.editor.create(rig.folder.storeFile());
            if (!rig.store.isReadOnly()) {
                qWarning("store not read-only");
                return false;
            }
            rig.editor.loadEntry(0);
            rig.editor.form.name = QStringLiteral("Other");
            for (const auto &edit : {&ScheduleEditor::add, &ScheduleEditor::modify, &ScheduleEditor::deleteCurrent}) {
                rig.platform.messages.shown.clear();
                if ((rig.editor.*edit)() || !rig.lastMessage().contains(QStringLiteral("open for reading only"))) {
                    qWarning("edit not refused: '%s'", qPrintable(rig.lastMessage()));
                    return false;
                }
            }
            return rig.count() == 1;
        }));
    }

    void stationSourceMenu()
    {
        EditorRig rig;
        StationList list;
        FakeWebBrowser browser;
        list.setBrowser(&browser);
        rig.editor.setStationList(&list);
        rig.state.languageCode = QStringLiteral("2");
        rig.editor.chooseStation(StationList::GenreTitle);
        QCOMPARE(list.pickMode(), QStringLiteral("schedule"));
        QCOMPARE(list.pickOrigin(), QStringLiteral("record"));
        QCOMPARE(list.title(), QStringLiteral("PLAYLIST - Genre"));
        QCOMPARE(browser.navigations.value(0), rig.state.directoryBaseUrl + QStringLiteral("apbig5/genre.asp"));
        // Typing a name closes the list window opened for the schedule.
        QSignalSpy close(&rig.editor, &ScheduleEditor::stationListCloseRequested);
        rig.editor.nameEdited(QString());
        QCOMPARE(close.size(), 0);
        rig.editor.nameEdited(QStringLiteral("K"));
        QCOMPARE(close.size(), 1);
    }

    void showingLoadsTheDirectoryPage()
    {
        EditorRig rig;
        QSignalSpy page(&rig.editor, &ScheduleEditor::pageRequested);
        rig.editor.form.mode = -1;
        rig.editor.showSteps();
        QCOMPARE(page.value(0).value(0).toString(), rig.state.directoryBaseUrl + QStringLiteral("english/indexap.asp"));
        QCOMPARE(rig.editor.form.mode, 0);
    }
};

QTEST_MAIN(ScheduleEditorTest)
#include "schedule_editor_test.moc"

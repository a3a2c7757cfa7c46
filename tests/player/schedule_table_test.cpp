// The schedule table: every writer of the schedule stores exactly the
// texts the store has always held, and the table reads and writes every
// column of every kind of entry unchanged.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "fake_platform.h"
#include "player_fixture.h"
#include "recording/live_recording.h"
#include "recording/schedule_editor_window.h"
#include "recording/schedule_runner.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "store/dataset.h"
#include "store/schedule_table.h"
#include "store/write_queue.h"
#include "store_lock_holder.h"

namespace {

const QString kStream = QStringLiteral("http://127.0.0.1:8765/stream/1.mp3");

// Every row of recSchedul, each column as SQLite quotes it: text in
// quotes, NULL bare, so that a number or a NULL where text was is seen.
QStringList quotedRows(const ProgramFolder &folder)
{
    Store store;
    if (!store.open(folder.storeFile()))
        qFatal("cannot open rd.d");
    QSqlQuery query(store.database());
    if (!query.exec(QStringLiteral(
            "SELECT quote(idno), quote(onf), quote(mode1), quote(mode2), quote(name1), quote(radiourl), "
            "quote(freq1), quote(freq2), quote(date1), quote(date2), quote(date3), quote(time1), quote(time2), "
            "quote(status1), quote(filename1), quote(filename2) FROM recSchedul ORDER BY idno")))
        qFatal("cannot read recSchedul");
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < 16; ++i)
            values << query.value(i).toString();
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

// What the writers store for the steps of writersStoreTheSameTexts, in
// the store's quoting; the rows the player has always written.
const QStringList kWrittenRows = {
    "1|'Y'|'Record'|'0'|'Once record'|'http://127.0.0.1:8765/stream/1.mp3'|'Once'|'0'|'3/20/26'|'3/20/26'|NULL|'8:00:00 PM'|'9:00:00 PM'|NULL|NULL|NULL",
    "2|NULL|'Play'|'1'|'Daily play'|'http://127.0.0.1:8765/stream/1.mp3'|'Every Day'|'1'|NULL|NULL|NULL|'7:00:00 AM'|'8:00:00 AM'|NULL|NULL|NULL",
    "3|'Y'|'Record'|'0'|'Weekly now daily'|'http://127.0.0.1:8765/stream/1.mp3'|'Every Day'|'1'|NULL|NULL|'3'|'10:00:00 PM'|'1:00:00 AM'|NULL|NULL|NULL",
    "4|'Y'|'Play'|'1'|'Weekly play 週'|'http://127.0.0.1:8765/stream/1.mp3'|'Every Week'|'2'|'Sat'|NULL|'6'|'6:00:00 AM'|'6:30:00 AM'|NULL|NULL|NULL",
    "5|'N'|'Record'|'0'|'Due now'|'http://127.0.0.1:8765/stream/1.mp3'|'Once'|'0'|'3/14/26'|'3/14/26'|NULL|'9:30:00 AM'|'10:00:00 AM'|NULL|NULL|'202631493005'",
    "6|'N'|'Real time record'|'1'|'Harbour FM'|'http://127.0.0.1:8765/stream/1.mp3'|'Once'|'0'|'3/14/26'|'3/14/26'|NULL|'9:30:00 AM'|'9:31:05 AM'|NULL|'20263149300.mp3'|NULL",
};

// Further kinds the runner leaves behind, and texts an older player or a
// hand edit may have stored: empty text beside NULL, a weekly recording
// waiting for its file, a play on air, a stopped play, a translated word.
const QStringList kOtherRows = {
    "7|'Y'|'Record'|'0'|'Weekly rec'|'mms://radio.example/live'|'Every Week'|'2'|'Wed'|''|'3'|'10:00:00 PM'|'11:00:00 PM'|'Recording'|'old.wma'|'2026318220007'",
    "8|'Y'|'Play'|'1'|'On air'|'http://radio.example/a'|'Once'|'0'|'3/14/26'|'3/14/26'|NULL|'9:00:00 AM'|'10:00:00 AM'|'Playing'|NULL|NULL",
    "9|''|'錄音'|'-1'|''|''|'每天'|'-1'|''|''|''|''|''|'N'|''|''",
};

// One entry typed into the schedule window's controls.
struct Typed
{
    int mode;
    const char *name;
    int frequency;
    QDate first;
    QDate last;
    QTime start;
    QTime end;
    int weekday;
    bool enabled;
};

void type(TForm_record *w, const Typed &t)
{
    w->ComboBox1->setCurrentIndex(t.mode);
    w->Edit1->setText(QString::fromUtf8(t.name));
    w->Edit2->setText(kStream);
    w->ComboBox2->setCurrentIndex(t.frequency);
    Q_EMIT w->ComboBox2->activated(t.frequency);
    w->Date1->setDate(t.first);
    w->Date2->setDate(t.last);
    w->time1->setTime(t.start);
    w->Time2->setTime(t.end);
    w->ComboBox3->setCurrentIndex(t.weekday);
    w->CheckBox1->setChecked(t.enabled);
}

}  // namespace

class ScheduleTableTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The editor (Add, Modify), live recording (Record, Stop) and the
    // runner (a started recording, a found file) write these rows.
    void writersStoreTheSameTexts()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        FakePlatform platform;
        const QDate today(2026, 3, 14);
        platform.clock.current = QDateTime(today, QTime(9, 30, 0));
        Application app(platform.parts, folder.path());
        app.start();
        app.mainWindow()->Recordschedule1->trigger();
        TForm_record *w = app.scheduleWindow();

        const QDate later(2026, 3, 20);
        type(w, {0, "Once record", 0, later, later, QTime(20, 0), QTime(21, 0), 0, true});
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        type(w, {1, "Daily play", 1, today, today, QTime(7, 0), QTime(8, 0), 0, false});
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        type(w, {0, "Weekly record", 2, today, today, QTime(22, 0), QTime(1, 0), 3, true});
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        type(w, {1, "Weekly play 週", 2, today, today, QTime(6, 0), QTime(6, 30), 6, true});
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        // A weekly entry made daily keeps its weekday digit.
        QTest::mouseClick(w->TntDBGrid1->viewport(), Qt::LeftButton, {},
                          w->TntDBGrid1->visualRect(w->TntDBGrid1->model()->index(2, 2)).center());
        type(w, {0, "Weekly now daily", 1, today, today, QTime(22, 0), QTime(1, 0), 3, true});
        QTest::mouseClick(w->TntSpeedButton2, Qt::LeftButton);
        // Due now: the runner starts its recording.
        type(w, {0, "Due now", 0, today, today, QTime(9, 30), QTime(10, 0), 0, true});
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        app.scheduleRunner().runnerTick();

        // A live recording, stopped and its file found.
        app.state().setStationName(QStringLiteral("Harbour FM"));
        platform.mediaPlayer.setUrl(kStream);
        app.mainWindow()->btnRec->click();
        platform.clock.current = platform.clock.current.addSecs(65);
        app.mainWindow()->btnRec2->click();
        QFile file(folder.path() + QStringLiteral("/radiorecord/20263149300.mp3"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("ID3") == 3);  // a recording holds bytes
        file.close();
        app.scheduleRunner().runnerTick();

        QCOMPARE(quotedRows(folder), kWrittenRows);
    }

    // Every column of every kind of entry reads into its field and is
    // written back byte for byte: updated unchanged, the store holds the
    // same rows; inserted as copies, the copies equal the originals.
    void everyColumnRoundTrips()
    {
        ProgramFolder folder;
        const QStringList rows = kWrittenRows + kOtherRows;
        QStringList inserts;
        // The quoted values are SQL literals as they stand.
        for (const QString &row : rows) {
            const QString values = QString(row).replace(QLatin1Char('|'), QLatin1String(", "));
            inserts << QStringLiteral("INSERT INTO recSchedul VALUES (%1)").arg(values);
        }
        folder.sql(inserts);
        QCOMPARE(quotedRows(folder), rows);

        Store store;
        QVERIFY(store.open(folder.storeFile()));
        ScheduleTable table(store);
        table.load();
        QCOMPARE(table.entries().size(), rows.size());
        const ScheduleEntry &weekly = table.entries().at(6);
        QCOMPARE(weekly.id, qint64(7));
        QCOMPARE(weekly.frequency(), ScheduleEntry::EveryWeek);
        QCOMPARE(weekly.mode(), ScheduleEntry::Record);
        QVERIFY(weekly.isEnabled());
        QCOMPARE(weekly.weekdayCode, QStringLiteral("3"));
        QCOMPARE(weekly.runState, ScheduleEntry::kRecording);
        QCOMPARE(weekly.fileName, QStringLiteral("old.wma"));
        QCOMPARE(weekly.awaitedFile, QStringLiteral("2026318220007"));
        QVERIFY(!weekly.lastDay.isNull() && weekly.lastDay.isEmpty());
        const ScheduleEntry &odd = table.entries().at(8);
        QCOMPARE(odd.mode(), ScheduleEntry::NoMode);
        QCOMPARE(odd.frequency(), ScheduleEntry::NoFrequency);
        QVERIFY(!odd.isEnabled());
        QVERIFY(table.entries().at(0).weekdayCode.isNull());

        const QVector<ScheduleEntry> loaded = table.entries();
        for (const ScheduleEntry &entry : loaded)
            table.update(entry);
        QCOMPARE(quotedRows(folder), rows);

        for (const ScheduleEntry &entry : loaded)
            table.insert(entry);
        const QStringList after = quotedRows(folder);
        QCOMPARE(after.size(), 2 * rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(after.at(rows.size() + i).section(QLatin1Char('|'), 1), rows.at(i).section(QLatin1Char('|'), 1));
        }
        // Read again, the table holds the same entries.
        const QVector<ScheduleEntry> copies = table.entries().mid(rows.size());
        table.load();
        QCOMPARE(table.entries().mid(rows.size()), copies);
        for (int i = 0; i < rows.size(); ++i) {
            ScheduleEntry copy = copies.at(i);
            copy.id = loaded.at(i).id;
            QVERIFY(copy == loaded.at(i));
        }
    }

    // An entry deleted behind the table's back: its update throws and the
    // table drops it; a removed id is gone from the store.
    void updateOfAnEntryGoneThrows()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Kept')"),
                    QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Gone')")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        ScheduleTable table(store);
        table.load();
        QSignalSpy changed(&table, &ScheduleTable::changed);
        QSqlQuery(store.database()).exec(QStringLiteral("DELETE FROM recSchedul WHERE idno = 2"));
        ScheduleEntry gone = table.entries().at(1);
        gone.name = QStringLiteral("Back");
        QVERIFY_THROWS_EXCEPTION(StoreError, table.update(gone));
        QCOMPARE(table.entries().size(), 1);
        QCOMPARE(table.indexOf(2), -1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(), 1);
        table.remove(1);
        QVERIFY(table.entries().isEmpty());
        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(), 0);
    }

    // While another program holds the store locked, inserts, updates and
    // removes are held by the store's queue and shown by the table at once:
    // each new entry gets its id at once, past every id the table has
    // given (one deleted, too), and in the store after the lock goes the
    // rows are exactly what the table showed.
    void editsWhileTheStoreIsLockedAreKept()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Edited')"),
                    QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Removed')"),
                    QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Deleted before')"),
                    QStringLiteral("DELETE FROM recSchedul WHERE idno = 3")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        ScheduleTable table(store);
        table.load();
        StoreLockHolder holder(folder.storeFile());
        QVERIFY2(holder.held(), holder.output().constData());

        ScheduleEntry added;
        added.name = QStringLiteral("Added");
        added.modeCode = ScheduleEntry::code(ScheduleEntry::Record);
        QCOMPARE(table.insert(added), qint64(4));
        ScheduleEntry edited = table.entries().at(0);
        edited.name = QStringLiteral("Edited while locked");
        table.update(edited);
        table.remove(2);
        added.name = QStringLiteral("Added after");
        QCOMPARE(table.insert(added), qint64(5));
        ScheduleEntry last = table.entries().constLast();
        last.runState = ScheduleEntry::kRecording;
        table.update(last);
        QVERIFY(!store.writeQueue().isEmpty());

        QStringList shown;
        for (const ScheduleEntry &entry : table.entries())
            shown << QString::number(entry.id) + QLatin1Char(' ') + entry.name;
        QCOMPARE(shown, (QStringList{"1 Edited while locked", "4 Added", "5 Added after"}));
        const QVector<ScheduleEntry> held = table.entries();

        QVERIFY(holder.release());
        QTRY_VERIFY_WITH_TIMEOUT(store.writeQueue().isEmpty(), 10000);
        table.load();
        QCOMPARE(table.entries(), held);
    }
};

QTEST_MAIN(ScheduleTableTest)
#include "schedule_table_test.moc"

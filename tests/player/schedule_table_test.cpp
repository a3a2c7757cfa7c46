// The schedule table: every writer of the schedule stores exactly the
// texts the store has always held, and the table reads and writes every
// column of every kind of entry unchanged.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
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
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        app.scheduleRunner().runnerTick();

        QCOMPARE(quotedRows(folder), kWrittenRows);
    }
};

QTEST_MAIN(ScheduleTableTest)
#include "schedule_table_test.moc"

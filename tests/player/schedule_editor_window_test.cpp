// The schedule window in the assembly: opened from the main menu, its
// controls hand the form to the editor and show the list.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include <functional>
#include <memory>

#include "fake_platform.h"
#include "player_fixture.h"
#include "recording/schedule_editor_window.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "directory/station_list.h"

namespace {

const QString kStream = QStringLiteral("http://127.0.0.1:8765/stream/1.mp3");

// The assembly on fakes with three daily entries First, Second and Third
// (ids 1, 2, 3) and the schedule window shown; now is Saturday 14 March
// 2026, 9:30.
struct Shown
{
    explicit Shown(int entries = 3)
    {
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        const char *names[] = {"First", "Second", "Third"};
        for (int i = 0; i < entries; ++i) {
            folder.sql({QStringLiteral("INSERT INTO recSchedul (onf, mode1, mode2, name1, radiourl, freq1, freq2, "
                                       "time1, time2) VALUES ('Y', 'Play', '1', '%1', '%2', 'Every Day', '1', "
                                       "'8:00:00 PM', '9:00:00 PM')")
                            .arg(QLatin1String(names[i]), kStream)});
        }
        platform.clock.current = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0));
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->start();
        app->mainWindow()->Recordschedule1->trigger();
        w = app->scheduleWindow();
    }
    void click(int row)
    {
        QTableView *grid = w->TntDBGrid1;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(row, 2)).center());
    }
    // The name of the highlighted row; empty when none is.
    QString highlighted() const
    {
        const QModelIndexList rows = w->TntDBGrid1->selectionModel()->selectedRows(2);
        return rows.size() == 1 ? rows.first().data().toString() : QString();
    }
    int rows() const { return w->TntDBGrid1->model()->rowCount(); }
    QString stored(const QString &column, qint64 id) const
    {
        return folder.value(QStringLiteral("SELECT %1 FROM recSchedul WHERE idno = %2").arg(column).arg(id)).toString();
    }
    int count() const { return folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(); }
    void record()
    {
        app->state().setStationName(QStringLiteral("Harbour FM"));
        platform.mediaPlayer.setUrl(kStream);
        app->mainWindow()->btnRec->click();
    }

    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
    TForm_record *w = nullptr;
};

using WindowAction = std::function<void(Shown &)>;

// The two edits of a selected entry, as rows of a data table.
void modifyOrDelete()
{
    QTest::addColumn<bool>("modify");
    QTest::newRow("Modify") << true;
    QTest::newRow("Delete") << false;
}

}  // namespace

Q_DECLARE_METATYPE(WindowAction)

class ScheduleEditorWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addFromTheControlsAndShowInTheList()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        FakePlatform platform;
        platform.clock.current = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0));
        Application app(platform.parts, folder.path());
        app.start();
        app.mainWindow()->Recordschedule1->trigger();
        TForm_record *w = app.scheduleWindow();
        QVERIFY(w->isVisible());
        QCOMPARE(w->size(), QSize(634, 600));
        QVERIFY(!w->TntSpeedButton3->isEnabled());  // nothing to delete
        QCOMPARE(w->ComboBox2->currentText(), QStringLiteral("Once"));

        // Every Week shows the weekday list where the first day was.
        w->ComboBox2->setCurrentIndex(2);
        Q_EMIT w->ComboBox2->activated(2);
        QVERIFY(w->ComboBox3->isVisible());
        QVERIFY(!w->Date1->isVisible());
        w->ComboBox2->setCurrentIndex(0);
        Q_EMIT w->ComboBox2->activated(0);
        QVERIFY(w->Date1->isVisible());

        w->ComboBox1->setCurrentIndex(1);
        w->Edit1->setText(QStringLiteral("Harbour"));
        w->Edit2->setText(QStringLiteral("http://127.0.0.1:8765/stream/1.mp3"));
        w->time1->setTime(QTime(9, 0));
        w->Time2->setTime(QTime(10, 0));
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        QCOMPARE(platform.messages.shown.back().text, QStringLiteral("Time Error!"));
        w->time1->setTime(QTime(9, 30));
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);

        QAbstractItemModel *list = w->TntDBGrid1->model();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->data(list->index(0, 2)).toString(), QStringLiteral("Harbour"));
        QCOMPARE(list->data(list->index(0, 1)).toString(), QStringLiteral("Play"));
        QCOMPARE(list->data(list->index(0, 5)).toString(), QStringLiteral("9:30:00 AM"));
        QCOMPARE(list->data(list->index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(212, 208, 200));
        QCOMPARE(list->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Frequency"));
        QVERIFY(w->TntSpeedButton3->isEnabled());
        QCOMPARE(app.shell().schedule.entries().size(), 1);

        // The runner plays it on its next tick; the clock label follows.
        app.scheduleRunner().clockTick();
        app.scheduleRunner().runnerTick();
        QCOMPARE(app.mainWindow()->time1->text(), QStringLiteral("9:30:00 AM"));
        QCOMPARE(platform.mediaPlayer.url(), QStringLiteral("http://127.0.0.1:8765/stream/1.mp3"));
        QCOMPARE(app.mainWindow()->LabRname->text(), QStringLiteral("Harbour"));

        QTest::mouseClick(w->TntSpeedButton3, Qt::LeftButton);
        QCOMPARE(list->rowCount(), 0);
        QCOMPARE(app.shell().schedule.entries().size(), 0);
    }

    // Showing translates the window and the choices; entries store the
    // words as shown, and messages come in the interface language.
    void translatedOnShowing()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 2, lang2 = 2, firstexe = 'N'")});
        FakePlatform platform;
        platform.clock.current = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0));
        Application app(platform.parts, folder.path());
        app.start();
        app.mainWindow()->Recordschedule1->trigger();
        TForm_record *w = app.scheduleWindow();
        QCOMPARE(w->TntLabel1->text(), QStringLiteral("模式"));
        QCOMPARE(w->TntSpeedButton1->text(), QStringLiteral("新增"));
        QCOMPARE(w->ComboBox1->itemText(0), QStringLiteral("錄音"));
        QCOMPARE(w->Location1->text(), QStringLiteral("地區"));

        w->Edit1->setText(QStringLiteral("Harbour"));
        w->ComboBox2->setCurrentIndex(0);
        w->Date1->setDate(QDate(2026, 3, 13));
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        QCOMPARE(platform.messages.shown.back().text, QStringLiteral("日期錯誤！"));
        QCOMPARE(w->Date1->date(), QDate(2026, 3, 14));

        w->ComboBox2->setCurrentIndex(2);
        w->ComboBox3->setCurrentIndex(3);
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        QCOMPARE(folder.value(QStringLiteral("SELECT freq1 FROM recSchedul")).toString(), QStringLiteral("每週"));
        QCOMPARE(folder.value(QStringLiteral("SELECT date1 FROM recSchedul")).toString(), QStringLiteral("週三"));
        QCOMPARE(folder.value(QStringLiteral("SELECT date3 FROM recSchedul")).toString(), QStringLiteral("3"));
    }

    // Modify and Delete act on the row the user highlighted, whatever the
    // live recording inserted meanwhile; Stop still finds the live entry.
    void liveRecordingLeavesTheSelectedEntry_data() { modifyOrDelete(); }
    void liveRecordingLeavesTheSelectedEntry()
    {
        QFETCH(bool, modify);
        Shown s;
        s.click(0);
        QCOMPARE(s.w->Edit1->text(), QStringLiteral("First"));
        s.record();
        const qint64 live = s.app->liveRecording().liveEntryId.toLongLong();
        QCOMPARE(live, qint64(4));
        // The open list shows the live entry at once; the highlight stays.
        QCOMPARE(s.rows(), 4);
        QCOMPARE(s.w->TntDBGrid1->model()->index(3, 1).data().toString(), QStringLiteral("Real time record"));
        QCOMPARE(s.highlighted(), QStringLiteral("First"));
        if (modify) {
            s.w->Time2->setTime(QTime(22, 0));
            QTest::mouseClick(s.w->TntSpeedButton2, Qt::LeftButton);
            QCOMPARE(s.stored(QStringLiteral("time2"), 1), QStringLiteral("10:00:00 PM"));
            QCOMPARE(s.stored(QStringLiteral("mode1"), live), QStringLiteral("Real time record"));
            QCOMPARE(s.stored(QStringLiteral("onf"), live), QStringLiteral("N"));
            QCOMPARE(s.stored(QStringLiteral("name1"), live), QStringLiteral("Harbour FM"));
        } else {
            QTest::mouseClick(s.w->TntSpeedButton3, Qt::LeftButton);
            QCOMPARE(s.count(), 3);
            QCOMPARE(s.stored(QStringLiteral("name1"), 1), QString());
            QCOMPARE(s.stored(QStringLiteral("name1"), live), QStringLiteral("Harbour FM"));
        }
        s.platform.clock.current = s.platform.clock.current.addSecs(60);
        s.app->mainWindow()->btnRec2->click();
        QCOMPARE(s.stored(QStringLiteral("filename2"), live), s.app->liveRecording().liveFileName);
        QCOMPARE(s.stored(QStringLiteral("time2"), live), QStringLiteral("9:31:00 AM"));
    }

    // An empty open list shows a live entry at once, and Delete comes on.
    void emptyListShowsANewLiveEntry()
    {
        Shown s(0);
        QCOMPARE(s.rows(), 0);
        QVERIFY(!s.w->TntSpeedButton3->isEnabled());
        s.record();
        QCOMPARE(s.rows(), 1);
        QCOMPARE(s.w->TntDBGrid1->model()->index(0, 2).data().toString(), QStringLiteral("Harbour FM"));
        QVERIFY(s.w->TntSpeedButton3->isEnabled());
    }

    // A row reached with the keyboard is the one loaded, Modified and
    // Deleted.
    void keyboardPickedRowIsActedOn_data() { modifyOrDelete(); }
    void keyboardPickedRowIsActedOn()
    {
        QFETCH(bool, modify);
        Shown s;
        s.click(0);
        QTest::keyClick(s.w->TntDBGrid1, Qt::Key_Down);
        QTest::keyClick(s.w->TntDBGrid1, Qt::Key_Down);
        QCOMPARE(s.highlighted(), QStringLiteral("Third"));
        QCOMPARE(s.w->Edit1->text(), QStringLiteral("Third"));
        QCOMPARE(s.app->scheduleEditor().currentRow(), 2);
        if (modify) {
            s.w->Edit1->setText(QStringLiteral("Third, later"));
            QTest::mouseClick(s.w->TntSpeedButton2, Qt::LeftButton);
            QCOMPARE(s.stored(QStringLiteral("name1"), 3), QStringLiteral("Third, later"));
            QCOMPARE(s.stored(QStringLiteral("name1"), 1), QStringLiteral("First"));
        } else {
            QTest::mouseClick(s.w->TntSpeedButton3, Qt::LeftButton);
            QCOMPARE(s.stored(QStringLiteral("name1"), 3), QString());
            QCOMPARE(s.stored(QStringLiteral("name1"), 1), QStringLiteral("First"));
            // The row that took its place is the current one, and shown so.
            QCOMPARE(s.highlighted(), QStringLiteral("Second"));
        }
    }

    // The selected entry removed elsewhere: no row is highlighted, and
    // Modify and Delete are refused with a message instead of acting on
    // another entry.
    void editOfAnEntryRemovedElsewhereIsRefused_data() { modifyOrDelete(); }
    void editOfAnEntryRemovedElsewhereIsRefused()
    {
        QFETCH(bool, modify);
        Shown s;
        s.click(1);
        s.app->shell().schedule.remove(2);
        QCOMPARE(s.rows(), 2);
        QCOMPARE(s.highlighted(), QString());
        QTest::mouseClick(modify ? s.w->TntSpeedButton2 : s.w->TntSpeedButton3, Qt::LeftButton);
        QCOMPARE(s.platform.messages.shown.back().text,
                 QStringLiteral("The entry you selected is no longer in the list."));
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.stored(QStringLiteral("name1"), 1), QStringLiteral("First"));
        QCOMPARE(s.stored(QStringLiteral("name1"), 3), QStringLiteral("Third"));
    }

    // The controls keep the user's values when a station is picked and
    // from one showing to the next; the entry is saved with them.
    void controlsKeepTheirValues_data()
    {
        QTest::addColumn<WindowAction>("between");
        QTest::newRow("a station picked") << WindowAction([](Shown &s) {
            Q_EMIT s.app->stationList().scheduleNameRead(QStringLiteral("Harbour FM"));
            Q_EMIT s.app->stationList().scheduleAddressRead(kStream);
        });
        QTest::newRow("shown again") << WindowAction([](Shown &s) {
            s.w->Edit1->setText(QStringLiteral("Harbour FM"));
            s.w->close();
            s.app->mainWindow()->Recordschedule1->trigger();
        });
    }
    void controlsKeepTheirValues()
    {
        QFETCH(WindowAction, between);
        Shown s(0);
        TForm_record *w = s.w;
        w->Edit2->setText(kStream);
        w->Date1->setDate(QDate(2026, 3, 20));
        w->Date2->setDate(QDate(2026, 3, 20));
        w->time1->setTime(QTime(20, 0));
        w->Time2->setTime(QTime(21, 0));
        w->ComboBox1->setCurrentIndex(1);
        w->CheckBox1->setChecked(false);
        between(s);
        QVERIFY(w->isVisible());
        QCOMPARE(w->Edit1->text(), QStringLiteral("Harbour FM"));
        QCOMPARE(w->Date1->date(), QDate(2026, 3, 20));
        QCOMPARE(w->time1->time(), QTime(20, 0));
        QCOMPARE(w->Time2->time(), QTime(21, 0));
        QCOMPARE(w->ComboBox1->currentIndex(), 1);
        QVERIFY(!w->CheckBox1->isChecked());
        QTest::mouseClick(w->TntSpeedButton1, Qt::LeftButton);
        QVERIFY(s.platform.messages.shown.empty());
        QCOMPARE(s.stored(QStringLiteral("date1"), 1), QStringLiteral("3/20/26"));
        QCOMPARE(s.stored(QStringLiteral("time1"), 1), QStringLiteral("8:00:00 PM"));
        QCOMPARE(s.stored(QStringLiteral("mode1"), 1), QStringLiteral("Play"));
        QCOMPARE(s.stored(QStringLiteral("onf"), 1), QString());
        QCOMPARE(s.stored(QStringLiteral("radiourl"), 1), kStream);
    }
};

QTEST_MAIN(ScheduleEditorWindowTest)
#include "schedule_editor_window_test.moc"

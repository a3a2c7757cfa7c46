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

#include "fake_platform.h"
#include "player_fixture.h"
#include "recording/schedule_editor_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

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
        QVERIFY(!w->TntSpeedButton3->isEnabled());   // nothing to delete
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
        QCOMPARE(app.shell().ADOTb1.recordCount(), 1);

        // The runner plays it on its next tick; the clock label follows.
        app.scheduleRunner().clockTick();
        app.scheduleRunner().runnerTick();
        QCOMPARE(app.mainWindow()->time1->text(), QStringLiteral("9:30:00 AM"));
        QCOMPARE(platform.mediaPlayer.url(), QStringLiteral("http://127.0.0.1:8765/stream/1.mp3"));
        QCOMPARE(app.mainWindow()->LabRname->text(), QStringLiteral("Harbour"));

        QTest::mouseClick(w->TntSpeedButton3, Qt::LeftButton);
        QCOMPARE(list->rowCount(), 0);
        QCOMPARE(app.shell().ADOTb1.recordCount(), 0);
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
};

QTEST_MAIN(ScheduleEditorWindowTest)
#include "schedule_editor_window_test.moc"

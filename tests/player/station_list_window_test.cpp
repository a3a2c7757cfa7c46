// The station list window's placement and the application-wide right
// button filter, on the offscreen platform.

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QToolButton>
#include <QTest>

#include "directory/right_button_filter.h"
#include "directory/station_list.h"
#include "directory/station_list_window.h"
#include "directory/window_dock.h"
#include "fake_platform.h"

namespace {

class ClickRecorder : public QWidget
{
public:
    QList<Qt::MouseButton> pressed;

protected:
    void mousePressEvent(QMouseEvent *event) override { pressed << event->button(); }
    void contextMenuEvent(QContextMenuEvent *) override { pressed << Qt::ExtraButton24; }
};

}  // namespace

class StationListWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The docked list stays inside the screen's available area.
    void dockStaysOnTheScreen_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 1024, 768);
        QTest::newRow("fits on the right") << QRect(100, 80, 363, 187) << screen << QPoint(463, 80);
        QTest::newRow("right edge exactly") << QRect(250, 80, 363, 187) << screen << QPoint(613, 80);
        QTest::newRow("near the right edge: left") << QRect(600, 80, 363, 187) << screen << QPoint(189, 80);
        QTest::newRow("fits on neither side: as close as fits")
            << QRect(330, 80, 363, 187) << screen << QPoint(613, 80);
        QTest::newRow("low on the screen: moved up") << QRect(100, 500, 363, 187) << screen << QPoint(463, 279);
        QTest::newRow("above the work area: moved down")
            << QRect(100, 0, 363, 187) << QRect(0, 24, 1024, 744) << QPoint(463, 24);
        QTest::newRow("second screen, left")
            << QRect(2000, 100, 363, 187) << QRect(1024, 0, 1280, 1024) << QPoint(1589, 100);
        QTest::newRow("screen smaller than the list") << QRect(0, 0, 363, 187) << QRect(0, 0, 400, 300) << QPoint(0, 0);
    }
    void dockStaysOnTheScreen()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, area);
        QFETCH(QPoint, expected);
        const QSize list(TForm_location::kWidth, TForm_location::kHeight);
        QCOMPARE(dockBeside(anchor, list, area), expected);
    }

    void docksRightOfTheMainWindowOnEachShowing()
    {
        FakeWebBrowserFactory browsers;
        StationList list;
        QWidget main;
        main.setWindowFlags(Qt::FramelessWindowHint);
        main.setGeometry(20, 80, 363, 187);  // the list fits to its right on the 800-wide screen
        main.show();
        TForm_location window(list, browsers, QStringLiteral("/nonexistent"));
        window.setAnchor(&main);
        QCOMPARE(window.size(), QSize(411, 489));

        list.open(StationList::Listen, StationList::LocationTitle, QStringLiteral("http://127.0.0.1:1/ap/location.asp"),
                  StationList::FromMain);
        QVERIFY(window.isVisible());
        QCOMPARE(window.pos(), QPoint(main.frameGeometry().right() + 1, main.frameGeometry().top()));
        QCOMPARE(window.Label1->text(), QStringLiteral("PLAYLIST - Location"));
        QCOMPARE(browsers.made.size(), size_t(1));
        QCOMPARE(browsers.made.front()->navigations, QStringList{QStringLiteral("http://127.0.0.1:1/ap/location.asp")});
        QVERIFY(window.Panel1->isVisible());

        // Opening again while shown leaves it where the user put it.
        window.move(700, 500);
        list.open(StationList::Listen, StationList::GenreTitle, QStringLiteral("http://127.0.0.1:1/ap/genre.asp"),
                  StationList::FromMain);
        QCOMPARE(window.pos(), QPoint(700, 500));
        // Hidden and shown again: docked again.
        window.SpeedButton1->click();
        QVERIFY(!window.isVisible());
        main.move(10, 30);
        list.open(StationList::Listen, StationList::LocationTitle, QStringLiteral("http://127.0.0.1:1/ap/location.asp"),
                  StationList::FromMain);
        QCOMPARE(window.pos(), QPoint(main.frameGeometry().right() + 1, main.frameGeometry().top()));
        QCOMPARE(browsers.made.size(), size_t(1));

        // The first completed page hides the "Connecting ..." panel.
        browsers.made.front()->complete();
        QVERIFY(!window.Panel1->isVisible());
        QVERIFY(!window.Gauge1->isVisible());
    }

    void rightButtonNeverReachesAWindow()
    {
        RightButtonFilter::installOnce();
        RightButtonFilter::installOnce();
        ClickRecorder widget;
        widget.resize(50, 50);
        widget.show();
        QTest::mouseClick(&widget, Qt::RightButton, {}, QPoint(10, 10));
        QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(10, 10));
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(10, 10), widget.mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(&widget, &menu);
        QCOMPARE(widget.pressed, QList<Qt::MouseButton>{Qt::LeftButton});
    }
};

QTEST_MAIN(StationListWindowTest)
#include "station_list_window_test.moc"

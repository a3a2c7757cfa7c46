// End to end: the real player (its assembly with libVLC and Qt
// WebEngine) under a private Xvfb, against the bundled station directory
// on a free loopback port. Location from the list menu, a pick in the
// list window, the station plays, Stop sends the listening report to the
// directory's hit log; played again and closed with a report due, the
// program ends only after that report has reached the hit log. Leaves
// screenshots in the working folder.
//
// The elapsed-time timer runs every 10 ms here (a test hook), so the 300
// counted seconds of a due report pass in about three real ones.

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <memory>
#include <string>

#include "directory/station_list.h"
#include "directory/station_list_window.h"
#include "bounded_wait.h"
#include "e2e_fixture.h"
#include "platform/qt_report_sender.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

using e2e::runScript;

class ListenEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pickPlayStopReports()
    {
        // The bundled directory with its demo list, on a free port,
        // with a program folder of our own: the shipped store (language
        // chosen, English) and skin pictures.
        e2e::Fixture f;
        QVERIFY2(f.start(QString(), true), f.error.c_str());
        const QString &base = f.base;

        // Listening reports go out for real, too.
        QtReportSender reports;
        f.parts.reports = &reports;

        auto app = std::make_unique<Application>(f.parts, f.program.path());
        app->useAddresses(base, base.chopped(1));
        app->playback().setElapsedInterval(10);
        app->start();
        TForm_main *main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));

        // Location from the list menu: the list window opens docked beside
        // the main window and shows the location list.
        QWebEngineView *view = e2e::showStationList(*app);
        QVERIFY(view);
        QCOMPARE(app->stationListWindow()->pos(),
                 QPoint(main->frameGeometry().right() + 1, main->frameGeometry().top()));
        QTRY_VERIFY_WITH_TIMEOUT(!app->stationList().panelVisible(), 30000);
        QCOMPARE(runScript(view, QStringLiteral("document.querySelectorAll('ul.items a').length")).toInt(), 4);

        // Browse: the first location, then its first station.
        QSignalSpy picked(&app->stationList(), &StationList::stationPicked);
        QVERIFY(e2e::pickFirstStation(view));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 1, 10000);
        QCOMPARE(picked.first().first().toString(), QStringLiteral("1"));

        // The main window shows the station and plays its stream.
        const QString name = QStringLiteral("Harbour Tone FM 海港音樂台");
        QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), name, 15000);
        QCOMPARE(app->state().stationId, QStringLiteral("1"));
        QCOMPARE(app->state().stationStreamUrl, base + QStringLiteral("stream/1.mp3"));
        QCOMPARE(app->state().stationPageUrl, base + QStringLiteral("ap/lisradio.asp?radioid=1"));
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        const qint64 position = f.mediaPlayer.positionMs();
        QTRY_VERIFY_WITH_TIMEOUT(f.mediaPlayer.positionMs() >= position + 1000, testwait::kEngineMs);
        QTRY_COMPARE_WITH_TIMEOUT(main->LabStatus->text(), QStringLiteral("Playing 128K"), testwait::kLoadMarginMs);

        QTRY_VERIFY_WITH_TIMEOUT(app->state().listenSeconds.toInt() >= 300, testwait::kEngineMs);
        QVERIFY(xvfb::saveScreen(QStringLiteral("listen_e2e_playing.png")));
        QVERIFY(main->lisTime1->text() + main->lisTime2->text() + main->lisTime3->text() != QStringLiteral("000000"));

        // Stop, as a click on the skin's Stop picture: the report arrives.
        QTest::mouseClick(main->picStop, Qt::LeftButton);
        QCOMPARE(main->lisTime3->text(), QStringLiteral("00"));
        QFile hitLog(f.work.filePath(QStringLiteral("hitlog.tsv")));
        QTRY_VERIFY_WITH_TIMEOUT(hitLog.exists() && hitLog.size() > 0, 10000);
        QVERIFY(hitLog.open(QIODevice::ReadOnly));
        const QStringList fields = QString::fromUtf8(hitLog.readAll()).trimmed().split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields.at(1), QStringLiteral("1"));
        const qint64 start = fields.at(2).toLongLong();
        const qint64 end = fields.at(3).toLongLong();
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(end >= start && end - start < 120, qPrintable(fields.join(QLatin1Char(' '))));
        QVERIFY2(qAbs(end - now) < 120, "report times are UTC seconds of now");
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Stopped, testwait::kLoadMarginMs);
        QVERIFY(xvfb::saveScreen(QStringLiteral("listen_e2e_stopped.png")));
        hitLog.close();

        // A Windows Media demo station of the same location: its address is
        // an ASX playlist on the directory naming an MMS-over-HTTP stream.
        runScript(view, QStringLiteral("document.querySelector('a[href$=\"pick=7\"]').click(); true"));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(app->state().stationStreamUrl, base + QStringLiteral("stream/7.asx"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        const int decoded = f.mediaPlayer.decodedAudioBlocks();
        QTRY_VERIFY_WITH_TIMEOUT(f.mediaPlayer.decodedAudioBlocks() > decoded + 10, testwait::kEngineMs);
        // libVLC does not pass on the rate an ASF header states.
        QTRY_COMPARE_WITH_TIMEOUT(main->LabStatus->text(), QStringLiteral("Playing"), testwait::kLoadMarginMs);
        QTRY_VERIFY_WITH_TIMEOUT(main->lisTime3->text() != QStringLiteral("00"), testwait::kLoadMarginMs);
        QVERIFY(xvfb::saveScreen(QStringLiteral("listen_e2e_asx_playing.png")));
        QTest::mouseClick(main->picStop, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Stopped, testwait::kLoadMarginMs);

        app.reset();

        // The player started again, a station played until a report is
        // due, then the program closed. Once the main window has closed the
        // program's event loop runs no more; the report sender goes first
        // here, before anything else could run a queued network step, and
        // the report must have reached the hit log by then.
        auto lastReports = std::make_unique<QtReportSender>();
        f.parts.reports = lastReports.get();
        app = std::make_unique<Application>(f.parts, f.program.path());
        app->useAddresses(base, base.chopped(1));
        app->playback().setElapsedInterval(10);
        app->start();
        main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        app->directory().loadStationPage(QStringLiteral("2"));
        QTRY_COMPARE_WITH_TIMEOUT(app->state().stationId, QStringLiteral("2"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);
        QTRY_VERIFY_WITH_TIMEOUT(app->state().listenSeconds.toInt() >= 300, testwait::kEngineMs);
        QSignalSpy finished(app.get(), &Application::finished);
        QElapsedTimer closing;
        closing.start();
        main->close();
        qInfo("closing with a report due took %lld ms", closing.elapsed());
        QCOMPARE(finished.size(), 1);
        lastReports.reset();
        QVERIFY(hitLog.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(hitLog.readAll()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(1).split(QLatin1Char('\t')).value(1), QStringLiteral("2"));
        app.reset();

        f.directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<ListenEndToEndTest>(argc, argv);
}

#include "listen_e2e_nosan_test.moc"

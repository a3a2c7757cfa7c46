// End to end: the real player (libVLC, Qt WebEngine) under a private Xvfb
// on the directory's live Radio Browser source, here a loopback fake of
// the API whose stations all stream the bundled directory's demo MP3.
// Location from the list menu shows the countries; a country, then its
// first station; the station plays; Stop sends the listening report to
// the directory's hit log, and the directory counts the play at the API.
// Leaves a screenshot of the country list in the working folder.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <memory>

#include "directory/station_list.h"
#include "e2e_fixture.h"
#include "fake_radio_browser.h"
#include "platform/qt_report_sender.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

using e2e::runScript;

class RealStationsEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countryStationPlayReportClick()
    {
        // The bundled directory serves the demo stream the fake's
        // stations point at.
        e2e::Fixture f;
        QVERIFY2(f.start(QString(), false), f.error.c_str());
        auto stations = fakerb::fixtureStations("");
        for (auto &s : stations) {
            if (s.url.rfind("javascript:", 0) != 0)
                s.url = (f.base + QStringLiteral("stream/1.mp3")).toStdString();
            s.urlResolved = s.url;
        }
        fakerb::FakeRadioBrowser api;
        api.setStations(fakerb::stationsJson(stations));
        QVERIFY(api.start());

        // The directory on the live source.
        stationdir::DirectoryOptions options;
        options.port = 0;
        options.stationsPath = f.work.filePath(QStringLiteral("none.tsv")).toStdString();
        options.hitLogPath = f.work.filePath(QStringLiteral("live-hitlog.tsv")).toStdString();
        options.cacheDir = f.work.filePath(QStringLiteral("live-cache")).toStdString();
        stationdir::RadioBrowserOptions live;
        live.baseUrl = api.base();
        options.radioBrowser = live;
        stationdir::DirectoryServer directory(options);
        std::string error;
        QVERIFY2(directory.start(&error), error.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(directory.stationCount() > 0, 30000);
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(directory.port());

        QtReportSender reports;
        f.parts.reports = &reports;
        auto app = std::make_unique<Application>(f.parts, f.program.path());
        app->useAddresses(base, base.chopped(1));
        app->playback().setElapsedInterval(10);
        app->start();
        TForm_main *main = app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));

        // Location: the three countries with their counts.
        QWebEngineView *view = e2e::showStationList(*app);
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(!app->stationList().panelVisible(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(
            runScript(view, QStringLiteral("document.querySelectorAll('ul.items a').length")).toInt(), 3, 10000);
        QCOMPARE(
            runScript(view, QStringLiteral("document.querySelector('ul.items a').innerText")).toString().simplified(),
            QStringLiteral("China 10 stations"));
        QVERIFY(xvfb::saveScreen(QStringLiteral("real_stations_e2e_countries.png")));

        // China, then its station with the most votes.
        QSignalSpy picked(&app->stationList(), &StationList::stationPicked);
        QVERIFY(e2e::pickFirstStation(view));
        QTRY_COMPARE_WITH_TIMEOUT(picked.size(), 1, 10000);
        const QString id = picked.first().first().toString();
        QVERIFY2(id.toLongLong() >= 100001, qPrintable(id));
        QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), QStringLiteral("北京音樂台"), 15000);
        QCOMPARE(app->state().stationId, id);
        QCOMPARE(app->state().stationStreamUrl, f.base + QStringLiteral("stream/1.mp3"));
        QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(app->state().listenSeconds.toInt() >= 300, 20000);
        QVERIFY(xvfb::saveScreen(QStringLiteral("real_stations_e2e_playing.png")));

        // Stop: the report reaches the live directory's hit log, and the
        // play is counted at the API for the station's uuid.
        QTest::mouseClick(main->picStop, Qt::LeftButton);
        QFile hitLog(f.work.filePath(QStringLiteral("live-hitlog.tsv")));
        QTRY_VERIFY_WITH_TIMEOUT(hitLog.exists() && hitLog.size() > 0, 10000);
        QVERIFY(hitLog.open(QIODevice::ReadOnly));
        const QStringList fields = QString::fromUtf8(hitLog.readAll()).trimmed().split(QLatin1Char('\t'));
        QCOMPARE(fields.value(1), id);
        QVERIFY(api.waitForClicks(1, 30));
        QCOMPARE(api.clicks().front(), stations[12].uuid);

        app.reset();
        directory.stop();
        f.directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<RealStationsEndToEndTest>(argc, argv);
}

#include "real_stations_e2e_nosan_test.moc"

// End to end: memory stations and the volume slider on the real player
// (Qt Multimedia and Qt WebEngine) under a private Xvfb, against the
// bundled station directory on a free loopback port. A directory station
// plays, set mode stores it in slot 3, the player is started again on the
// same program folder and slot 3 plays it; the volume thumb is dragged
// with the mouse. Leaves the screenshots memory_e2e_set_mode.png,
// memory_e2e_name_strip.png and memory_e2e_slot3.png in the working folder.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSlider>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "core/memory_stations.h"
#include "directory_server.h"
#include "fake_platform.h"
#include "platform/clock.h"
#include "platform/player_volume_backend.h"
#include "platform/vlc_media_player.h"
#include "platform/qt_web_browser.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"
#include "xvfb_display.h"

namespace {

QVariant storeValue(const QString &file, const QString &statement)
{
    QVariant value;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-read"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                value = query.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("e2e-read"));
    return value;
}

}  // namespace

class MemoryEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeRestartPlayAndDrag()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        stationdir::DirectoryOptions options;
        options.port = 0;
        options.stationsPath = QStringLiteral(VEXA_STATION_DIRECTORY_DATA_DIR "/stations.tsv").toStdString();
        options.hitLogPath = work.filePath(QStringLiteral("hitlog.tsv")).toStdString();
        options.cacheDir = work.filePath(QStringLiteral("cache")).toStdString();
        stationdir::DirectoryServer directory(options);
        std::string error;
        QVERIFY2(directory.start(&error), error.c_str());
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(directory.port());

        // The shipped program folder, English chosen.
        const QDir shipped(QStringLiteral(VEXA_TEST_PROGRAM_DIR));
        const QDir program(work.path());
        const QString store = program.filePath(QStringLiteral("rd.d"));
        QVERIFY(QFile::copy(shipped.filePath(QStringLiteral("rd.d")), store));
        QVERIFY(program.mkpath(QStringLiteral("pic")));
        QVERIFY(program.mkpath(QStringLiteral("radiorecord")));
        for (const QString &name : QDir(shipped.filePath(QStringLiteral("pic"))).entryList(QDir::Files))
            QFile::copy(shipped.filePath(QStringLiteral("pic/") + name), program.filePath(QStringLiteral("pic/") + name));
        QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-setup"));
            db.setDatabaseName(store);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("e2e-setup"));

        FakePlatform fakes;
        VlcMediaPlayer mediaPlayer({QStringLiteral("--aout=dummy")});
        QtWebBrowserFactory browsers;
        SystemClock clock;
        RegionalFormat regional;
        PlatformParts parts = fakes.parts;
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.clock = &clock;
        parts.regional = &regional;
        // Wave-out is the real player's output volume; no system mixer.
        PlayerVolumeBackend volume(mediaPlayer, nullptr);
        parts.volume = &volume;
        // Every question is answered OK.
        fakes.messages.confirmAnswer = true;

        const QString name = QStringLiteral("Harbour Tone FM 海港音樂台");
        const QString stream = base + QStringLiteral("stream/1.mp3");
        {
            auto app = std::make_unique<Application>(parts, program.path());
            app->state().directoryBaseUrl = base;
            app->start();
            TForm_main *main = app->mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(main));
            // The player's own output volume is at 127 of 255.
            QCOMPARE(mediaPlayer.outputVolume(), 127 << 8);

            // A directory station, as a pick in the list window loads it.
            app->directory().loadStationPage(QStringLiteral("1"));
            QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), name, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(!main->LabStatus->text().isEmpty(), 20000);

            // Set mode, then slot 3: the station is stored there.
            QTest::mouseClick(main->picMem, Qt::LeftButton);
            QVERIFY(main->TntLabel3->isVisible());
            // The web engine keeps the event loop busy: let the X server
            // catch up before the screen is grabbed.
            main->repaint();
            QTest::qWait(500);
            QVERIFY(xvfb::saveScreen(QStringLiteral("memory_e2e_set_mode.png")));
            QTest::mouseClick(main->picFav[2], Qt::LeftButton);
            QVERIFY(!main->TntLabel3->isVisible());
            QCOMPARE(storeValue(store, QStringLiteral("SELECT name FROM myRadio WHERE slot = 3")).toString(), name);
            QCOMPARE(storeValue(store, QStringLiteral("SELECT url FROM myRadio WHERE slot = 3")).toString(), stream);

            // Hover over slot 3: the name strip below the compact window.
            QTest::mouseMove(main->picFav[2], QPoint(5, 5));
            QTest::mouseMove(main->picFav[2], QPoint(8, 6));
            QTRY_VERIFY_WITH_TIMEOUT(main->RnameLabel->isVisible(), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(main->height(), main->Image1->height(), 5000);
            // The web engine keeps the event loop busy: let the X server
            // catch up before the screen is grabbed.
            main->repaint();
            QTest::qWait(500);
            QVERIFY(xvfb::saveScreen(QStringLiteral("memory_e2e_name_strip.png")));
            QTest::mouseClick(main->picStop, Qt::LeftButton);
        }

        // Started again on the same folder: slot 3 plays the station.
        {
            mediaPlayer.setUrl(QString());
            auto app = std::make_unique<Application>(parts, program.path());
            app->state().directoryBaseUrl = base;
            app->start();
            TForm_main *main = app->mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(main));
            QTest::mouseClick(main->picFav[2], Qt::LeftButton);
            QCOMPARE(mediaPlayer.url(), stream);
            QCOMPARE(main->LabRname->text(), name);
            QCOMPARE(app->memoryStations().slotPictures().at(2), QStringLiteral("pic/picfav3a.bmp"));
            QTRY_COMPARE_WITH_TIMEOUT(mediaPlayer.playState(), MediaPlayer::Playing, 20000);

            // Drag the volume thumb 20 pixels to the right, one pixel at a
            // time as a mouse reports it.
            SkinPicture *thumb = main->picVolSub;
            const int startLeft = thumb->x();
            QTest::mousePress(thumb, Qt::LeftButton, Qt::NoModifier, QPoint(5, 9));
            for (int i = 0; i < 20; ++i)
                QTest::mouseMove(thumb, QPoint(6, 9));
            QTest::mouseRelease(thumb, Qt::LeftButton, Qt::NoModifier, QPoint(6, 9));
            QCOMPARE(thumb->x(), startLeft + 20);
            const int position = qRound((thumb->x() - main->picVolMain->x()) * 2.55);
            QCOMPARE(main->TBar1->value(), position);
            QCOMPARE(mediaPlayer.outputVolume(), position << 8);
            // The web engine keeps the event loop busy: let the X server
            // catch up before the screen is grabbed.
            main->repaint();
            QTest::qWait(500);
            QVERIFY(xvfb::saveScreen(QStringLiteral("memory_e2e_slot3.png")));
            QTest::mouseClick(main->picStop, Qt::LeftButton);
        }
        directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<MemoryEndToEndTest>(argc, argv);
}

#include "memory_e2e_nosan_test.moc"

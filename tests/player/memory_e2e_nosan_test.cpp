// End to end: memory stations and the volume slider on the real player
// (Qt Multimedia and Qt WebEngine) under a private Xvfb, against the
// bundled station directory on a free loopback port. A directory station
// plays, set mode stores it in slot 3, the player is started again on the
// same program folder and slot 3 plays it; the volume thumb is dragged
// with the mouse. Leaves the screenshots memory_e2e_set_mode.png,
// memory_e2e_name_strip.png and memory_e2e_slot3.png in the working folder.

#include <QDir>
#include <QLabel>
#include <QSlider>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

#include "core/memory_stations.h"
#include "bounded_wait.h"
#include "e2e_fixture.h"
#include "platform/player_volume_backend.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

namespace {

QVariant storeValue(const QString &file, const QString &statement)
{
    QSqlRecord row;
    return e2e::runOnStore(file, statement, &row) ? row.value(0) : QVariant();
}

}  // namespace

class MemoryEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeRestartPlayAndDrag()
    {
        // The bundled directory and the shipped program folder, English
        // chosen.
        e2e::Fixture f;
        QVERIFY2(f.start(QString(), true), f.error.c_str());
        const QString store = f.program.filePath(QStringLiteral("rd.d"));

        // Wave-out is the real player's output volume; no system mixer.
        PlayerVolumeBackend volume(f.mediaPlayer, nullptr);
        f.parts.volume = &volume;
        // Every question is answered OK.
        f.fakes.messages.confirmAnswer = true;

        const QString name = QStringLiteral("Harbour Tone FM 海港音樂台");
        const QString stream = f.base + QStringLiteral("stream/1.mp3");
        {
            auto app = f.startPlayer();
            TForm_main *main = app->mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(main));
            // The player's own output volume is at 127 of 255.
            QCOMPARE(f.mediaPlayer.outputVolume(), 127 << 8);

            // A directory station, as a pick in the list window loads it.
            app->directory().loadStationPage(QStringLiteral("1"));
            QTRY_COMPARE_WITH_TIMEOUT(main->LabRname->text(), name, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(!main->LabStatus->text().isEmpty(), testwait::kEngineMs);

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
            QTRY_VERIFY_WITH_TIMEOUT(main->RnameLabel->isVisible(), testwait::kLoadMarginMs);
            QTRY_COMPARE_WITH_TIMEOUT(main->height(), main->Image1->height(), testwait::kLoadMarginMs);
            // The web engine keeps the event loop busy: let the X server
            // catch up before the screen is grabbed.
            main->repaint();
            QTest::qWait(500);
            QVERIFY(xvfb::saveScreen(QStringLiteral("memory_e2e_name_strip.png")));
            QTest::mouseClick(main->picStop, Qt::LeftButton);
        }

        // Started again on the same folder: slot 3 plays the station.
        {
            f.mediaPlayer.setUrl(QString());
            auto app = f.startPlayer();
            TForm_main *main = app->mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(main));
            QTest::mouseClick(main->picFav[2], Qt::LeftButton);
            QCOMPARE(f.mediaPlayer.url(), stream);
            QCOMPARE(main->LabRname->text(), name);
            QCOMPARE(app->memoryStations().slotPictures().at(2), QStringLiteral("pic/picfav3a.bmp"));
            QTRY_COMPARE_WITH_TIMEOUT(f.mediaPlayer.playState(), MediaPlayer::Playing, testwait::kEngineMs);

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
            QCOMPARE(f.mediaPlayer.outputVolume(), position << 8);
            // The web engine keeps the event loop busy: let the X server
            // catch up before the screen is grabbed.
            main->repaint();
            QTest::qWait(500);
            QVERIFY(xvfb::saveScreen(QStringLiteral("memory_e2e_slot3.png")));
            QTest::mouseClick(main->picStop, Qt::LeftButton);
        }
        f.directory.stop();
    }
};

int main(int argc, char **argv)
{
    return xvfb::runTest<MemoryEndToEndTest>(argc, argv);
}

#include "memory_e2e_nosan_test.moc"

#include <QFile>
#include <QLabel>
#include <QToolButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "core/memory_stations.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

namespace {

// A started player over a program folder whose language is chosen, with
// station rows in myRadio.
struct Player
{
    explicit Player(int language = 1)
    {
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = %1, lang2 = %1, firstexe = 'N'").arg(language)});
    }
    void start()
    {
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->start();
        main = app->mainWindow();
    }
    // Writes slot `slot` (1..10) through a connection of its own.
    void putSlot(int slot, const QString &name, const QString &url, int id = 0, const QString &location = {},
                 const QString &genre = {}, const QString &web = {})
    {
        folder.sql({QStringLiteral("UPDATE myRadio SET name = '%1', url = '%2', id = %3, location_id = '%4', "
                                   "genre_id = '%5', weburl = '%6' WHERE slot = %7")
                        .arg(name, url)
                        .arg(id)
                        .arg(location, genre, web)
                        .arg(slot)});
    }
    QString slotValue(int slot, const QString &column) const
    {
        return folder.value(QStringLiteral("SELECT %1 FROM myRadio WHERE slot = %2").arg(column).arg(slot)).toString();
    }
    // The current station as a directory page leaves it.
    void tuneIn(const QString &name, const QString &url, const QString &id)
    {
        MainState &state = app->state();
        state.setStationName(name);
        state.stationStreamUrl = url;
        state.stationId = id;
        state.stationWebUrl = QStringLiteral("http://site.example/");
        state.setStatusText(QStringLiteral("Playing"));
    }
    MemoryStations &memory() { return app->memoryStations(); }

    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
    TForm_main *main = nullptr;
};

QStringList normalPictures()
{
    QStringList names;
    for (int slot = 1; slot <= 10; ++slot)
        names << QStringLiteral("pic/picfav%1.bmp").arg(slot);
    return names;
}

}  // namespace

class MemoryStationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A full slot stops the previous station and plays its own: fields
    // copied, elapsed display from zero, its button highlighted.
    void playFullSlot()
    {
        Player p;
        p.putSlot(4, QStringLiteral("Radio Four"), QStringLiteral("http://127.0.0.1:9/four"), 42,
                  QStringLiteral("Taipei"), QStringLiteral("Jazz"), QStringLiteral("http://four.example/"));
        p.start();
        p.main->lisTime3->setText(QStringLiteral("17"));
        p.platform.mediaPlayer.calls.clear();

        p.main->picFav[3]->clicked();

        QCOMPARE(p.platform.mediaPlayer.calls, (QStringList{"stop", "url=http://127.0.0.1:9/four", "play"}));
        const MainState &state = p.app->state();
        QCOMPARE(p.main->LabRname->text(), QStringLiteral("Radio Four"));
        QCOMPARE(state.stationStreamUrl, QStringLiteral("http://127.0.0.1:9/four"));
        QCOMPARE(state.stationLocation, QStringLiteral("Taipei"));
        QCOMPARE(state.stationGenre, QStringLiteral("Jazz"));
        QCOMPARE(state.stationWebUrl, QStringLiteral("http://four.example/"));
        QCOMPARE(state.stationId, QStringLiteral("42"));
        QCOMPARE(state.stationPageUrl, state.directoryBaseUrl + QStringLiteral("ap/lisradio.asp?radioid= 42"));
        QCOMPARE(state.currentMemorySlot, QStringLiteral("4"));
        QCOMPARE(state.listenSeconds, QStringLiteral("0"));
        QCOMPARE(state.listenStartTime, p.platform.regional.dateTimeText(p.platform.clock.now()));
        QCOMPARE(p.main->lisTime3->text(), QStringLiteral("00"));
        QStringList pictures = normalPictures();
        pictures[3] = QStringLiteral("pic/picfav4a.bmp");
        QCOMPARE(p.memory().slotPictures(), pictures);
        QCOMPARE(p.main->picFav[3]->picture(), QImage(p.folder.picFile(QStringLiteral("picfav4a.bmp"))));
        QCOMPARE(p.main->picFav[2]->picture(), QImage(p.folder.picFile(QStringLiteral("picfav3.bmp"))));

        // Button3 (as the directory's station page uses it) clears it.
        p.main->resetMemoryPictures();
        QCOMPARE(p.memory().slotPictures(), normalPictures());
    }

    // A slot's address plays only as a network stream: a local path or
    // another scheme stored in a slot never reaches the media player.
    void slotAddressMustBePlayable_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("local path") << "/etc/hostname";
        QTest::newRow("file address") << "file:///etc/passwd";
        QTest::newRow("no host") << "http:///etc/passwd";
        QTest::newRow("other scheme") << "ftp://radio.example/x.mp3";
    }
    void slotAddressMustBePlayable()
    {
        QFETCH(QString, url);
        Player p;
        p.putSlot(4, QStringLiteral("Radio Four"), url, 42);
        p.start();
        p.platform.mediaPlayer.calls.clear();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not played")));
        p.main->picFav[3]->clicked();
        for (const QString &call : p.platform.mediaPlayer.calls)
            QVERIFY2(!call.startsWith(QLatin1String("url=")) && call != QLatin1String("play"), qPrintable(call));
        QVERIFY(p.app->state().stationStreamUrl != url);
    }

    // An empty slot stops nothing but becomes current and empties the
    // station fields; the elapsed display starts again from zero.
    void emptySlot()
    {
        Player p;
        p.start();
        p.tuneIn(QStringLiteral("Elsewhere"), QStringLiteral("http://127.0.0.1:9/x"), QStringLiteral("7"));
        p.main->lisTime2->setText(QStringLiteral("05"));
        p.platform.mediaPlayer.calls.clear();

        p.main->btnFav[6]->click();

        QVERIFY(p.platform.mediaPlayer.calls.isEmpty());
        const MainState &state = p.app->state();
        QCOMPARE(state.currentMemorySlot, QStringLiteral("7"));
        QCOMPARE(state.stationStreamUrl, QString());
        QCOMPARE(p.main->LabRname->text(), QStringLiteral("Elsewhere"));
        QCOMPARE(p.main->lisTime2->text(), QStringLiteral("00"));
        QCOMPARE(p.memory().slotPictures(), normalPictures());
    }

    // A missing highlight picture ends the play step: the station plays,
    // but the slot and the station fields stay as they were.
    void missingPictureEndsPlay()
    {
        Player p;
        p.putSlot(2, QStringLiteral("Two"), QStringLiteral("http://127.0.0.1:9/two"), 2);
        p.start();
        QVERIFY(QFile::remove(p.folder.picFile(QStringLiteral("picfav2a.bmp"))));
        p.main->picFav[1]->clicked();
        QCOMPARE(p.platform.mediaPlayer.url(), QStringLiteral("http://127.0.0.1:9/two"));
        QCOMPARE(p.app->state().currentMemorySlot, QStringLiteral("1"));
        QCOMPARE(p.app->state().stationStreamUrl, QString());
    }

    void store_data()
    {
        QTest::addColumn<QString>("status");     // LabStatus before the click
        QTest::addColumn<QString>("slot5Name");  // name already in slot 5
        QTest::addColumn<QString>("slot3Name");  // name in slot 3
        QTest::addColumn<QString>("stationId");
        QTest::addColumn<bool>("answer");       // OK or Cancel
        QTest::addColumn<QString>("question");  // asked, or empty
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("currentSlot");

        const QString exists = QStringLiteral("Radio station already exist. Are you sure save this station?");
        const QString overwrite = QStringLiteral("Overwrite this station?");
        QTest::newRow("empty slot: no question") << "Playing"
                                                 << ""
                                                 << ""
                                                 << "12" << false << "" << true << "5";
        QTest::newRow("overwrite: OK") << "Playing"
                                       << "Old"
                                       << ""
                                       << "12" << true << overwrite << true << "5";
        QTest::newRow("overwrite: Cancel") << "Playing"
                                           << "Old"
                                           << ""
                                           << "12" << false << overwrite << false << "5";
        QTest::newRow("already in slot 3: OK") << "Playing"
                                               << ""
                                               << "New One"
                                               << "12" << true << exists << true << "5";
        QTest::newRow("already in slot 3: Cancel") << "Playing"
                                                   << "Old"
                                                   << "New One"
                                                   << "12" << false << exists << false << "5";
        QTest::newRow("nothing played since start") << ""
                                                    << "Old"
                                                    << ""
                                                    << "12" << true << "" << false << "5";
        QTest::newRow("id not a number") << "Playing"
                                         << ""
                                         << ""
                                         << "x12" << true << "" << false << "1";
    }

    // Set mode, then a slot click stores the current station (or not) and
    // ends set mode; the slot keeps its location and genre.
    void store()
    {
        QFETCH(QString, status);
        QFETCH(QString, slot5Name);
        QFETCH(QString, slot3Name);
        QFETCH(QString, stationId);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(bool, stored);
        QFETCH(QString, currentSlot);

        Player p;
        p.putSlot(5, slot5Name, slot5Name.isEmpty() ? QString() : QStringLiteral("http://127.0.0.1:9/old"), 3,
                  QStringLiteral("Kept location"), QStringLiteral("Kept genre"));
        if (!slot3Name.isEmpty())
            p.putSlot(3, slot3Name, QStringLiteral("http://127.0.0.1:9/new"), 12);
        p.start();
        p.tuneIn(QStringLiteral("New One"), QStringLiteral("http://127.0.0.1:9/new"), stationId);
        p.app->state().setStatusText(status);
        p.platform.messages.confirmAnswer = answer;

        p.main->picMem->clicked();
        QCOMPARE(p.app->state().memorySetMode, QStringLiteral("mem"));
        QVERIFY(!p.main->TntLabel3->isHidden());
        p.platform.mediaPlayer.calls.clear();
        p.main->picFav[4]->clicked();

        if (question.isEmpty()) {
            QVERIFY(p.platform.messages.shown.empty());
        } else {
            QCOMPARE(int(p.platform.messages.shown.size()), 1);
            QCOMPARE(p.platform.messages.shown[0].kind, QStringLiteral("confirm"));
            QCOMPARE(p.platform.messages.shown[0].title, QStringLiteral("Vexa"));
            QCOMPARE(p.platform.messages.shown[0].text, question);
        }
        QCOMPARE(p.slotValue(5, QStringLiteral("name")), stored ? QStringLiteral("New One") : slot5Name);
        if (stored) {
            QCOMPARE(p.slotValue(5, QStringLiteral("url")), QStringLiteral("http://127.0.0.1:9/new"));
            QCOMPARE(p.slotValue(5, QStringLiteral("weburl")), QStringLiteral("http://site.example/"));
            QCOMPARE(p.slotValue(5, QStringLiteral("id")), QStringLiteral("12"));
            QCOMPARE(p.slotValue(5, QStringLiteral("idno")), QStringLiteral("1"));
        }
        QCOMPARE(p.slotValue(5, QStringLiteral("location_id")), QStringLiteral("Kept location"));
        QCOMPARE(p.slotValue(5, QStringLiteral("genre_id")), QStringLiteral("Kept genre"));
        QCOMPARE(p.app->state().currentMemorySlot, currentSlot);
        // Storing plays nothing; set mode is over.
        QVERIFY(p.platform.mediaPlayer.calls.isEmpty());
        QCOMPARE(p.app->state().memorySetMode, QStringLiteral("cancel"));
        QVERIFY(p.main->TntLabel3->isHidden());
        QCOMPARE(p.memory().memPicture(), QStringLiteral("pic/picmem.bmp"));
    }

    void setModePictures_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("onPicture");
        QTest::addColumn<QString>("offPicture");
        QTest::newRow("English") << 1 << "pic/picCancel.bmp"
                                 << "pic/picmem.bmp";
        QTest::newRow("Traditional Chinese") << 2 << "pic/picCancel2.bmp"
                                             << "pic/picmem2.bmp";
        QTest::newRow("Simplified Chinese") << 3 << "pic/picCancel3.bmp"
                                            << "pic/picmem3.bmp";
        QTest::newRow("other number: unchanged") << 4 << ""
                                                 << "";
    }

    void setModePictures()
    {
        QFETCH(int, language);
        QFETCH(QString, onPicture);
        QFETCH(QString, offPicture);
        Player p(language);
        p.start();
        const QImage before = p.main->picMem->picture();

        p.main->picMem->clicked();
        QCOMPARE(p.app->state().memorySetMode, QStringLiteral("mem"));
        QVERIFY(!p.main->TntLabel3->isHidden());
        QCOMPARE(p.memory().memPicture(), onPicture);
        if (onPicture.isEmpty())
            QCOMPARE(p.main->picMem->picture(), before);
        else
            QCOMPARE(p.main->picMem->picture(), QImage(p.folder.picFile(onPicture.mid(4).toLower())));

        p.main->picMem->clicked();
        QCOMPARE(p.app->state().memorySetMode, QStringLiteral("cancel"));
        QVERIFY(p.main->TntLabel3->isHidden());
        QCOMPARE(p.memory().memPicture(), offPicture);
    }

    // Hover over a full slot shows its name, as plain text, below the
    // compact window; over an empty one the window stays compact.
    void hover()
    {
        Player p;
        p.putSlot(2, QStringLiteral("<b>Two</b> &amp; more"), QStringLiteral("http://127.0.0.1:9/two"));
        p.start();
        TForm_main *main = p.main;

        main->picFav[1]->moved(QPoint(3, 3));
        QVERIFY(!main->RnameLabel->isHidden());
        QCOMPARE(main->RnameLabel->text(), QStringLiteral("<b>Two</b> &amp; more"));
        QCOMPARE(main->RnameLabel->textFormat(), Qt::PlainText);
        QCOMPARE(main->height(), main->Image1->height());

        main->picFav[6]->moved(QPoint(3, 3));
        QCOMPARE(main->RnameLabel->text(), QString());
        QCOMPARE(main->height(), TForm_main::kCompactHeight);

        // The skin background hides the strip again.
        main->picFav[1]->moved(QPoint(3, 3));
        main->Image1->moved(QPoint(100, 100));
        QVERIFY(main->RnameLabel->isHidden());
        QCOMPARE(main->height(), TForm_main::kCompactHeight);

        // Playing shows the station's name as plain text, too.
        main->picFav[1]->clicked();
        QCOMPARE(main->LabRname->textFormat(), Qt::PlainText);
        QCOMPARE(main->LabRname->text(), QStringLiteral("<b>Two</b> &amp; more"));
    }

    // The pause picture moves the strip out of the shown area; the next
    // hover brings it back.
    void nameStripComesBackAfterPause()
    {
        Player p;
        p.putSlot(1, QStringLiteral("One"), QStringLiteral("http://127.0.0.1:9/one"));
        p.start();
        TForm_main *main = p.main;
        const int home = main->RnameLabel->x();
        main->picPulse->released(Qt::LeftButton, QPoint(2, 2));
        QVERIFY(main->RnameLabel->x() >= main->Image1->width());

        main->picFav[0]->moved(QPoint(3, 3));
        QCOMPARE(main->RnameLabel->x(), home);
        QVERIFY(!main->RnameLabel->isHidden());
        QVERIFY(main->rect().contains(main->RnameLabel->geometry()));
    }

    void stepping_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("target");
        QTest::newRow("Prev from 1") << "1" << false << "10";
        QTest::newRow("Prev from 6") << "6" << false << "5";
        QTest::newRow("Next from 10") << "10" << true << "1";
        QTest::newRow("Next from 3") << "3" << true << "4";
    }

    void stepping()
    {
        QFETCH(QString, current);
        QFETCH(bool, forward);
        QFETCH(QString, target);
        Player p;
        p.putSlot(target.toInt(), QStringLiteral("Target"), QStringLiteral("http://127.0.0.1:9/t"));
        p.start();
        p.app->state().currentMemorySlot = current;
        if (forward)
            p.main->picFavNext->clicked();
        else
            p.main->btnPrev->click();
        QCOMPARE(p.app->state().currentMemorySlot, target);
        QCOMPARE(p.platform.mediaPlayer.url(), QStringLiteral("http://127.0.0.1:9/t"));
    }

    // Without a logon the favourite-radio command asks for one and opens
    // the member page.
    void favouriteRadioNext()
    {
        Player p;
        p.start();
        QSignalSpy pages(&p.memory(), &MemoryStations::memberPageRequested);
        p.main->btnFavNext->click();
        QCOMPARE(int(p.platform.messages.shown.size()), 1);
        QCOMPARE(p.platform.messages.shown[0].title, QStringLiteral("Error"));
        QCOMPARE(p.platform.messages.shown[0].text, QStringLiteral("You have to logon before use the favorite radio."));
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0][0].toString(), p.app->state().directoryBaseUrl + QStringLiteral("/AP/memberlogon.asp"));
        QCOMPARE(p.app->state().currentMemorySlot, QStringLiteral("1"));
    }

    // A running live recording stops before a slot plays, not before a
    // store.
    void liveRecordingStopsFirst()
    {
        Player p;
        p.putSlot(1, QStringLiteral("One"), QStringLiteral("http://127.0.0.1:9/one"));
        p.start();
        p.main->picRec2->show();
        QStringList order;
        connect(p.main, &TForm_main::recordStopClicked, this, [&] { order << QStringLiteral("record stop"); });
        connect(&p.platform.mediaPlayer, &MediaPlayer::playStateChanged, this,
                [&](MediaPlayer::PlayState state) { order << QString::number(state); });
        p.main->picFav[0]->clicked();
        QCOMPARE(order.value(0), QStringLiteral("record stop"));
        QVERIFY(order.contains(QString::number(MediaPlayer::Playing)));

        order.clear();
        p.main->picMem->clicked();
        p.main->picFav[0]->clicked();
        QVERIFY(!order.contains(QStringLiteral("record stop")));
    }
};

QTEST_MAIN(MemoryStationsTest)
#include "memory_stations_test.moc"

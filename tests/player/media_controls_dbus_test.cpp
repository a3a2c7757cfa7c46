// The player as a desktop media player on a private session bus, driven by
// the real clients playerctl and gdbus: status, metadata after a title
// change, the transport commands, the memory stations as next/previous,
// the volume and Raise. The test runs under dbus-run-session.

#include <QDBusConnection>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "desktop/media_controls.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

// Runs a bus client while the event loop keeps serving the bus; its
// standard output, trimmed.
QString client(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return QStringLiteral("<%1 did not start>").arg(program);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000))
        return QStringLiteral("<%1 did not end>").arg(program);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString playerctl(const QStringList &arguments)
{
    return client(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=vexa_radio_player")} + arguments);
}

QString busProperty(const QString &interface, const QString &name)
{
    return client(QStringLiteral("gdbus"),
                  {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                   QLatin1String(MediaControls::kServicePrefix), QStringLiteral("--object-path"),
                   QLatin1String(MediaControls::kObjectPath), QStringLiteral("--method"),
                   QStringLiteral("org.freedesktop.DBus.Properties.Get"), interface, name});
}

struct Player
{
    Player()
    {
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'"),
                    QStringLiteral("UPDATE myRadio SET name = 'Four', url = 'http://127.0.0.1:9/four' WHERE slot = 4"),
                    QStringLiteral("UPDATE myRadio SET name = 'Two', url = 'http://127.0.0.1:9/two' WHERE slot = 2")});
        app = std::make_unique<Application>(platform.parts, folder.path());
    }
    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
};

}  // namespace

class MediaControlsDbusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
    }

    void statusMetadataAndCommands()
    {
        Player p;
        QVERIFY(p.app->offerMediaControls(QDBusConnection::sessionBus()));
        QCOMPARE(p.app->mediaControls()->serviceName(), QLatin1String(MediaControls::kServicePrefix));
        p.app->start();
        FakeMediaPlayer &media = p.platform.mediaPlayer;
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
        QCOMPARE(client(QStringLiteral("playerctl"), {QStringLiteral("--list-all")}),
                 QLatin1String(MediaControls::kServicePrefix).mid(int(strlen("org.mpris.MediaPlayer2."))));

        // A station with a title, then a new title: clients that follow the
        // player hear of it.
        p.app->state().setStationName(QStringLiteral("Jazz \"FM\""));
        media.setUrl(QStringLiteral("http://127.0.0.1:9/jazz"));
        media.announceTitle(QStringLiteral("Miles Davis - So What"));
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
        QCOMPARE(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
                 QStringLiteral("Miles Davis - So What"));
        QCOMPARE(playerctl({QStringLiteral("metadata"), QStringLiteral("album")}), QStringLiteral("Jazz \"FM\""));
        QCOMPARE(playerctl({QStringLiteral("metadata"), QStringLiteral("artist")}), QStringLiteral("Jazz \"FM\""));
        const QString track = playerctl({QStringLiteral("metadata"), QStringLiteral("mpris:trackid")});
        // playerctl prints an object path in quotes.
        QVERIFY2(track.startsWith(QStringLiteral("'/org/vexa/radioplayer/track/")), qPrintable(track));

        QProcess follower;
        follower.start(QStringLiteral("playerctl"),
                       {QStringLiteral("--player=vexa_radio_player"), QStringLiteral("--follow"),
                        QStringLiteral("metadata"), QStringLiteral("title")});
        QVERIFY(follower.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return follower.readAllStandardOutput().contains("So What"); }, 20000));
        media.announceTitle(QStringLiteral("Bill Evans - Peace Piece"));
        QByteArray followed;
        QVERIFY(QTest::qWaitFor(
            [&] {
                followed += follower.readAllStandardOutput();
                return followed.contains("Peace Piece");
            },
            20000));
        follower.kill();
        follower.waitForFinished(10000);

        // The transport commands are the window's.
        QCOMPARE(playerctl({QStringLiteral("pause")}), QString());
        QCOMPARE(media.playState(), MediaPlayer::Paused);
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
        playerctl({QStringLiteral("play-pause")});
        QCOMPARE(media.playState(), MediaPlayer::Playing);
        playerctl({QStringLiteral("play-pause")});
        QCOMPARE(media.playState(), MediaPlayer::Paused);
        playerctl({QStringLiteral("play")});
        QCOMPARE(media.playState(), MediaPlayer::Playing);

        // Next and previous step through the memory stations.
        p.app->state().currentMemorySlot = QStringLiteral("3");
        playerctl({QStringLiteral("next")});
        QCOMPARE(p.app->state().currentMemorySlot, QStringLiteral("4"));
        QCOMPARE(media.url(), QStringLiteral("http://127.0.0.1:9/four"));
        p.app->state().currentMemorySlot = QStringLiteral("3");
        playerctl({QStringLiteral("previous")});
        QCOMPARE(p.app->state().currentMemorySlot, QStringLiteral("2"));
        QCOMPARE(media.url(), QStringLiteral("http://127.0.0.1:9/two"));

        // The volume is the window's volume slider.
        playerctl({QStringLiteral("volume"), QStringLiteral("0.2")});
        QCOMPARE(p.app->volume().position(), 51);
        QCOMPARE(p.app->mainWindow()->TBar1->value(), 51);
        QCOMPARE(playerctl({QStringLiteral("volume")}), QStringLiteral("0.200000"));

        const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
        for (const char *can : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanControl"})
            QCOMPARE(busProperty(player, QLatin1String(can)), QStringLiteral("(<true>,)"));
        QCOMPARE(busProperty(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")),
                 QStringLiteral("(<'Vexa Radio Player'>,)"));

        playerctl({QStringLiteral("stop")});
        QCOMPARE(media.playState(), MediaPlayer::Stopped);
        QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
        QCOMPARE(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}), QString());
    }

    // Raise brings back a window hidden in the notification area.
    void raiseShowsTheWindow()
    {
        Player p;
        QVERIFY(p.app->offerMediaControls(QDBusConnection::sessionBus()));
        p.app->startInTray();
        TForm_main *main = p.app->mainWindow();
        QVERIFY(p.platform.trayIcon.isShown());
        QVERIFY(!main->isVisible());
        client(QStringLiteral("gdbus"),
               {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                QLatin1String(MediaControls::kServicePrefix), QStringLiteral("--object-path"),
                QLatin1String(MediaControls::kObjectPath), QStringLiteral("--method"),
                QStringLiteral("org.mpris.MediaPlayer2.Raise")});
        QVERIFY(QTest::qWaitFor([&] { return main->isVisible(); }, 10000));
    }

    // A second player on the same bus takes a name of its own; with no bus
    // at all the player offers nothing and runs on.
    void secondPlayerAndNoBus()
    {
        Player first;
        Player second;
        QVERIFY(first.app->offerMediaControls(QDBusConnection::sessionBus()));
        QVERIFY(second.app->offerMediaControls(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"))));
        QVERIFY(second.app->mediaControls()->serviceName().startsWith(QLatin1String(MediaControls::kServicePrefix)
                                                                      + QStringLiteral(".instance")));

        Player alone;
        QVERIFY(!alone.app->offerMediaControls(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"))));
        alone.app->start();
        alone.platform.mediaPlayer.announceTitle(QStringLiteral("Still shown"));
        QCOMPARE(alone.app->mainWindow()->LabNowPlaying->text(), QStringLiteral("Still shown"));
    }
};

QTEST_MAIN(MediaControlsDbusTest)
#include "media_controls_dbus_test.moc"

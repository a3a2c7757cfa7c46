#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "core/volume_control.h"
#include "fake_platform.h"
#include "platform/master_mixer.h"
#include "platform/player_volume_backend.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/skin_picture_widget.h"

namespace {

constexpr quint32 word(quint32 left, quint32 right)
{
    return left | (right << 16);
}

// A started player with fakes; the volume backend may be swapped first.
struct Player
{
    Player() { folder.sql({QStringLiteral("UPDATE apsel SET firstexe = 'N'")}); }
    void start()
    {
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->start();
        main = app->mainWindow();
    }
    int wave() const { return VolumeControl::fromChannels(platform.volume.words[1]); }
    VolumeSlider &volume() { return app->volume(); }

    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
    TForm_main *main = nullptr;
};

class RecordingMixer final : public MasterMixer
{
public:
    bool setMasterVolume(long value) override
    {
        values << value;
        return true;
    }
    QList<long> values;
};

}  // namespace

class VolumeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scale_data()
    {
        QTest::addColumn<quint32>("channels");
        QTest::addColumn<int>("volume");
        QTest::newRow("silent") << word(0, 0) << 0;
        QTest::newRow("left full, right silent") << word(65535, 0) << 127;
        QTest::newRow("both full") << word(65535, 65535) << 255;
        QTest::newRow("127 written") << word(127 << 8, 127 << 8) << 127;
        QTest::newRow("uneven") << word(20000, 30000) << 97;
    }

    void scale()
    {
        QFETCH(quint32, channels);
        QFETCH(int, volume);
        FakeVolumeBackend backend;
        VolumeControl control(backend);
        backend.words[1] = channels;
        QCOMPARE(control.WaveVolume(), volume);
        // A write puts value << 8 on both channels, for every device.
        control.setMidiVolume(volume);
        QCOMPARE(backend.words[2], word(volume << 8, volume << 8));
        QCOMPARE(control.MidiVolume(), volume);

        backend.present = false;
        QCOMPARE(control.WaveVolume(), 0);
        control.setCDVolume(200);
        QCOMPARE(backend.words[0], quint32(0));
    }

    // Start-up sets 127 and places the thumb from the volume read back.
    void startUp_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("thumbLeft");
        QTest::newRow("wave-out device") << true << 127 << 248 + 50;
        QTest::newRow("no device") << false << 0 << 248;
    }

    void startUp()
    {
        QFETCH(bool, device);
        QFETCH(int, position);
        QFETCH(int, thumbLeft);
        Player p;
        p.platform.volume.present = device;
        p.start();
        QCOMPARE(p.platform.volume.words[1], device ? word(127 << 8, 127 << 8) : 0u);
        QCOMPARE(p.main->TBar1->value(), position);
        QCOMPARE(p.main->picVolSub->x(), thumbLeft);
        // Nothing touched the system mixer.
        QCOMPARE(p.platform.volume.speaker, -1L);
    }

    // The thumb's placement keeps it inside the track at the top end.
    void thumbPlacement_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("left");
        QTest::newRow("0") << 0 << 248;
        QTest::newRow("200") << 200 << 248 + 78;
        QTest::newRow("255: right edges meet") << 255 << 248 + 106 - 10;
    }

    void thumbPlacement()
    {
        QFETCH(int, position);
        QFETCH(int, left);
        FakeVolumeBackend backend;
        VolumeControl control(backend);
        VolumeSlider slider(control, {}, nullptr);
        QCOMPARE(slider.thumbLeftFor(position), left);
    }

    void jump_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("position");
        QTest::newRow("left end") << 0 << 0;
        QTest::newRow("middle") << 50 << 120;
        QTest::newRow("right end") << 105 << 253;
    }

    void jump()
    {
        QFETCH(int, x);
        QFETCH(int, position);
        Player p;
        p.start();
        p.main->picVol->clicked();  // muted: the jump shows sound on again
        p.main->picVolMain->pressed(Qt::LeftButton, QPoint(x, 3));
        QCOMPARE(p.main->TBar1->value(), position);
        QCOMPARE(p.wave(), position);
        QCOMPARE(p.main->picVolSub->x(), 248 + x);
        QCOMPARE(p.volume().volPicture(), QStringLiteral("pic/picVol1.bmp"));
    }

    // Dragging stops short of both ends of the track: 3 .. 242.
    void dragRange()
    {
        Player p;
        p.start();
        SkinPicture *thumb = p.main->picVolSub;
        thumb->pressed(Qt::LeftButton, QPoint(5, 9));
        for (int i = 0; i < 150; ++i)
            thumb->moved(QPoint(4, 9));
        QCOMPARE(thumb->x(), 249);
        QCOMPARE(p.main->TBar1->value(), 3);
        QCOMPARE(p.wave(), 3);
        for (int i = 0; i < 150; ++i)
            thumb->moved(QPoint(6, 9));
        QCOMPARE(thumb->x(), 343);
        QCOMPARE(p.main->TBar1->value(), 242);
        // A step that would cross the end is refused as a whole.
        thumb->moved(QPoint(50, 9));
        QCOMPARE(thumb->x(), 343);
        thumb->released(Qt::LeftButton, QPoint(6, 9));
        QVERIFY(!p.volume().dragging());
        thumb->moved(QPoint(0, 9));
        QCOMPARE(thumb->x(), 343);
    }

    void muteAndBack()
    {
        Player p;
        p.start();
        p.main->TBar1->setValue(200);
        QCOMPARE(p.wave(), 200);
        p.main->picVol->clicked();
        QCOMPARE(p.wave(), 0);
        QCOMPARE(p.volume().volPicture(), QStringLiteral("pic/picVol2.bmp"));
        QCOMPARE(p.main->picVol->picture(), QImage(p.folder.picFile(QStringLiteral("picvol2.bmp"))));
        QCOMPARE(p.main->TBar1->value(), 200);

        // Pressing the thumb shows sound on, but the volume stays 0 until
        // the thumb moves.
        p.main->picVolSub->pressed(Qt::LeftButton, QPoint(5, 9));
        QCOMPARE(p.volume().volPicture(), QStringLiteral("pic/picVol1.bmp"));
        QCOMPARE(p.wave(), 0);
        p.main->picVolSub->moved(QPoint(5, 9));
        QCOMPARE(p.wave(), 0);
        p.main->picVolSub->released(Qt::LeftButton, QPoint(5, 9));

        p.main->picVol->clicked();  // WaveVolume is 0: unmute to TBar1
        QCOMPARE(p.wave(), 200);
        QCOMPARE(p.volume().volPicture(), QStringLiteral("pic/picVol1.bmp"));
    }

    void stepDown_data()
    {
        QTest::addColumn<quint32>("before");
        QTest::addColumn<quint32>("after");
        QTest::newRow("both channels lowered") << word(30000, 40000) << word(20000, 30000);
        QTest::newRow("stops at 0, no wrap-around") << word(5000, 65535) << word(0, 55535);
        QTest::newRow("at the bottom") << word(0, 0) << word(0, 0);
    }

    void stepDown()
    {
        QFETCH(quint32, before);
        QFETCH(quint32, after);
        Player p;
        p.start();
        p.platform.volume.words[1] = before;
        p.main->volM->click();
        QCOMPARE(p.platform.volume.words[1], after);
    }

    void speakerButtons_data()
    {
        QTest::addColumn<bool>("mixer");
        QTest::newRow("mixer") << true;
        QTest::newRow("no mixer") << false;
    }

    void speakerButtons()
    {
        QFETCH(bool, mixer);
        Player p;
        p.platform.volume.mixer = mixer;
        p.start();
        p.main->volPlus->click();
        QCOMPARE(p.platform.volume.speaker, mixer ? 5L : -1L);
        QVERIFY(p.platform.messages.shown.empty());
        p.main->SpeedButton2->click();
        QCOMPARE(p.platform.volume.speaker, mixer ? 0L : -1L);
        if (mixer) {
            QCOMPARE(int(p.platform.messages.shown.size()), 1);
            QCOMPARE(p.platform.messages.shown[0].text, QStringLiteral("Volume should now be set to zero"));
        } else {
            QVERIFY(p.platform.messages.shown.empty());
        }
    }

    // Wave-out is the media player's own volume; no CD or MIDI device.
    void playerBackend()
    {
        FakeMediaPlayer player;
        RecordingMixer mixer;
        PlayerVolumeBackend backend(player, &mixer);
        VolumeControl control(backend);
        control.setWaveVolume(127);
        QCOMPARE(player.volume, 127 << 8);
        QCOMPARE(control.WaveVolume(), 127);
        backend.setChannels(VolumeBackend::Device::WaveOut, word(20000, 10000));
        QCOMPARE(player.volume, 15000);
        QCOMPARE(backend.channels(VolumeBackend::Device::WaveOut), word(15000, 15000));
        QVERIFY(!backend.hasDevice(VolumeBackend::Device::Auxiliary));
        QVERIFY(!backend.hasDevice(VolumeBackend::Device::MidiOut));
        control.setMidiVolume(100);
        QCOMPARE(control.MidiVolume(), 0);
        QVERIFY(backend.setSpeakerVolume(5));
        QCOMPARE(mixer.values, QList<long>{5});
        PlayerVolumeBackend noMixer(player, nullptr);
        QVERIFY(!noMixer.setSpeakerVolume(5));
    }
};

QTEST_MAIN(VolumeTest)
#include "volume_test.moc"

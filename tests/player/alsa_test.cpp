// The ALSA parts against ALSA configurations that the test writes itself
// (ALSA_CONFIG_PATH): none with any device, and one with a software mixer
// (a small control plugin built with the tests) and a capture-capable PCM.
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <alsa/asoundlib.h>

#include "fake_platform.h"
#include "platform/alsa_capture_devices.h"
#include "platform/alsa_mixer.h"
#include "platform/player_volume_backend.h"
#include "player_fixture.h"
#include "recording/record_setup.h"
#include "recording/record_setup_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

// Points ALSA at one configuration file for the life of the object.
class AlsaConfiguration
{
public:
    explicit AlsaConfiguration(const QString &text)
    {
        const QString path = m_dir.filePath(QStringLiteral("asound.conf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(QString(text)
                       .replace(QStringLiteral("@STATE@"), m_dir.filePath(QStringLiteral("mixer.state")))
                       .replace(QStringLiteral("@PLUGIN@"), QStringLiteral(VEXA_TEST_MIXER_CTL))
                       .toUtf8());
        file.close();
        qputenv("ALSA_CONFIG_PATH", path.toLocal8Bit());
        // The configuration is read again at the next open.
        snd_config_update_free_global();
    }
    ~AlsaConfiguration()
    {
        qunsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
    }

private:
    QTemporaryDir m_dir;
};

const char *const kNothing = "# no devices\n";

const char *const kMixerAndCapture = R"(
ctl_type.vexatest { lib "@PLUGIN@" }
ctl.!default { type vexatest  state "@STATE@"  lines "Mic=1,Line=0,CD=1" }
pcm.vexacap {
    type null
    hint { show on  description "Vexa test capture" }
}
ctl.vexacap { type vexatest  state "@STATE@"  lines "Mic=1,Line=0,CD=1" }
)";

const char *const kMixerWithoutMaster = R"(
ctl_type.vexatest { lib "@PLUGIN@" }
ctl.!default { type vexatest  state "@STATE@"  master 0  lines "Mic=1" }
)";

// A player with fakes except for the ALSA parts.
struct Player
{
    Player() : volume(platform.mediaPlayer, &mixer)
    {
        folder.sql({QStringLiteral("UPDATE apsel SET firstexe = 'N'")});
        platform.parts.volume = &volume;
        platform.parts.captureDevices = &capture;
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->start();
    }

    ProgramFolder folder;
    FakePlatform platform;
    AlsaMixer mixer;
    PlayerVolumeBackend volume;
    AlsaCaptureDevices capture;
    std::unique_ptr<Application> app;
};

}  // namespace

class AlsaTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // No device at all: the player starts, the speaker buttons and the
    // capture setup do nothing.
    void noDevice()
    {
        AlsaConfiguration config(QString::fromLatin1(kNothing));
        QVERIFY(!AlsaMixer().setMasterVolume(5));
        QCOMPARE(AlsaMixer().masterVolume(), -1L);
        QVERIFY(!AlsaCaptureDevices().firstDevice());

        Player p;
        QVERIFY(p.app->mainWindow()->isVisible());
        p.app->mainWindow()->volPlus->click();
        p.app->mainWindow()->SpeedButton2->click();
        QVERIFY(p.platform.messages.shown.empty());
        QCOMPARE(p.app->recordSetupWindow()->InputLines->count(), 0);
        QCOMPARE(p.app->recordSetupWindow()->AudioFormats->count(), 0);
        // Start-up set the player's own volume only.
        QCOMPARE(p.platform.mediaPlayer.volume, 127 << 8);
    }

    void masterVolume()
    {
        AlsaConfiguration config(QString::fromLatin1(kMixerAndCapture));
        AlsaMixer mixer;
        QCOMPARE(mixer.masterVolume(), 40L);
        // Starting the player leaves the system master alone.
        {
            Player p;
            QCOMPARE(mixer.masterVolume(), 40L);
            p.app->mainWindow()->volPlus->click();
            QCOMPARE(mixer.masterVolume(), 5L);
            QVERIFY(p.platform.messages.shown.empty());
            p.app->mainWindow()->SpeedButton2->click();
            QCOMPARE(mixer.masterVolume(), 0L);
            QCOMPARE(int(p.platform.messages.shown.size()), 1);
            QCOMPARE(p.platform.messages.shown[0].text, QStringLiteral("Volume should now be set to zero"));
        }
        // Values beyond the mixer's range are clamped into it.
        QVERIFY(mixer.setMasterVolume(1000));
        QCOMPARE(mixer.masterVolume(), 87L);
    }

    void mixerWithoutMaster()
    {
        AlsaConfiguration config(QString::fromLatin1(kMixerWithoutMaster));
        QVERIFY(!AlsaMixer().setMasterVolume(5));
    }

    void captureDevice()
    {
        AlsaConfiguration config(QString::fromLatin1(kMixerAndCapture));
        const std::optional<CaptureDevice> device = AlsaCaptureDevices().firstDevice();
        QVERIFY(device);
        QCOMPARE(device->name, QStringLiteral("vexacap"));
        QStringList lines;
        for (const CaptureInputLine &line : device->inputLines)
            lines << line.name + (line.enabled ? QStringLiteral("=on") : QStringLiteral("=off"));
        lines.sort();
        QCOMPARE(lines, (QStringList{"CD=on", "Line=off", "Mic=on"}));
        // The null device takes every format tried.
        QCOMPARE(device->formats.size(), AlsaCaptureDevices::sampleRates().size() * 4);
        QCOMPARE(RecordSetup::formatText(device->formats.first()), RecordSetup::formatText({44100, 16, 2}));

        Player p;
        TrecMainForm *window = p.app->recordSetupWindow();
        QCOMPARE(window->InputLines->count(), 3);
        QCOMPARE(window->AudioFormats->count(), device->formats.size());
        QVERIFY(device->inputLines.value(window->InputLines->currentIndex()).enabled
                || window->InputLines->currentIndex() == -1);
    }

    void controlName_data()
    {
        QTest::addColumn<QString>("pcm");
        QTest::addColumn<QString>("control");
        QTest::newRow("card device") << "hw:CARD=PCH,DEV=0"
                                     << "hw:CARD=PCH";
        QTest::newRow("sysdefault") << "sysdefault:CARD=PCH"
                                    << "hw:CARD=PCH";
        QTest::newRow("plain name") << "default"
                                    << "default";
        QTest::newRow("name with arguments") << "vexacap:1"
                                             << "vexacap";
    }

    void controlName()
    {
        QFETCH(QString, pcm);
        QFETCH(QString, control);
        QCOMPARE(AlsaCaptureDevices::controlName(pcm), control);
    }
};

QTEST_MAIN(AlsaTest)
#include "alsa_test.moc"

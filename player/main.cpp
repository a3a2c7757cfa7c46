// radioplayer: the internet radio player. Takes no arguments; its program
// folder (the executable's folder) holds rd.d, pic/ and radiorecord/.
#include <QApplication>

#include "platform/alsa_capture_devices.h"
#include "platform/alsa_mixer.h"
#include "platform/clock.h"
#include "platform/inert_parts.h"
#include "platform/platform_parts.h"
#include "platform/player_volume_backend.h"
#include "platform/qt_external_browser.h"
#include "platform/qt_media_player.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_notification_icon.h"
#include "platform/qt_web_browser.h"
#include "platform/regional_format.h"
#include "shell/application.h"

int main(int argc, char *argv[])
{
    QtWebBrowserFactory::prepareEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexa Radio Player"));
    QApplication::setQuitOnLastWindowClosed(false);

    QtMediaPlayer mediaPlayer;
    QtWebBrowserFactory browsers;
    QtExternalBrowser externalBrowser;
    InertProcessLauncher processes;
    // Wave-out is the player's own output volume; the speaker buttons
    // work on the ALSA master, when there is one.
    AlsaMixer mixer;
    PlayerVolumeBackend volume(mediaPlayer, &mixer);
    AlsaCaptureDevices captureDevices;
    SystemClock clock;
    RegionalFormat regional;
    QtMessageBoxes messages;
    QtNotificationIcon trayIcon;

    PlatformParts parts;
    parts.mediaPlayer = &mediaPlayer;
    parts.browsers = &browsers;
    parts.processes = &processes;
    parts.volume = &volume;
    parts.captureDevices = &captureDevices;
    parts.clock = &clock;
    parts.regional = &regional;
    parts.messages = &messages;
    parts.trayIcon = &trayIcon;
    parts.externalBrowser = &externalBrowser;

    Application player(parts, QCoreApplication::applicationDirPath());
    QObject::connect(&player, &Application::finished, &app, &QCoreApplication::quit);
    player.start();
    return app.exec();
}

// radioplayer: the internet radio player. Its program folder (the
// executable's folder) holds rd.d, pic/ and radiorecord/.
//   radioplayer [--directory URL] [--hitlog URL]
#include <QApplication>

#include <cstdio>

#include "core/program_options.h"

#include "platform/alsa_capture_devices.h"
#include "platform/alsa_mixer.h"
#include "platform/clock.h"
#include "platform/inert_parts.h"
#include "platform/platform_parts.h"
#include "platform/player_volume_backend.h"
#include "platform/posix_process_launcher.h"
#include "platform/qt_external_browser.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_notification_icon.h"
#include "platform/qt_report_sender.h"
#include "platform/qt_web_browser.h"
#include "platform/regional_format.h"
#include "platform/vlc_media_player.h"
#include "shell/application.h"

int main(int argc, char *argv[])
{
    QtWebBrowserFactory::prepareEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexa Radio Player"));
    QApplication::setQuitOnLastWindowClosed(false);
    ProgramOptions options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        std::fprintf(stderr, "radioplayer: %s\n%s", qPrintable(error), qPrintable(ProgramOptions::usage()));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(ProgramOptions::usage()), stdout);
        return 0;
    }

    VlcMediaPlayer mediaPlayer;
    QtWebBrowserFactory browsers;
    QtExternalBrowser externalBrowser;
    PosixProcessLauncher processes;
    // Wave-out is the player's own output volume; the speaker buttons
    // work on the ALSA master, when there is one.
    AlsaMixer mixer;
    PlayerVolumeBackend volume(mediaPlayer, &mixer);
    AlsaCaptureDevices captureDevices;
    SystemClock clock;
    RegionalFormat regional;
    QtMessageBoxes messages;
    QtNotificationIcon trayIcon;
    QtReportSender reports;

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
    parts.reports = &reports;

    Application player(parts, QCoreApplication::applicationDirPath());
    player.useAddresses(options.directoryBaseUrl, options.hitLogBaseUrl);
    QObject::connect(&player, &Application::finished, &app, &QCoreApplication::quit);
    player.start();
    return app.exec();
}

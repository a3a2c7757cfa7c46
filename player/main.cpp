// radioplayer: the internet radio player. Run from its build folder it
// keeps rd.d, pic/ and radiorecord/ beside the executable; installed, each
// user has them in a folder of their own (desktop/data_folders.h).
//   radioplayer [--directory URL] [--hitlog URL] [--tray] [--help] [--version]
#include <QApplication>
#include <QDBusConnection>
#include <QDir>

#include <cstdio>

#include "core/program_options.h"
#include "desktop/data_folders.h"

#include "platform/alsa_capture_devices.h"
#include "platform/alsa_mixer.h"
#include "platform/clock.h"
#include "platform/inert_parts.h"
#include "platform/platform_parts.h"
#include "platform/player_volume_backend.h"
#include "platform/posix_close_signals.h"
#include "platform/posix_process_launcher.h"
#include "platform/qt_external_browser.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_notification_icon.h"
#include "platform/qt_report_sender.h"
#include "platform/qt_web_browser.h"
#include "platform/regional_format.h"
#include "platform/vlc_media_player.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/single_instance.h"
#include "store/store.h"

int main(int argc, char *argv[])
{
    // The command line is read before the application exists: --help and
    // --version answer without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    ProgramOptions options;
    QString error;
    if (!options.parse(arguments, &error)) {
        std::fprintf(stderr, "radioplayer: %s\n%s", qPrintable(error), qPrintable(ProgramOptions::usage()));
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(qPrintable(options.help ? ProgramOptions::usage() : ProgramOptions::versionText()), stdout);
        return 0;
    }

    QtWebBrowserFactory::prepareEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexa Radio Player"));
    QApplication::setQuitOnLastWindowClosed(false);

    const DataFolders folders = DataFolders::locate(QCoreApplication::applicationDirPath());
    if (!folders.prepare(&error))
        std::fprintf(stderr, "radioplayer: %s\n", qPrintable(error));
    // One player per store: a second start brings the first to the front.
    const QString storeFile = Store::fileIn(folders.dataDir);
    SingleInstance instance(storeFile);
    switch (instance.claim()) {
    case SingleInstance::Claim::Own:
        break;
    case SingleInstance::Claim::OtherRaised:
        return 0;
    case SingleInstance::Claim::OtherSilent: {
        const QString text = QStringLiteral("Another Vexa Radio Player is using %1 and does not answer. Close it, "
                                            "or end its process, and start the player again.")
                                 .arg(QDir::toNativeSeparators(storeFile));
        std::fprintf(stderr, "radioplayer: %s\n", qPrintable(text));
        QtMessageBoxes().error(QStringLiteral("Error"), text);
        return 1;
    }
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

    Application player(parts, folders.dataDir);
    player.useAddresses(options.directoryBaseUrl, options.hitLogBaseUrl);
    // The close steps may run before the event loop does (a close signal
    // while the first-run language choice waits in its own loop): quit()
    // then ends only that loop, so the finish is also remembered.
    bool finished = false;
    QObject::connect(&player, &Application::finished, &app, [&finished] {
        finished = true;
        QCoreApplication::quit();
    });
    QObject::connect(&instance, &SingleInstance::raiseRequested, player.mainWindow(), &TForm_main::showWindow);
    // SIGTERM, SIGINT and SIGHUP close the main window, with its close steps.
    PosixCloseSignals closeSignals(player.mainWindow());
    // Without a session bus the player runs as before.
    player.offerMediaControls(QDBusConnection::sessionBus());
    player.showRecordingNotices(QDBusConnection::sessionBus());
    if (options.tray)
        player.startInTray();
    else
        player.start();
    if (finished)
        return 0;
    return app.exec();
}

#pragma once

#include <QString>
#include <QStringList>

// The command line of radioplayer:
//   radioplayer [--directory URL] [--hitlog URL] [--tray] [--help] [--version]
// Both addresses default to the values the build was configured with.
struct ProgramOptions
{
    // Base address of the station directory, always ending with "/".
    QString directoryBaseUrl;
    // Base address of the hit-log server, without a trailing "/" (the
    // report appends "/cgi-bin/hlog").
    QString hitLogBaseUrl;
    bool help = false;
    bool version = false;
    // Start in the notification area, without showing the main window.
    bool tray = false;

    ProgramOptions();

    // Reads `arguments` (the program name first). False, with a one-line
    // reason in `error`, for an unknown option, a missing value, a stray
    // argument or an address that is not an absolute http/https address.
    bool parse(const QStringList &arguments, QString *error);
    static QString usage();
    // "radioplayer VERSION" and a newline.
    static QString versionText();
};

#include "core/program_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "build_config.h"
#include "platform/external_browser.h"

namespace {

const QCommandLineOption kDirectory(QStringLiteral("directory"), QStringLiteral("station directory base address"),
                                    QStringLiteral("URL"));
const QCommandLineOption kHitLog(QStringLiteral("hitlog"), QStringLiteral("hit-log server base address"),
                                 QStringLiteral("URL"));
const QCommandLineOption kTray(QStringLiteral("tray"), QStringLiteral("start in the notification area"));
const QCommandLineOption kHelp(QStringLiteral("help"), QStringLiteral("show this text"));
const QCommandLineOption kVersion(QStringLiteral("version"), QStringLiteral("show the version"));

}  // namespace

ProgramOptions::ProgramOptions()
    : directoryBaseUrl(QStringLiteral(VEXA_DIRECTORY_BASE_URL)),
      hitLogBaseUrl(QStringLiteral(VEXA_HITLOG_BASE_URL))
{
}

QString ProgramOptions::usage()
{
    return QStringLiteral("usage: radioplayer [--directory URL] [--hitlog URL] [--tray]\n"
                          "  --directory URL  station directory base address (default %1)\n"
                          "  --hitlog URL     hit-log server base address (default %2)\n"
                          "  --tray           start in the notification area, main window hidden\n"
                          "  --help           show this text\n"
                          "  --version        show the version\n")
        .arg(QStringLiteral(VEXA_DIRECTORY_BASE_URL), QStringLiteral(VEXA_HITLOG_BASE_URL));
}

QString ProgramOptions::versionText()
{
    return QStringLiteral("radioplayer " VEXA_VERSION "\n");
}

bool ProgramOptions::parse(const QStringList &arguments, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kDirectory);
    parser.addOption(kHitLog);
    parser.addOption(kTray);
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: ") + parser.positionalArguments().constFirst());
    help = parser.isSet(kHelp);
    version = parser.isSet(kVersion);
    tray = parser.isSet(kTray);
    if (parser.isSet(kDirectory)) {
        QString url = parser.value(kDirectory);
        if (!ExternalBrowser::isWebAddress(url))
            return fail(QStringLiteral("--directory needs an http or https address: ") + url);
        if (!url.endsWith(QLatin1Char('/')))
            url += QLatin1Char('/');
        directoryBaseUrl = url;
    }
    if (parser.isSet(kHitLog)) {
        QString url = parser.value(kHitLog);
        if (!ExternalBrowser::isWebAddress(url))
            return fail(QStringLiteral("--hitlog needs an http or https address: ") + url);
        while (url.endsWith(QLatin1Char('/')))
            url.chop(1);
        hitLogBaseUrl = url;
    }
    return true;
}

#include "desktop/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Autostart {

QString entryFile()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/vexa-radio-player.desktop");
}

bool isEnabled()
{
    QFile file(entryFile());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}

QString execArgument(const QString &argument)
{
    // Reserved characters make the argument quoted; inside the quotes ",
    // `, $ and \ take a backslash. The string escape of the key then
    // doubles every backslash, and % is written %%.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = argument;
    bool needsQuotes = argument.isEmpty();
    for (QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (needsQuotes) {
        quoted.clear();
        for (QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // A line break would end the key: a program path never holds one.
    quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return quoted;
}

QString entryText(const QString &program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vexa Radio Player\n"
                          "Comment=Runs the recording schedule after login\n"
                          "Exec=%1 --tray\n"
                          "Icon=vexa-radio-player\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(program));
}

bool setEnabled(bool on, const QString &program, QString *error)
{
    const QString file = entryFile();
    auto fail = [error, &file](const QString &why) {
        if (error)
            *error = file + QStringLiteral(": ") + why;
        return false;
    };
    if (!on) {
        if (QFile::exists(file) && !QFile::remove(file))
            return fail(QStringLiteral("cannot be removed"));
        return true;
    }
    if (!QDir().mkpath(QFileInfo(file).path()))
        return fail(QStringLiteral("its folder cannot be made"));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return fail(out.errorString());
    out.write(entryText(program).toUtf8());
    if (!out.commit())
        return fail(out.errorString());
    return true;
}

}  // namespace Autostart

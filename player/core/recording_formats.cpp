#include "core/recording_formats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace RecordingFormats {

QStringList recorderExtensions()
{
    return {QStringLiteral(".wma"),  QStringLiteral(".mp3"), QStringLiteral(".aac"), QStringLiteral(".ogg"),
            QStringLiteral(".opus"), QStringLiteral(".ts"),  QStringLiteral(".m4a"), QStringLiteral(".mp4")};
}

QStringList listNameFilters()
{
    QStringList filters{QStringLiteral("*.wav")};
    for (const QString &extension : recorderExtensions())
        filters << QLatin1Char('*') + extension;
    return filters;
}

QString recordingFile(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return {};
    const QDir dir(folder);
    for (const QString &extension : recorderExtensions()) {
        const QFileInfo file(dir.filePath(name + extension));
        if (file.isFile() && file.size() > 0)
            return name + extension;
    }
    return {};
}

void removeEmptyOutput(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return;
    const QDir dir(folder);
    for (const QString &extension : recorderExtensions()) {
        const QFileInfo file(dir.filePath(name + extension));
        if (file.isFile() && file.size() == 0)
            QFile::remove(file.filePath());
    }
}

}  // namespace RecordingFormats

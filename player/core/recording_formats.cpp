#include "core/recording_formats.h"

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

}  // namespace RecordingFormats

#include "recording/recordings_list.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "core/main_state.h"
#include "core/playback.h"
#include "core/recording_formats.h"
#include "platform/media_player.h"

RecordingsList::RecordingsList(MainState &state, MediaPlayer &player, Playback &playback, const QString &programDir,
                               QObject *parent)
    : QObject(parent),
      m_state(state),
      m_player(player),
      m_playback(playback),
      m_programDir(programDir)
{
}

QStringList RecordingsList::nameFilters()
{
    return RecordingFormats::listNameFilters();
}

bool RecordingsList::listed(const QString &fileName)
{
    return QDir::match(nameFilters(), fileName);
}

QString RecordingsList::initialFolder() const
{
    const QString folder = QDir(m_programDir).filePath(QStringLiteral("radiorecord"));
    if (QFileInfo(folder).isDir())
        return QDir(folder).absolutePath();
    return QDir::currentPath();
}

QStringList RecordingsList::drives()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    roots.sort();
    return roots;
}

QString RecordingsList::driveOf(const QString &folder)
{
    const QStorageInfo volume(folder);
    return volume.isValid() ? volume.rootPath() : QDir::rootPath();
}

void RecordingsList::play(const QString &filePath)
{
    // A local recording: marked so that no listening report is sent.
    if (!m_playback.playLocalFile(filePath))
        return;
    m_playback.resetElapsed();
    m_playback.setElapsedTimerOn(true);
    m_state.setStationName(QFileInfo(filePath).fileName());
    Q_EMIT memoryPicturesResetRequested();
}

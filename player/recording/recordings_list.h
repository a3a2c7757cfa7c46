#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class MainState;
class MediaPlayer;
class Playback;

// The recordings list's logic: which files it lists, where it opens, the
// drives it offers, and playing a chosen file in the main window as a
// local recording (no listening report).
class RecordingsList : public QObject
{
    Q_OBJECT
public:
    RecordingsList(MainState &state, MediaPlayer &player, Playback &playback, const QString &programDir,
                   QObject *parent = nullptr);

    // The file list's mask (every recording ending, RecordingFormats) as name filters; names are
    // compared without regard to case.
    static QStringList nameFilters();
    static bool listed(const QString &fileName);

    // The folder the list opens on: the recordings folder, or the current
    // folder when there is none.
    QString initialFolder() const;
    // Root paths of the mounted volumes (the drive list).
    static QStringList drives();
    // The drive (volume root) a folder lies on.
    static QString driveOf(const QString &folder);

    // Double click on a file: plays it in the main window.
    void play(const QString &filePath);

Q_SIGNALS:
    // The memory-station buttons show their normal pictures again.
    void memoryPicturesResetRequested();

private:
    MainState &m_state;
    MediaPlayer &m_player;
    Playback &m_playback;
    QString m_programDir;
};

#pragma once
// The files a recording can be: the endings the recorders give their
// output (by what the station serves), and the recordings list's mask.
// One home, so the list, the runner and the recorders agree.

#include <QStringList>

namespace RecordingFormats {

// Endings a recorder adds to the output name it is given, in the order a
// finished recording is looked for: Windows Media, MP3, AAC, Ogg, Opus,
// HLS transport stream, fragmented MP4 (audio, then with video).
QStringList recorderExtensions();
// The recordings list's name filters: every recorder ending, and ".wav".
QStringList listNameFilters();
// The file name (`name` + a recorder ending) of the recording a recorder
// given `folder` + `name` has written, when it holds at least one byte;
// empty otherwise. An empty file is no recording.
QString recordingFile(const QString &folder, const QString &name);
// Removes the empty files a recorder given `folder` + `name` left (one
// that ended without writing a byte).
void removeEmptyOutput(const QString &folder, const QString &name);
inline bool hasRecording(const QString &folder, const QString &name)
{
    return !recordingFile(folder, name).isEmpty();
}

}  // namespace RecordingFormats

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

}  // namespace RecordingFormats

#pragma once
// The copier of the framed audio formats (AAC in ADTS frames, Ogg pages):
// whole frames or pages only, from the first real start of the stream.

namespace netgrab {

struct CaptureState;

enum class FramedFormat { Aac, Ogg };

// Records the stream whose answer (header block and the first body bytes)
// is receiveBuffer[0, count), then, when the answer kept s.connection
// open, what follows on it. The file (".aac"; ".ogg", or ".opus" for an Opus stream)
// is opened with the first whole frame or page, so an answer without one
// leaves none. Closes the connection and the file; lastError says how it ended.
void captureFramedAudio(CaptureState &s, FramedFormat format, bool kept, int count);

}  // namespace netgrab

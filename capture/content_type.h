#pragma once
// The content types of stream answers: which copier records a type, and
// the type as it is named in a message.

#include <cstddef>

namespace netgrab {

enum class StreamType {
    None,          // the answer names no type
    MpegAudio,     // "audio/mpeg": the MPEG audio copier (".mp3")
    Aac,           // ADTS frames (".aac")
    Ogg,           // Ogg pages (".ogg", ".opus")
    WindowsMedia,  // left to MMS over HTTP (".wma")
    Unrecordable,  // any other type: refused
};

// The class of a Content-Type value (parameters after ';' and the case of
// letters do not matter).
StreamType streamTypeOf(const char *contentType);
// The media type of a Content-Type value, parameters cut off, for a
// message: characters outside printable ASCII become '?', cut to cap.
void printableMediaType(const char *contentType, char *out, size_t cap);

}  // namespace netgrab

// Framed audio: bytes of the answer pass the chunked framing (http_text),
// the ICY metadata filter and the format's framer; only the whole units
// the framer hands out reach the file.
#include "framed_audio.h"

#include <memory>

#include "adts_frames.h"
#include "capture_state.h"
#include "connection.h"
#include "http_text.h"
#include "icy_metadata.h"
#include "netgrab.h"
#include "ogg_pages.h"
#include "output_file.h"
#include "stream_copy.h"
#include "trace.h"

namespace netgrab {

namespace {

// Receive size while streaming: about a quarter second of 128 kbit/s.
constexpr int kFramedReceiveSize = 4096;

template <typename Framer>
class FramedCopy
{
public:
    FramedCopy(CaptureState &s, Framer &framer, const char *(*extension)(const Framer &))
        : s_(s),
          framer_(framer),
          extension_(extension)
    {
    }

    // Passes bytes through the filter and the framer and writes the whole
    // units; false when the file cannot be opened or written.
    bool feed(unsigned char *bytes, size_t length)
    {
        length = icy_.filter(bytes, length);
        while (length > 0) {
            const size_t taken = framer_.push(bytes, length);
            bytes += taken;
            length -= taken;
            const unsigned char *unit = nullptr;
            size_t unitLength = 0;
            while (framer_.next(&unit, &unitLength)) {
                if (!write(unit, unitLength))
                    return false;
            }
            if (taken == 0)
                break;  // the framer can take no more: the rest is dropped
        }
        return true;
    }
    IcyMetadataFilter &icy() { return icy_; }
    bool wroteAny() const { return opened_; }

private:
    bool write(const unsigned char *unit, size_t length)
    {
        if (!opened_) {
            if (!openOutput(s_, extension_(framer_)))
                return false;
            opened_ = true;
        }
        if (!writeOutput(s_, unit, static_cast<int>(length)))
            return false;
        shared().recordedBytes.fetch_add(static_cast<int32_t>(length), std::memory_order_relaxed);
        return true;
    }

    CaptureState &s_;
    Framer &framer_;
    const char *(*extension_)(const Framer &);
    IcyMetadataFilter icy_;
    bool opened_ = false;
};

const char *aacExtension(const AdtsFramer &)
{
    return ".aac";
}
const char *oggExtension(const OggPager &pager)
{
    return pager.opus() ? ".opus" : ".ogg";
}

template <typename Framer>
void copyStream(CaptureState &s, Framer &framer, const char *(*extension)(const Framer &), bool kept, int count)
{
    FramedCopy<Framer> copy(s, framer, extension);
    auto finish = [&](int error) {
        if (!copy.wroteAny() && error != NG_ERR_FILE_OPEN)
            traceLine("framed audio: the stream ended before a frame start");
        shared().lastError = error;
        closeOutput(s.output);
        closeConnection(s.connection);
    };
    auto *answer = reinterpret_cast<unsigned char *>(s.receiveBuffer);
    const int headerEnd = headerBlockEnd(s.receiveBuffer, count);
    if (headerEnd < 0) {
        finish(NG_ERR_REFUSED);
        return;
    }
    copy.icy().start(icyMetaInterval(s.receiveBuffer, static_cast<size_t>(headerEnd)));
    const int bodyStart = headerEnd + 4;
    if (!copy.feed(answer + bodyStart, static_cast<size_t>(count - bodyStart))) {
        finish(NG_ERR_FILE_OPEN);
        return;
    }
    // An answer shorter than the request buffer kept no connection: the
    // stream is over.
    if (!kept) {
        finish(NG_ERR_RECEIVE);
        return;
    }
    finish(copyRestOfBody(s, kFramedReceiveSize,
                          [&](unsigned char *bytes, int n) { return copy.feed(bytes, static_cast<size_t>(n)); }));
}

}  // namespace

void captureFramedAudio(CaptureState &s, FramedFormat format, bool kept, int count)
{
    if (format == FramedFormat::Aac) {
        auto framer = std::make_unique<AdtsFramer>();
        copyStream<AdtsFramer>(s, *framer, &aacExtension, kept, count);
    } else {
        auto pager = std::make_unique<OggPager>();
        copyStream<OggPager>(s, *pager, &oggExtension, kept, count);
    }
}

}  // namespace netgrab

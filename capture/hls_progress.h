#pragma once
// What the HLS route keeps for one capture (CaptureState::hls).

#include <cstdint>
#include <string>

#include "hls_sequencer.h"

namespace netgrab {

// What a capture keeps across its attempts: the segments already taken
// (none is fetched twice), the file the segments go to and the init
// segment at its start, and the last key.
struct HlsProgress
{
    HlsSequencer sequencer;
    std::string extension;  // ".ts", ".aac", ".mp3", ".m4a", ".mp4" once chosen
    int fileVariant = 0;    // 0: NAME.ext; n >= 2: NAME-n.ext
    std::string initBytes;  // the init segment at the start of the current file
    std::string initAddress;
    std::string keyAddress;
    uint8_t key[16] = {};
    bool refusalShown = false;  // the refusal line of an encrypted stream is printed once
};

}  // namespace netgrab

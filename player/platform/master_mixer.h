#pragma once

// The system mixer's master playback volume (the speakers).
class MasterMixer
{
public:
    virtual ~MasterMixer() = default;
    // Sets every channel of the master playback volume to `value`, in the
    // mixer's own units, clamped into its range. False when there is no
    // mixer or no master playback volume.
    virtual bool setMasterVolume(long value) = 0;
};

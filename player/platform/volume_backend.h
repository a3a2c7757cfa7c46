#pragma once

#include <QtGlobal>

// The volumes behind the volume component `VControl1`. A device keeps a
// 16-bit volume per channel in one 32-bit word: left in the low half,
// right in the high half (0xFFFF is full volume).
class VolumeBackend
{
public:
    enum class Device { Auxiliary = 0, WaveOut = 1, MidiOut = 2 };

    virtual ~VolumeBackend() = default;

    // False when there is no such device with volume control: its volume
    // then reads 0 and writes are ignored.
    virtual bool hasDevice(Device device) const = 0;
    virtual quint32 channels(Device device) const = 0;
    virtual void setChannels(Device device, quint32 channels) = 0;
    // Sets the system mixer's master (speaker) playback volume, in the
    // mixer's own units, clamped into its range. False when there is no
    // mixer or it has no master playback volume.
    virtual bool setSpeakerVolume(long value) = 0;
};

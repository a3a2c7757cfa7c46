#pragma once

// The system mixer behind the volume component `VControl1`. Volumes are on
// the component's 0..255 scale. A device with no volume control reads 0
// and ignores writes.
class VolumeBackend
{
public:
    enum class Device { Auxiliary = 0, WaveOut = 1, MidiOut = 2 };

    virtual ~VolumeBackend() = default;

    virtual bool hasDevice(Device device) const = 0;
    virtual int volume(Device device) const = 0;
    virtual void setVolume(Device device, int value) = 0;
    // The speaker (master) volume of the mixer, 0..255.
    virtual int speakerVolume() const = 0;
    virtual void setSpeakerVolume(int value) = 0;
};

#pragma once

#include "platform/volume_backend.h"

class MediaPlayer;
class MasterMixer;

// The volumes of the player on this platform. Wave-out is the media
// player's own output volume: a per-application volume, so setting it
// never changes what other programs play. There is no auxiliary (CD) and
// no MIDI-out device. The speaker volume is the system mixer's master,
// when there is one.
class PlayerVolumeBackend final : public VolumeBackend
{
public:
    // `mixer` may be null: no system mixer.
    PlayerVolumeBackend(MediaPlayer &player, MasterMixer *mixer);

    bool hasDevice(Device device) const override;
    // The engine has one volume for both channels: it reads as two equal
    // channels, and a write takes the mean of the two.
    quint32 channels(Device device) const override;
    void setChannels(Device device, quint32 channels) override;
    bool setSpeakerVolume(long value) override;

private:
    MediaPlayer &m_player;
    MasterMixer *m_mixer;
};

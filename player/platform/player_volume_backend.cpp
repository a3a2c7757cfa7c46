#include "platform/player_volume_backend.h"

#include "platform/master_mixer.h"
#include "platform/media_player.h"

PlayerVolumeBackend::PlayerVolumeBackend(MediaPlayer &player, MasterMixer *mixer) : m_player(player), m_mixer(mixer) {}

bool PlayerVolumeBackend::hasDevice(Device device) const
{
    return device == Device::WaveOut;
}

quint32 PlayerVolumeBackend::channels(Device device) const
{
    if (!hasDevice(device))
        return 0;
    const quint32 volume = quint32(qBound(0, m_player.outputVolume(), 0xFFFF));
    return volume | (volume << 16);
}

void PlayerVolumeBackend::setChannels(Device device, quint32 channels)
{
    if (!hasDevice(device))
        return;
    const quint32 left = channels & 0xFFFF;
    const quint32 right = channels >> 16;
    m_player.setOutputVolume(int((left + right) / 2));
}

bool PlayerVolumeBackend::setSpeakerVolume(long value)
{
    return m_mixer && m_mixer->setMasterVolume(value);
}

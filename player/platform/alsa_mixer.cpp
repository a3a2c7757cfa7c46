#include "platform/alsa_mixer.h"

#include <alsa/asoundlib.h>

namespace {

// ALSA reports a missing card on standard error; with no sound card that
// is the normal case here, and every result is checked anyway.
void quiet(const char *, int, const char *, int, const char *, ...) {}

// An open simple mixer on one control device; closed when it goes.
class OpenMixer
{
public:
    explicit OpenMixer(const QByteArray &device)
    {
        if (snd_mixer_open(&m_mixer, 0) < 0) {
            m_mixer = nullptr;
            return;
        }
        if (snd_mixer_attach(m_mixer, device.constData()) < 0 || snd_mixer_selem_register(m_mixer, nullptr, nullptr) < 0
            || snd_mixer_load(m_mixer) < 0) {
            snd_mixer_close(m_mixer);
            m_mixer = nullptr;
        }
    }
    ~OpenMixer()
    {
        if (m_mixer)
            snd_mixer_close(m_mixer);
    }
    OpenMixer(const OpenMixer &) = delete;
    OpenMixer &operator=(const OpenMixer &) = delete;

    // "Master", else "Speaker", with a playback volume; null when neither.
    snd_mixer_elem_t *master() const
    {
        if (!m_mixer)
            return nullptr;
        for (const char *name : {"Master", "Speaker"}) {
            snd_mixer_selem_id_t *id = nullptr;
            snd_mixer_selem_id_alloca(&id);
            snd_mixer_selem_id_set_index(id, 0);
            snd_mixer_selem_id_set_name(id, name);
            snd_mixer_elem_t *element = snd_mixer_find_selem(m_mixer, id);
            if (element && snd_mixer_selem_has_playback_volume(element))
                return element;
        }
        return nullptr;
    }

private:
    snd_mixer_t *m_mixer = nullptr;
};

}  // namespace

AlsaMixer::AlsaMixer(const QString &device) : m_device(device)
{
    snd_lib_error_set_handler(quiet);
}

bool AlsaMixer::setMasterVolume(long value)
{
    OpenMixer mixer(m_device.toLocal8Bit());
    snd_mixer_elem_t *master = mixer.master();
    if (!master)
        return false;
    long low = 0;
    long high = 0;
    if (snd_mixer_selem_get_playback_volume_range(master, &low, &high) < 0)
        return false;
    return snd_mixer_selem_set_playback_volume_all(master, qBound(low, value, high)) >= 0;
}

long AlsaMixer::masterVolume() const
{
    OpenMixer mixer(m_device.toLocal8Bit());
    snd_mixer_elem_t *master = mixer.master();
    long value = -1;
    if (!master || snd_mixer_selem_get_playback_volume(master, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0)
        return -1;
    return value;
}

#pragma once

#include <QString>

#include "platform/master_mixer.h"

// The master volume of an ALSA mixer through the simple mixer interface:
// the playback volume of the element "Master", or "Speaker" when there is
// no "Master". The mixer is opened for each call and closed again, so a
// sound card that comes or goes is noticed and nothing stays open.
class AlsaMixer final : public MasterMixer
{
public:
    // `device` is an ALSA control name ("default", "hw:0").
    explicit AlsaMixer(const QString &device = QStringLiteral("default"));

    bool setMasterVolume(long value) override;
    // The master volume of the first channel; -1 when there is none.
    long masterVolume() const;

private:
    QString m_device;
};

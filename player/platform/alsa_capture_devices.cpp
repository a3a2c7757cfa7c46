#include "platform/alsa_capture_devices.h"

#include <QRegularExpression>

#include <alsa/asoundlib.h>

namespace {

void quiet(const char *, int, const char *, int, const char *, ...) {}

QString hintValue(void *hint, const char *id)
{
    char *value = snd_device_name_get_hint(hint, id);
    const QString text = value ? QString::fromLocal8Bit(value) : QString();
    free(value);
    return text;
}

// The PCM names that may capture, in ALSA's order.
QStringList captureCandidates()
{
    QStringList names;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return names;
    for (void **hint = hints; *hint; ++hint) {
        const QString name = hintValue(*hint, "NAME");
        const QString io = hintValue(*hint, "IOID");
        // No IOID means both directions.
        if (name.isEmpty() || name == QLatin1String("null") || io == QLatin1String("Output"))
            continue;
        names << name;
    }
    snd_device_name_free_hint(hints);
    return names;
}

QVector<CaptureFormat> formatsOf(snd_pcm_t *pcm)
{
    QVector<CaptureFormat> formats;
    snd_pcm_hw_params_t *any = nullptr;
    snd_pcm_hw_params_t *trial = nullptr;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_alloca(&trial);
    if (snd_pcm_hw_params_any(pcm, any) < 0)
        return formats;
    const struct
    {
        int bits;
        snd_pcm_format_t format;
    } sampleFormats[] = {{16, SND_PCM_FORMAT_S16_LE}, {8, SND_PCM_FORMAT_U8}};
    for (int rate : AlsaCaptureDevices::sampleRates()) {
        for (const auto &sample : sampleFormats) {
            for (unsigned channels : {2u, 1u}) {
                snd_pcm_hw_params_copy(trial, any);
                if (snd_pcm_hw_params_set_access(pcm, trial, SND_PCM_ACCESS_RW_INTERLEAVED) == 0
                    && snd_pcm_hw_params_set_format(pcm, trial, sample.format) == 0
                    && snd_pcm_hw_params_set_channels(pcm, trial, channels) == 0
                    && snd_pcm_hw_params_test_rate(pcm, trial, unsigned(rate), 0) == 0)
                    formats.push_back({rate, sample.bits, int(channels)});
            }
        }
    }
    return formats;
}

QVector<CaptureInputLine> inputLinesOf(const QString &control)
{
    QVector<CaptureInputLine> lines;
    snd_mixer_t *mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return lines;
    if (snd_mixer_attach(mixer, control.toLocal8Bit().constData()) == 0
        && snd_mixer_selem_register(mixer, nullptr, nullptr) == 0 && snd_mixer_load(mixer) == 0) {
        for (snd_mixer_elem_t *element = snd_mixer_first_elem(mixer); element; element = snd_mixer_elem_next(element)) {
            const bool hasSwitch = snd_mixer_selem_has_capture_switch(element);
            if (!hasSwitch && !snd_mixer_selem_has_capture_volume(element))
                continue;
            // A line without a switch of its own always records.
            int on = 1;
            if (hasSwitch && snd_mixer_selem_get_capture_switch(element, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0)
                on = 0;
            lines.push_back({QString::fromLocal8Bit(snd_mixer_selem_get_name(element)), on != 0});
        }
    }
    snd_mixer_close(mixer);
    return lines;
}

}  // namespace

AlsaCaptureDevices::AlsaCaptureDevices()
{
    snd_lib_error_set_handler(quiet);
}

const QVector<int> &AlsaCaptureDevices::sampleRates()
{
    static const QVector<int> rates{44100, 48000, 32000, 22050, 16000, 11025, 8000};
    return rates;
}

QString AlsaCaptureDevices::controlName(const QString &pcmName)
{
    static const QRegularExpression card(QStringLiteral("CARD=([^,]+)"));
    const QRegularExpressionMatch match = card.match(pcmName);
    if (match.hasMatch())
        return QStringLiteral("hw:CARD=") + match.captured(1);
    return pcmName.section(QLatin1Char(':'), 0, 0);
}

std::optional<CaptureDevice> AlsaCaptureDevices::firstDevice() const
{
    for (const QString &name : captureCandidates()) {
        snd_pcm_t *pcm = nullptr;
        if (snd_pcm_open(&pcm, name.toLocal8Bit().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0)
            continue;
        CaptureDevice device;
        device.name = name;
        device.formats = formatsOf(pcm);
        snd_pcm_close(pcm);
        device.inputLines = inputLinesOf(controlName(name));
        return device;
    }
    return std::nullopt;
}

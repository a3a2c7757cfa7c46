#pragma once

#include "platform/capture_devices.h"

// Capture devices through ALSA. The first capture device is the first PCM
// of ALSA's device list (its name hints) that is not output-only and not
// the "null" device, and that opens for capture. Its formats are the
// combinations of common rates, 8 or 16 bits and one or two channels that
// its hardware parameters accept; its input lines are the capture elements
// of its mixer (the control device of its card, else the control device of
// the same name), "enabled" when their capture switch is on.
class AlsaCaptureDevices final : public CaptureDevices
{
public:
    AlsaCaptureDevices();
    std::optional<CaptureDevice> firstDevice() const override;

    // The rates tried, in the order they are listed.
    static const QVector<int> &sampleRates();
    // Control device of a PCM name: "hw:CARD=x" for a name with "CARD=x",
    // else the name up to its first ':'.
    static QString controlName(const QString &pcmName);
};

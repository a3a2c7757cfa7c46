#pragma once

#include <QString>
#include <QVector>

#include <optional>

// One input line of a capture device (a source it can record from) and
// whether it is switched on for recording.
struct CaptureInputLine
{
    QString name;
    bool enabled = false;
};

// One wave format a capture device offers.
struct CaptureFormat
{
    int sampleRate = 0;
    int bitsPerSample = 0;
    int channels = 0;
};

struct CaptureDevice
{
    QString name;
    QVector<CaptureInputLine> inputLines;  // in the device's order
    QVector<CaptureFormat> formats;        // in the device's order
};

// The computer's audio capture devices.
class CaptureDevices
{
public:
    virtual ~CaptureDevices() = default;
    // The first capture device with its lines and formats; none when the
    // computer has no capture device.
    virtual std::optional<CaptureDevice> firstDevice() const = 0;
};

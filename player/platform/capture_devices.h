#pragma once

#include <QString>
#include <QStringList>

// The computer's first audio capture device: its input lines (the sources
// the user can record from) and its capture formats.
class CaptureDevices
{
public:
    virtual ~CaptureDevices() = default;

    virtual bool hasDevice() const = 0;
    virtual QString deviceName() const = 0;
    virtual QStringList inputLines() const = 0;
    // Makes input line `index` the recording source; false when it cannot.
    virtual bool selectInputLine(int index) = 0;
    virtual QStringList formats() const = 0;
    virtual bool selectFormat(int index) = 0;
};

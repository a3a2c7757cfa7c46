#pragma once

#include <QObject>
#include <QStringList>

#include "platform/capture_devices.h"
#include "store/dataset.h"

class Store;

// The real-time record setup: the input lines and capture formats of the
// first capture device, and the chosen two positions kept in the first
// row of table recSetup ("fld2" line, "fld3" format; -1 for none).
class RecordSetup : public QObject
{
    Q_OBJECT
public:
    RecordSetup(CaptureDevices &devices, Store &store, QObject *parent = nullptr);

    // "Major Type: Audio - Sub Type: PCM Format: WaveFormatEx: PCM,
    // 44100 Hertz, 16 Bits, 2 Channels".
    static QString formatText(const CaptureFormat &format);

    // Creation: lists the first device's lines and formats, selects the
    // last enabled line and the first format, then restores the stored
    // positions. Without a device both lists stay empty.
    void create();
    // SAVE: stores the two positions into the first recSetup row, if there
    // is one. A failure stores nothing and is not reported.
    void save();

    QString deviceName() const { return m_deviceName; }
    QStringList inputLines() const { return m_lines; }
    QStringList formats() const { return m_formats; }
    int selectedLine() const { return m_line; }
    int selectedFormat() const { return m_format; }
    // A position outside the list selects nothing (-1).
    void selectLine(int position);
    void selectFormat(int position);

Q_SIGNALS:
    void selectionChanged();

private:
    void restore();

    CaptureDevices &m_devices;
    DataSet m_query;  // "select * from recSetup"
    QString m_deviceName;
    QStringList m_lines;
    QStringList m_formats;
    int m_line = -1;
    int m_format = -1;
};

#include "recording/record_setup.h"

namespace {

const QString kSetupQuery = QStringLiteral("select * from recSetup");

}  // namespace

RecordSetup::RecordSetup(CaptureDevices &devices, Store &store, QObject *parent)
    : QObject(parent),
      m_devices(devices),
      m_query(store)
{
}

QString RecordSetup::formatText(const CaptureFormat &format)
{
    return QStringLiteral("Major Type: Audio - Sub Type: PCM Format: WaveFormatEx: PCM, %1 Hertz, %2 Bits, %3 Channels")
        .arg(format.sampleRate)
        .arg(format.bitsPerSample)
        .arg(format.channels);
}

void RecordSetup::selectLine(int position)
{
    const int line = position >= 0 && position < m_lines.size() ? position : -1;
    if (line == m_line)
        return;
    m_line = line;
    Q_EMIT selectionChanged();
}

void RecordSetup::selectFormat(int position)
{
    const int format = position >= 0 && position < m_formats.size() ? position : -1;
    if (format == m_format)
        return;
    m_format = format;
    Q_EMIT selectionChanged();
}

void RecordSetup::create()
{
    m_deviceName.clear();
    m_lines.clear();
    m_formats.clear();
    m_line = -1;
    m_format = -1;
    const std::optional<CaptureDevice> device = m_devices.firstDevice();
    if (device) {
        m_deviceName = device->name;
        for (const CaptureFormat &format : device->formats)
            m_formats << formatText(format);
        int lastEnabled = -1;
        for (const CaptureInputLine &line : device->inputLines) {
            if (line.enabled)
                lastEnabled = m_lines.size();
            m_lines << line.name;
        }
        m_line = lastEnabled;
    }
    m_format = m_formats.isEmpty() ? -1 : 0;
    restore();
    Q_EMIT selectionChanged();
}

void RecordSetup::restore()
{
    try {
        m_query.openQuery(kSetupQuery);
        if (m_query.recordCount() == 0)
            return;
        m_query.first();
        bool ok = false;
        const int line = m_query.text(QStringLiteral("fld2")).toInt(&ok);
        if (!ok)
            return;
        selectLine(line);
        const int format = m_query.text(QStringLiteral("fld3")).toInt(&ok);
        if (!ok)
            return;
        selectFormat(format);
    } catch (const StoreError &) {
    }
}

void RecordSetup::save()
{
    try {
        m_query.openQuery(kSetupQuery);
        if (m_query.recordCount() == 0)
            return;
        m_query.first();
        m_query.edit();
        m_query.setField(QStringLiteral("fld2"), m_line);
        m_query.setField(QStringLiteral("fld3"), m_format);
        m_query.post();
    } catch (const StoreError &) {
        try {
            if (m_query.state() == DataSet::State::Edit)
                m_query.cancel();
        } catch (const StoreError &) {
        }
    }
}

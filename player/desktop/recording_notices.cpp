#include "desktop/recording_notices.h"

#include <QFileInfo>
#include <QStringList>

#include <iterator>

#include "desktop/notifier.h"

RecordingNotices::RecordingNotices(Notifier &notifier, QString normalTip, Translate translate, QObject *parent)
    : QObject(parent),
      m_notifier(notifier),
      m_normalTip(std::move(normalTip)),
      m_translate(std::move(translate))
{
}

QString RecordingNotices::tr(const QString &english) const
{
    if (!m_translate)
        return english;
    const QString text = m_translate(english);
    return text.isEmpty() ? english : text;
}

QString RecordingNotices::sizeText(qint64 bytes)
{
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(qMax<qint64>(0, bytes));
    static const char *const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000.0;
    int unit = 0;
    // 999 950 bytes read "1.0 MB", not "1000.0 kB".
    while (value >= 999.95 && unit + 1 < int(std::size(units))) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString RecordingNotices::tip() const
{
    if (m_running.isEmpty())
        return m_normalTip;
    QStringList names;
    for (const Running &r : m_running)
        names.append(r.name);
    if (m_running.size() == 1)
        return m_normalTip + QStringLiteral(" \u2014 ") + tr(QStringLiteral("recording: %1")).arg(names.first());
    return m_normalTip + QStringLiteral(" \u2014 ")
        + tr(QStringLiteral("%1 recordings: %2")).arg(QString::number(names.size()), names.join(QStringLiteral(", ")));
}

void RecordingNotices::recordingStarted(const QString &entryName, const QString &filePath)
{
    m_running.append({entryName, filePath});
    Q_EMIT tipChanged(tip());
    m_notifier.notify(tr(QStringLiteral("Recording started")), entryName);
}

void RecordingNotices::recordingFinished(const QString &entryName, const QString &filePath, qint64 bytes)
{
    ended(entryName, filePath);
    m_notifier.notify(tr(QStringLiteral("Recording finished")),
                      entryName + QLatin1Char('\n') + QFileInfo(filePath).fileName() + QStringLiteral(" (")
                          + sizeText(bytes) + QLatin1Char(')'));
}

void RecordingNotices::recordingFailed(const QString &entryName, const QString &reason)
{
    ended(entryName, QString());
    m_notifier.notify(tr(QStringLiteral("Recording failed")), entryName + QLatin1Char('\n') + reason);
}

void RecordingNotices::ended(const QString &entryName, const QString &filePath)
{
    int index = -1;
    for (int i = 0; i < m_running.size() && index < 0 && !filePath.isEmpty(); ++i) {
        const QString &started = m_running.at(i).path;
        // The recorder adds an extension to its output path.
        if (!started.isEmpty() && filePath.startsWith(started)
            && (filePath.size() == started.size() || filePath.at(started.size()) == QLatin1Char('.')))
            index = i;
    }
    for (int i = 0; i < m_running.size() && index < 0; ++i) {
        if (m_running.at(i).name == entryName)
            index = i;
    }
    if (index < 0)
        return;
    m_running.remove(index);
    Q_EMIT tipChanged(tip());
}

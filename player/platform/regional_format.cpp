#include "platform/regional_format.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace {

// Drops the time-zone field ("t", with the blanks around it) that some
// locales put into their long time format: a stored time must not carry it.
QString withoutZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

} // namespace

RegionalFormat::RegionalFormat(const QLocale &locale)
    : m_locale(locale),
      m_dateFormat(locale.dateFormat(QLocale::ShortFormat)),
      m_timeFormat(withoutZone(locale.timeFormat(QLocale::LongFormat)))
{
}

QString RegionalFormat::dateText(const QDate &date) const
{
    return m_locale.toString(date, m_dateFormat);
}

QString RegionalFormat::timeText(const QTime &time) const
{
    return m_locale.toString(time, m_timeFormat);
}

QString RegionalFormat::dateTimeText(const QDateTime &dateTime) const
{
    return dateText(dateTime.date()) + QLatin1Char(' ') + timeText(dateTime.time());
}

QDate RegionalFormat::parseDate(const QString &text) const
{
    return m_locale.toDate(text.trimmed(), m_dateFormat);
}

QTime RegionalFormat::parseTime(const QString &text) const
{
    return m_locale.toTime(text.trimmed(), m_timeFormat);
}

QDateTime RegionalFormat::parseDateTime(const QString &text) const
{
    return m_locale.toDateTime(text.trimmed(), m_dateFormat + QLatin1Char(' ') + m_timeFormat);
}

int RegionalFormat::timeZoneBias(const QDateTime &at)
{
    return -QTimeZone::systemTimeZone().offsetFromUtc(at) / 60;
}

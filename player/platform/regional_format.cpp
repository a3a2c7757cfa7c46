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

bool hasTwoDigitYear(const QString &format)
{
    return format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy"));
}

// A two-digit year reads back as 19yy. Move it into the century window that
// ends fifty years from now, so "12/10/26" is 2026 and "5/1/99" stays 1999.
QDate inCurrentCentury(QDate date, const QString &format)
{
    if (!date.isValid() || !hasTwoDigitYear(format))
        return date;
    const int latest = QDate::currentDate().year() + 50;
    while (date.year() + 100 <= latest)
        date = date.addYears(100);
    return date;
}

}  // namespace

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
    return inCurrentCentury(m_locale.toDate(text.trimmed(), m_dateFormat), m_dateFormat);
}

QTime RegionalFormat::parseTime(const QString &text) const
{
    return m_locale.toTime(text.trimmed(), m_timeFormat);
}

QDateTime RegionalFormat::parseDateTime(const QString &text) const
{
    QDateTime parsed = m_locale.toDateTime(text.trimmed(), m_dateFormat + QLatin1Char(' ') + m_timeFormat);
    if (parsed.isValid())
        parsed.setDate(inCurrentCentury(parsed.date(), m_dateFormat));
    return parsed;
}

int RegionalFormat::timeZoneBias(const QDateTime &at)
{
    return -QTimeZone::systemTimeZone().offsetFromUtc(at) / 60;
}

#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

// The regional date and time formats. Dates are stored in the short date
// format, times in the long time format without its time-zone field, and
// date-times as date, one blank, time. Writer and reader use this one class,
// so a text written under a setting reads back under the same setting.
class RegionalFormat
{
public:
    explicit RegionalFormat(const QLocale &locale = QLocale::system());

    QString dateText(const QDate &date) const;
    QString timeText(const QTime &time) const;
    QString dateTimeText(const QDateTime &dateTime) const;
    // Invalid results when the text does not parse.
    QDate parseDate(const QString &text) const;
    QTime parseTime(const QString &text) const;
    QDateTime parseDateTime(const QString &text) const;

    QString shortDateFormat() const { return m_dateFormat; }
    QString longTimeFormat() const { return m_timeFormat; }
    const QLocale &locale() const { return m_locale; }

    // Time-zone bias in minutes: UTC = local time + bias.
    static int timeZoneBias(const QDateTime &at);

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};

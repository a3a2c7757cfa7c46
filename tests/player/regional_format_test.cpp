// Dates and times are written and read back with the same regional formats.
#include <QtTest>

#include "platform/regional_format.h"

class RegionalFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void dateReadsBackAsWritten_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDate>("date");
        // en_US and de_DE write two-digit years; zh_CN writes four.
        QTest::newRow("en_US-this-century") << "en_US" << QDate(2026, 3, 14);
        QTest::newRow("en_US-leap-day") << "en_US" << QDate(2028, 2, 29);
        QTest::newRow("en_US-last-century") << "en_US" << QDate(1999, 5, 1);
        QTest::newRow("de_DE") << "de_DE" << QDate(2026, 12, 31);
        QTest::newRow("zh_CN") << "zh_CN" << QDate(2026, 1, 2);
        QTest::newRow("zh_TW") << "zh_TW" << QDate(2026, 1, 2);
    }

    void dateReadsBackAsWritten()
    {
        QFETCH(QString, locale);
        QFETCH(QDate, date);
        const RegionalFormat format{QLocale(locale)};
        QCOMPARE(format.parseDate(format.dateText(date)), date);
        const QDateTime at(date, QTime(21, 5, 9));
        QCOMPARE(format.parseDateTime(format.dateTimeText(at)), at);
    }

    void timeCarriesNoZone()
    {
        const RegionalFormat format{QLocale(QStringLiteral("en_US"))};
        QVERIFY(!format.longTimeFormat().contains(QLatin1Char('t')));
        QCOMPARE(format.parseTime(format.timeText(QTime(23, 59, 58))), QTime(23, 59, 58));
    }

    void garbageIsInvalid()
    {
        const RegionalFormat format{QLocale(QStringLiteral("en_US"))};
        QVERIFY(!format.parseDate(QStringLiteral("not a date")).isValid());
        QVERIFY(!format.parseDateTime(QString()).isValid());
    }
};

QTEST_GUILESS_MAIN(RegionalFormatTest)
#include "regional_format_test.moc"

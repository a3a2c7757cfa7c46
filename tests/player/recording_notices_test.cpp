// Scheduled recordings as notifications and as the notification icon's
// tip: the texts of a start, a completed file and a failure, the tip while
// recordings run, the sizes, and the fallback to the icon's message where
// no notification service is on the bus.

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include "desktop/desktop_notifier.h"
#include "desktop/notifier.h"
#include "desktop/recording_notices.h"
#include "fake_platform.h"

namespace {

class FakeNotifier final : public Notifier
{
public:
    bool notify(const QString &title, const QString &body) override
    {
        shown.append({title, body});
        return true;
    }
    QVector<QPair<QString, QString>> shown;
};

using Shown = QPair<QString, QString>;

const QString kTip = QStringLiteral("Vexa Radio");

}  // namespace

class RecordingNoticesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two recordings overlap; the one whose file is complete leaves the tip
    // by its path even where the other's path begins the same way (entry 1
    // and entry 12 started in the same second), and a failure ends the
    // other. Station names are shown as they are.
    void noticesAndTipWhileRecordingsRun()
    {
        FakeNotifier notifier;
        RecordingNotices notices(notifier, kTip);
        QSignalSpy tips(&notices, &RecordingNotices::tipChanged);
        QCOMPARE(notices.tip(), kTip);

        notices.recordingStarted(QStringLiteral("Morning news"), QStringLiteral("/rec/202631410301"));
        QCOMPARE(notifier.shown.value(0), Shown(QStringLiteral("Recording started"), QStringLiteral("Morning news")));
        QCOMPARE(tips.takeFirst().at(0).toString(), QStringLiteral("Vexa Radio \u2014 recording: Morning news"));

        notices.recordingStarted(QStringLiteral("Jazz & <b>Blues</b> %1"), QStringLiteral("/rec/2026314103012"));
        QCOMPARE(tips.takeFirst().at(0).toString(),
                 QStringLiteral("Vexa Radio \u2014 2 recordings: Morning news, Jazz & <b>Blues</b> %1"));

        notices.recordingFinished(QStringLiteral("Jazz & <b>Blues</b> %1"), QStringLiteral("/rec/2026314103012.mp3"),
                                  12345678);
        QCOMPARE(notifier.shown.value(2),
                 Shown(QStringLiteral("Recording finished"),
                       QStringLiteral("Jazz & <b>Blues</b> %1\n2026314103012.mp3 (12.3 MB)")));
        QCOMPARE(tips.takeFirst().at(0).toString(), QStringLiteral("Vexa Radio \u2014 recording: Morning news"));

        notices.recordingFailed(QStringLiteral("Morning news"), QStringLiteral("the recorder stopped"));
        QCOMPARE(notifier.shown.value(3),
                 Shown(QStringLiteral("Recording failed"), QStringLiteral("Morning news\nthe recorder stopped")));
        QCOMPARE(tips.takeFirst().at(0).toString(), kTip);
        QCOMPARE(notifier.shown.size(), 4);
    }

    // A recorder that never started, or a file completed that this run did
    // not see start (the player was restarted meanwhile), is shown and
    // leaves the tip alone.
    void endsOfUnknownRecordingsKeepTheTip()
    {
        FakeNotifier notifier;
        RecordingNotices notices(notifier, kTip);
        notices.recordingStarted(QStringLiteral("News"), QStringLiteral("/rec/a1"));
        QSignalSpy tips(&notices, &RecordingNotices::tipChanged);
        notices.recordingFailed(QStringLiteral("Other"), QStringLiteral("the recorder did not start"));
        notices.recordingFinished(QString(), QStringLiteral("/rec/b7.wma"), 10);
        QCOMPARE(tips.size(), 0);
        QCOMPARE(notices.tip(), QStringLiteral("Vexa Radio \u2014 recording: News"));
        QCOMPARE(notifier.shown.size(), 3);
        QCOMPARE(notifier.shown.at(2).second, QStringLiteral("\nb7.wma (10 bytes)"));
    }

    void textsInTheInterfaceLanguage()
    {
        FakeNotifier notifier;
        const QHash<QString, QString> german{{QStringLiteral("Recording started"), QStringLiteral("Aufnahme begonnen")},
                                             {QStringLiteral("recording: %1"), QStringLiteral("Aufnahme: %1")}};
        RecordingNotices notices(notifier, kTip,
                                 [&](const QString &english) { return german.value(english, english); });
        notices.recordingStarted(QStringLiteral("News"), QStringLiteral("/rec/a1"));
        QCOMPARE(notifier.shown.value(0).first, QStringLiteral("Aufnahme begonnen"));
        QCOMPARE(notices.tip(), QStringLiteral("Vexa Radio \u2014 Aufnahme: News"));
        // A text without a translation stays English.
        notices.recordingFailed(QStringLiteral("News"), QStringLiteral("why"));
        QCOMPARE(notifier.shown.value(1).first, QStringLiteral("Recording failed"));
    }

    void sizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << qint64(0) << "0 bytes";
        QTest::newRow("below a kB") << qint64(999) << "999 bytes";
        QTest::newRow("a kB") << qint64(1000) << "1.0 kB";
        QTest::newRow("kB") << qint64(1536) << "1.5 kB";
        QTest::newRow("rounds up to MB") << qint64(999950) << "1.0 MB";
        QTest::newRow("MB") << qint64(12345678) << "12.3 MB";
        QTest::newRow("GB") << qint64(5000000000) << "5.0 GB";
    }
    void sizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(RecordingNotices::sizeText(bytes), text);
    }

    // The notification service may read a body as markup: a station's name
    // must show as it is.
    void bodyIsEscapedForTheService()
    {
        QCOMPARE(DesktopNotifier::bodyMarkup(QStringLiteral("Jazz & <b>Blues</b>\n1 < 2")),
                 QStringLiteral("Jazz &amp; &lt;b&gt;Blues&lt;/b&gt;\n1 &lt; 2"));
    }

    // Without a session bus the icon's message is all there is; with no
    // icon up nothing is shown and the notifier says so.
    void withoutABusTheIconShowsTheMessage()
    {
        FakeNotificationIcon tray;
        DesktopNotifier notifier(QDBusConnection(QStringLiteral("no such connection")), &tray);
        QVERIFY(!notifier.notify(QStringLiteral("Recording started"), QStringLiteral("A & B")));
        QVERIFY(tray.messages.isEmpty());
        tray.add(QImage(), kTip);
        QVERIFY(notifier.notify(QStringLiteral("Recording started"), QStringLiteral("A & B")));
        QCOMPARE(tray.messages.value(0), Shown(QStringLiteral("Recording started"), QStringLiteral("A & B")));
        DesktopNotifier noTray(QDBusConnection(QStringLiteral("no such connection")), nullptr);
        QVERIFY(!noTray.notify(QStringLiteral("t"), QStringLiteral("b")));
    }
};

QTEST_GUILESS_MAIN(RecordingNoticesTest)
#include "recording_notices_test.moc"

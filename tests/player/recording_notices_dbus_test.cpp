// Scheduled recordings as desktop notifications on a private session bus
// (the test runs under dbus-run-session): a notification service of the
// test's own, on a connection of its own, receives the player's Notify
// calls; without the service, or when it answers with an error, the
// notification icon shows the message instead.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QTest>

#include "desktop/desktop_notifier.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "shell/application.h"

namespace {

const QString kServerConnection = QStringLiteral("fake notification service");

// org.freedesktop.Notifications as far as the player uses it.
class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString app, summary, body;
        int timeout = 0;
    };
    QVector<Call> calls;
    bool refuse = false;

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        Q_UNUSED(hints);
        calls.append({app, summary, body, timeout});
        if (refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused"));
        return uint(calls.size());
    }
};

}  // namespace

class RecordingNoticesDbusTest : public QObject
{
    Q_OBJECT

private:
    QDBusConnection server() { return QDBusConnection(kServerConnection); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
        QVERIFY(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kServerConnection).isConnected());
        QVERIFY(server().registerObject(QLatin1String(DesktopNotifier::kObjectPath), &m_service,
                                        QDBusConnection::ExportAllSlots));
    }

    void init()
    {
        m_service.calls.clear();
        m_service.refuse = false;
        QVERIFY(server().registerService(QLatin1String(DesktopNotifier::kService)));
    }

    void cleanup() { server().unregisterService(QLatin1String(DesktopNotifier::kService)); }

    // The assembly: a scheduled recording's end reaches the service with
    // the program's name, the plain summary and the escaped body; the
    // icon's tip names the recording while it runs.
    void scheduledRecordingReachesTheService()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.showRecordingNotices(QDBusConnection::sessionBus());
        app.startInTray();
        QVERIFY(platform.trayIcon.isShown());

        Q_EMIT app.scheduleRunner().scheduledRecordingStarted(QStringLiteral("Jazz & <Blues>"),
                                                              folder.path() + QStringLiteral("/radiorecord/r5"));
        QTRY_COMPARE_WITH_TIMEOUT(m_service.calls.size(), 1, 30000);
        QCOMPARE(m_service.calls.at(0).app, QStringLiteral("Vexa Radio Player"));
        QCOMPARE(m_service.calls.at(0).summary, QStringLiteral("Recording started"));
        QCOMPARE(m_service.calls.at(0).body, QStringLiteral("Jazz &amp; &lt;Blues&gt;"));
        QCOMPARE(platform.trayIcon.lastTip, QStringLiteral("Vexa Radio \u2014 recording: Jazz & <Blues>"));

        Q_EMIT app.scheduleRunner().scheduledRecordingFinished(
            QStringLiteral("Jazz & <Blues>"), folder.path() + QStringLiteral("/radiorecord/r5.mp3"), 2500000);
        QTRY_COMPARE_WITH_TIMEOUT(m_service.calls.size(), 2, 30000);
        QCOMPARE(m_service.calls.at(1).summary, QStringLiteral("Recording finished"));
        QCOMPARE(m_service.calls.at(1).body, QStringLiteral("Jazz &amp; &lt;Blues&gt;\nr5.mp3 (2.5 MB)"));
        QCOMPARE(platform.trayIcon.lastTip, QStringLiteral("Vexa Radio"));
        QVERIFY(platform.trayIcon.messages.isEmpty());
    }

    // No service on the bus, or a service that answers with an error: the
    // icon's message, in plain text.
    void withoutTheServiceTheIconShowsIt()
    {
        FakeNotificationIcon tray;
        tray.add(QImage(), QStringLiteral("Vexa Radio"));
        DesktopNotifier notifier(QDBusConnection::sessionBus(), &tray);

        m_service.refuse = true;
        QTest::ignoreMessage(QtWarningMsg, "desktop notification refused: org.freedesktop.DBus.Error.AccessDenied");
        QVERIFY(notifier.notify(QStringLiteral("Recording failed"), QStringLiteral("A & B")));
        QTRY_COMPARE_WITH_TIMEOUT(tray.messages.size(), 1, 30000);
        QCOMPARE(m_service.calls.size(), 1);
        QCOMPARE(tray.messages.at(0).second, QStringLiteral("A & B"));

        QVERIFY(server().unregisterService(QLatin1String(DesktopNotifier::kService)));
        QVERIFY(notifier.notify(QStringLiteral("Recording started"), QStringLiteral("C")));
        QCOMPARE(tray.messages.size(), 2);
        QCOMPARE(tray.messages.at(1).first, QStringLiteral("Recording started"));
        QCOMPARE(m_service.calls.size(), 1);
    }

private:
    FakeNotificationService m_service;
};

QTEST_MAIN(RecordingNoticesDbusTest)
#include "recording_notices_dbus_test.moc"

#include "desktop/desktop_notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

#include "platform/notification_icon.h"

DesktopNotifier::DesktopNotifier(QDBusConnection bus, NotificationIcon *tray, QObject *parent)
    : QObject(parent),
      m_bus(std::move(bus)),
      m_tray(tray)
{
}

QString DesktopNotifier::bodyMarkup(const QString &text)
{
    return text.toHtmlEscaped();
}

bool DesktopNotifier::serviceOnBus()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QString service = QLatin1String(kService);
    if (m_bus.interface()->isServiceRegistered(service).value())
        return true;
    // A service the bus starts on the first call.
    const QDBusReply<QStringList> activatable = m_bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

bool DesktopNotifier::showInTray(const QString &title, const QString &body)
{
    return m_tray && m_tray->showMessage(title, body);
}

bool DesktopNotifier::notify(const QString &title, const QString &body)
{
    if (!serviceOnBus())
        return showInTray(title, body);

    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kObjectPath),
                                                       QLatin1String(kService), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary (plain text), body (markup),
    // actions, hints, expire_timeout (-1: the service's default).
    call << QString::fromLatin1(kAppName) << uint(0) << QString() << title << bodyMarkup(body) << QStringList()
         << QVariantMap() << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, body](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            qWarning("desktop notification refused: %s", qUtf8Printable(reply.error().name()));
            showInTray(title, body);
        }
    });
    return true;
}

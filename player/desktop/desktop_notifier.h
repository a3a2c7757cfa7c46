#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "desktop/notifier.h"

class NotificationIcon;

// Messages as desktop notifications: org.freedesktop.Notifications.Notify
// on the session bus, or, when no notification service is on the bus (or
// it answers with an error), the notification icon's message. Without a
// session bus the icon is all there is.
class DesktopNotifier final : public QObject, public Notifier
{
    Q_OBJECT
public:
    static constexpr const char *kService = "org.freedesktop.Notifications";
    static constexpr const char *kObjectPath = "/org/freedesktop/Notifications";
    static constexpr const char *kAppName = "Vexa Radio Player";

    // `tray` may be null (no notification area).
    DesktopNotifier(QDBusConnection bus, NotificationIcon *tray, QObject *parent = nullptr);

    bool notify(const QString &title, const QString &body) override;

    // A plain text as a notification body: the service may read bodies as
    // markup, so <, > and & (and quotes) become entities.
    static QString bodyMarkup(const QString &text);

private:
    bool serviceOnBus();
    bool showInTray(const QString &title, const QString &body);

    QDBusConnection m_bus;
    NotificationIcon *m_tray;
};

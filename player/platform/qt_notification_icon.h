#pragma once

#include "platform/notification_icon.h"

class QSystemTrayIcon;

// The notification icon on QSystemTrayIcon. One tray object lives for the
// whole run; add() shows it, remove() hides it, so a second add() can never
// make a second icon.
class QtNotificationIcon final : public NotificationIcon
{
    Q_OBJECT
public:
    explicit QtNotificationIcon(QObject *parent = nullptr);
    ~QtNotificationIcon() override;

    void add(const QImage &icon, const QString &tip) override;
    void remove() override;
    bool isShown() const override;
    void setTip(const QString &tip) override;
    bool showMessage(const QString &title, const QString &body) override;

private:
    QSystemTrayIcon *m_tray;
};

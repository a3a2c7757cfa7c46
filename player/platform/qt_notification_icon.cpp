#include "platform/qt_notification_icon.h"

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

QtNotificationIcon::QtNotificationIcon(QObject *parent) : NotificationIcon(parent), m_tray(new QSystemTrayIcon(this))
{
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT doubleClicked();
    });
}

QtNotificationIcon::~QtNotificationIcon()
{
    m_tray->hide();
}

void QtNotificationIcon::add(const QImage &icon, const QString &tip)
{
    m_tray->setIcon(QIcon(QPixmap::fromImage(icon)));
    m_tray->setToolTip(tip);
    m_tray->show();
}

void QtNotificationIcon::remove()
{
    m_tray->hide();
}

bool QtNotificationIcon::isShown() const
{
    return m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void QtNotificationIcon::setTip(const QString &tip)
{
    m_tray->setToolTip(tip);
}

bool QtNotificationIcon::showMessage(const QString &title, const QString &body)
{
    if (!isShown())
        return false;
    m_tray->showMessage(title, body, QSystemTrayIcon::Information);
    return true;
}

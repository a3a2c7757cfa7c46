#pragma once

#include <QImage>
#include <QObject>
#include <QString>

// The program's icon in the notification area (system tray). The main
// window removes and adds it each time it is minimised, so there is never
// more than one.
class NotificationIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~NotificationIcon() override = default;

    virtual void add(const QImage &icon, const QString &tip) = 0;
    virtual void remove() = 0;
    // True while the icon is up in a notification area that exists.
    virtual bool isShown() const = 0;
    // The tip shown over the icon, now and when it is next added.
    virtual void setTip(const QString &tip) { Q_UNUSED(tip); }
    // A passing message (plain text) beside the icon; false when there is
    // no icon up to show it.
    virtual bool showMessage(const QString &title, const QString &body)
    {
        Q_UNUSED(title);
        Q_UNUSED(body);
        return false;
    }

Q_SIGNALS:
    // Left-button double-click on the icon.
    void doubleClicked();
};

#pragma once

#include <QObject>

// Application-wide filter: every right-button press, release and double
// click, and every context-menu request, is swallowed before any window
// (embedded browsers included) sees it, so no context menu ever opens.
class RightButtonFilter final : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Installs one filter on the application (repeat calls do nothing).
    static void installOnce();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#include "directory/right_button_filter.h"

#include <QCoreApplication>
#include <QMouseEvent>

void RightButtonFilter::installOnce()
{
    static RightButtonFilter *filter = nullptr;
    if (filter || !QCoreApplication::instance())
        return;
    filter = new RightButtonFilter(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(filter);
}

bool RightButtonFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            return true;
        break;
    }
    case QEvent::ContextMenu:
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

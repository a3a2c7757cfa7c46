#include "platform/qt_external_browser.h"

#include <QDesktopServices>
#include <QUrl>

void QtExternalBrowser::open(const QString &url)
{
    if (isWebAddress(url))
        QDesktopServices::openUrl(QUrl(url));
}

#include "platform/qt_external_browser.h"

#include <QDesktopServices>
#include <QUrl>

bool QtExternalBrowser::open(const QString &url)
{
    return isWebAddress(url) && QDesktopServices::openUrl(QUrl(url));
}

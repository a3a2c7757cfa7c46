#include "platform/external_browser.h"

#include <QUrl>

bool ExternalBrowser::isWebAddress(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !parsed.host().isEmpty();
}

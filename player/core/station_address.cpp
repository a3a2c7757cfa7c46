#include "core/station_address.h"

#include <QUrl>

bool isNetworkStreamAddress(const QString &address)
{
    static const char *const schemes[] = {"http", "https", "mms", "mmsh", "rtsp"};
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    for (const char *s : schemes) {
        if (scheme == QLatin1String(s))
            return true;
    }
    return false;
}

#include "core/address_rules.h"

#include <QUrl>

namespace AddressRules {

namespace {

bool startsWithNoCase(const QString &text, const char *prefix)
{
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

}  // namespace

bool playable(const QString &address)
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

bool recordable(const QString &address)
{
    if (address.isEmpty() || address.size() > kMaxRecordableLength)
        return false;
    for (const QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    for (const char *scheme : {"http://", "https://", "mms://"}) {
        if (startsWithNoCase(address, scheme))
            return address.size() > int(qstrlen(scheme)) && address.at(int(qstrlen(scheme))) != QLatin1Char('/');
    }
    // The page and playlist form: a host name or address first. A leading
    // "/", ".", "~", "\" or "-" is a local path or an option, and a text
    // that starts with a scheme ("file:", "ftp://", "c:\") is not one the
    // library records; "host:port/..." is a page address.
    const QChar first = address.at(0);
    if (!(first.isLetterOrNumber() && first.unicode() < 0x80))
        return false;
    int i = 0;
    while (i < address.size() && address.at(i).unicode() < 0x80
           && (address.at(i).isLetterOrNumber() || address.at(i) == QLatin1Char('+')
               || address.at(i) == QLatin1Char('.') || address.at(i) == QLatin1Char('-')))
        ++i;
    if (i < address.size() && address.at(i) == QLatin1Char(':')) {
        const bool port = i + 1 < address.size() && address.at(i + 1).isDigit() && address.at(i + 1).unicode() < 0x80;
        if (!port)
            return false;
    }
    return !address.contains(QLatin1Char('\\'));
}

}  // namespace AddressRules

#pragma once

#include <QString>

// Opens an address in the system's web browser, without waiting. Callers
// pass only addresses they have checked (see isWebAddress).
class ExternalBrowser
{
public:
    virtual ~ExternalBrowser() = default;
    // False when no browser could be started for the address.
    virtual bool open(const QString &url) = 0;

    // True for an absolute http or https address: the only kinds the
    // player hands to the system (a page's value could otherwise name a
    // local program or file).
    static bool isWebAddress(const QString &url);
};

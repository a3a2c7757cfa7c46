#pragma once

#include "platform/external_browser.h"

// QDesktopServices: the address opens in the user's default browser.
class QtExternalBrowser final : public ExternalBrowser
{
public:
    bool open(const QString &url) override;
};

#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

#include "fake_platform.h"
#include "platform/external_browser.h"
#include "core/playback.h"

// Records the addresses the system browser would open.
class FakeExternalBrowser final : public ExternalBrowser
{
public:
    bool open(const QString &url) override
    {
        opened << url;
        return starts;
    }
    QStringList opened;
    bool starts = true;  // false: no browser can be started
};

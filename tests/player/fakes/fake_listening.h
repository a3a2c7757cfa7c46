#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

#include "platform/external_browser.h"
#include "core/playback.h"

// Records listening reports instead of sending them.
class FakeReportSender final : public ReportSender
{
public:
    void send(const QUrl &url) override { sent << url; }
    QList<QUrl> sent;
};

// Records the addresses the system browser would open.
class FakeExternalBrowser final : public ExternalBrowser
{
public:
    void open(const QString &url) override { opened << url; }
    QStringList opened;
};

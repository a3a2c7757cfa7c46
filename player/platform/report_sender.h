#pragma once

#include <QUrl>

// Sends the listening report: one plain HTTP GET whose answer is not
// examined. Sending does not block; a report that has not left when the
// program closes is waited for through finishPending.
class ReportSender
{
public:
    virtual ~ReportSender() = default;
    virtual void send(const QUrl &url) = 0;
    // Waits until every report sent so far has been answered or has
    // failed, for at most `timeoutMs`. Called once the main window closes,
    // so that the last report leaves before the process ends.
    virtual void finishPending(int timeoutMs) = 0;
};

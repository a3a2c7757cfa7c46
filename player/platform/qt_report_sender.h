#pragma once

#include <QObject>
#include <QSet>

#include "platform/report_sender.h"

class QNetworkAccessManager;
class QNetworkReply;

// Reports through QNetworkAccessManager: each GET runs without blocking;
// the replies still open are kept so that finishPending can wait for them.
class QtReportSender final : public QObject, public ReportSender
{
    Q_OBJECT
public:
    explicit QtReportSender(QObject *parent = nullptr);
    ~QtReportSender() override;
    void send(const QUrl &url) override;
    void finishPending(int timeoutMs) override;
    int pendingCount() const { return int(m_pending.size()); }

Q_SIGNALS:
    void allFinished();

private:
    QNetworkAccessManager *m_network;
    QSet<QNetworkReply *> m_pending;
};

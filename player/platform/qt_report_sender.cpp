#include "platform/qt_report_sender.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

QtReportSender::QtReportSender(QObject *parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {}

QtReportSender::~QtReportSender() = default;

void QtReportSender::send(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    QNetworkReply *reply = m_network->get(request);
    m_pending.insert(reply);
    // The answer is not examined; the reply only has to be freed.
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        m_pending.remove(reply);
        reply->deleteLater();
        if (m_pending.isEmpty())
            Q_EMIT allFinished();
    });
}

void QtReportSender::finishPending(int timeoutMs)
{
    if (m_pending.isEmpty())
        return;
    // A request started just before the program quits is otherwise
    // dropped with the network manager: give it a bounded moment.
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    connect(this, &QtReportSender::allFinished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

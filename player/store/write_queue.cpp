#include "store/write_queue.h"

#include <QSqlError>
#include <QSqlQuery>

#include "store/store.h"

WriteQueue::WriteQueue(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(kRetryMs);
    connect(&m_timer, &QTimer::timeout, this, &WriteQueue::retry);
}

void WriteQueue::append(const Write &write)
{
    if (m_writes.isEmpty())
        m_lockedSince.start();
    m_writes.append(write);
    if (write.key > 0)
        m_largestKey[write.table] = qMax(m_largestKey.value(write.table), write.key);
    m_timer.start();
}

bool WriteQueue::flush()
{
    const QSqlDatabase db = m_connection ? m_connection() : QSqlDatabase();
    while (!m_writes.isEmpty() && db.isOpen()) {
        const Write &write = m_writes.first();
        QSqlQuery query(db);
        bool ok = query.prepare(write.sql);
        if (ok) {
            for (const QVariant &value : write.values)
                query.addBindValue(value);
            ok = query.exec();
        }
        if (!ok && Store::isLockedOut(query.lastError()))
            return false;
        if (!ok)
            qWarning("store: a queued write was dropped: %s", qPrintable(query.lastError().text()));
        m_writes.removeFirst();
    }
    if (!m_writes.isEmpty())
        return false;
    m_largestKey.clear();
    m_timer.stop();
    return true;
}

void WriteQueue::clear()
{
    m_writes.clear();
    m_largestKey.clear();
    m_timer.stop();
}

void WriteQueue::retry()
{
    if (flush())
        return;
    if (!m_told && m_lockedSince.elapsed() >= kLockedNoticeMs) {
        m_told = true;
        Q_EMIT stillLocked();
    }
}

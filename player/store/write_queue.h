#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>
#include <QVariantList>

#include <functional>

// The store's writes that another program's lock kept out, in the order
// they were made. A write waits at most the store's short busy time (never
// the seconds SQLite would wait on the interface thread); one it cannot
// make is queued, so is every write after it while the queue is not empty,
// and a timer tries them again until they are all written. The user is
// told once, when the store has stayed locked for a while.
class WriteQueue final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRetryMs = 250;
    // How long the store may stay locked before the user is told.
    static constexpr int kLockedNoticeMs = 5000;

    struct Write
    {
        QString sql;
        QVariantList values;
        QString table;  // with `key`: a queued insert's row id
        qint64 key = 0;
    };

    explicit WriteQueue(QObject *parent = nullptr);

    void setConnection(std::function<QSqlDatabase()> connection) { m_connection = std::move(connection); }
    bool isEmpty() const { return m_writes.isEmpty(); }
    int size() const { return int(m_writes.size()); }
    void append(const Write &write);
    // The largest row id a queued insert into `table` takes; 0 when none.
    qint64 largestQueuedKey(const QString &table) const { return m_largestKey.value(table); }

    // Writes what is queued, in order, until one is still locked out;
    // true when nothing is left. A queued write that fails for another
    // reason (its row was deleted meanwhile) is dropped.
    bool flush();
    // Forgets what is queued (the store is closed).
    void clear();

Q_SIGNALS:
    // The store has stayed locked for kLockedNoticeMs; once per run.
    void stillLocked();

private:
    void retry();

    std::function<QSqlDatabase()> m_connection;
    QList<Write> m_writes;
    QHash<QString, qint64> m_largestKey;
    QTimer m_timer;
    QElapsedTimer m_lockedSince;
    bool m_told = false;
};

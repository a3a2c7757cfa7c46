#pragma once

// Another program holding a store locked: a sqlite3 process inside BEGIN
// EXCLUSIVE, until release().

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTest>

class StoreLockHolder
{
public:
    // Starts sqlite3 on `store`; true from held() once its lock is taken.
    explicit StoreLockHolder(const QString &store)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // Unbuffered, so its answer shows the lock is taken.
        m_process.start(QStringLiteral("stdbuf"),
                        {QStringLiteral("-o0"), QStringLiteral("sqlite3"), QStringLiteral("-batch"), store});
        if (!m_process.waitForStarted(10000))
            return;
        m_process.write("BEGIN EXCLUSIVE;\nSELECT 'held';\n");
        QElapsedTimer waited;
        waited.start();
        while (!m_output.contains("held") && m_process.state() == QProcess::Running && waited.elapsed() < 10000) {
            m_process.waitForReadyRead(100);
            m_output += m_process.readAll();
        }
    }
    ~StoreLockHolder() { release(); }
    StoreLockHolder(const StoreLockHolder &) = delete;
    StoreLockHolder &operator=(const StoreLockHolder &) = delete;

    bool held() const { return m_output.contains("held"); }
    // What sqlite3 said, for a failure message.
    QByteArray output() const { return m_output; }
    // Ends the transaction and sqlite3; true when it ended.
    bool release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.write("COMMIT;\n.quit\n");
        m_process.closeWriteChannel();
        return m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

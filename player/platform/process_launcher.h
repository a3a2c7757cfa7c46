#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Starts and finds recorder processes. The player keeps no handles: a
// recorder is found again by its executable's file name. Arguments travel
// as a vector; nothing is ever passed through a shell.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;

    // Starts `program` with `arguments`, detached; false when it could not start.
    virtual bool start(const QString &program, const QStringList &arguments) = 0;
    // Process ids whose executable's file name equals `fileName`.
    virtual QList<qint64> findByFileName(const QString &fileName) const = 0;
    // Asks the process to end, then forces it after a grace period.
    virtual bool terminate(qint64 pid) = 0;
};

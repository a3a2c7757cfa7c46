#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Starts and finds recorder processes. Arguments travel as a vector;
// nothing is ever passed through a shell. A started process runs on its
// own (it may outlive the player); the player may note its id, and finds
// a recorder again by its executable's file name.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;

    // Starts `program` with `arguments`, detached; the new process's id,
    // or 0 when it could not start.
    virtual qint64 startProcess(const QString &program, const QStringList &arguments) = 0;
    // Starts like startProcess(); false when it could not start.
    bool start(const QString &program, const QStringList &arguments) { return startProcess(program, arguments) > 0; }
    // Ids of the player's own user's running processes whose executable's
    // file name equals `fileName` (ASCII letters compared without regard
    // to case), in the order the system lists them.
    virtual QList<qint64> findByFileName(const QString &fileName) const = 0;
    // Asks the process to end, then forces it after a grace period; never
    // waits for it. False when it is not a running process of the user.
    virtual bool terminate(qint64 pid) = 0;
    // True while `pid` is a running process of the player's user.
    virtual bool isRunning(qint64 pid) const = 0;
    // The full path of the executable of a running process of the user,
    // and its argument vector (program first); empty when it cannot be
    // read (gone, another user's, or a launcher that cannot tell).
    virtual QString executablePath(qint64) const { return {}; }
    virtual QStringList argumentVector(qint64) const { return {}; }
    // The file a program's output (standard output and error) goes to;
    // empty when the launcher keeps none.
    virtual QString outputLogOf(const QString &) const { return {}; }
};

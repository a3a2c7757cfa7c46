#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "platform/process_launcher.h"

class QSocketNotifier;

// The recorders as processes on Linux.
//
// start: posix_spawn with an argument vector (no shell), in a session of
// its own (so the process survives the player and its terminal), signal
// mask and dispositions reset, standard input from /dev/null, standard
// output and error appended to "<program>.log" beside the program, no
// other descriptor inherited. Each child the launcher started is reaped
// when it ends (a pidfd watched by the event loop), so none is left as a
// zombie; a child still running when the player ends is taken over by the
// system.
//
// find: walks /proc, takes only processes owned by the player's effective
// user, and compares the file name of /proc/<pid>/exe; the executable's
// path and the argument vector are read from /proc/<pid>/exe and
// /proc/<pid>/cmdline of such a process.
//
// terminate: SIGTERM at once, SIGKILL after the grace period if the same
// process (held by a pidfd, so a reused id is never hit) still runs. The
// interface thread never waits for it.
class PosixProcessLauncher final : public QObject, public ProcessLauncher
{
    Q_OBJECT
public:
    // A stopped recorder closes its file within its settle wait (1 s for
    // grablive, 4 s for grabclock); a few seconds more before it is forced.
    static constexpr int kDefaultGraceMs = 5000;

    explicit PosixProcessLauncher(int graceMs = kDefaultGraceMs, QObject *parent = nullptr);
    ~PosixProcessLauncher() override;

    qint64 startProcess(const QString &program, const QStringList &arguments) override;
    QList<qint64> findByFileName(const QString &fileName) const override;
    bool terminate(qint64 pid) override;
    bool isRunning(qint64 pid) const override;
    QString executablePath(qint64 pid) const override;
    QStringList argumentVector(qint64 pid) const override;
    QString outputLogOf(const QString &program) const override { return logFileOf(program); }

    // The log a program's output goes to: "<program>.log". A log grown past
    // kLogLimit bytes is started afresh at the next start.
    static QString logFileOf(const QString &program);
    static constexpr qint64 kLogLimit = 1 << 20;
    // File names equal when ASCII letters are compared without regard to
    // case; other characters must match exactly.
    static bool sameFileName(const QString &a, const QString &b);
    // Children started and not yet reaped.
    int unreapedChildren() const { return int(m_children.size()); }
    // Terminations whose SIGKILL is still pending.
    int pendingKills() const { return int(m_kills.size()); }

Q_SIGNALS:
    // A child of this launcher ended and was reaped.
    void childEnded(qint64 pid, int exitCode, bool signalled);

private:
    struct Child
    {
        int pidfd = -1;
        QSocketNotifier *notifier = nullptr;
    };
    struct PendingKill
    {
        int pidfd = -1;
        QTimer *timer = nullptr;
    };
    void watchChild(qint64 pid);
    void reap(qint64 pid);
    void reapWithoutPidfd();
    void forceKill(qint64 pid);
    static bool ownedByUser(qint64 pid);

    int m_graceMs;
    QHash<qint64, Child> m_children;
    QHash<qint64, PendingKill> m_kills;
    // Used only where pidfds are not available (kernels before 5.3).
    QTimer m_reapTimer;
};

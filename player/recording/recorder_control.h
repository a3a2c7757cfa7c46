#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class ProcessLauncher;

// The player's side of the recorder processes: the two recorders in the
// program folder, their argument vectors, the live recorder's start and
// stop, and the search for a running live recorder by its file name.
//
// A recorder gets [address, output path without extension, duration in
// ms] as three separate arguments: blanks in an address or in the program
// folder never split them. Only addresses the capture library records from
// the network are handed over (AddressRules::recordable).
class RecorderControl : public QObject
{
    Q_OBJECT
public:
    static inline const QString kLiveRecorder = QStringLiteral("grablive");
    static inline const QString kScheduledRecorder = QStringLiteral("grabclock");
    // A live recording ends when stopped, at the latest after a day.
    static constexpr qint64 kLiveDurationMs = 86400000;
    // The recorder reads its duration as a signed 32-bit number.
    static constexpr qint64 kMaxDurationMs = 2147483647;
    // How often the recorders this control started are looked at.
    static constexpr int kWatchIntervalMs = 500;
    // Recorders of this player running at once; a scheduled start beyond
    // it waits until one has ended.
    static constexpr int kMaxRunningRecorders = 20;
    // A line read from a recorder's log is cut to this many characters.
    static constexpr int kMaxReasonLength = 300;

    RecorderControl(ProcessLauncher &launcher, const QString &programDir, QObject *parent = nullptr);

    // Program path of a recorder: the program folder + its name.
    QString recorderPath(const QString &name) const;

    // The argument vector of a recorder run (program not included).
    static QStringList recorderArguments(const QString &address, const QString &outputPath, qint64 durationMs);

    // Starts grabclock with {address, outputPath, duration clamped to
    // 1..kMaxDurationMs}. Fire and forget: the recorder ends by itself and
    // may outlive the player; while the player runs it is watched
    // (recorderEnded). False when it was not started.
    bool startScheduledRecorder(const QString &address, const QString &outputPath, qint64 durationMs);
    // The reason of the last start that failed, for the user.
    QString startFailure() const { return m_startFailure; }
    // Recorders started by this control that are still running.
    int runningRecorders() const { return int(m_watched.size()); }
    // True when another recorder may start (kMaxRunningRecorders).
    bool canStartRecorder() const { return runningRecorders() < kMaxRunningRecorders; }
    // The last line a recorder wrote to its log (not the launcher's own
    // start lines), cut to kMaxReasonLength; empty when there is none.
    QString lastLogLine(const QString &name) const;

    // Starts grablive with {address, outputPath, kLiveDurationMs} and keeps
    // its process id for the stop. False when it was not started. A live
    // recorder that ends without being stopped is reported by
    // liveRecorderFailed.
    bool startLiveRecorder(const QString &address, const QString &outputPath);

    // Ends the live recorder (StopLiveRecorder): the one this player
    // started while it runs, otherwise the first live recorder of this
    // program folder (ownLiveRecorder; one left from an earlier run of the
    // player, say). Another folder's or another player's grablive is never
    // touched; with no recorder of its own, nothing is signalled. It is
    // asked to finish its file (SIGTERM) and forced only if it has not
    // ended a few seconds later. Nothing waits; failures are ignored.
    void stopLiveRecorder();

    // True when `pid` runs this program folder's grablive and writes into
    // this folder's recordings folder (its output argument lies there).
    bool ownLiveRecorder(qint64 pid) const;

    // True when one of the user's running processes has the executable
    // file name `fileName` (ASCII letters without regard to case); notes
    // the first one in foundProcessId(). Processes this control is already
    // stopping are passed over.
    bool FindProcessByName(const QString &fileName);
    qint64 foundProcessId() const { return m_foundProcessId; }
    // Ends one process of the user (SIGTERM, SIGKILL later if needed).
    void KillProcessById(qint64 pid);

    // The live recorder's command as text, for showing (liveCommand).
    QString liveCommand() const { return m_liveCommand; }
    // The arguments of the last live start: address and output path.
    QString liveAddress() const { return m_liveAddress; }
    QString liveOutputPath() const { return m_liveOutputPath; }
    qint64 liveProcessId() const { return m_livePid; }

    // A command line for showing: arguments with blanks in double quotes.
    static QString commandText(const QString &program, const QStringList &arguments);

Q_SIGNALS:
    void liveRecorderStarted(const QString &command);
    void liveRecorderStopped();
    // The live recorder ended without being asked to; `reason` is for the
    // user (the recorder's last log line, or what is known).
    void liveRecorderFailed(const QString &reason);
    // A recorder this control started has ended; `stopped`: it had been
    // asked to end. `reason` as for liveRecorderFailed.
    void recorderEnded(qint64 pid, const QString &outputPath, bool stopped, const QString &reason);

private:
    struct Watched
    {
        QString name;
        QString outputPath;
    };
    bool beingStopped(qint64 pid) const;
    qint64 start(const QString &name, const QString &address, const QString &outputPath, qint64 durationMs);
    void checkRecorders();
    QString endReason(const QString &name) const;

    ProcessLauncher &m_launcher;
    QString m_programDir;
    QString m_liveCommand;
    QString m_liveAddress;
    QString m_liveOutputPath;
    qint64 m_livePid = 0;
    qint64 m_foundProcessId = 0;
    // Processes asked to end, with the time of the request: a recorder
    // finishing its file is not asked again by the next stop.
    QHash<qint64, QElapsedTimer> m_stopping;
    // The recorders started and not yet seen ending, by process id.
    QHash<qint64, Watched> m_watched;
    QTimer m_watchTimer;
    QString m_startFailure;
};

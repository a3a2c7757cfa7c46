#include "recording/recorder_control.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/address_rules.h"
#include "platform/process_launcher.h"

namespace {

// How long a process asked to end is passed over by the name search: past
// the recorder's settle wait and the launcher's grace period.
constexpr qint64 kStoppingMemoryMs = 10000;

// The same file or folder: equal paths, or both lead to one place through
// links (a recorder linked into the program folder runs as its target).
bool samePath(const QString &a, const QString &b)
{
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

RecorderControl::RecorderControl(ProcessLauncher &launcher, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_launcher(launcher),
      m_programDir(programDir)
{
    m_watchTimer.setInterval(kWatchIntervalMs);
    connect(&m_watchTimer, &QTimer::timeout, this, &RecorderControl::checkRecorders);
}

QString RecorderControl::recorderPath(const QString &name) const
{
    return QDir(m_programDir).filePath(name);
}

QStringList RecorderControl::recorderArguments(const QString &address, const QString &outputPath, qint64 durationMs)
{
    const qint64 duration = qBound<qint64>(1, durationMs, kMaxDurationMs);
    return {address, outputPath, QString::number(duration)};
}

QString RecorderControl::commandText(const QString &program, const QStringList &arguments)
{
    QStringList shown{program};
    for (const QString &argument : arguments) {
        shown << (argument.isEmpty() || argument.contains(QLatin1Char(' '))
                      ? QLatin1Char('"') + argument + QLatin1Char('"')
                      : argument);
    }
    return shown.join(QLatin1Char(' '));
}

qint64 RecorderControl::start(const QString &name, const QString &address, const QString &outputPath, qint64 durationMs)
{
    m_startFailure.clear();
    if (!AddressRules::recordable(address) || outputPath.isEmpty()) {
        m_startFailure = QStringLiteral("This station cannot be recorded: ") + address;
        return 0;
    }
    const QString program = recorderPath(name);
    const qint64 pid = m_launcher.startProcess(program, recorderArguments(address, outputPath, durationMs));
    if (pid <= 0) {
        m_startFailure = QStringLiteral("The recorder could not be started: ") + QDir::toNativeSeparators(program);
        return 0;
    }
    m_watched.insert(pid, Watched{name, outputPath});
    if (!m_watchTimer.isActive())
        m_watchTimer.start();
    return pid;
}

bool RecorderControl::startScheduledRecorder(const QString &address, const QString &outputPath, qint64 durationMs)
{
    return start(kScheduledRecorder, address, outputPath, durationMs) > 0;
}

bool RecorderControl::startLiveRecorder(const QString &address, const QString &outputPath)
{
    const QString program = recorderPath(kLiveRecorder);
    const QStringList arguments = recorderArguments(address, outputPath, kLiveDurationMs);
    m_liveAddress = address;
    m_liveOutputPath = outputPath;
    m_liveCommand = commandText(program, arguments);
    const qint64 pid = start(kLiveRecorder, address, outputPath, kLiveDurationMs);
    if (pid <= 0)
        return false;
    m_livePid = pid;
    Q_EMIT liveRecorderStarted(m_liveCommand);
    return true;
}

QString RecorderControl::lastLogLine(const QString &name) const
{
    QFile log(m_launcher.outputLogOf(recorderPath(name)));
    if (log.fileName().isEmpty() || !log.open(QIODevice::ReadOnly))
        return {};
    // The tail is enough for the last line; the log may be large.
    constexpr qint64 kTail = 4096;
    if (log.size() > kTail)
        log.seek(log.size() - kTail);
    const QList<QByteArray> lines = log.read(kTail).split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = QString::fromUtf8(*it).trimmed();
        if (line.isEmpty())
            continue;
        // The launcher's own line before each start: the recorder wrote
        // nothing since.
        if (line.startsWith(QLatin1String("---- ")))
            return {};
        return line.left(kMaxReasonLength);
    }
    return {};
}

QString RecorderControl::endReason(const QString &name) const
{
    const QString line = lastLogLine(name);
    return line.isEmpty() ? QStringLiteral("The recorder ended without a message.") : line;
}

void RecorderControl::checkRecorders()
{
    // Collected first: a receiver may start or stop recorders.
    QList<QPair<qint64, Watched>> ended;
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (m_launcher.isRunning(it.key())) {
            ++it;
            continue;
        }
        ended.append({it.key(), it.value()});
        it = m_watched.erase(it);
    }
    if (m_watched.isEmpty())
        m_watchTimer.stop();
    for (const auto &[pid, watched] : std::as_const(ended)) {
        const bool stopped = m_stopping.contains(pid);
        const QString reason = stopped ? QString() : endReason(watched.name);
        if (pid == m_livePid) {
            m_livePid = 0;
            if (!stopped)
                Q_EMIT liveRecorderFailed(reason);
        }
        Q_EMIT recorderEnded(pid, watched.outputPath, stopped, reason);
    }
}

bool RecorderControl::beingStopped(qint64 pid) const
{
    const auto it = m_stopping.constFind(pid);
    return it != m_stopping.constEnd() && it->elapsed() < kStoppingMemoryMs;
}

bool RecorderControl::FindProcessByName(const QString &fileName)
{
    for (qint64 pid : m_launcher.findByFileName(fileName)) {
        if (!beingStopped(pid)) {
            m_foundProcessId = pid;
            return true;
        }
    }
    return false;
}

void RecorderControl::KillProcessById(qint64 pid)
{
    if (pid <= 0 || beingStopped(pid))
        return;
    if (m_launcher.terminate(pid)) {
        QElapsedTimer since;
        since.start();
        m_stopping.insert(pid, since);
    }
    // Forget requests older than the memory, so the table stays small.
    for (auto it = m_stopping.begin(); it != m_stopping.end();) {
        if (it->elapsed() >= kStoppingMemoryMs)
            it = m_stopping.erase(it);
        else
            ++it;
    }
}

bool RecorderControl::ownLiveRecorder(qint64 pid) const
{
    const QString program = m_launcher.executablePath(pid);
    if (program.isEmpty() || !samePath(program, recorderPath(kLiveRecorder)))
        return false;
    // {program, address, output path, duration}: the output is the third.
    const QStringList arguments = m_launcher.argumentVector(pid);
    if (arguments.size() != 4 || !QFileInfo(arguments.at(2)).isAbsolute())
        return false;
    return samePath(QFileInfo(arguments.at(2)).absolutePath(),
                    QDir(m_programDir).filePath(QStringLiteral("radiorecord")));
}

void RecorderControl::stopLiveRecorder()
{
    qint64 target = 0;
    if (m_livePid > 0 && !beingStopped(m_livePid) && m_launcher.isRunning(m_livePid))
        target = m_livePid;
    else {
        for (qint64 pid : m_launcher.findByFileName(kLiveRecorder)) {
            if (!beingStopped(pid) && ownLiveRecorder(pid)) {
                target = m_foundProcessId = pid;
                break;
            }
        }
    }
    m_livePid = 0;
    if (target <= 0)
        return;
    KillProcessById(target);
    Q_EMIT liveRecorderStopped();
}

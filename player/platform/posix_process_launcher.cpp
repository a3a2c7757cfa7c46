#include "platform/posix_process_launcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

extern char **environ;

namespace {

int openPidfd(qint64 pid)
{
#ifdef SYS_pidfd_open
    return int(syscall(SYS_pidfd_open, pid_t(pid), 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int signalPidfd(int pidfd, int signal)
{
#ifdef SYS_pidfd_send_signal
    return int(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
    (void)pidfd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

// Path of a process's executable; empty for kernel threads, zombies and
// processes whose link cannot be read. A program replaced on disk while it
// runs (a rebuild, an update) is still itself.
std::string executableTarget(const char *pidText)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%s/exe", pidText);
    char target[4096];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return {};
    std::string path(target, size_t(n));
    static const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

// File name of a process's executable; empty where its path is.
std::string executableName(const char *pidText)
{
    const std::string path = executableTarget(pidText);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isDecimal(const char *text)
{
    if (!*text)
        return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

void appendStartLine(const QString &logPath, const QString &program, const QStringList &arguments)
{
    QFile log(logPath);
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append;
    if (QFileInfo(logPath).size() > PosixProcessLauncher::kLogLimit)
        mode = QIODevice::WriteOnly | QIODevice::Truncate;
    if (!log.open(mode))
        return;
    QStringList shown{program};
    for (const QString &argument : arguments)
        shown << (argument.contains(QLatin1Char(' ')) || argument.isEmpty()
                      ? QLatin1Char('"') + argument + QLatin1Char('"')
                      : argument);
    log.write(QStringLiteral("---- %1 start: %2\n")
                  .arg(QDateTime::currentDateTime().toString(Qt::ISODate), shown.join(QLatin1Char(' ')))
                  .toUtf8());
}

}  // namespace

PosixProcessLauncher::PosixProcessLauncher(int graceMs, QObject *parent) : QObject(parent), m_graceMs(graceMs)
{
    m_reapTimer.setInterval(1000);
    connect(&m_reapTimer, &QTimer::timeout, this, &PosixProcessLauncher::reapWithoutPidfd);
}

PosixProcessLauncher::~PosixProcessLauncher()
{
    // Children still running are left to the system (a scheduled recorder
    // outlives the player); pending kills are dropped: a stopped recorder
    // ends by itself after its settle wait.
    for (const Child &child : std::as_const(m_children)) {
        delete child.notifier;
        if (child.pidfd >= 0)
            ::close(child.pidfd);
    }
    for (const PendingKill &kill : std::as_const(m_kills)) {
        delete kill.timer;
        ::close(kill.pidfd);
    }
}

QString PosixProcessLauncher::logFileOf(const QString &program)
{
    return program + QStringLiteral(".log");
}

bool PosixProcessLauncher::sameFileName(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        char16_t x = a.at(i).unicode();
        char16_t y = b.at(i).unicode();
        if (x >= 'a' && x <= 'z')
            x = char16_t(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char16_t(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

qint64 PosixProcessLauncher::startProcess(const QString &program, const QStringList &arguments)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> args;
    args.reserve(size_t(arguments.size()) + 1);
    args.push_back(path);
    for (const QString &argument : arguments)
        args.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const QString logPath = logFileOf(program);
    appendStartLine(logPath, program, arguments);
    const QByteArray log = QFile::encodeName(logPath);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: no terminal signals from the player's session, and
    // nothing of the player's signal set-up.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc = ENOENT;
    // With the log first; where the log cannot be written, without it.
    for (const bool withLog : {true, false}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (withLog)
            posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_APPEND | O_CREAT, 0644);
        else
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        rc = posix_spawn(&pid, path.constData(), &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        // A missing or unusable program fails the same way with or without
        // the log; only a log that cannot be opened is worth a second try.
        if (rc == 0 || !withLog || QFileInfo(program).isExecutable() == false)
            break;
    }
    posix_spawnattr_destroy(&attr);
    if (rc != 0 || pid <= 0)
        return 0;
    watchChild(pid);
    return pid;
}

void PosixProcessLauncher::watchChild(qint64 pid)
{
    Child child;
    child.pidfd = openPidfd(pid);
    if (child.pidfd >= 0) {
        child.notifier = new QSocketNotifier(qintptr(child.pidfd), QSocketNotifier::Read);
        connect(child.notifier, &QSocketNotifier::activated, this, [this, pid] { reap(pid); });
    } else if (!m_reapTimer.isActive()) {
        m_reapTimer.start();
    }
    m_children.insert(pid, child);
}

void PosixProcessLauncher::reap(qint64 pid)
{
    int status = 0;
    const pid_t done = waitpid(pid_t(pid), &status, WNOHANG);
    if (done == 0)
        return;  // still running
    const auto it = m_children.find(pid);
    if (it == m_children.end())
        return;
    if (it->notifier) {
        it->notifier->setEnabled(false);
        it->notifier->deleteLater();
    }
    if (it->pidfd >= 0)
        ::close(it->pidfd);
    m_children.erase(it);
    if (done == pid_t(pid)) {
        const bool signalled = WIFSIGNALED(status);
        Q_EMIT childEnded(pid, signalled ? WTERMSIG(status) : WEXITSTATUS(status), signalled);
    }
}

void PosixProcessLauncher::reapWithoutPidfd()
{
    const QList<qint64> pids = m_children.keys();
    for (qint64 pid : pids) {
        if (m_children.value(pid).pidfd < 0)
            reap(pid);
    }
    bool anyLeft = false;
    for (const Child &child : std::as_const(m_children))
        anyLeft = anyLeft || child.pidfd < 0;
    if (!anyLeft)
        m_reapTimer.stop();
}

bool PosixProcessLauncher::ownedByUser(qint64 pid)
{
    char dir[64];
    std::snprintf(dir, sizeof dir, "/proc/%lld", static_cast<long long>(pid));
    struct stat info;
    return pid > 0 && ::stat(dir, &info) == 0 && info.st_uid == geteuid();
}

QList<qint64> PosixProcessLauncher::findByFileName(const QString &fileName) const
{
    QList<qint64> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    const uid_t me = geteuid();
    const int procFd = dirfd(proc);
    while (dirent *entry = readdir(proc)) {
        if (!isDecimal(entry->d_name))
            continue;
        // Only the user's own processes: another user's recorder is never
        // found, and so never stopped.
        struct stat info;
        if (fstatat(procFd, entry->d_name, &info, 0) != 0 || info.st_uid != me)
            continue;
        const std::string name = executableName(entry->d_name);
        if (!name.empty() && sameFileName(QFile::decodeName(QByteArray::fromStdString(name)), fileName))
            found << QByteArray(entry->d_name).toLongLong();
    }
    closedir(proc);
    return found;
}

bool PosixProcessLauncher::isRunning(qint64 pid) const
{
    if (!ownedByUser(pid))
        return false;
    // A zombie has ended: it only waits to be reaped.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
    QFile stat(QString::fromLatin1(path));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.read(512);
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line.at(close + 2) != 'Z' && line.at(close + 2) != 'X';
}

bool PosixProcessLauncher::terminate(qint64 pid)
{
    if (m_kills.contains(pid))
        return true;  // already asked; its SIGKILL is pending
    const int pidfd = openPidfd(pid);
    // Checked after the pidfd is held: the id cannot pass to another
    // process between the check and the signals.
    if (!ownedByUser(pid)) {
        if (pidfd >= 0)
            ::close(pidfd);
        return false;
    }
    if (pidfd < 0)
        return ::kill(pid_t(pid), SIGTERM) == 0;
    if (signalPidfd(pidfd, SIGTERM) != 0) {
        ::close(pidfd);
        return false;
    }
    PendingKill pending;
    pending.pidfd = pidfd;
    pending.timer = new QTimer(this);
    pending.timer->setSingleShot(true);
    connect(pending.timer, &QTimer::timeout, this, [this, pid] { forceKill(pid); });
    pending.timer->start(m_graceMs);
    m_kills.insert(pid, pending);
    return true;
}

void PosixProcessLauncher::forceKill(qint64 pid)
{
    const auto it = m_kills.find(pid);
    if (it == m_kills.end())
        return;
    // On an ended process this fails harmlessly (ESRCH); the pidfd never
    // names a newer process with the same id.
    signalPidfd(it->pidfd, SIGKILL);
    ::close(it->pidfd);
    it->timer->deleteLater();
    m_kills.erase(it);
}

QString PosixProcessLauncher::executablePath(qint64 pid) const
{
    if (!ownedByUser(pid))
        return {};
    const std::string pidText = std::to_string(pid);
    return QFile::decodeName(QByteArray::fromStdString(executableTarget(pidText.c_str())));
}

QStringList PosixProcessLauncher::argumentVector(qint64 pid) const
{
    if (!ownedByUser(pid))
        return {};
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    // Four arguments of at most a few kilobytes each; more is not a recorder.
    QByteArray bytes = cmdline.read(64 * 1024);
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    QStringList arguments;
    for (const QByteArray &argument : bytes.split('\0'))
        arguments << QString::fromLocal8Bit(argument);
    return bytes.isEmpty() ? QStringList() : arguments;
}

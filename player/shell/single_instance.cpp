#include "shell/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

const QByteArray kRaise = QByteArrayLiteral("raise\n");
const QByteArray kRaised = QByteArrayLiteral("raised\n");

QString canonicalPath(const QString &file)
{
    const QFileInfo info(file);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

}  // namespace

SingleInstance::SingleInstance(const QString &storeFile, QObject *parent)
    : QObject(parent),
      m_storeFile(storeFile),
      m_lock(lockFileOf(storeFile))
{
    // Only a dead holder makes a lock stale, never its age: a player runs
    // for weeks.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFileOf(const QString &storeFile)
{
    return storeFile + QStringLiteral(".lock");
}

QString SingleInstance::serverNameOf(const QString &storeFile)
{
    // The home folder keeps two users' players on one shared folder apart.
    const QByteArray key = (canonicalPath(storeFile) + QLatin1Char('\n') + QDir::homePath()).toUtf8();
    return QStringLiteral("vexa-radio-player-")
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

SingleInstance::Claim SingleInstance::claim(int answerWaitMs)
{
    if (m_lock.tryLock(0)) {
        listen();
        return Claim::Own;
    }
    if (m_lock.error() == QLockFile::LockFailedError)
        return askRunning(answerWaitMs) ? Claim::OtherRaised : Claim::OtherSilent;
    // No lock can be made here: whoever answers on the socket has the store.
    if (askRunning(0))
        return Claim::OtherRaised;
    listen();
    return Claim::Own;
}

bool SingleInstance::askRunning(int waitMs) const
{
    // The holder may still be starting: its socket comes up after the lock.
    const QDeadlineTimer deadline(waitMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(serverNameOf(m_storeFile));
        if (socket.waitForConnected(int(qBound(qint64(1), deadline.remainingTime(), qint64(1000))))) {
            socket.write(kRaise);
            socket.flush();
            QByteArray answer;
            while (!answer.contains('\n') && socket.waitForReadyRead(int(qMax<qint64>(100, deadline.remainingTime()))))
                answer += socket.readAll();
            if (answer.startsWith(kRaised))
                return true;
        }
        if (!deadline.hasExpired())
            QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = serverNameOf(m_storeFile);
    if (!m_server->listen(name)) {
        // A socket file left by a player that died; the lock says it is ours.
        QLocalServer::removeServer(name);
        if (!m_server->listen(name))
            return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine(64);
                if (line != kRaise) {
                    socket->disconnectFromServer();
                    return;
                }
                Q_EMIT raiseRequested();
                socket->write(kRaised);
                socket->disconnectFromServer();
            });
        }
    });
}

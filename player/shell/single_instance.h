#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One player per store. The first player takes a lock file beside the
// store (rd.d.lock) and listens on a local socket whose name comes from the
// store's path; a later start on the same store finds the lock held, asks
// the running player over that socket to come to the front, and ends.
//
// A lock left by a player that died is taken over (its process is gone);
// a lock held by a running process that does not answer is reported, and
// the later start ends as well: two players on one store would run the
// schedule twice and end each other's recordings. A folder where no lock
// can be made (a read-only one) holds no store this player can write, so
// there the socket alone decides.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    // How long a later start tries to reach the running player.
    static constexpr int kAnswerWaitMs = 5000;

    enum class Claim {
        Own,          // this is the store's player
        OtherRaised,  // another player runs on the store and came to the front
        OtherSilent,  // the store's lock is held, and its holder does not answer
    };

    explicit SingleInstance(const QString &storeFile, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the store for this player, or reaches the one that has it.
    Claim claim(int answerWaitMs = kAnswerWaitMs);

    static QString lockFileOf(const QString &storeFile);
    // The local socket's name: the same for every spelling of the path.
    static QString serverNameOf(const QString &storeFile);

Q_SIGNALS:
    // A later start asked this player to come to the front.
    void raiseRequested();

private:
    bool askRunning(int waitMs) const;
    void listen();

    QString m_storeFile;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

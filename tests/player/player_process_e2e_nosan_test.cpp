// End to end: the built radioplayer program itself, run as its own process
// on a private Xvfb display from a program folder of the test's own (a
// hard link of the program beside the shipped store and skin). A second
// start on the same store brings the first player forward and ends; a lock
// held by a program that does not answer is reported; SIGTERM, SIGINT and
// SIGHUP close the player with its close steps (it ends normally, the
// store is closed and its lock given back).
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "e2e_fixture.h"
#include "shell/single_instance.h"
#include "store/store.h"

namespace {

constexpr int kStartMs = 90000;  // the web engine starts slowly on a loaded machine

// A program folder with the program in it.
struct ProgramFolder
{
    ProgramFolder()
    {
        ok = dir.isValid() && e2e::makeProgramFolder(QDir(dir.path()), true);
        const QByteArray from = QFile::encodeName(QStringLiteral(VEXA_RADIOPLAYER));
        ok = ok
            && (::link(from.constData(), QFile::encodeName(program()).constData()) == 0
                || QFile::copy(QStringLiteral(VEXA_RADIOPLAYER), program()));
    }
    QString program() const { return dir.filePath(QStringLiteral("radioplayer")); }
    QString store() const { return Store::fileIn(dir.path()); }

    // Beside the build, so the program can be hard-linked into it.
    QTemporaryDir dir{QStringLiteral(VEXA_TEST_WORK_DIR "/program-XXXXXX")};
    bool ok = false;
};

// The program started on the test's display, its directory addresses on a
// closed loopback port.
std::unique_ptr<QProcess> startPlayer(const ProgramFolder &folder)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process->setProcessEnvironment(env);
    process->start(folder.program(),
                   {QStringLiteral("--directory"), QStringLiteral("http://127.0.0.1:9/"), QStringLiteral("--hitlog"),
                    QStringLiteral("http://127.0.0.1:9")});
    return process;
}

// The process id a lock file names; 0 when there is none.
qint64 lockHolder(const QString &lockFile)
{
    QFile lock(lockFile);
    return lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
}

// Asks the store's player `player` to come forward, as a second start
// does; true once it answered (its event loop runs).
bool playerAnswers(const ProgramFolder &folder, const QProcess &player, int withinMs)
{
    QElapsedTimer waited;
    waited.start();
    do {
        // Asked only once the player holds the lock: an early ask would take
        // the store from the player that is starting.
        if (lockHolder(SingleInstance::lockFileOf(folder.store())) != player.processId()) {
            QTest::qWait(100);
            continue;
        }
        SingleInstance second(folder.store());
        const SingleInstance::Claim claim = second.claim(1000);
        if (claim == SingleInstance::Claim::OtherRaised)
            return true;
    } while (waited.elapsed() < withinMs);
    return false;
}

}  // namespace

class PlayerProcessEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const std::string display = xvfb::startXvfb();
        QVERIFY2(!display.empty(), "cannot start Xvfb");
        qputenv("DISPLAY", QByteArray::fromStdString(display));
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
            QFile::setPermissions(m_runtime.path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }
    void cleanupTestCase() { xvfb::stopXvfb(); }

    // Ended by a signal, the player runs the close of its main window.
    void signalClosesThePlayer_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalClosesThePlayer()
    {
        QFETCH(int, signal);
        ProgramFolder folder;
        QVERIFY(folder.ok);
        auto player = startPlayer(folder);
        QVERIFY(player->waitForStarted(10000));
        QVERIFY2(playerAnswers(folder, *player, kStartMs), player->readAllStandardError().constData());

        QElapsedTimer closing;
        closing.start();
        QVERIFY(::kill(pid_t(player->processId()), signal) == 0);
        QVERIFY(player->waitForFinished(10000));
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(player->exitStatus(), QProcess::NormalExit);
        QCOMPARE(player->exitCode(), 0);
        // The store was closed (its log folded back) and its lock given back.
        QVERIFY(!QFile::exists(folder.store() + QStringLiteral("-wal")));
        QVERIFY(!QFile::exists(SingleInstance::lockFileOf(folder.store())));
    }

    // A second start on the same store ends and leaves the first running.
    void secondStartBringsTheFirstForward()
    {
        ProgramFolder folder;
        QVERIFY(folder.ok);
        auto first = startPlayer(folder);
        QVERIFY(first->waitForStarted(10000));
        QVERIFY2(playerAnswers(folder, *first, kStartMs), first->readAllStandardError().constData());

        auto second = startPlayer(folder);
        QVERIFY(second->waitForFinished(kStartMs));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(playerAnswers(folder, *first, 10000));

        ::kill(pid_t(first->processId()), SIGTERM);
        QVERIFY(first->waitForFinished(10000));
        QCOMPARE(first->exitCode(), 0);
    }

    // A lock held by a running program that is no player is reported, and
    // the store is left alone; a lock left by a process that is gone is
    // taken over.
    void heldAndStaleLocks()
    {
        ProgramFolder folder;
        QVERIFY(folder.ok);
        const QByteArray storeBefore = [&] {
            QFile f(folder.store());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        {
            QLockFile held(SingleInstance::lockFileOf(folder.store()));
            QVERIFY(held.tryLock(0));
            auto player = startPlayer(folder);
            QVERIFY(player->waitForStarted(10000));
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT((said += player->readAllStandardError()).contains("does not answer")
                                         || player->state() != QProcess::Running,
                                     kStartMs);
            said += player->readAllStandardError();
            QVERIFY2(said.contains("does not answer"), said.constData());
            ::kill(pid_t(player->processId()), SIGKILL);  // its message box waits for OK
            player->waitForFinished(10000);
            QFile store(folder.store());
            QVERIFY(store.open(QIODevice::ReadOnly));
            QCOMPARE(store.readAll(), storeBefore);
            QVERIFY(!QFile::exists(folder.store() + QStringLiteral("-wal")));
        }

        // A lock left by a process that ended without giving it back.
        const pid_t gone = fork();
        if (gone == 0) {
            QLockFile left(SingleInstance::lockFileOf(folder.store()));
            _exit(left.tryLock(0) ? 0 : 1);
        }
        int status = -1;
        QVERIFY(gone > 0 && waitpid(gone, &status, 0) == gone && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(lockHolder(SingleInstance::lockFileOf(folder.store())), qint64(gone));
        auto player = startPlayer(folder);
        QVERIFY(player->waitForStarted(10000));
        QVERIFY2(playerAnswers(folder, *player, kStartMs), player->readAllStandardError().constData());
        ::kill(pid_t(player->processId()), SIGTERM);
        QVERIFY(player->waitForFinished(10000));
    }

private:
    QTemporaryDir m_runtime;
};

QTEST_GUILESS_MAIN(PlayerProcessEndToEndTest)
#include "player_process_e2e_nosan_test.moc"

// The real process launcher: argument vectors, sessions, logs, reaping,
// the search restricted to the user, SIGTERM then SIGKILL; and the real
// grablive started and stopped through RecorderControl against loopback
// streams, leaving complete files.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "asf_media.h"
#include "bounded_wait.h"
#include "mmsh_server.h"
#include "platform/posix_process_launcher.h"
#include "recording/recorder_control.h"
#include "scripted_server.h"

namespace {

// A folder with a blank in its name holding the stand-in recorder under
// `name`, readable and runnable by every user.
struct StubFolder
{
    explicit StubFolder(const QString &name = QStringLiteral("grablive"))
    {
        QDir(dir.path()).mkpath(QStringLiteral("program folder"));
        path = dir.filePath(QStringLiteral("program folder"));
        program = path + QLatin1Char('/') + name;
        QFile::copy(QStringLiteral(VEXA_RECORDER_STUB), program);
        for (const QString &p : {dir.path(), path})
            chmod(QFile::encodeName(p).constData(), 0755);
        chmod(QFile::encodeName(program).constData(), 0755);
    }
    QString log() const
    {
        QFile f(PosixProcessLauncher::logFileOf(program));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QTemporaryDir dir;
    QString path;
    QString program;
};

bool procEntryExists(qint64 pid)
{
    return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// MPEG-1 layer III frame length at `at`, 0 when no frame header is there.
int mp3FrameLength(const QByteArray &b, qsizetype at)
{
    static const int kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int rates[4] = {44100, 48000, 32000, 0};
    if (at + 4 > b.size())
        return 0;
    const auto u = [&](qsizetype i) { return static_cast<unsigned char>(b.at(i)); };
    if (u(at) != 0xFF || (u(at + 1) & 0xFE) != 0xFA)
        return 0;
    const int bitrate = kbps[u(at + 2) >> 4];
    const int rate = rates[(u(at + 2) >> 2) & 3];
    if (!bitrate || !rate)
        return 0;
    return 144000 * bitrate / rate + ((u(at + 2) >> 1) & 1);
}

QByteArray makeToneMp3(const QString &dir)
{
    const QString path = dir + QStringLiteral("/tone.mp3");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-nostdin",
                  "-loglevel",
                  "error",
                  "-y",
                  "-f",
                  "lavfi",
                  "-i",
                  "sine=frequency=440:duration=20",
                  "-ac",
                  "2",
                  "-ar",
                  "44100",
                  "-c:a",
                  "libmp3lame",
                  "-b:a",
                  "128k",
                  "-write_xing",
                  "0",
                  "-id3v2_version",
                  "0",
                  path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class PosixProcessLauncherTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Blanks stay inside their arguments; the child runs in a session of
    // its own, writes to its log and is reaped once it has ended.
    void argumentsSessionLogAndReaping()
    {
        StubFolder stub;
        PosixProcessLauncher launcher;
        QSignalSpy ended(&launcher, &PosixProcessLauncher::childEnded);
        const QStringList arguments{"http://radio.example/my station.asx", stub.path + "/radiorecord/2007 5", "1",
                                    "--exit"};
        const qint64 pid = launcher.startProcess(stub.program, arguments);
        QVERIFY(pid > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(!ended.isEmpty(), "the end of a stub that exits at once", testwait::kLoadMarginMs);
        QCOMPARE(ended.first().at(0).toLongLong(), pid);
        QCOMPARE(ended.first().at(1).toInt(), 0);
        QCOMPARE(ended.first().at(2).toBool(), false);
        QVERIFY2(!procEntryExists(pid), "the ended child is reaped, not left a zombie");
        QCOMPARE(launcher.unreapedChildren(), 0);
        const QString log = stub.log();
        for (const QString &argument : arguments)
            QVERIFY2(log.contains("\narg:" + argument + "\n"), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("\nsid:%1\n").arg(pid)), qPrintable(log));
        QVERIFY(log.startsWith(QStringLiteral("---- ")));
        QCOMPARE(launcher.startProcess(stub.path + QStringLiteral("/missing"), {}), qint64(0));
    }

    void fileNameComparison_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("equal") << "grablive"
                               << "grablive" << true;
        QTest::newRow("ASCII case") << "grablive"
                                    << "GrabLIVE" << true;
        QTest::newRow("non-ASCII case") << QString::fromUtf8("grablivé") << QString::fromUtf8("GRABLIVÉ") << false;
        QTest::newRow("non-ASCII kept") << QString::fromUtf8("grablivé") << QString::fromUtf8("GRABLIVé") << true;
        QTest::newRow("longer") << "grablive"
                                << "grablive.exe" << false;
        QTest::newRow("other") << "grablive"
                               << "grabclock" << false;
    }
    void fileNameComparison()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(PosixProcessLauncher::sameFileName(a, b), same);
    }

    // Found by file name (ASCII letters in any case), only among the
    // user's own processes; another user's recorder is neither found nor
    // signalled.
    void searchIsTheUsersOwn()
    {
        StubFolder stub;
        PosixProcessLauncher launcher(200);
        const qint64 mine = launcher.startProcess(stub.program, {});
        QVERIFY(mine > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(stub.log().contains(QStringLiteral("pid:")),
                                  qPrintable("the started stub's pid in its log; the log: " + stub.log()),
                                  testwait::kLoadMarginMs);
        for (const char *name : {"grablive", "GRABLIVE", "GrabLive"})
            QVERIFY2(launcher.findByFileName(QString::fromUtf8(name)).contains(mine), name);
        for (const char *name : {"grablive.exe", "grabliv", "grablivé", "grabclock"})
            QVERIFY2(!launcher.findByFileName(QString::fromUtf8(name)).contains(mine), name);
        QVERIFY(launcher.isRunning(mine));

        pid_t other = -1;
        if (geteuid() == 0) {
            const QByteArray program = QFile::encodeName(stub.program);
            other = fork();
            if (other == 0) {
                const int quiet = open("/dev/null", O_WRONLY);
                if (quiet < 0 || dup2(quiet, 1) < 0 || setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(127);
                execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
                _exit(127);
            }
            QVERIFY(other > 0);
            QTRY_VERIFY2_WITH_TIMEOUT(
                QFileInfo(QStringLiteral("/proc/%1/exe").arg(other)).symLinkTarget().endsWith("grablive")
                    || !procEntryExists(other),
                "the other user's stub running as grablive (or ended)", testwait::kLoadMarginMs);
            QVERIFY(procEntryExists(other));
            QVERIFY(!launcher.findByFileName(QStringLiteral("grablive")).contains(other));
            QVERIFY(!launcher.isRunning(other));
            QVERIFY(!launcher.terminate(other));
            QTest::qWait(100);
            QCOMPARE(waitpid(other, nullptr, WNOHANG), 0);  // still running
            kill(other, SIGKILL);
            waitpid(other, nullptr, 0);
        } else {
            qInfo("not root: no process of another user to test with");
        }
        QSignalSpy ended(&launcher, &PosixProcessLauncher::childEnded);
        QVERIFY(launcher.terminate(mine));
        QTRY_VERIFY2_WITH_TIMEOUT(!ended.isEmpty(), "the stub's end on SIGTERM", testwait::recorderEndMs(0, 200));
        QCOMPARE(ended.first().at(1).toInt(), int(SIGTERM));
    }

    // A stop with no recorder of its own started ends only a grablive of
    // this program folder that writes into its recordings folder (one left
    // by an earlier run), read from the process's executable and argument
    // vector; another folder's grablive, and this folder's writing
    // elsewhere, run on.
    void stopEndsOnlyThisFoldersRecorder()
    {
        StubFolder ours;
        StubFolder other;
        QTemporaryDir elsewhere;
        for (const StubFolder *folder : {&ours, &other})
            QVERIFY(QDir(folder->path).mkpath(QStringLiteral("radiorecord")));
        const QString address = QStringLiteral("http://127.0.0.1:9/live");
        const QString live = QString::number(RecorderControl::kLiveDurationMs);
        PosixProcessLauncher earlier(200);  // an earlier run, and another player
        QSignalSpy ended(&earlier, &PosixProcessLauncher::childEnded);
        const qint64 left =
            earlier.startProcess(ours.program, {address, ours.path + QStringLiteral("/radiorecord/2026121013"), live});
        const qint64 foreign = earlier.startProcess(
            other.program, {address, other.path + QStringLiteral("/radiorecord/2026121013"), live});
        const qint64 astray =
            earlier.startProcess(ours.program, {address, elsewhere.filePath(QStringLiteral("2026121013")), live});
        for (qint64 pid : {left, foreign, astray})
            QVERIFY(pid > 0);
        QTRY_COMPARE(ours.log().count(QStringLiteral("pid:")), 2);
        QTRY_COMPARE(other.log().count(QStringLiteral("pid:")), 1);

        PosixProcessLauncher launcher(200);
        QCOMPARE(launcher.argumentVector(foreign),
                 (QStringList{other.program, address, other.path + QStringLiteral("/radiorecord/2026121013"), live}));
        QCOMPARE(launcher.executablePath(foreign), other.program);
        RecorderControl control(launcher, ours.path);
        QVERIFY(control.ownLiveRecorder(left));
        QVERIFY(!control.ownLiveRecorder(foreign));
        QVERIFY(!control.ownLiveRecorder(astray));
        control.stopLiveRecorder();
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().at(0).toLongLong(), left);
        QCOMPARE(ended.first().at(1).toInt(), int(SIGTERM));

        // Nothing of its own left: the next stop signals nothing.
        control.stopLiveRecorder();
        QTest::qWait(300);
        QCOMPARE(ended.size(), 1);
        QVERIFY(earlier.isRunning(foreign));
        QVERIFY(earlier.isRunning(astray));
        for (qint64 pid : {foreign, astray})
            earlier.terminate(pid);
        QTRY_COMPARE(ended.size(), 3);
    }

    // A recorder that does not end on SIGTERM is forced after the grace
    // period; the call itself returns at once.
    void forcedAfterGrace()
    {
        StubFolder stub;
        PosixProcessLauncher launcher(300);
        QSignalSpy ended(&launcher, &PosixProcessLauncher::childEnded);
        const qint64 pid = launcher.startProcess(stub.program, {QStringLiteral("--ignore-term")});
        QVERIFY(pid > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(stub.log().contains(QStringLiteral("pid:")),
                                  qPrintable("the started stub's pid in its log; the log: " + stub.log()),
                                  testwait::kLoadMarginMs);
        QElapsedTimer terminated;
        terminated.start();
        QVERIFY(launcher.terminate(pid));
        QCOMPARE(launcher.pendingKills(), 1);
        QTRY_VERIFY2_WITH_TIMEOUT(!ended.isEmpty(), "the stub's end by SIGKILL after the grace",
                                  testwait::recorderEndMs(0, 300));
        QVERIFY2(terminated.elapsed() >= 300,
                 qPrintable(QStringLiteral("SIGTERM is ignored; SIGKILL waits for the 300 ms grace, came after %1 ms")
                                .arg(terminated.elapsed())));
        QCOMPARE(ended.first().at(1).toInt(), int(SIGKILL));
        QCOMPARE(ended.first().at(2).toBool(), true);
        QCOMPARE(launcher.pendingKills(), 0);
        QVERIFY(!procEntryExists(pid));
    }

    // The real grablive on a loopback stream: the stop ends it with
    // SIGTERM within its 1 s settle wait, before the launcher would force
    // it, and the file is complete.
    void realLiveRecorder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("mp3 over http") << "mp3";
        QTest::newRow("wma over mms-over-http") << "wma";
    }
    void realLiveRecorder()
    {
        QFETCH(QString, kind);
        QTemporaryDir work;
        std::unique_ptr<testsupport::ScriptedServer> server;
        std::shared_ptr<testsupport::AsfMedia> media;
        if (kind == QLatin1String("mp3")) {
            const QByteArray tone = makeToneMp3(work.path());
            if (tone.isEmpty())
                QSKIP("ffmpeg cannot make an MP3 here");
            // 128 kbit/s, paced in eighths of a second.
            auto data = std::make_shared<std::string>(tone.toStdString());
            server = std::make_unique<testsupport::ScriptedServer>(std::vector<testsupport::Script>{
                {testsupport::readRequest(), testsupport::send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n"),
                 testsupport::stream(
                     [data](size_t i) {
                         std::string chunk;
                         for (size_t at = i * 2000; chunk.size() < 2000; at = 0)
                             chunk += data->substr(at % data->size(), 2000 - chunk.size());
                         return chunk;
                     },
                     125)}});
        } else {
            media = std::make_shared<testsupport::AsfMedia>();
            std::string error;
            if (!testsupport::makeAsfMedia(work.path().toStdString(), 30, media.get(), &error))
                QSKIP(error.c_str());
            // Data packets at the pace of the audio.
            const int interval = int(media->seconds * 1000 / int(media->packets.size()));
            server = std::make_unique<testsupport::ScriptedServer>(std::vector<testsupport::Script>{
                testsupport::mmshDescribeScript(testsupport::broadcastHeader(*media)),
                {testsupport::readRequest(), testsupport::send(testsupport::mmshPlayAnswerHead()),
                 testsupport::stream(
                     [media](size_t i) {
                         return i < media->packets.size() ? testsupport::mmshDataChunks(*media, i, 1) : std::string();
                     },
                     interval)}});
        }
        const QString address = QStringLiteral("http://127.0.0.1:%1/live").arg(server->port());
        const QString output = work.filePath(QStringLiteral("radiorecord/200759853"));
        QVERIFY(QDir(work.path()).mkpath(QStringLiteral("radiorecord")));
        const QString file = output + QLatin1Char('.') + kind;

        PosixProcessLauncher launcher;
        RecorderControl control(launcher, QStringLiteral(VEXA_RECORDER_DIR));
        QSignalSpy ended(&launcher, &PosixProcessLauncher::childEnded);
        QElapsedTimer recording;
        recording.start();
        QVERIFY(control.startLiveRecorder(address, output));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 0, 15000);
        QTest::qWait(4000);
        const double recorded = recording.elapsed() / 1000.0;

        QElapsedTimer stopping;
        stopping.start();
        control.stopLiveRecorder();
        QVERIFY2(stopping.elapsed() < 500, "the stop returns at once, without waiting for the recorder");
        // It ends within its 1 s settle wait; the launcher would force it
        // after its grace, which the signal would show.
        QTRY_VERIFY2_WITH_TIMEOUT(!ended.isEmpty(), "grablive's end after the stop",
                                  testwait::recorderEndMs(1000, PosixProcessLauncher::kDefaultGraceMs));
        QVERIFY2(
            stopping.elapsed() < PosixProcessLauncher::kDefaultGraceMs,
            qPrintable(QStringLiteral("ended %1 ms after the stop, before the grace ran out").arg(stopping.elapsed())));
        QCOMPARE(ended.first().at(2).toBool(), false);  // ended by itself, not killed
        QCOMPARE(ended.first().at(1).toInt(), 0);

        std::string format;
        const double duration = testsupport::probeDuration(file.toStdString(), &format);
        if (kind == QLatin1String("mp3")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            // Frames from the first byte, one after another to the end.
            qsizetype at = 0;
            int frames = 0;
            while (at + 4 <= bytes.size()) {
                const int length = mp3FrameLength(bytes, at);
                QVERIFY2(length > 0, qPrintable(QStringLiteral("no frame at byte %1").arg(at)));
                at += length;
                ++frames;
            }
            QVERIFY(frames > 100);
        }
        QVERIFY2(duration > 0, format.c_str());
        // At least 4 s streamed after the first bytes; a paced server on a
        // busy machine falls behind the clock, so half of that is promised.
        QVERIFY2(duration >= 2.0 && duration <= recorded + 2.0,
                 qPrintable(QStringLiteral("ffprobe %1 s, recorded %2 s").arg(duration).arg(recorded)));
        server->stop();
    }
};

QTEST_GUILESS_MAIN(PosixProcessLauncherTest)
#include "posix_process_launcher_test.moc"

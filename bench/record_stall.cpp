// How long starting and stopping a live recording holds the interface
// thread, with the real launcher and the real grablive on a stream.
//
//   record_stall <program dir with grablive> <stream address> [cycles] [schedule rows] [journal]
//
// Each cycle runs Record, lets the recorder write for 1.5 s, runs
// Stop-recording and waits until the recorder has ended; then Stop while
// idle (as each directory navigation does: a /proc search). A 5 ms timer
// measures the longest gap of the event loop over the whole run. The peer
// is QProcess::startDetached of the same recorder plus kill(2), timed in
// the same run. The recorders' schedule table gets `schedule rows` rows
// first (the live entry is found by a walk; the runner's copy reads the
// posted row again). "journal" puts the store back into SQLite's default
// rollback journal with synchronous=FULL (each commit waits for the disk)
// to show what the write-ahead log saves.
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include "core/main_state.h"
#include "platform/clock.h"
#include "platform/inert_parts.h"
#include "platform/posix_process_launcher.h"
#include "platform/regional_format.h"
#include "recording/live_recording.h"
#include "recording/recorder_control.h"
#include "store/dataset.h"
#include "store/schedule_table.h"
#include "store/store.h"

namespace {

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall time of a step (what the user waits) and the interface thread's
// CPU time in it (the step's own work, apart from waiting for the disk or
// for a core on a busy machine).
struct Figures
{
    std::vector<double> ms;
    std::vector<double> cpu;
    double cpuStart = 0;
    void begin(QElapsedTimer &t)
    {
        cpuStart = threadCpuMs();
        t.start();
    }
    void add(const QElapsedTimer &t)
    {
        ms.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    double cpuMedian()
    {
        std::sort(cpu.begin(), cpu.end());
        return cpu.empty() ? 0 : cpu[cpu.size() / 2];
    }
    double median()
    {
        std::sort(ms.begin(), ms.end());
        return ms.empty() ? 0 : ms[ms.size() / 2];
    }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "use: record_stall <program dir with grablive> <stream address> [cycles] [rows]\n");
        return 2;
    }
    const QString recorders = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString address = QString::fromLocal8Bit(argv[2]);
    const int cycles = argc > 3 ? std::max(1, atoi(argv[3])) : 10;
    const int rows = argc > 4 ? std::max(0, atoi(argv[4])) : 0;

    QTemporaryDir program;
    const QString store = Store::fileIn(program.path());
    QString error;
    if (!Store::create(store, &error)) {
        std::fprintf(stderr, "cannot make rd.d: %s\n", qPrintable(error));
        return 1;
    }
    for (const char *name : {"grablive", "grabclock"})
        QFile::link(QDir(recorders).filePath(QLatin1String(name)), QDir(program.path()).filePath(QLatin1String(name)));

    Store db;
    db.open(store);
    const bool journal = argc > 5 && QByteArray(argv[5]) == "journal";
    if (journal) {
        QSqlQuery pragma(db.database());
        pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    ScheduleTable schedule(db);
    schedule.load();
    if (rows > 0) {
        db.database().transaction();
        ScheduleEntry e;
        e.enabled = ScheduleEntry::kOn;
        e.modeText = QStringLiteral("Record");
        e.modeCode = ScheduleEntry::code(ScheduleEntry::Record);
        e.name = QStringLiteral("Station");
        e.address = address;
        e.frequencyText = QStringLiteral("Every day");
        e.frequencyCode = ScheduleEntry::code(ScheduleEntry::EveryDay);
        e.firstDay = e.lastDay = QStringLiteral("1/1/26");
        e.startTime = QStringLiteral("10:00:00 AM");
        e.endTime = QStringLiteral("11:00:00 AM");
        for (int i = 0; i < rows; ++i)
            schedule.insert(e);
        db.database().commit();
    }

    MainState state;
    state.setStationName(QStringLiteral("Bench FM"));
    InertMediaPlayer player;
    player.setUrl(address);
    SystemClock clock;
    RegionalFormat regional;
    PosixProcessLauncher launcher;
    RecorderControl control(launcher, program.path());
    LiveRecording live(state, player, clock, regional, control, program.path());
    live.setSchedule(&schedule);

    // The event loop's longest gap, from a 5 ms timer.
    QElapsedTimer sinceTick;
    double worstGap = 0;
    // CPU time the thread itself spent between two ticks: a gap with little
    // of it is the machine's scheduler (other processes), not the player.
    double worstGapCpu = 0;
    double cpuAtTick = threadCpuMs();
    bool peerPhase = false;  // the peer's start, kill and clean-up are not the player's
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double cpu = threadCpuMs();
        if (!peerPhase) {
            worstGap = std::max(worstGap, sinceTick.nsecsElapsed() / 1e6);
            worstGapCpu = std::max(worstGapCpu, cpu - cpuAtTick);
        }
        cpuAtTick = cpu;
        sinceTick.restart();
    });
    sinceTick.start();
    ticker.start();

    Figures record, stop, idleStop, peerStart, peerKill;
    int ended = 0;
    QObject::connect(&launcher, &PosixProcessLauncher::childEnded, [&ended] { ++ended; });
    runFor(100);
    for (int i = 0; i < cycles; ++i) {
        if (peerPhase) {  // the last peer is gone with its QProcess
            peerPhase = false;
            sinceTick.restart();
            cpuAtTick = threadCpuMs();
        }
        QElapsedTimer t;
        record.begin(t);
        live.record();
        record.add(t);
        if (!live.isRecording()) {
            std::fprintf(stderr, "the recording did not start (is %s/grablive there?)\n", qPrintable(recorders));
            return 1;
        }
        runFor(1500);
        stop.begin(t);
        live.stop();
        stop.add(t);
        const int want = ended + 1;
        for (int w = 0; w < 40 && ended < want; ++w)
            runFor(100);
        idleStop.begin(t);
        live.stop();
        idleStop.add(t);

        // The peer: a detached start and a kill, without the live entry.
        qint64 pid = 0;
        QProcess peer;
        peer.setProgram(QDir(program.path()).filePath(QStringLiteral("grablive")));
        peer.setArguments({address, program.path() + QStringLiteral("/radiorecord/peer"), QStringLiteral("86400000")});
        peer.setStandardOutputFile(QProcess::nullDevice());
        peerStart.begin(t);
        peerPhase = true;
        peer.startDetached(&pid);
        peerStart.add(t);
        runFor(300);
        peerKill.begin(t);
        ::kill(pid_t(pid), SIGTERM);
        peerKill.add(t);
        runFor(1300);
    }
    ticker.stop();

    std::printf("record_stall: %d cycles, %d schedule rows, store %s, %d recorders ended by themselves\n", cycles, rows,
                journal ? "rollback journal, synchronous=FULL" : "as shipped (WAL)", ended);
    std::printf("%-34s %10s %10s %10s\n", "interface thread held (ms)", "median", "max", "cpu med");
    std::printf("%-34s %10.3f %10.3f %10.3f\n", "Record (entry + recorder start)", record.median(), record.max(),
                record.cpuMedian());
    std::printf("%-34s %10.3f %10.3f %10.3f\n", "Stop-recording (entry + SIGTERM)", stop.median(), stop.max(),
                stop.cpuMedian());
    std::printf("%-34s %10.3f %10.3f %10.3f\n", "Stop while idle (/proc search)", idleStop.median(), idleStop.max(),
                idleStop.cpuMedian());
    std::printf("%-34s %10.3f %10.3f %10.3f\n", "peer: QProcess::startDetached", peerStart.median(), peerStart.max(),
                peerStart.cpuMedian());
    std::printf("%-34s %10.3f %10.3f %10.3f\n", "peer: kill(2)", peerKill.median(), peerKill.max(),
                peerKill.cpuMedian());
    std::printf("ratio Record / peer start (median): %.2f\n", record.median() / std::max(peerStart.median(), 1e-6));
    std::printf("longest event-loop gap over the run, peer steps left out: %.1f ms wall (a busy machine adds to "
                "it), %.1f ms thread CPU\n",
                worstGap, worstGapCpu);
    const bool ok = record.max() < 50 && stop.max() < 50 && idleStop.max() < 50;
    std::printf("%s\n",
                ok ? "PASS: no step held the interface thread for 50 ms"
                   : "OVER: a step held the thread for 50 ms or more");
    return ok ? 0 : 1;
}

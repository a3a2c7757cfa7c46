// Times the schedule runner over a large schedule: one runner tick plus
// one clock tick, with the clock moving on one second per tick, as the
// two one-second timers run them. Also times reading the whole schedule
// again, as every showing of the schedule window does.
//
//   bench/schedule_tick [entries] [ticks]      (10000, 600)
//
// The schedule is a mix of one-time, daily and weekly recordings and plays
// spread over the day, finished recordings and recordings whose files are
// still awaited. The store is a fresh rd.d in a temporary folder.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/main_state.h"
#include "core/playback.h"
#include "platform/clock.h"
#include "platform/inert_parts.h"
#include "platform/report_sender.h"
#include "platform/regional_format.h"
#include "recording/recorder_control.h"
#include "recording/schedule_runner.h"
#include "store/dataset.h"
#include "store/schedule_table.h"
#include "store/store.h"

namespace {

class SteppedClock final : public Clock
{
public:
    QDateTime now() const override { return current; }
    QDateTime current;
};

class NoReports final : public ReportSender
{
public:
    void send(const QUrl &) override {}
    void finishPending(int) override {}
};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.at(std::min(v.size() - 1, std::size_t(p * double(v.size()))));
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int ticks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 600;

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("radiorecord"));
    const QString storeFile = Store::fileIn(dir.path());
    QString error;
    if (!Store::create(storeFile, &error)) {
        std::fprintf(stderr, "cannot make rd.d: %s\n", qPrintable(error));
        return 1;
    }
    Store store;
    if (!store.open(storeFile))
        return 1;

    const RegionalFormat regional;
    const QDate today(2026, 3, 14);
    ScheduleTable schedule(store);
    schedule.load();
    store.database().transaction();
    try {
        for (int i = 0; i < entries; ++i) {
            const int freq = i % 3;
            const int mode = (i / 3) % 2;
            // Hour-long windows starting every 137 s around the clock.
            const QTime start = QTime(0, 0).addSecs((i * 137) % 86400);
            const QTime end = start.addSecs(3600);
            const QDate first = today.addDays(i % 5 - 2);
            ScheduleEntry e;
            e.enabled = i % 7 == 0 ? ScheduleEntry::kOff : ScheduleEntry::kOn;
            e.modeText = mode == 0 ? QStringLiteral("Record") : QStringLiteral("Play");
            e.modeCode = ScheduleEntry::code(mode);
            e.name = QStringLiteral("Station %1").arg(i);
            e.address = QStringLiteral("http://127.0.0.1:8765/stream/%1.mp3").arg(i % 4 + 1);
            e.frequencyText = freq == 0 ? QStringLiteral("Once")
                : freq == 1             ? QStringLiteral("Every Day")
                                        : QStringLiteral("Every Week");
            e.frequencyCode = ScheduleEntry::code(freq);
            e.firstDay = freq == 0 ? regional.dateText(first) : freq == 2 ? QStringLiteral("Sat") : QString();
            e.lastDay = freq == 0 ? regional.dateText(first.addDays(1)) : QString();
            e.weekdayCode = freq == 2 ? QString::number(i % 7) : QString();
            e.startTime = regional.timeText(start);
            e.endTime = regional.timeText(end);
            e.fileName = i % 10 == 0 ? QStringLiteral("2026313%1.mp3").arg(i) : QString();
            e.awaitedFile = i % 100 == 5 ? QStringLiteral("2026314%1").arg(i) : QString();
            schedule.insert(e);
        }
    } catch (const StoreError &) {
        std::fprintf(stderr, "insert failed\n");
        return 1;
    }
    store.database().commit();

    MainState state;
    InertMediaPlayer player;
    InertProcessLauncher launcher;
    NoReports reports;
    SteppedClock clock;
    clock.current = QDateTime(today, QTime(12, 0, 0, 250));
    Playback playback(state, player, clock, regional, reports);
    RecorderControl recorder(launcher, dir.path());
    ScheduleRunner runner(store, schedule, state, playback, player, recorder, clock, regional, dir.path());

    QElapsedTimer timer;
    std::vector<double> ms;
    std::vector<double> writing;  // ticks that changed entries
    double first = 0;
    for (int t = 0; t <= ticks; ++t) {
        const quint64 generation = schedule.generation();
        timer.start();
        runner.runnerTick();
        runner.clockTick();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        if (t == 0)
            first = elapsed;
        else
            (schedule.generation() == generation ? ms : writing).push_back(elapsed);
        clock.current = clock.current.addSecs(1);
    }

    std::vector<double> reopen;
    for (int i = 0; i < 20; ++i) {
        timer.start();
        schedule.load();
        reopen.push_back(double(timer.nsecsElapsed()) / 1e6);
    }

    std::printf("schedule entries: %d, ticks: %d\n", entries, ticks);
    std::printf("runner tick + clock tick: median %.2f ms, p99 %.2f ms, max %.2f ms (target < 10 ms)\n",
                percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
    if (!writing.empty())
        std::printf("ticks that changed entries (%zu of %d, one store commit each): median %.2f ms, max %.2f ms\n",
                    writing.size(), ticks, percentile(writing, 0.5), percentile(writing, 1.0));
    std::printf("first tick (times read, due entries started): %.2f ms\n", first);
    std::printf("reading the whole schedule again (each showing of the schedule window): median %.2f ms\n",
                percentile(reopen, 0.5));
    return 0;
}

#include "recording/schedule_runner.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QUrl>

#include "core/address_rules.h"
#include "core/main_state.h"
#include "core/playback.h"
#include "core/recording_formats.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/regional_format.h"
#include "recording/live_recording.h"
#include "recording/recorder_control.h"
#include "store/dataset.h"
#include "store/schedule_table.h"
#include "store/store.h"

namespace ScheduleWindow {

int weekdayOf(const QDate &date)
{
    // QDate counts Monday 1 .. Sunday 7.
    return date.dayOfWeek() % 7 + 1;
}

int weekdayFromDigit(const QString &digit)
{
    if (digit.size() == 1 && digit.at(0) >= QLatin1Char('0') && digit.at(0) <= QLatin1Char('6'))
        return digit.at(0).unicode() - '0' + 1;
    return 2;
}

int weekdayFromName(const QString &name)
{
    static const char *const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) {
        if (name == QLatin1String(names[i]))
            return i + 1;
    }
    return 2;
}

namespace {

// The one reading of an entry's texts; the runner passes parsers that
// remember texts already read.
template <class TimeOf, class DateOf>
std::optional<EntryTimes> readWith(TimeOf timeOf, DateOf dateOf, const QString &frequency, const QString &firstDay,
                                   const QString &lastDay, int weekday, const QString &start, const QString &end)
{
    EntryTimes times;
    if (frequency == QLatin1String("0"))
        times.frequency = EntryTimes::Once;
    else if (frequency == QLatin1String("1"))
        times.frequency = EntryTimes::Daily;
    else if (frequency == QLatin1String("2"))
        times.frequency = EntryTimes::Weekly;
    else
        return std::nullopt;
    times.start = timeOf(start);
    times.end = timeOf(end);
    if (!times.start.isValid() || !times.end.isValid())
        return std::nullopt;
    if (times.frequency == EntryTimes::Once) {
        times.firstDay = dateOf(firstDay);
        times.lastDay = dateOf(lastDay);
        if (!times.firstDay.isValid() || !times.lastDay.isValid())
            return std::nullopt;
    }
    times.weekday = weekday;
    return times;
}

}  // namespace

std::optional<EntryTimes> read(const RegionalFormat &regional, const QString &frequency, const QString &firstDay,
                               const QString &lastDay, int weekday, const QString &start, const QString &end)
{
    return readWith([&](const QString &t) { return regional.parseTime(t); },
                    [&](const QString &d) { return regional.parseDate(d); }, frequency, firstDay, lastDay, weekday,
                    start, end);
}

namespace {

// Whether a window may begin on `day`.
bool beginsOn(const EntryTimes &entry, const QDate &day)
{
    switch (entry.frequency) {
    case EntryTimes::Once:
        return entry.firstDay <= day && day <= entry.lastDay;
    case EntryTimes::Daily:
        return true;
    case EntryTimes::Weekly:
        return weekdayOf(day) == entry.weekday;
    }
    return false;
}

// The window beginning on `day`, both ends resolved to real moments.
struct Bounds
{
    QDateTime start;
    QDateTime end;
};

Bounds boundsOn(const EntryTimes &entry, const QDate &day)
{
    Bounds b;
    b.start = localMoment(day, entry.start);
    b.end = localMoment(entry.end < entry.start ? day.addDays(1) : day, entry.end);
    // Both ends in the same skipped hour: the window keeps its length
    // from the first moment after it rather than shrinking to nothing.
    if (b.end < b.start || (b.end == b.start && entry.end != entry.start))
        b.end = b.start.addSecs(entry.start.secsTo(entry.end) + (entry.end < entry.start ? 86400 : 0));
    return b;
}

}  // namespace

QDateTime localMoment(const QDate &day, const QTime &time)
{
    QDateTime at(day, time);
    if (at.isValid())
        return at;
    // In a gap of the local clock (spring forward): the first valid time
    // after it. Gaps begin and end on whole minutes.
    const QDateTime minute(day, QTime(time.hour(), time.minute()), Qt::UTC);
    for (int step = 1; step <= 24 * 60; ++step) {
        const QDateTime wall = minute.addSecs(60 * step);
        at = QDateTime(wall.date(), wall.time());
        if (at.isValid())
            return at;
    }
    return QDateTime(day, time, Qt::UTC).toLocalTime();
}

EntryWindow test(const EntryTimes &entry, const QDateTime &now)
{
    const QDate today = now.date();
    // The window beginning today, or (across midnight, or one pushed past
    // midnight by a skipped hour) the one that began yesterday.
    for (const QDate &day : {today, today.addDays(-1)}) {
        if (!beginsOn(entry, day))
            continue;
        const Bounds b = boundsOn(entry, day);
        if (b.start <= now && now <= b.end) {
            EntryWindow window;
            window.position = WindowPosition::Inside;
            if (entry.frequency == EntryTimes::Once) {
                window.start = boundsOn(entry, entry.firstDay).start;
                window.end = boundsOn(entry, entry.lastDay).end;
            } else {
                window.start = b.start;
                window.end = b.end;
            }
            return window;
        }
    }
    EntryWindow window;
    if (entry.frequency == EntryTimes::Weekly && weekdayOf(today) != entry.weekday)
        window.position = WindowPosition::OtherWeekday;
    return window;
}

EntryWindow test(const EntryTimes &entry, const QDate &today, const QTime &time, bool withBounds)
{
    EntryWindow window = test(entry, QDateTime(today, time));
    if (!withBounds) {
        window.start = QDateTime();
        window.end = QDateTime();
    }
    return window;
}

qint64 recordingDurationMs(const QDateTime &start, const QDateTime &end, const QDateTime &now)
{
    // Real elapsed time: the moments' distance, not their wall-clock texts.
    qint64 from = now.toMSecsSinceEpoch();
    from -= from % 1000;
    if (start.isValid() && start.toMSecsSinceEpoch() > from)
        from = start.toMSecsSinceEpoch();
    const qint64 ms = end.isValid() ? end.toMSecsSinceEpoch() - from : 0;
    return qBound<qint64>(0, ms, kMaxDurationMs);
}

QString recordingStamp(const QDateTime &at)
{
    const QDate d = at.date();
    const QTime t = at.time();
    QString stamp;
    for (int part : {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()})
        stamp += QString::number(part);
    return stamp;
}

QString neverRunsReason(const std::optional<EntryTimes> &times, const QString &address)
{
    if (!times)
        return QStringLiteral("its dates or times do not read in the current regional format");
    if (times->frequency == EntryTimes::Once
        && (times->lastDay < times->firstDay || (times->lastDay == times->firstDay && times->end < times->start)))
        return QStringLiteral("it ends before it starts");
    if (!AddressRules::playable(address))
        return QStringLiteral("its address is not a network address");
    return QString();
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

}  // namespace ScheduleWindow

ScheduleRunner::ScheduleRunner(Store &store, ScheduleTable &schedule, MainState &state, Playback &playback,
                               MediaPlayer &player, RecorderControl &recorder, const Clock &clock,
                               const RegionalFormat &regional, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_store(store),
      m_schedule(schedule),
      m_state(state),
      m_playback(playback),
      m_player(player),
      m_recorder(recorder),
      m_clock(clock),
      m_regional(regional),
      m_programDir(programDir)
{
    Timer4.setInterval(1000);
    Timer5.setInterval(1000);
    connect(&Timer4, &QTimer::timeout, this, &ScheduleRunner::clockTick);
    connect(&Timer5, &QTimer::timeout, this, &ScheduleRunner::runnerTick);
    connect(
        &m_recorder, &RecorderControl::recorderEnded, this,
        [this](qint64, const QString &outputPath, bool, const QString &reason) { recorderEnded(outputPath, reason); });
}

void ScheduleRunner::start()
{
    Timer4.start();
    Timer5.start();
}

QString ScheduleRunner::recordingsFolder() const
{
    return m_programDir + QStringLiteral("/radiorecord/");
}

void ScheduleRunner::stopPlayer()
{
    m_playback.stopPlayerOnly();
    m_playback.setElapsedTimerOn(false);
    m_playback.resetElapsed();
    m_state.setStationName(QString());
}

template <class Change>
void ScheduleRunner::write(int row, Change change)
{
    const bool inStep = m_timesGeneration == m_schedule.generation();
    ScheduleEntry entry = m_schedule.entries().at(row);
    change(entry);
    m_schedule.update(entry);
    // The runner's own writes change no times.
    if (inStep)
        m_timesGeneration = m_schedule.generation();
}

void ScheduleRunner::clockTick()
{
    try {
        if (!m_schedule.isOpen())
            m_schedule.load();
        const QDateTime now = m_clock.now();
        Q_EMIT clockShown(m_regional.timeText(now.time()));
        clockText = m_regional.dateTimeText(now);
        // At or past the end, so that a skipped second cannot leave the play
        // running; the end is cleared first so that it fires once.
        if (!playEnd.isValid() || now < playEnd)
            return;
        playEnd = QDateTime();
        playEndText.clear();
        stopPlayer();
        bool ok = false;
        const qint64 id = playingEntryId.toLongLong(&ok);
        if (!ok)
            return;
        const int row = m_schedule.indexOf(id);
        if (row >= 0) {
            write(row, [](ScheduleEntry &e) {
                e.runState = ScheduleEntry::kStopped;
                if (e.frequencyText.trimmed() == QLatin1String("Once"))
                    e.enabled = ScheduleEntry::kOff;
            });
        }
        playingEntryId = QStringLiteral("0");
    } catch (const StoreError &) {
    }
}

void ScheduleRunner::runnerTick()
{
    if (!m_schedule.isOpen())
        return;
    // One commit for all the tick's writes (each write would be a commit
    // of its own, and a tick may start many entries at once).
    QSqlDatabase db = m_store.database();
    const bool batched = db.isValid() && db.transaction();
    const QDateTime now = m_clock.now();
    ++m_tickCount;
    // Entries by id: one removed meanwhile (by a step of this tick, or
    // found gone from the store) is passed over and the rest still run.
    QVector<qint64> ids;
    ids.reserve(m_schedule.entries().size());
    for (const ScheduleEntry &e : m_schedule.entries())
        ids.push_back(e.id);
    int row = 0;
    for (const qint64 id : ids) {
        if (row >= m_schedule.entries().size() || m_schedule.entries().at(row).id != id) {
            row = m_schedule.indexOf(id);
            if (row < 0) {
                row = 0;
                continue;
            }
        }
        // Each entry on its own: one that fails (a date that does not
        // read, a row deleted meanwhile) is skipped and the rest run.
        try {
            processRow(row, now);
        } catch (const StoreError &) {
        }
        ++row;
    }
    if (batched)
        db.commit();
}

QTime ScheduleRunner::cachedTime(const QString &text)
{
    auto it = m_timeTexts.constFind(text);
    if (it != m_timeTexts.constEnd())
        return *it;
    if (m_timeTexts.size() > 4096)
        m_timeTexts.clear();
    const QTime time = m_regional.parseTime(text);
    m_timeTexts.insert(text, time);
    return time;
}

QDate ScheduleRunner::cachedDate(const QString &text)
{
    auto it = m_dateTexts.constFind(text);
    if (it != m_dateTexts.constEnd())
        return *it;
    if (m_dateTexts.size() > 4096)
        m_dateTexts.clear();
    const QDate date = m_regional.parseDate(text);
    m_dateTexts.insert(text, date);
    return date;
}

void ScheduleRunner::syncTimes()
{
    if (m_timesGeneration == m_schedule.generation())
        return;
    m_times = QVector<Times>(m_schedule.entries().size());
    m_timesGeneration = m_schedule.generation();
}

const std::optional<EntryTimes> &ScheduleRunner::timesOf(int row)
{
    syncTimes();
    Times &t = m_times[row];
    if (!t.read) {
        t.read = true;
        t.times.reset();
        const ScheduleEntry &e = m_schedule.entries().at(row);
        const ScheduleEntry::Frequency f = e.frequency();
        if (f != ScheduleEntry::NoFrequency)
            t.times = ScheduleWindow::readWith([this](const QString &text) { return cachedTime(text); },
                                               [this](const QString &text) { return cachedDate(text); },
                                               QString::number(int(f)), e.firstDay, e.lastDay,
                                               ScheduleWindow::weekdayFromDigit(e.weekdayCode), e.startTime, e.endTime);
    }
    return t.times;
}

void ScheduleRunner::processRow(int row, const QDateTime &now)
{
    if (!m_schedule.entries().at(row).awaitedFile.isEmpty())
        completeRecording(row);

    const ScheduleEntry &entry = m_schedule.entries().at(row);
    if (entry.frequency() == ScheduleEntry::NoFrequency)
        return;
    // A cleared Enable box holds an entry of any frequency.
    if (!entry.isEnabled())
        return;
    const std::optional<EntryTimes> read = timesOf(row);
    const QString fault = ScheduleWindow::neverRunsReason(read, entry.address);
    if (!fault.isEmpty()) {
        // Said once per entry, not every second.
        if (!m_faultsSaid.contains(entry.id)) {
            m_faultsSaid.insert(entry.id);
            qWarning("schedule entry %lld is not run: %s", entry.id, qPrintable(fault));
        }
        return;
    }
    const EntryTimes &times = *read;
    const EntryWindow window = ScheduleWindow::test(times, now);

    if (window.position != WindowPosition::Inside) {
        // Daily entries, and weekly ones on their weekday, become idle again
        // outside their window.
        if (times.frequency == EntryTimes::Once || window.position == WindowPosition::OtherWeekday)
            return;
        if (m_schedule.entries().at(row).runState.isEmpty())
            return;
        write(row, [](ScheduleEntry &e) { e.runState = ScheduleEntry::kIdle; });
        return;
    }

    // A daily or weekly window runs once: not again in a repeated hour
    // (fall back) nor after the clock was set back the same day.
    const qint64 id = entry.id;
    const QString runKey =
        window.start.date().toString(Qt::ISODate) + QLatin1Char(' ') + times.start.toString(Qt::ISODate);
    const bool ranBefore = times.frequency != EntryTimes::Once && m_lastRun.value(id) == runKey;
    const ScheduleEntry::Mode mode = m_schedule.entries().at(row).mode();
    if (mode == ScheduleEntry::Record && m_schedule.entries().at(row).runState.isEmpty() && !ranBefore) {
        // Beyond the cap the entry stays due and starts on a later tick,
        // once running recorders have ended.
        if (!m_recorder.canStartRecorder()) {
            if (m_waitReportedTick != m_tickCount) {
                m_waitReportedTick = m_tickCount;
                qWarning("schedule: %d recorders running, due recordings wait for one to end",
                         m_recorder.runningRecorders());
            }
            return;
        }
        m_lastRun.insert(id, runKey);
        startRecording(row, times, window, now);
    }
    const ScheduleEntry &after = m_schedule.entries().at(row);
    if (mode == ScheduleEntry::Play && after.runState.isEmpty()) {
        if (ranBefore)
            return;
        m_lastRun.insert(id, runKey);
        startPlay(row, window);
    } else if (after.runState == ScheduleEntry::kPlaying && m_state.stationName() == after.name) {
        playEnd = window.end;
        playEndText = m_regional.dateTimeText(window.end);
        if (now >= playEnd)
            stopPlay(row, times.frequency == EntryTimes::Once);
    }
}

void ScheduleRunner::completeRecording(int row)
{
    for (const QString &extension : RecordingFormats::recorderExtensions()) {
        try {
            const QString name = m_schedule.entries().at(row).awaitedFile;
            if (!ScheduleWindow::isPlainFileName(name) || !recordingExists(name + extension))
                continue;
            write(row, [&](ScheduleEntry &e) {
                e.fileName = name + extension;
                e.awaitedFile = QString();
            });
            const QString path = recordingsFolder() + name + extension;
            Q_EMIT scheduledRecordingFinished(m_schedule.entries().at(row).name, path, QFileInfo(path).size());
        } catch (const StoreError &) {
        }
    }
}

bool ScheduleRunner::recordingExists(const QString &fileName)
{
    // The folder is listed at most once a tick, and only when it changed
    // since the last listing: many entries awaiting their files then cost
    // one stat a tick, not two per entry.
    if (m_folderTick != m_tickCount) {
        m_folderTick = m_tickCount;
        const QFileInfo folder(recordingsFolder());
        const qint64 stamp = folder.lastModified().toMSecsSinceEpoch();
        // A change within the same millisecond as the listing could hide a
        // new file: a folder changed in the last two seconds is listed again.
        const bool settling = QDateTime::currentMSecsSinceEpoch() - stamp < 2000;
        if (stamp != m_folderStamp || settling) {
            m_folderStamp = stamp;
            const QStringList names = QDir(recordingsFolder()).entryList(QDir::Files);
            m_folderNames = QSet<QString>(names.begin(), names.end());
        }
    }
    // An empty file (a recorder that has not written yet, or failed) is
    // no recording.
    return m_folderNames.contains(fileName) && QFileInfo(recordingsFolder() + fileName).size() > 0;
}

void ScheduleRunner::recorderEnded(const QString &outputPath, const QString &reason)
{
    const QFileInfo output(outputPath);
    if (QDir::cleanPath(output.absolutePath()) != QDir::cleanPath(recordingsFolder()))
        return;
    const QString name = output.fileName();
    try {
        if (!m_schedule.isOpen())
            return;
        for (int row = 0; row < m_schedule.entries().size(); ++row) {
            const ScheduleEntry &entry = m_schedule.entries().at(row);
            if (entry.awaitedFile != name)
                continue;
            if (RecordingFormats::hasRecording(recordingsFolder(), name)) {
                completeRecording(row);
                return;
            }
            const QString entryName = entry.name;
            const bool scheduled = entry.mode() == ScheduleEntry::Record;
            RecordingFormats::removeEmptyOutput(recordingsFolder(), name);
            write(row, [](ScheduleEntry &e) {
                e.runState = ScheduleEntry::kFailed;
                e.awaitedFile = QString();
            });
            qWarning("schedule entry %lld: the recorder ended without a recording", m_schedule.entries().at(row).id);
            // A live entry (kept as a play entry) is closed the same way;
            // only a scheduled one is announced.
            if (scheduled)
                Q_EMIT scheduledRecordingFailed(entryName, reason);
            return;
        }
    } catch (const StoreError &) {
    }
}

void ScheduleRunner::startRecording(int row, const EntryTimes &times, const EntryWindow &window, const QDateTime &now)
{
    const ScheduleEntry entry = m_schedule.entries().at(row);
    const qint64 durationMs = ScheduleWindow::recordingDurationMs(window.start, window.end, now);
    // Never a name whose file or recorder already exists (a clock set
    // back gives a stamp already used).
    const QString name = LiveRecording::uniqueFileName(
        recordingsFolder(), ScheduleWindow::recordingStamp(now) + QString::number(entry.id), m_namesGiven);
    m_namesGiven.insert(name);
    const QString output = recordingsFolder() + name;
    const bool once = times.frequency == EntryTimes::Once;

    // An entry deleted meanwhile fails here, before any recorder starts.
    write(row, [&](ScheduleEntry &e) {
        if (once)
            e.enabled = ScheduleEntry::kOff;
        else
            e.runState = ScheduleEntry::kRecording;
        e.awaitedFile = name;
    });

    recorderCommand = m_programDir + QStringLiteral("/grabclock ") + entry.address + QLatin1Char(' ') + output
        + QLatin1Char(' ') + QString::number(qMax<qint64>(1, durationMs));
    if (m_recorder.startScheduledRecorder(entry.address, output, durationMs)) {
        Q_EMIT scheduledRecordingStarted(entry.name, output);
        return;
    }
    // Refused (an address the recorder does not take) or not started: no
    // file will come. The entry has failed for this window: a one-time
    // entry stays switched off, a daily or weekly one is tried again in
    // its next window.
    qWarning("schedule entry %lld: the recorder did not start for %s", entry.id,
             QUrl::toPercentEncoding(entry.address.left(200), ":/?&=#").constData());
    Q_EMIT scheduledRecordingFailed(entry.name, m_recorder.startFailure());
    const int current = m_schedule.indexOf(entry.id);
    if (current < 0)
        return;
    write(current, [&](ScheduleEntry &e) {
        e.runState = ScheduleEntry::kFailed;
        e.awaitedFile = QString();
    });
}

void ScheduleRunner::startPlay(int row, const EntryWindow &window)
{
    const ScheduleEntry entry = m_schedule.entries().at(row);
    if (!AddressRules::playable(entry.address))
        throw StoreError("not a network address");

    // The entry is marked first: an entry deleted meanwhile starts nothing.
    write(row, [](ScheduleEntry &e) { e.runState = ScheduleEntry::kPlaying; });
    playingEntryId = QString::number(entry.id);

    m_playback.resetElapsed();
    Q_EMIT memoryPicturesResetRequested();
    m_player.setUrl(entry.address);
    m_player.play();
    m_state.setStationName(entry.name);
    // Watched from now on, so that a play begun in its window's last second
    // still ends.
    playEnd = window.end;
    playEndText = m_regional.dateTimeText(window.end);
}

void ScheduleRunner::stopPlay(int row, bool once)
{
    playEnd = QDateTime();
    playEndText.clear();
    stopPlayer();
    write(row, [&](ScheduleEntry &e) {
        e.runState = ScheduleEntry::kStopped;
        if (once)
            e.enabled = ScheduleEntry::kOff;
    });
}

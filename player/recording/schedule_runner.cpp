#include "recording/schedule_runner.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QUrl>

#include "core/address_rules.h"
#include "core/main_state.h"
#include "core/playback.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/regional_format.h"
#include "recording/recorder_control.h"
#include "store/dataset.h"
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

std::optional<EntryTimes> read(const RegionalFormat &regional, const QString &frequency, const QString &firstDay,
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
    times.start = regional.parseTime(start);
    times.end = regional.parseTime(end);
    if (!times.start.isValid() || !times.end.isValid())
        return std::nullopt;
    if (times.frequency == EntryTimes::Once) {
        times.firstDay = regional.parseDate(firstDay);
        times.lastDay = regional.parseDate(lastDay);
        if (!times.firstDay.isValid() || !times.lastDay.isValid())
            return std::nullopt;
    }
    times.weekday = weekday;
    return times;
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

EntryWindow inside(const EntryTimes &entry, const QDate &day, int endOffsetDays, bool withBounds)
{
    EntryWindow window;
    window.position = WindowPosition::Inside;
    if (!withBounds)
        return window;
    if (entry.frequency == EntryTimes::Once) {
        window.start = QDateTime(entry.firstDay, entry.start);
        window.end = QDateTime(entry.lastDay.addDays(endOffsetDays), entry.end);
    } else {
        window.start = QDateTime(day, entry.start);
        window.end = QDateTime(day.addDays(endOffsetDays), entry.end);
    }
    return window;
}

}  // namespace

EntryWindow test(const EntryTimes &entry, const QDateTime &now)
{
    return test(entry, now.date(), now.time());
}

EntryWindow test(const EntryTimes &entry, const QDate &today, const QTime &time, bool withBounds)
{
    if (entry.end >= entry.start) {
        if (entry.start <= time && time <= entry.end && beginsOn(entry, today))
            return inside(entry, today, 0, withBounds);
    } else {
        // Across midnight: the evening part of a window beginning today, or
        // the morning part of one that began yesterday.
        if (time >= entry.start && beginsOn(entry, today))
            return inside(entry, today, 1, withBounds);
        if (time <= entry.end && beginsOn(entry, today.addDays(-1)))
            return inside(entry, today.addDays(-1), 1, withBounds);
    }
    EntryWindow window;
    if (entry.frequency == EntryTimes::Weekly && weekdayOf(today) != entry.weekday)
        window.position = WindowPosition::OtherWeekday;
    return window;
}

qint64 recordingDurationMs(const QDateTime &start, const QDateTime &end, const QDateTime &now)
{
    QDateTime from = now;
    from.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    if (start > from)
        from = start;
    const qint64 ms = from.secsTo(end) * 1000;
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

int columnIndex(const QStringList &names, const char *name)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

}  // namespace ScheduleWindow

// Column positions of recSchedul, looked up once per tick: reading fields
// by position keeps a tick over many entries cheap.
struct ScheduleRunner::Columns
{
    explicit Columns(const DataSet &set)
    {
        const QStringList names = set.columnNames();
        auto at = [&names](const char *name) {
            const int i = ScheduleWindow::columnIndex(names, name);
            if (i < 0)
                throw StoreError(std::string("no column ") + name);
            return i;
        };
        idno = at("idno");
        onf = at("onf");
        mode2 = at("mode2");
        name1 = at("name1");
        radiourl = at("radiourl");
        freq1 = at("freq1");
        freq2 = at("freq2");
        date1 = at("date1");
        date2 = at("date2");
        date3 = at("date3");
        time1 = at("time1");
        time2 = at("time2");
        status1 = at("status1");
        filename1 = at("filename1");
        filename2 = at("filename2");
    }
    int idno, onf, mode2, name1, radiourl, freq1, freq2, date1, date2, date3, time1, time2, status1, filename1,
        filename2;
};

namespace {

QString textAt(const DataSet &set, int row, int column)
{
    const QVariant value = set.valueAt(row, column);
    return value.isNull() ? QString() : value.toString();
}

}  // namespace

ScheduleRunner::ScheduleRunner(Store &store, DataSet &schedule, MainState &state, Playback &playback, MediaPlayer &player,
                               RecorderControl &recorder, const Clock &clock, const RegionalFormat &regional,
                               const QString &programDir, QObject *parent)
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

void ScheduleRunner::clockTick()
{
    try {
        if (!m_schedule.isOpen())
            m_schedule.openTable(QStringLiteral("recSchedul"));
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
        const Columns c(m_schedule);
        const int count = m_schedule.recordCount();
        for (int row = 0; row < count; ++row) {
            if (m_schedule.valueAt(row, c.idno).toLongLong() != id)
                continue;
            const bool rowsInStep = m_rowsGeneration == m_schedule.generation() && row < m_rows.size();
            editRow(row);
            m_schedule.setField(QStringLiteral("status1"), QStringLiteral("N"));
            if (textAt(m_schedule, row, c.freq1).trimmed() == QLatin1String("Once"))
                m_schedule.setField(QStringLiteral("onf"), QStringLiteral("N"));
            m_schedule.post();
            if (rowsInStep)
                rowWritten(row, c);
            break;
        }
        playingEntryId = QStringLiteral("0");
        Q_EMIT editorReopenRequested();
    } catch (const StoreError &) {
        try {
            m_schedule.cancel();
        } catch (const StoreError &) {
        }
    }
}

void ScheduleRunner::runnerTick()
{
    if (!m_schedule.isOpen())
        return;
    // One commit for all the tick's writes (each post would be a commit of
    // its own, and a tick may start many entries at once).
    QSqlDatabase db = m_store.database();
    const bool batched = db.isValid() && db.transaction();
    try {
        const int count = m_schedule.recordCount();
        const Columns c(m_schedule);
        syncRows(c);
        const QDateTime now = m_clock.now();
        const QDate today = now.date();
        const QTime time = now.time();
        ++m_tickCount;
        for (int row = 0; row < count; ++row) {
            // Each entry on its own: one that fails (a date that does not
            // read, a row deleted meanwhile) is skipped and the rest run.
            try {
                processRow(row, c, now, today, time);
            } catch (const StoreError &) {
                m_schedule.cancel();
            }
            // Changed by someone else meanwhile: the next tick starts over.
            if (m_rowsGeneration != m_schedule.generation())
                break;
        }
    } catch (const StoreError &) {
    }
    if (batched)
        db.commit();
    if (m_editorStale) {
        m_editorStale = false;
        Q_EMIT editorRefreshRequested();
    }
}

QTime ScheduleRunner::cachedTime(const QString &text)
{
    auto it = m_times.constFind(text);
    if (it != m_times.constEnd())
        return *it;
    if (m_times.size() > 4096)
        m_times.clear();
    const QTime time = m_regional.parseTime(text);
    m_times.insert(text, time);
    return time;
}

QDate ScheduleRunner::cachedDate(const QString &text)
{
    auto it = m_dates.constFind(text);
    if (it != m_dates.constEnd())
        return *it;
    if (m_dates.size() > 4096)
        m_dates.clear();
    const QDate date = m_regional.parseDate(text);
    m_dates.insert(text, date);
    return date;
}

ScheduleRunner::Row ScheduleRunner::readRow(int row, const Columns &c)
{
    Row r;
    r.id = m_schedule.valueAt(row, c.idno).toLongLong();
    r.frequency = textAt(m_schedule, row, c.freq2);
    r.enabled = textAt(m_schedule, row, c.onf) == QLatin1String("Y");
    r.mode = textAt(m_schedule, row, c.mode2);
    r.status = textAt(m_schedule, row, c.status1);
    r.name = textAt(m_schedule, row, c.name1);
    r.awaitedFile = textAt(m_schedule, row, c.filename2);
    return r;
}

void ScheduleRunner::syncRows(const Columns &c)
{
    if (m_rowsGeneration == m_schedule.generation())
        return;
    const int count = m_schedule.recordCount();
    m_rows.resize(count);
    for (int row = 0; row < count; ++row)
        m_rows[row] = readRow(row, c);
    m_rowsGeneration = m_schedule.generation();
}

void ScheduleRunner::rowWritten(int row, const Columns &c)
{
    m_rows[row] = readRow(row, c);
    m_rowsGeneration = m_schedule.generation();
}

const std::optional<EntryTimes> &ScheduleRunner::timesOf(int row, const Columns &c)
{
    Row &r = m_rows[row];
    if (!r.timesRead) {
        r.timesRead = true;
        r.times.reset();
        EntryTimes times;
        const QString f = r.frequency;
        times.frequency = f == QLatin1String("0") ? EntryTimes::Once
            : f == QLatin1String("1")             ? EntryTimes::Daily
                                                  : EntryTimes::Weekly;
        times.start = cachedTime(textAt(m_schedule, row, c.time1));
        times.end = cachedTime(textAt(m_schedule, row, c.time2));
        times.weekday = ScheduleWindow::weekdayFromDigit(textAt(m_schedule, row, c.date3));
        bool ok = times.start.isValid() && times.end.isValid();
        if (ok && times.frequency == EntryTimes::Once) {
            times.firstDay = cachedDate(textAt(m_schedule, row, c.date1));
            times.lastDay = cachedDate(textAt(m_schedule, row, c.date2));
            ok = times.firstDay.isValid() && times.lastDay.isValid();
        }
        if (ok)
            r.times = times;
    }
    return r.times;
}

void ScheduleRunner::processRow(int row, const Columns &c, const QDateTime &now, const QDate &today,
                                const QTime &time)
{
    if (!m_rows.at(row).awaitedFile.isEmpty())
        completeRecording(row, c);

    const QString frequency = m_rows.at(row).frequency;
    if (frequency != QLatin1String("0") && frequency != QLatin1String("1") && frequency != QLatin1String("2"))
        return;
    // A cleared Enable box holds an entry of any frequency.
    if (!m_rows.at(row).enabled)
        return;
    const std::optional<EntryTimes> &read = timesOf(row, c);
    if (!read)
        throw StoreError("entry times do not read");
    const EntryTimes &times = *read;
    const EntryWindow position = ScheduleWindow::test(times, today, time, false);

    if (position.position != WindowPosition::Inside) {
        // Daily entries, and weekly ones on their weekday, become idle again
        // outside their window.
        if (times.frequency == EntryTimes::Once || position.position == WindowPosition::OtherWeekday)
            return;
        if (m_rows.at(row).status.isEmpty())
            return;
        editRow(row);
        m_schedule.setField(QStringLiteral("status1"), QString());
        m_schedule.post();
        rowWritten(row, c);
        return;
    }

    const bool record = m_rows.at(row).mode == QLatin1String("0");
    const bool play = m_rows.at(row).mode == QLatin1String("1");
    if (record && m_rows.at(row).status.isEmpty())
        startRecording(row, c, times, ScheduleWindow::test(times, today, time), now);
    const QString status = m_rows.at(row).status;
    if (play && status.isEmpty()) {
        startPlay(row, c, times, ScheduleWindow::test(times, today, time));
    } else if (status == QLatin1String("Playing") && m_state.stationName() == m_rows.at(row).name) {
        const EntryWindow window = ScheduleWindow::test(times, today, time);
        playEnd = window.end;
        playEndText = m_regional.dateTimeText(window.end);
        if (now >= playEnd)
            stopPlay(row, c, times.frequency == EntryTimes::Once);
    }
}

void ScheduleRunner::completeRecording(int row, const Columns &c)
{
    for (const QString &extension : {QStringLiteral(".wma"), QStringLiteral(".mp3")}) {
        try {
            const QString name = textAt(m_schedule, row, c.filename2);
            if (!ScheduleWindow::isPlainFileName(name) || !recordingExists(name + extension))
                continue;
            editRow(row);
            m_schedule.setField(QStringLiteral("filename1"), name + extension);
            m_schedule.setField(QStringLiteral("filename2"), QString());
            m_schedule.post();
            rowWritten(row, c);
            m_editorStale = true;
        } catch (const StoreError &) {
            m_schedule.cancel();
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
    return m_folderNames.contains(fileName);
}

void ScheduleRunner::startRecording(int row, const Columns &c, const EntryTimes &times, const EntryWindow &window,
                                    const QDateTime &now)
{
    const QString address = textAt(m_schedule, row, c.radiourl);
    const qint64 durationMs = ScheduleWindow::recordingDurationMs(window.start, window.end, now);
    const QString name = ScheduleWindow::recordingStamp(now) + QString::number(m_schedule.valueAt(row, c.idno).toLongLong());
    const QString output = recordingsFolder() + name;
    // `times` is the row's cached reading, read again after each write.
    const bool once = times.frequency == EntryTimes::Once;

    editRow(row);
    if (once)
        m_schedule.setField(QStringLiteral("onf"), QStringLiteral("N"));
    else
        m_schedule.setField(QStringLiteral("status1"), QStringLiteral("Recording"));
    m_schedule.setField(QStringLiteral("filename2"), name);
    // A row deleted meanwhile fails here, before any recorder starts.
    m_schedule.post();
    rowWritten(row, c);
    m_editorStale = true;

    recorderCommand = m_programDir + QStringLiteral("/grabclock ") + address + QLatin1Char(' ') + output
        + QLatin1Char(' ') + QString::number(qMax<qint64>(1, durationMs));
    if (m_recorder.startScheduledRecorder(address, output, durationMs))
        return;
    // Refused (an address the recorder does not take) or not started: no
    // file will come. The entry is done for this window, as a stopped play
    // is: a one-time entry stays switched off, a daily or weekly one is
    // tried again in its next window.
    qWarning("schedule entry %lld: the recorder did not start for %s", m_rows.at(row).id,
             QUrl::toPercentEncoding(address.left(200), ":/?&=#").constData());
    editRow(row);
    if (!once)
        m_schedule.setField(QStringLiteral("status1"), QStringLiteral("N"));
    m_schedule.setField(QStringLiteral("filename2"), QString());
    m_schedule.post();
    rowWritten(row, c);
}

void ScheduleRunner::startPlay(int row, const Columns &c, const EntryTimes &times, const EntryWindow &window)
{
    const QString address = textAt(m_schedule, row, c.radiourl);
    if (!AddressRules::playable(address))
        throw StoreError("not a network address");
    const QString id = QString::number(m_schedule.valueAt(row, c.idno).toLongLong());
    const QString name = textAt(m_schedule, row, c.name1);

    // The entry is marked first: an entry deleted meanwhile starts nothing.
    editRow(row);
    m_schedule.setField(QStringLiteral("status1"), QStringLiteral("Playing"));
    m_schedule.post();
    rowWritten(row, c);
    playingEntryId = id;
    if (times.frequency == EntryTimes::Once)
        m_editorStale = true;

    m_playback.resetElapsed();
    Q_EMIT memoryPicturesResetRequested();
    m_player.setUrl(address);
    m_player.play();
    m_state.setStationName(name);
    // Watched from now on, so that a play begun in its window's last second
    // still ends.
    playEnd = window.end;
    playEndText = m_regional.dateTimeText(window.end);
}

void ScheduleRunner::stopPlay(int row, const Columns &c, bool once)
{
    playEnd = QDateTime();
    playEndText.clear();
    stopPlayer();
    editRow(row);
    m_schedule.setField(QStringLiteral("status1"), QStringLiteral("N"));
    if (once)
        m_schedule.setField(QStringLiteral("onf"), QStringLiteral("N"));
    m_schedule.post();
    rowWritten(row, c);
    if (once)
        m_editorStale = true;
}

void ScheduleRunner::editRow(int row)
{
    m_schedule.first();
    m_schedule.moveBy(row);
    m_schedule.edit();
}

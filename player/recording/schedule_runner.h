#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <optional>

class Clock;
class MainState;
class MediaPlayer;
class Playback;
class RecorderControl;
class RegionalFormat;
class ScheduleTable;
class Store;

// The times of one schedule entry, read from its stored texts.
struct EntryTimes
{
    enum Frequency { Once = 0, Daily = 1, Weekly = 2 };
    Frequency frequency = Once;
    QDate firstDay;  // Once: first and last day of the range
    QDate lastDay;
    int weekday = 2;  // Weekly: 1 Sunday .. 7 Saturday
    QTime start;      // times of day, whole seconds
    QTime end;
};

// Where "now" lies for one entry. Inside: the entry is due; Outside: not
// due (for a weekly entry: on its weekday); OtherWeekday: a weekly entry on
// another day, which neither the runner nor the list touches.
enum class WindowPosition { Inside, Outside, OtherWeekday };

struct EntryWindow
{
    WindowPosition position = WindowPosition::Outside;
    // The window now lies in (Inside only). A one-time entry's window runs
    // from its first day at the start time to its last day at the end time;
    // a daily or weekly entry's is today's (or, across midnight, the one
    // that began yesterday evening).
    QDateTime start;
    QDateTime end;
};

// "Is it time?": pure functions over stored texts and a given moment.
namespace ScheduleWindow {

// Longest duration the recorder accepts, in milliseconds.
constexpr qint64 kMaxDurationMs = 2147483647;

// Weekday number of a date: Sunday 1 .. Saturday 7.
int weekdayOf(const QDate &date);
// Weekday of a stored digit "0" (Sunday) .. "6" (Saturday); anything else
// counts as Monday (2).
int weekdayFromDigit(const QString &digit);
// Weekday of an English name "Sun" .. "Sat"; anything else is Monday.
int weekdayFromName(const QString &name);

// Reads an entry's stored texts; nothing when `frequency` is not "0", "1"
// or "2" or a date or time that the entry needs does not read.
std::optional<EntryTimes> read(const RegionalFormat &regional, const QString &frequency, const QString &firstDay,
                               const QString &lastDay, int weekday, const QString &start, const QString &end);

// The window test. The start and end are whole seconds and now carries its
// milliseconds, so the end second lies outside the window but for its first
// instant. An end time of day before the start time of day ends on the
// following day.
EntryWindow test(const EntryTimes &entry, const QDateTime &now);
// The same with today and the time of day taken apart once; without
// `withBounds` the window's start and end are left invalid (cheaper).
EntryWindow test(const EntryTimes &entry, const QDate &today, const QTime &time, bool withBounds = true);

// Milliseconds a recording started at `now` runs for a window: from now
// (whole seconds) or the window's start, whichever is later, to its end;
// at most kMaxDurationMs, never negative.
qint64 recordingDurationMs(const QDateTime &start, const QDateTime &end, const QDateTime &now);

// Recording stamp: year, month, day, hour, minute, second in decimal
// without leading zeros or separators (9 May 2007 08:05:03: "200759853").
QString recordingStamp(const QDateTime &at);

// A stored recording name that stays inside the recordings folder.
bool isPlainFileName(const QString &name);

}  // namespace ScheduleWindow

// The two one-second timers of the main window that carry out the
// schedule: the clock tick Timer4 and the runner tick Timer5. The timers
// only wake the ticks; every decision reads the clock given here.
class ScheduleRunner : public QObject
{
    Q_OBJECT
public:
    // `store` is the connection `schedule` runs on: a tick's writes are
    // committed together.
    ScheduleRunner(Store &store, ScheduleTable &schedule, MainState &state, Playback &playback, MediaPlayer &player,
                   RecorderControl &recorder, const Clock &clock, const RegionalFormat &regional,
                   const QString &programDir, QObject *parent = nullptr);

    // Starts both timers (at start-up).
    void start();

    // One clock tick (Timer4): shows the time and stops a scheduled play
    // once its end has come.
    void clockTick();
    // One runner tick (Timer5): every entry once, in table order.
    void runnerTick();

    // The recordings folder, with its trailing separator.
    QString recordingsFolder() const;

    // Window state of the main window.
    QString clockText;                             // Edit14
    QString playEndText;                           // Edit15
    QString recorderCommand;                       // Edit16
    QString playingEntryId = QStringLiteral("0");  // Edit18
    // The end of the scheduled play on air (playEndText as a date-time);
    // invalid when none is watched.
    QDateTime playEnd;

    QTimer Timer4;
    QTimer Timer5;

Q_SIGNALS:
    // Text for the main window's clock label time1.
    void clockShown(const QString &time);
    // The memory-station pictures go back to normal (Button3).
    void memoryPicturesResetRequested();
    // A scheduled recording's recorder was started / its file is complete / it failed.
    void scheduledRecordingStarted(const QString &entryName, const QString &filePath);
    void scheduledRecordingFinished(const QString &entryName, const QString &filePath, qint64 bytes);
    void scheduledRecordingFailed(const QString &entryName, const QString &reason);

private:
    // The times of each entry, read once and again only when the table
    // changed behind the runner: a tick over many entries then parses no
    // dates.
    struct Times
    {
        bool read = false;
        std::optional<EntryTimes> times;
    };

    void syncTimes();
    const std::optional<EntryTimes> &timesOf(int row);
    QTime cachedTime(const QString &text);
    QDate cachedDate(const QString &text);
    // Writes entry `row` with `change` applied; the runner's own write
    // keeps the cached times.
    template <class Change>
    void write(int row, Change change);

    void processRow(int row, const QDateTime &now, const QDate &today, const QTime &time);
    void completeRecording(int row);
    bool recordingExists(const QString &fileName);
    void startRecording(int row, const EntryTimes &times, const EntryWindow &window, const QDateTime &now);
    void startPlay(int row, const EntryWindow &window);
    void stopPlay(int row, bool once);
    void stopPlayer();

    Store &m_store;
    ScheduleTable &m_schedule;
    MainState &m_state;
    Playback &m_playback;
    MediaPlayer &m_player;
    RecorderControl &m_recorder;
    const Clock &m_clock;
    const RegionalFormat &m_regional;
    QString m_programDir;
    QVector<Times> m_times;
    quint64 m_timesGeneration = ~quint64(0);
    // Stored date and time texts already read (entries share them).
    QHash<QString, QTime> m_timeTexts;
    QHash<QString, QDate> m_dateTexts;
    // Names in the recordings folder, listed again when the folder changes.
    QSet<QString> m_folderNames;
    qint64 m_folderStamp = -1;
    int m_folderTick = -1;
    int m_tickCount = 0;
};

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
class DataSet;
class MainState;
class MediaPlayer;
class Playback;
class RecorderControl;
class RegionalFormat;
class Store;

// The times of one schedule entry, read from its stored texts.
struct EntryTimes
{
    enum Frequency { Once = 0, Daily = 1, Weekly = 2 };
    Frequency frequency = Once;
    QDate firstDay;   // Once: first and last day of the range
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

// Position of a column among `names`, compared without case; -1 if absent.
int columnIndex(const QStringList &names, const char *name);
// A stored recording name that stays inside the recordings folder.
bool isPlainFileName(const QString &name);

}  // namespace ScheduleWindow

// The two one-second timers of the main window that carry out the schedule
// in the runner's copy of recSchedul (the main window's ADOTb1): the clock
// tick Timer4 and the runner tick Timer5. The timers only wake the ticks;
// every decision reads the clock given here.
class ScheduleRunner : public QObject
{
    Q_OBJECT
public:
    // `store` is the connection `schedule` runs on: a tick's writes are
    // committed together.
    ScheduleRunner(Store &store, DataSet &schedule, MainState &state, Playback &playback, MediaPlayer &player,
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
    QString clockText;                              // Edit14
    QString playEndText;                            // Edit15
    QString recorderCommand;                        // Edit16
    QString playingEntryId = QStringLiteral("0");   // Edit18
    // The end of the scheduled play on air (playEndText as a date-time);
    // invalid when none is watched.
    QDateTime playEnd;

    QTimer Timer4;
    QTimer Timer5;

Q_SIGNALS:
    // Text for the main window's clock label time1.
    void clockShown(const QString &time);
    // The editor's list should show the runner's changes (refresh).
    void editorRefreshRequested();
    // The editor's list should be closed and opened again.
    void editorReopenRequested();
    // The memory-station pictures go back to normal (Button3).
    void memoryPicturesResetRequested();

private:
    struct Columns;
    // What a tick needs of one entry, read once from the runner's copy and
    // again only when the copy changed: a tick over many entries then reads
    // no texts and parses no dates.
    struct Row
    {
        qint64 id = 0;
        QString frequency;   // freq2
        bool enabled = false;
        QString mode;        // mode2
        QString status;      // status1
        QString name;        // name1
        QString awaitedFile; // filename2
        bool timesRead = false;
        std::optional<EntryTimes> times;
    };

    void syncRows(const Columns &c);
    Row readRow(int row, const Columns &c);
    // After a post of the runner's own: that row is read again.
    void rowWritten(int row, const Columns &c);
    const std::optional<EntryTimes> &timesOf(int row, const Columns &c);
    QTime cachedTime(const QString &text);
    QDate cachedDate(const QString &text);

    void processRow(int row, const Columns &c, const QDateTime &now, const QDate &today, const QTime &time);
    void completeRecording(int row, const Columns &c);
    bool recordingExists(const QString &fileName);
    void startRecording(int row, const Columns &c, const EntryTimes &times, const EntryWindow &window,
                        const QDateTime &now);
    void startPlay(int row, const Columns &c, const EntryTimes &times, const EntryWindow &window);
    void stopPlay(int row, const Columns &c, bool once);
    void stopPlayer();
    // Moves the data set onto `row` and puts it into edit state.
    void editRow(int row);

    Store &m_store;
    DataSet &m_schedule;
    MainState &m_state;
    Playback &m_playback;
    MediaPlayer &m_player;
    RecorderControl &m_recorder;
    const Clock &m_clock;
    const RegionalFormat &m_regional;
    QString m_programDir;
    QVector<Row> m_rows;
    quint64 m_rowsGeneration = ~quint64(0);
    // Stored date and time texts already read (entries share them).
    QHash<QString, QTime> m_times;
    QHash<QString, QDate> m_dates;
    // Names in the recordings folder, listed again when the folder changes.
    QSet<QString> m_folderNames;
    qint64 m_folderStamp = -1;
    int m_folderTick = -1;
    int m_tickCount = 0;
    // The editor's list is refreshed once, after a tick that changed entries.
    bool m_editorStale = false;
};

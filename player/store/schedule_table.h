#pragma once

#include <QObject>
#include <QString>
#include <QVector>

class Store;

// One entry of the schedule: a planned recording or play, or a live
// recording. The texts are kept exactly as stored (a text that was never
// written stays a null QString and is written back as NULL), so that
// reading and writing an entry changes nothing the user did not change.
struct ScheduleEntry
{
    // Positions of the mode and frequency choices, stored as their
    // decimal text; -1 when none was chosen.
    enum Mode { NoMode = -1, Record = 0, Play = 1 };
    enum Frequency { NoFrequency = -1, Once = 0, EveryDay = 1, EveryWeek = 2 };

    // The stored words of the enable flag and of the run state.
    static inline const QString kOn = QStringLiteral("Y");
    static inline const QString kOff = QStringLiteral("N");
    static inline const QString kIdle;  // empty: may be started when due
    static inline const QString kRecording = QStringLiteral("Recording");
    static inline const QString kPlaying = QStringLiteral("Playing");
    static inline const QString kStopped = QStringLiteral("N");
    // The recorder could not start or ended without a recording.
    static inline const QString kFailed = QStringLiteral("Failed");

    qint64 id = 0;     // given by the store on insert
    QString enabled;   // kOn: run when due; kOff or empty: held
    QString modeText;  // the mode choice as shown when saved
    QString modeCode;  // Mode as decimal text
    QString name;
    QString address;        // the stream address
    QString frequencyText;  // the frequency choice as shown when saved
    QString frequencyCode;  // Frequency as decimal text
    QString firstDay;       // once: short date; every week: weekday as shown
    QString lastDay;        // once: short date
    QString weekdayCode;    // every week: "0" Sunday .. "6" Saturday
    QString startTime;      // long time of day
    QString endTime;
    QString runState;     // kIdle, kRecording, kPlaying, kStopped or kFailed
    QString fileName;     // the finished recording, with its extension
    QString awaitedFile;  // a recording's name until its file is found

    bool isEnabled() const { return enabled == kOn; }
    // The stored code read back; anything else is NoMode / NoFrequency.
    Mode mode() const;
    Frequency frequency() const;
    // Decimal text of a choice position, as stored.
    static QString code(int position) { return QString::number(position); }

    bool operator==(const ScheduleEntry &other) const;
    bool operator!=(const ScheduleEntry &other) const { return !(*this == other); }
};

// The schedule's table in the store: the only code that knows how the
// entries are stored. Every entry is held in memory in the store's order
// (ascending id); each insert, update and remove is written at once, or,
// while another program holds the store locked, queued by the store and
// shown here at once (a new entry gets its id at once, too).
// Editor, runner and live recording share one table, so each of them sees
// the others' changes at once; `changed` tells them.
//
// Failed store operations throw StoreError (store/dataset.h).
class ScheduleTable : public QObject
{
    Q_OBJECT
public:
    explicit ScheduleTable(Store &store, QObject *parent = nullptr);

    // Reads every entry from the store again.
    void load();
    void close();
    bool isOpen() const { return m_open; }
    // Why the store takes no writes (open for reading only); empty when it
    // does.
    QString readOnlyReason() const;

    const QVector<ScheduleEntry> &entries() const { return m_entries; }
    // Position of the entry with this id; -1 when there is none.
    int indexOf(qint64 id) const;

    // Writes a new entry (its id is ignored) and returns its id.
    qint64 insert(const ScheduleEntry &entry);
    // Writes every field of the entry with entry.id. An entry that is no
    // longer in the store is dropped from the table too, and throws (known
    // when it is written now, not when it is queued).
    void update(const ScheduleEntry &entry);
    void remove(qint64 id);

    // Every mode, frequency and date text equal to `from` becomes `to`
    // (the interface language changed; weekday and state codes stay).
    void replaceWord(const QString &from, const QString &to);

    // Changes with every load, close, insert, update and remove.
    quint64 generation() const { return m_generation; }

Q_SIGNALS:
    // After every load, close, insert, update and remove.
    void changed();

private:
    void requireOpen() const;
    void touched();

    Store &m_store;
    bool m_open = false;
    QVector<ScheduleEntry> m_entries;
    quint64 m_generation = 0;
};

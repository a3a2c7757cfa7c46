#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

class Clock;
class MainState;
class MediaPlayer;
class MessageBoxes;
class RecorderControl;
class RegionalFormat;
class ScheduleTable;

// Live recording of the station that plays: the Record and Stop-recording
// actions of the main window, the live entry in the schedule, the window
// state of a recording (liveEntryId, liveFileName, captureFileName) and
// the blinking indicator (Timer3). The window shows recordingChanged and
// indicatorVisibleChanged; the recorder process is RecorderControl's.
class LiveRecording : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBlinkIntervalMs = 1000;

    LiveRecording(MainState &state, MediaPlayer &player, Clock &clock, const RegionalFormat &regional,
                  RecorderControl &recorders, const QString &programDir, QObject *parent = nullptr);

    // The schedule table the live entry is written to; null: no table,
    // every Record fails.
    void setSchedule(ScheduleTable *schedule) { m_schedule = schedule; }
    // Interface-language lookup by English wording.
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }
    // Where a recordings folder that cannot be written is reported.
    void setMessages(MessageBoxes *messages) { m_messages = messages; }

    // Recording stamp: year, month, day, hour, minute, second in decimal
    // without leading zeros, joined (9 May 2007 08:05:03 -> "200759853").
    static QString recordingStamp(const QDateTime &at);
    // `stamp`, or stamp + "_2", "_3", ... when a file of that name (with any
    // extension, or none) is in `folder` or the name is in `taken`.
    static QString uniqueFileName(const QString &folder, const QString &stamp, const QSet<QString> &taken = {});
    // The recordings folder: program folder + "radiorecord/".
    QString recordingsFolder() const;

    // Record: starts a live recording of the station shown (btnRec).
    void record();
    // Stop-recording (btnRec2): ends the live recording, updates the live
    // entry, stops the recorder. Safe to call at any time.
    void stop();
    // Step of the playback stop routine and of a station start: the
    // indicator stops blinking (Timer3 off), nothing else.
    void stopBlinking();

    bool isRecording() const { return m_recording; }
    bool indicatorVisible() const { return m_indicatorVisible; }
    bool blinking() const { return m_blinkTimer.isActive(); }

    // Window state of the live recording.
    QString liveEntryId = QStringLiteral("0");  // Edit17
    QString liveFileName;                       // caption of TntLabel4
    QString captureFileName;                    // Edit1 of the record setup window

Q_SIGNALS:
    // Controls: recording -> btnRec disabled, btnRec2 enabled, picRec
    // hidden, picRec2 shown; idle the other way round.
    void recordingChanged(bool recording);
    void indicatorVisibleChanged(bool visible);
    // The full path of a new recording (kept in Edit1 of the record setup
    // window).
    void captureFileNameChanged(const QString &path);
    // The status line is to be refreshed and shown (stop step 3).
    void statusRefreshRequested();

private:
    bool prepareFolder();
    // An error box: the English text `english` in the interface language,
    // a blank and `detail` (shown as it is).
    void report(const char *english, const QString &detail);
    void setControls(bool recording);
    void setIndicator(bool visible);
    void writeLiveEntry(const QString &address);
    // The live entry gets the time of now and the name of its file;
    // `failed`: the recorder ended by itself.
    void finishLiveEntry(bool failed);
    void recorderFailed(const QString &reason);

    MainState &m_state;
    MediaPlayer &m_player;
    Clock &m_clock;
    const RegionalFormat &m_regional;
    RecorderControl &m_recorders;
    QString m_programDir;
    ScheduleTable *m_schedule = nullptr;
    MessageBoxes *m_messages = nullptr;
    std::function<QString(const QString &)> m_translate;
    QTimer m_blinkTimer;  // Timer3
    bool m_recording = false;
    bool m_indicatorVisible = false;
    // File names handed to recorders in this run: a recorder that has not
    // written its file yet still owns its name.
    QSet<QString> m_namesGiven;
};

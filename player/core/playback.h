#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "platform/media_player.h"
#include "platform/report_sender.h"

class Clock;
class MainState;
class RegionalFormat;

// Play, Stop and Pause of the main window, the status line, the elapsed
// time, the listened-seconds count and the listening report, over the
// media player `wmp1`. Runs on the UI thread only.
class Playback : public QObject
{
    Q_OBJECT
public:
    // A report is due when at least this many seconds were counted.
    static constexpr int kReportSeconds = 300;
    // listenSeconds value that marks a local recording: never reported.
    static inline const QString kLocalFileMark = QStringLiteral("400");

    Playback(MainState &state, MediaPlayer &player, Clock &clock, const RegionalFormat &regional, ReportSender &reports,
             QObject *parent = nullptr);

    // Status text rule: a status with an apostrophe loses the quoted part
    // (text before the first apostrophe, trimmed, then the text after the
    // last one, at most 255 characters of it).
    static QString statusLine(const QString &status);
    // The status in the interface language ("1", "2", "3").
    static QString localisedStatus(const QString &status, const QString &languageCode);
    // Seconds since 1970 UTC of a local date-time, with bias minutes
    // (UTC = local + bias).
    static qint64 reportSeconds(const QDateTime &local, int biasMinutes);

    // Commands of the main window.
    void play();
    void pause();
    void stopRoutine();
    // Stops the media player alone: no display reset, no report (My Vexa).
    void stopPlayerOnly() { m_player.stop(); }
    // Before every navigation of the directory browser `Web1`.
    void beforeDirectoryNavigation();

    // Starts a station (directory page, memory station, schedule): hands
    // the address to the media player, which starts playing it. Only a
    // network stream address is played (AddressRules::playable); any other
    // value is refused with false and the player is left as it was.
    bool startStation(const QString &streamUrl);
    // Plays a local recording (recordings list, the schedule's recordings):
    // an existing file, handed over as a file address, marked with
    // kLocalFileMark so that no listening report is sent. False when there
    // is no such file.
    bool playLocalFile(const QString &path);

    // Elapsed-time display (lisTime1, lisTime2, lisTime3).
    int hours() const { return m_hours; }
    int minutes() const { return m_minutes; }
    int seconds() const { return m_seconds; }
    QString elapsedText() const;
    void resetElapsed();
    bool elapsedTimerOn() const { return m_elapsedTimer.isActive(); }
    void setElapsedTimerOn(bool on);
    // Test hook: the elapsed-time timer's interval (1000 ms shipped).
    void setElapsedInterval(int ms) { m_elapsedTimer.setInterval(ms); }

    // One tick of the elapsed-time timer (Timer1). Public so that tests
    // count seconds without waiting for them.
    void tick();
    // Refresh of the status line (Timer6 and the player's events).
    void refreshStatus();
    // Refreshes timeZoneBias (Button4).
    void refreshTimeZoneBias();

    QString hitLogBaseUrl() const { return m_hitLogBaseUrl; }
    void setHitLogBaseUrl(const QString &base) { m_hitLogBaseUrl = base; }
    // The address of the listening report for the current state; empty
    // when the start time cannot be read.
    QUrl reportUrl() const;

Q_SIGNALS:
    void elapsedChanged(const QString &hours, const QString &minutes, const QString &seconds);
    // Step 4 of the stop routine: the live-recording stop (btnRec2Click).
    void liveRecordingStopRequested();
    // A directory station starts: the recording indicator stops blinking.
    void recordingBlinkStopRequested();
    void reportSent(const QUrl &url);

private:
    void onPlayerEvent(MediaPlayer::Event event);
    void emitElapsed();

    MainState &m_state;
    MediaPlayer &m_player;
    Clock &m_clock;
    const RegionalFormat &m_regional;
    ReportSender &m_reports;
    QString m_hitLogBaseUrl;
    QTimer m_elapsedTimer;  // Timer1
    QTimer m_statusTimer;   // Timer6
    int m_hours = 0;
    int m_minutes = 0;
    int m_seconds = 0;
};

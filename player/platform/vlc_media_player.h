#pragma once

#include <QStringList>

#include <atomic>
#include <cstdarg>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/media_player.h"

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_list_player_t;
struct libvlc_media_t;
struct libvlc_event_t;
struct vlc_log_t;

// The media player `wmp1` on libVLC: HTTP audio streams, MMS over TCP and
// over HTTP, ASX/WAX/M3U/PLS playlists and local .wma/.mp3/.wav files.
//
// Threads. Every libVLC command (open, play, stop, pause, volume) runs in
// order on a command thread of this object, so a stop that has to end a
// connecting input never holds the interface thread. libVLC reports on its
// own threads; each report is posted to this object's thread as a queued
// call and only there changes the state, the status and the signals.
// Reports that belong to an address or a stop that a later setUrl/stop has
// replaced are dropped (a generation number travels with each command).
//
// Playlists: every address is played through a list player, which expands
// a playlist into its entries and plays them in turn.
class VlcMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    // extraArguments go to the libVLC instance after the built-in ones
    // (tests pass "--aout=dummy" for a silent output).
    explicit VlcMediaPlayer(const QStringList &extraArguments = {}, QObject *parent = nullptr);
    ~VlcMediaPlayer() override;

    // False when the libVLC instance could not be made (no plugins); the
    // player then reports that in its status and plays nothing.
    bool isAvailable() const { return m_instance != nullptr; }

    QString url() const override { return m_url; }
    void setUrl(const QString &url) override;
    void play() override;
    void stop() override;
    void pause() override;
    PlayState playState() const override { return m_state; }
    QString statusText() const override;
    int outputVolume() const override { return m_volume; }
    void setOutputVolume(int value) override;

    // Position in the current entry, milliseconds, as last reported (live
    // streams may stay at 0).
    qint64 positionMs() const { return m_positionMs; }
    // Audio blocks the engine has decoded for the current entry.
    int decodedAudioBlocks() const;
    // Bit rate of the current entry in bits per second as the stream
    // states it (0: unknown).
    int bitRate() const;

    // A short English reason for a failed open, from the error lines the
    // engine logged for it (first one first).
    static QString failureReason(const QStringList &errors);

private:
    enum class Report {
        Opening,
        Buffering,
        Playing,
        Paused,
        Stopped,
        Ended,
        Error,
        Time,
        MediaChanged,
        ItemSet,
        Title
    };

    static void onVlcEvent(const libvlc_event_t *event, void *self);
    static void onVlcLog(void *self, int level, const struct vlc_log_t *context, const char *format, va_list args);

    void post(Report report, qint64 value = 0, libvlc_media_t *media = nullptr);
    void apply(quint64 generation, Report report, qint64 value, libvlc_media_t *media);
    void setState(PlayState state);
    void emitEvent(Event event);
    void runCommands();
    void enqueue(std::function<void()> command);
    // Starts a new generation: reports of earlier commands are ignored.
    quint64 nextGeneration();
    void setCurrentMedia(libvlc_media_t *media);
    // The current entry's now-playing title, as the engine has it.
    void readNowPlaying();

    libvlc_instance_t *m_instance = nullptr;
    libvlc_media_player_t *m_player = nullptr;
    libvlc_media_list_player_t *m_listPlayer = nullptr;

    // Interface-thread state.
    QString m_url;
    PlayState m_state = Undefined;
    QString m_error;                           // reason of the last failure, English
    libvlc_media_t *m_currentMedia = nullptr;  // entry now playing (retained)
    qint64 m_positionMs = 0;
    int m_bufferPercent = 0;
    int m_volume = 32768;      // 0..65535, as last set
    quint64 m_generation = 0;  // of the last setUrl/stop

    // Command thread.
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_commands;
    bool m_quit = false;
    // Generation of the command the engine is carrying out; travels with
    // every report.
    std::atomic<quint64> m_engineGeneration{0};

    // The first error lines libVLC logged for the current generation.
    std::mutex m_logMutex;
    QStringList m_loggedErrors;
};

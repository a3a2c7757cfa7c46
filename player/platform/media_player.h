#pragma once

#include <QObject>
#include <QString>

// The media player control `wmp1`: one stream or file at a time. Assigning
// an address starts playback (automatic start is on), as the main window
// and the schedule expect. Implemented with libVLC; tests use a fake.
class MediaPlayer : public QObject
{
    Q_OBJECT
public:
    // Play states with the numbers the control reports in PlayStateChange.
    enum PlayState {
        Undefined = 0,
        Stopped = 1,
        Paused = 2,
        Playing = 3,
        ScanForward = 4,
        ScanReverse = 5,
        Buffering = 6,
        Waiting = 7,
        MediaEnded = 8,
        Transitioning = 9,
        Ready = 10,
        Reconnecting = 11,
    };
    Q_ENUM(PlayState)

    // The events the main window listens to; each one also refreshes the
    // status line (except PositionChange).
    enum class Event {
        OpenStateChange,
        PlayStateChange,
        StatusChange,
        NewStream,
        Buffering,
        EndOfStream,
        PositionChange,
        CurrentPlaylistItemAvailable,
        MediaChange,
        MediaCollectionChange,
        MediaCollectionAttributeStringChanged,
        PlaylistCollectionChange,
        ModeChange,
        DeviceStatusChange,
        DeviceSyncStateChange,
    };
    Q_ENUM(Event)

    // Clears the now-playing title whenever the player stops or its
    // stream ends.
    explicit MediaPlayer(QObject *parent = nullptr);
    ~MediaPlayer() override = default;

    virtual QString url() const = 0;
    // Sets the address and starts playing it; an empty address stops.
    virtual void setUrl(const QString &url) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual PlayState playState() const = 0;
    // Human-readable status, e.g. "Playing", "Connecting...", "Stopped".
    virtual QString statusText() const = 0;
    // The player's own output volume, 0..65535 (linear; 65535 is the
    // engine's full volume). Reads back exactly the value last set.
    virtual int outputVolume() const = 0;
    virtual void setOutputVolume(int value) = 0;
    // The stream's current title (ICY StreamTitle, Ogg comments, HLS ID3,
    // as the engine reports them); empty when none is known. Text from the
    // stream: shown as plain text only.
    QString nowPlaying() const { return m_nowPlaying; }

Q_SIGNALS:
    void playStateChanged(MediaPlayer::PlayState state);
    // Every event of the list above, including PlayStateChange.
    void playerEvent(MediaPlayer::Event event);
    void nowPlayingChanged(const QString &title);

protected:
    void setNowPlaying(const QString &title);

private:
    QString m_nowPlaying;
};

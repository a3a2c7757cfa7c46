#pragma once

#include <QObject>
#include <QString>

// The media player control `wmp1`: one stream or file at a time. Assigning
// an address starts playback (automatic start is on), as the main window
// and the schedule expect. Implemented with Qt Multimedia; tests use a fake.
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

    using QObject::QObject;
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
    // The player's own output volume (not the system's): 0..65535, linear.
    // Reads back the value last set.
    virtual int outputVolume() const = 0;
    virtual void setOutputVolume(int value) = 0;

Q_SIGNALS:
    void playStateChanged(MediaPlayer::PlayState state);
    // Every event of the list above, including PlayStateChange.
    void playerEvent(MediaPlayer::Event event);
};

#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class MediaPlayer;

// The player on the session bus as a media player the desktop can drive
// (its sound menu, media keys, playerctl): the MPRIS interfaces
// org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player on the object
// /org/mpris/MediaPlayer2. The state comes from the media player and the
// station name; every command goes to the assembly's own actions, so a bus
// client does exactly what the window's controls do.
class MediaControls : public QObject
{
    Q_OBJECT
public:
    // What the bus may ask for; each is the window's own action.
    struct Actions
    {
        std::function<void()> play, pause, stop, next, previous, raise, quit;
        // The player's output volume, 0..1.
        std::function<double()> volume;
        std::function<void(double)> setVolume;
    };

    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *kServicePrefix = "org.mpris.MediaPlayer2.vexa_radio_player";

    MediaControls(MediaPlayer &player, Actions actions, QObject *parent = nullptr);
    ~MediaControls() override;

    // Offers the interfaces on `bus` under kServicePrefix (or, when another
    // player holds that name, under kServicePrefix.instancePID). False when
    // there is no bus or it refuses: the player then runs without them.
    bool offerOn(QDBusConnection bus);
    QString serviceName() const { return m_service; }

    // The station now tuned in (its name from the directory or memory).
    void setStationName(const QString &name);
    // The output volume changed by other means than the bus.
    void volumeChanged();

    // Values of the Player interface.
    QString playbackStatus() const;
    QVariantMap metadata() const;

    // Bus commands (the adaptors call these).
    const Actions &actions() const { return m_actions; }
    void playPause();

private:
    void announce(const QVariantMap &changed);
    void newTrack();

    MediaPlayer &m_player;
    Actions m_actions;
    QString m_station;
    QDBusConnection m_bus{QString()};
    QString m_service;
    quint64 m_track = 0;
    QString m_lastStatus;
    bool m_offered = false;
};

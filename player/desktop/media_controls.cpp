#include "desktop/media_controls.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>

#include "platform/media_player.h"

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// org.mpris.MediaPlayer2: the application itself.
class RootAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool CanSetFullscreen READ no)
    Q_PROPERTY(bool Fullscreen READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)
public:
    RootAdaptor(MediaControls *controls) : QDBusAbstractAdaptor(controls), m_controls(controls) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Vexa Radio Player"); }
    QString desktopEntry() const { return QStringLiteral("vexa-radio-player"); }
    QStringList schemes() const { return {}; }
    QStringList mimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise() { m_controls->actions().raise(); }
    void Quit() { m_controls->actions().quit(); }

private:
    MediaControls *m_controls;
};

// org.mpris.MediaPlayer2.Player: playback. A radio stream has no position
// to seek to; rate is fixed.
class PlayerAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one WRITE setRate)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ yes)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    PlayerAdaptor(MediaControls *controls) : QDBusAbstractAdaptor(controls), m_controls(controls) {}
    QString playbackStatus() const { return m_controls->playbackStatus(); }
    QVariantMap metadata() const { return m_controls->metadata(); }
    double one() const { return 1.0; }
    void setRate(double) {}
    double volume() const { return m_controls->actions().volume(); }
    void setVolume(double value) { m_controls->actions().setVolume(qBound(0.0, value, 1.0)); }
    qlonglong position() const { return 0; }
    bool yes() const { return true; }
    bool no() const { return false; }

public Q_SLOTS:
    void Next() { m_controls->actions().next(); }
    void Previous() { m_controls->actions().previous(); }
    void Pause() { m_controls->actions().pause(); }
    void PlayPause() { m_controls->playPause(); }
    void Stop() { m_controls->actions().stop(); }
    void Play() { m_controls->actions().play(); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MediaControls *m_controls;
};

}  // namespace

MediaControls::MediaControls(MediaPlayer &player, Actions actions, QObject *parent)
    : QObject(parent),
      m_player(player),
      m_actions(std::move(actions))
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    m_lastStatus = playbackStatus();
    connect(&m_player, &MediaPlayer::playStateChanged, this, [this] {
        const QString status = playbackStatus();
        if (status == m_lastStatus)
            return;
        m_lastStatus = status;
        announce({{QStringLiteral("PlaybackStatus"), status}});
    });
    connect(&m_player, &MediaPlayer::nowPlayingChanged, this, [this] { newTrack(); });
}

MediaControls::~MediaControls()
{
    if (!m_offered)
        return;
    m_bus.unregisterObject(QLatin1String(kObjectPath));
    m_bus.unregisterService(m_service);
}

bool MediaControls::offerOn(QDBusConnection bus)
{
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    QString name = QLatin1String(kServicePrefix);
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(QLatin1String(kObjectPath));
            return false;
        }
    }
    m_bus = bus;
    m_service = name;
    m_offered = true;
    return true;
}

void MediaControls::setStationName(const QString &name)
{
    if (name == m_station)
        return;
    m_station = name;
    newTrack();
}

void MediaControls::volumeChanged()
{
    announce({{QStringLiteral("Volume"), m_actions.volume()}});
}

QString MediaControls::playbackStatus() const
{
    switch (m_player.playState()) {
    case MediaPlayer::Playing:
    case MediaPlayer::Buffering:
    case MediaPlayer::Transitioning:
    case MediaPlayer::Waiting:
    case MediaPlayer::Reconnecting:
        return QStringLiteral("Playing");
    case MediaPlayer::Paused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QVariantMap MediaControls::metadata() const
{
    QVariantMap data;
    data.insert(QStringLiteral("mpris:trackid"),
                QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/vexa/radioplayer/track/%1").arg(m_track))));
    const QString title = m_player.nowPlaying();
    if (!title.isEmpty())
        data.insert(QStringLiteral("xesam:title"), title);
    if (!m_station.isEmpty()) {
        data.insert(QStringLiteral("xesam:album"), m_station);
        data.insert(QStringLiteral("xesam:artist"), QStringList{m_station});
    }
    return data;
}

void MediaControls::playPause()
{
    if (m_player.playState() == MediaPlayer::Playing || m_player.playState() == MediaPlayer::Buffering)
        m_actions.pause();
    else
        m_actions.play();
}

void MediaControls::newTrack()
{
    ++m_track;
    announce({{QStringLiteral("Metadata"), metadata()}});
}

void MediaControls::announce(const QVariantMap &changed)
{
    if (!m_offered)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
}

#include "media_controls.moc"

#include "platform/vlc_media_player.h"

#include <cstdio>
#include <vector>

#include <vlc/vlc.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QUrl>

namespace {

// libVLC with no window, no video and none of its own interfaces: no
// D-Bus control, no hot keys, no user configuration file, no Lua scripts.
// Network caching: 500 ms keeps a live stream's first audio well inside a
// second on a good link (the default is 1000 ms).
const char *const kBaseArguments[] = {
    "--intf=dummy",
    "--no-video",
    "--no-xlib",
    "--no-osd",
    "--no-spu",
    "--no-dbus",
    "--no-lua",
    "--ignore-config",
    "--no-media-library",
    "--quiet",
    "--network-caching=500",
    "--no-sub-autodetect-file",
    "--no-metadata-network-access",
    "--no-one-instance",
};

const libvlc_event_type_t kPlayerEvents[] = {
    libvlc_MediaPlayerOpening,          libvlc_MediaPlayerBuffering,   libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,           libvlc_MediaPlayerStopped,     libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerMediaChanged,
};

const libvlc_event_type_t kListEvents[] = {
    libvlc_MediaListPlayerNextItemSet,
};

// libVLC's volume scale: 100 is its full (unamplified) volume.
constexpr int kVlcFullVolume = 100;
constexpr int kFullVolume = 65535;

// Addresses carry a scheme; local recordings come as paths (a one-letter
// "scheme" is a drive letter).
// libVLC 3 opens http:// with its newer HTTP access, which never asks an
// Icecast/SHOUTcast server for the stream's titles; the icyx:// form of the
// same address selects its HTTP access that does (Icy-MetaData: 1) and
// otherwise speaks the same HTTP. Only the engine sees this form.
QString engineLocation(const QString &url)
{
    if (url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return QStringLiteral("icyx://") + url.mid(7);
    return url;
}

bool isPath(const QString &url)
{
    const int colon = url.indexOf(QLatin1Char(':'));
    if (colon <= 1)
        return true;
    for (int i = 0; i < colon; ++i) {
        const QChar c = url.at(i);
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return true;
    }
    return false;
}

}  // namespace

VlcMediaPlayer::VlcMediaPlayer(const QStringList &extraArguments, QObject *parent) : MediaPlayer(parent)
{
    std::vector<QByteArray> extra;
    for (const QString &a : extraArguments)
        extra.push_back(a.toLocal8Bit());
    std::vector<const char *> argv(std::begin(kBaseArguments), std::end(kBaseArguments));
    for (const QByteArray &a : extra)
        argv.push_back(a.constData());
    m_instance = libvlc_new(int(argv.size()), argv.data());
    if (m_instance) {
        libvlc_set_user_agent(m_instance, "Vexa Radio Player", "VexaRadio/1.0");
        libvlc_log_set(m_instance, &VlcMediaPlayer::onVlcLog, this);
        m_player = libvlc_media_player_new(m_instance);
        m_listPlayer = libvlc_media_list_player_new(m_instance);
    }
    if (!m_player || !m_listPlayer) {
        if (m_listPlayer)
            libvlc_media_list_player_release(m_listPlayer);
        if (m_player)
            libvlc_media_player_release(m_player);
        if (m_instance)
            libvlc_release(m_instance);
        m_listPlayer = nullptr;
        m_player = nullptr;
        m_instance = nullptr;
        m_error = QStringLiteral("the media engine (libVLC) cannot start");
        return;
    }
    libvlc_media_list_player_set_media_player(m_listPlayer, m_player);
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
    for (auto type : kPlayerEvents)
        libvlc_event_attach(events, type, &VlcMediaPlayer::onVlcEvent, this);
    libvlc_event_manager_t *listEvents = libvlc_media_list_player_event_manager(m_listPlayer);
    for (auto type : kListEvents)
        libvlc_event_attach(listEvents, type, &VlcMediaPlayer::onVlcEvent, this);
    libvlc_audio_set_volume(m_player, (m_volume * kVlcFullVolume + kFullVolume / 2) / kFullVolume);
    m_thread = std::thread([this] { runCommands(); });
}

VlcMediaPlayer::~VlcMediaPlayer()
{
    if (!m_instance)
        return;
    enqueue([this] { libvlc_media_list_player_stop(m_listPlayer); });
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(m_player);
    for (auto type : kPlayerEvents)
        libvlc_event_detach(events, type, &VlcMediaPlayer::onVlcEvent, this);
    libvlc_event_manager_t *listEvents = libvlc_media_list_player_event_manager(m_listPlayer);
    for (auto type : kListEvents)
        libvlc_event_detach(listEvents, type, &VlcMediaPlayer::onVlcEvent, this);
    libvlc_media_list_player_release(m_listPlayer);
    libvlc_media_player_release(m_player);
    libvlc_log_unset(m_instance);
    libvlc_release(m_instance);
    setCurrentMedia(nullptr);
}

void VlcMediaPlayer::enqueue(std::function<void()> command)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_commands.push_back(std::move(command));
    }
    m_wake.notify_one();
}

void VlcMediaPlayer::runCommands()
{
    for (;;) {
        std::function<void()> command;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_commands.empty(); });
            if (m_commands.empty())
                return;
            command = std::move(m_commands.front());
            m_commands.pop_front();
        }
        command();
    }
}

quint64 VlcMediaPlayer::nextGeneration()
{
    m_error.clear();
    m_positionMs = 0;
    m_bufferPercent = 0;
    setCurrentMedia(nullptr);
    setNowPlaying(QString());
    return ++m_generation;
}

void VlcMediaPlayer::setUrl(const QString &url)
{
    m_url = url;
    if (!m_instance) {
        Q_EMIT playerEvent(Event::StatusChange);
        return;
    }
    if (url.isEmpty()) {
        stop();
        return;
    }
    const quint64 generation = nextGeneration();
    const QByteArray location = isPath(url) ? QFileInfo(url).absoluteFilePath().toUtf8() : engineLocation(url).toUtf8();
    const bool path = isPath(url);
    enqueue([this, generation, location, path] {
        {
            std::lock_guard<std::mutex> lock(m_logMutex);
            m_loggedErrors.clear();
        }
        m_engineGeneration = generation;
        libvlc_media_list_player_stop(m_listPlayer);
        libvlc_media_t *media = path ? libvlc_media_new_path(m_instance, location.constData())
                                     : libvlc_media_new_location(m_instance, location.constData());
        libvlc_media_list_t *list = libvlc_media_list_new(m_instance);
        if (!media || !list) {
            if (media)
                libvlc_media_release(media);
            if (list)
                libvlc_media_list_release(list);
            post(Report::Error);
            return;
        }
        libvlc_media_list_lock(list);
        libvlc_media_list_add_media(list, media);
        libvlc_media_list_unlock(list);
        libvlc_media_release(media);
        libvlc_media_list_player_set_media_list(m_listPlayer, list);
        libvlc_media_list_release(list);
        libvlc_media_list_player_play(m_listPlayer);
    });
    Q_EMIT playerEvent(Event::MediaChange);
    setState(Transitioning);
    emitEvent(Event::OpenStateChange);
}

void VlcMediaPlayer::play()
{
    if (m_state == Paused) {
        enqueue([this] { libvlc_media_list_player_set_pause(m_listPlayer, 0); });
        return;
    }
    if (m_state == Playing || m_state == Buffering || m_state == Transitioning || m_url.isEmpty())
        return;
    // Stopped, ended or failed: open the address again from its start.
    setUrl(m_url);
}

void VlcMediaPlayer::stop()
{
    if (!m_instance)
        return;
    const quint64 generation = nextGeneration();
    enqueue([this, generation] {
        m_engineGeneration = generation;
        libvlc_media_list_player_stop(m_listPlayer);
    });
    if (m_state != Undefined)
        setState(Stopped);
}

void VlcMediaPlayer::pause()
{
    if (!m_instance || (m_state != Playing && m_state != Buffering))
        return;
    enqueue([this] { libvlc_media_list_player_set_pause(m_listPlayer, 1); });
}

void VlcMediaPlayer::setOutputVolume(int value)
{
    m_volume = qBound(0, value, kFullVolume);
    if (!m_instance)
        return;
    const int vlcVolume = (m_volume * kVlcFullVolume + kFullVolume / 2) / kFullVolume;
    enqueue([this, vlcVolume] { libvlc_audio_set_volume(m_player, vlcVolume); });
}

int VlcMediaPlayer::decodedAudioBlocks() const
{
    libvlc_media_stats_t stats{};
    if (!m_currentMedia || !libvlc_media_get_stats(m_currentMedia, &stats))
        return 0;
    return stats.i_decoded_audio;
}

int VlcMediaPlayer::bitRate() const
{
    if (!m_currentMedia)
        return 0;
    libvlc_media_track_t **tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(m_currentMedia, &tracks);
    int rate = 0;
    for (unsigned i = 0; i < count && rate == 0; ++i) {
        if (tracks[i]->i_type == libvlc_track_audio)
            rate = int(tracks[i]->i_bitrate);
    }
    if (tracks)
        libvlc_media_tracks_release(tracks, count);
    return rate;
}

QString VlcMediaPlayer::failureReason(const QStringList &errors)
{
    // What the user can act on, in the order a failed open usually logs it.
    static const struct
    {
        const char *logged;
        const char *reason;
    } known[] = {
        {"Connection refused", "connection refused"},
        {"Name or service not known", "no such host"},
        {"cannot resolve", "no such host"},
        {"No address associated", "no such host"},
        {"Temporary failure in name resolution", "no such host"},
        {"No such file or directory", "no such file"},
        {"Permission denied", "permission denied"},
        {"timed out", "no answer"},
        {"no data received", "no answer"},
        {"HTTP 401", "access refused (HTTP 401)"},
        {"HTTP 403", "access refused (HTTP 403)"},
        {"HTTP 404", "not found (HTTP 404)"},
        {"HTTP ", "refused by the server"},
        {"id/password requested", "access refused"},
    };
    // The HTTP accesses log a refusal as "HTTP 404" or as the status line
    // "HTTP/1.0 404 Not Found".
    static const QRegularExpression statusLine(QStringLiteral("HTTP/1\\.[01] "));
    for (const auto &k : known) {
        for (QString line : errors) {
            line.replace(statusLine, QStringLiteral("HTTP "));
            if (line.contains(QLatin1String(k.logged), Qt::CaseInsensitive))
                return QString::fromLatin1(k.reason);
        }
    }
    return QStringLiteral("the stream cannot be opened");
}

QString VlcMediaPlayer::statusText() const
{
    // The address goes between apostrophes, so the status line shows the
    // text around it ("Playing 64K").
    if (!m_error.isEmpty())
        return QStringLiteral("Error: cannot play '%1': %2").arg(m_url, m_error);
    switch (m_state) {
    case Undefined:
        return QStringLiteral("Ready");
    case Transitioning:
        return QStringLiteral("Opening '%1'...").arg(m_url);
    case Buffering:
        return QStringLiteral("Buffering (%1%)").arg(m_bufferPercent);
    case Playing: {
        const int rate = bitRate();
        if (rate > 0)
            return QStringLiteral("Playing '%1' %2K").arg(m_url).arg((rate + 500) / 1000);
        return QStringLiteral("Playing");
    }
    case Paused:
        return QStringLiteral("Paused");
    case MediaEnded:
        return QStringLiteral("Media ended");
    default:
        return QStringLiteral("Stopped");
    }
}

void VlcMediaPlayer::onVlcEvent(const libvlc_event_t *event, void *self)
{
    auto *player = static_cast<VlcMediaPlayer *>(self);
    switch (event->type) {
    case libvlc_MediaPlayerOpening:
        player->post(Report::Opening);
        break;
    case libvlc_MediaPlayerBuffering:
        player->post(Report::Buffering, qint64(event->u.media_player_buffering.new_cache));
        break;
    case libvlc_MediaPlayerPlaying:
        player->post(Report::Playing);
        break;
    case libvlc_MediaPlayerPaused:
        player->post(Report::Paused);
        break;
    case libvlc_MediaPlayerStopped:
        player->post(Report::Stopped);
        break;
    case libvlc_MediaPlayerEndReached:
        player->post(Report::Ended);
        break;
    case libvlc_MediaPlayerEncounteredError:
        player->post(Report::Error);
        break;
    case libvlc_MediaPlayerTimeChanged:
        player->post(Report::Time, qint64(event->u.media_player_time_changed.new_time));
        break;
    case libvlc_MediaPlayerMediaChanged: {
        libvlc_media_t *media = event->u.media_player_media_changed.new_media;
        if (media)
            libvlc_media_retain(media);
        player->post(Report::MediaChanged, 0, media);
        break;
    }
    case libvlc_MediaListPlayerNextItemSet:
        player->post(Report::ItemSet);
        break;
    case libvlc_MediaMetaChanged:
        if (event->u.media_meta_changed.meta_type == libvlc_meta_NowPlaying)
            player->post(Report::Title);
        break;
    default:
        break;
    }
}

void VlcMediaPlayer::onVlcLog(void *self, int level, const vlc_log_t *, const char *format, va_list args)
{
    // VEXA_ENGINE_LOG=1 copies every engine line to standard error (diagnostics).
    static const bool dbg = qEnvironmentVariableIsSet("VEXA_ENGINE_LOG");
    if (level < LIBVLC_ERROR && !dbg)
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    if (dbg)
        std::fprintf(stderr, "libvlc[%d] %s\n", level, text);
    if (level < LIBVLC_ERROR)
        return;
    auto *player = static_cast<VlcMediaPlayer *>(self);
    std::lock_guard<std::mutex> lock(player->m_logMutex);
    if (player->m_loggedErrors.size() < 16)
        player->m_loggedErrors << QString::fromUtf8(text);
}

void VlcMediaPlayer::post(Report report, qint64 value, libvlc_media_t *media)
{
    const quint64 generation = m_engineGeneration.load();
    QMetaObject::invokeMethod(
        this, [this, generation, report, value, media] { apply(generation, report, value, media); },
        Qt::QueuedConnection);
}

void VlcMediaPlayer::setCurrentMedia(libvlc_media_t *media)
{
    // The entry's title changes are followed while it is the current one.
    if (m_currentMedia) {
        libvlc_event_detach(libvlc_media_event_manager(m_currentMedia), libvlc_MediaMetaChanged,
                            &VlcMediaPlayer::onVlcEvent, this);
        libvlc_media_release(m_currentMedia);
    }
    m_currentMedia = media;
    if (m_currentMedia) {
        libvlc_event_attach(libvlc_media_event_manager(m_currentMedia), libvlc_MediaMetaChanged,
                            &VlcMediaPlayer::onVlcEvent, this);
        readNowPlaying();
    }
}

void VlcMediaPlayer::readNowPlaying()
{
    if (!m_currentMedia)
        return;
    char *title = libvlc_media_get_meta(m_currentMedia, libvlc_meta_NowPlaying);
    setNowPlaying(QString::fromUtf8(title).trimmed());
    libvlc_free(title);
}

void VlcMediaPlayer::apply(quint64 generation, Report report, qint64 value, libvlc_media_t *media)
{
    if (generation != m_generation) {
        if (media)
            libvlc_media_release(media);
        return;
    }
    switch (report) {
    case Report::Opening:
        setState(Transitioning);
        emitEvent(Event::OpenStateChange);
        break;
    case Report::Buffering:
        m_bufferPercent = int(value);
        // libVLC reports Playing when the input starts and then fills its
        // buffer; the audio plays once the buffer is full.
        if (m_state == Transitioning || m_state == Buffering || m_state == Playing)
            setState(value < 100 ? Buffering : Playing);
        emitEvent(Event::Buffering);
        break;
    case Report::Playing:
        setState(m_bufferPercent > 0 && m_bufferPercent < 100 ? Buffering : Playing);
        break;
    case Report::Paused:
        setState(Paused);
        break;
    case Report::Stopped:
        if (m_state != Undefined && m_state != MediaEnded)
            setState(Stopped);
        break;
    case Report::Ended:
        // A playlist entry ends when its own entries have been read: the
        // list player goes on with them.
        if (m_currentMedia) {
            libvlc_media_list_t *items = libvlc_media_subitems(m_currentMedia);
            const int count = items ? libvlc_media_list_count(items) : 0;
            if (items)
                libvlc_media_list_release(items);
            if (count > 0) {
                emitEvent(Event::EndOfStream);
                break;
            }
        }
        // An entry that ends with no audio decoded was no media stream
        // (a web page, say): that is a failure, not the end of a recording.
        if (decodedAudioBlocks() == 0) {
            m_error = QStringLiteral("not a media stream");
            setState(Stopped);
        } else {
            setState(MediaEnded);
        }
        emitEvent(Event::EndOfStream);
        break;
    case Report::Error: {
        QStringList errors;
        {
            std::lock_guard<std::mutex> lock(m_logMutex);
            errors = m_loggedErrors;
        }
        m_error = failureReason(errors);
        setState(Stopped);
        emitEvent(Event::StatusChange);
        break;
    }
    case Report::Time:
        m_positionMs = value;
        Q_EMIT playerEvent(Event::PositionChange);
        break;
    case Report::MediaChanged:
        setCurrentMedia(media);
        media = nullptr;
        emitEvent(Event::MediaChange);
        break;
    case Report::ItemSet:
        emitEvent(Event::CurrentPlaylistItemAvailable);
        break;
    case Report::Title:
        readNowPlaying();
        break;
    }
    if (media)
        libvlc_media_release(media);
}

void VlcMediaPlayer::setState(PlayState state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT playStateChanged(state);
    Q_EMIT playerEvent(Event::PlayStateChange);
}

void VlcMediaPlayer::emitEvent(Event event)
{
    Q_EMIT playerEvent(event);
}

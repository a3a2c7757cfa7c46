#include "platform/qt_media_player.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QUrl>

QtMediaPlayer::QtMediaPlayer(QObject *parent)
    : MediaPlayer(parent), m_player(new QMediaPlayer(this)), m_output(new QAudioOutput(this))
{
    m_player->setAudioOutput(m_output);
    m_output->setVolume(float(m_volume) / 65535.0f);

    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this] { updateState(); });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        Q_EMIT playerEvent(Event::OpenStateChange);
        if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia)
            Q_EMIT playerEvent(Event::NewStream);
        if (status == QMediaPlayer::EndOfMedia)
            Q_EMIT playerEvent(Event::EndOfStream);
        updateState();
    });
    connect(m_player, &QMediaPlayer::bufferProgressChanged, this, [this] {
        Q_EMIT playerEvent(Event::Buffering);
        updateState();
    });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this] { Q_EMIT playerEvent(Event::PositionChange); });
    connect(m_player, &QMediaPlayer::sourceChanged, this, [this] { Q_EMIT playerEvent(Event::MediaChange); });
    connect(m_player, &QMediaPlayer::metaDataChanged, this, [this] { updateState(); });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this] { updateState(); });
}

QtMediaPlayer::~QtMediaPlayer() = default;

void QtMediaPlayer::setUrl(const QString &url)
{
    m_url = url;
    if (url.isEmpty()) {
        m_player->stop();
        m_player->setSource(QUrl());
        return;
    }
    // Stream addresses carry a scheme; local recordings come as paths.
    QUrl source(url);
    if (source.scheme().size() <= 1)  // none, or a drive letter
        source = QUrl::fromLocalFile(QFileInfo(url).absoluteFilePath());
    m_player->setSource(source);
    m_player->play();
}

void QtMediaPlayer::setOutputVolume(int value)
{
    m_volume = qBound(0, value, 65535);
    // QAudioOutput's volume is linear from 0 to 1.
    m_output->setVolume(float(m_volume) / 65535.0f);
}

void QtMediaPlayer::play()
{
    m_player->play();
}

void QtMediaPlayer::stop()
{
    m_player->stop();
}

void QtMediaPlayer::pause()
{
    m_player->pause();
}

qint64 QtMediaPlayer::positionMs() const
{
    return m_player->position();
}

MediaPlayer::PlayState QtMediaPlayer::playState() const
{
    if (m_player->source().isEmpty())
        return Undefined;
    const auto media = m_player->mediaStatus();
    switch (m_player->playbackState()) {
    case QMediaPlayer::PlayingState:
        if (media == QMediaPlayer::LoadingMedia)
            return Transitioning;
        // BufferingMedia still plays (a live stream's buffer can sit below
        // its mark for good); only a stalled stream has stopped.
        if (media == QMediaPlayer::StalledMedia)
            return Buffering;
        return Playing;
    case QMediaPlayer::PausedState:
        return Paused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return media == QMediaPlayer::EndOfMedia ? MediaEnded : Stopped;
}

QString QtMediaPlayer::statusText() const
{
    if (m_player->error() != QMediaPlayer::NoError)
        return QStringLiteral("Error: ") + m_player->errorString();
    switch (playState()) {
    case Undefined:
        return QStringLiteral("Ready");
    case Transitioning:
        return QStringLiteral("Opening '%1'...").arg(m_url);
    case Buffering:
        return QStringLiteral("Buffering (%1%)").arg(qRound(m_player->bufferProgress() * 100));
    case Playing: {
        const int bitRate = m_player->metaData().value(QMediaMetaData::AudioBitRate).toInt();
        if (bitRate > 0)
            return QStringLiteral("Playing '%1' %2K").arg(m_url).arg((bitRate + 500) / 1000);
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

void QtMediaPlayer::updateState()
{
    const PlayState state = playState();
    if (state != m_lastState) {
        m_lastState = state;
        Q_EMIT playStateChanged(state);
        Q_EMIT playerEvent(Event::PlayStateChange);
    }
    const QString status = statusText();
    if (status != m_lastStatus) {
        m_lastStatus = status;
        Q_EMIT playerEvent(Event::StatusChange);
    }
}

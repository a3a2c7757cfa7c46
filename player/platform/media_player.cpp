#include "platform/media_player.h"

MediaPlayer::MediaPlayer(QObject *parent) : QObject(parent)
{
    connect(this, &MediaPlayer::playStateChanged, this, [this](PlayState state) {
        if (state == Stopped || state == MediaEnded || state == Undefined)
            setNowPlaying(QString());
    });
}

void MediaPlayer::setNowPlaying(const QString &title)
{
    if (title == m_nowPlaying)
        return;
    m_nowPlaying = title;
    Q_EMIT nowPlayingChanged(m_nowPlaying);
}

#pragma once

#include "platform/media_player.h"

class QAudioOutput;
class QMediaPlayer;

// The media player `wmp1` on Qt Multimedia: QMediaPlayer with a
// QAudioOutput. Automatic start is on (setUrl starts playing), volume 50.
// Status texts are English; Playback puts them into the interface language.
class QtMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    explicit QtMediaPlayer(QObject *parent = nullptr);
    ~QtMediaPlayer() override;

    QString url() const override { return m_url; }
    void setUrl(const QString &url) override;
    void play() override;
    void stop() override;
    void pause() override;
    PlayState playState() const override;
    QString statusText() const override;
    int outputVolume() const override { return m_volume; }
    void setOutputVolume(int value) override;

    // Position in the stream, milliseconds (for tests and diagnostics).
    qint64 positionMs() const;

private:
    void updateState();

    QMediaPlayer *m_player;
    QAudioOutput *m_output;
    QString m_url;
    PlayState m_lastState = Undefined;
    QString m_lastStatus;
    int m_volume = 32768;
};

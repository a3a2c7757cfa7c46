#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>

#include "platform/volume_backend.h"

class MessageBoxes;

// The volume component `VControl1`: the auxiliary (CD), wave-out and
// MIDI-out volumes on a 0..255 scale over the backend's 16-bit channels.
// A read gives (left + right) >> 9; a write puts value << 8 on both
// channels. A device that is missing reads 0 and ignores writes.
class VolumeControl
{
public:
    explicit VolumeControl(VolumeBackend &backend) : m_backend(backend) {}

    static int fromChannels(quint32 channels) { return int(((channels & 0xFFFF) + (channels >> 16)) >> 9); }
    static quint32 toChannels(int value)
    {
        const quint32 channel = quint32(qBound(0, value, 255)) << 8;
        return channel | (channel << 16);
    }

    int CDVolume() const { return volume(VolumeBackend::Device::Auxiliary); }
    void setCDVolume(int value) { setVolume(VolumeBackend::Device::Auxiliary, value); }
    int WaveVolume() const { return volume(VolumeBackend::Device::WaveOut); }
    void setWaveVolume(int value) { setVolume(VolumeBackend::Device::WaveOut, value); }
    int MidiVolume() const { return volume(VolumeBackend::Device::MidiOut); }
    void setMidiVolume(int value) { setVolume(VolumeBackend::Device::MidiOut, value); }

    VolumeBackend &backend() { return m_backend; }

private:
    int volume(VolumeBackend::Device device) const
    {
        return m_backend.hasDevice(device) ? fromChannels(m_backend.channels(device)) : 0;
    }
    void setVolume(VolumeBackend::Device device, int value)
    {
        if (m_backend.hasDevice(device))
            m_backend.setChannels(device, toChannels(value));
    }

    VolumeBackend &m_backend;
};

// The main window's volume: the wanted volume `TBar1` (0..255), the slider
// (track picVolMain, thumb picVolSub), the mute button picVol and the
// off-skin speaker and step-down buttons. Pixel positions are in window
// coordinates; the window moves the thumb where thumbMoved says.
class VolumeSlider : public QObject
{
    Q_OBJECT
public:
    // Pixels of track per step of the wanted volume: a press on the track
    // uses 255 / 106 (the design track width), a drag 2.55.
    static constexpr double kJumpScale = 2.4056603;
    static constexpr double kDragScale = 2.55;
    // The step down of volM, on each 16-bit channel.
    static constexpr int kStepDown = 10000;
    // Speaker master volume set by volPlus and SpeedButton2.
    static constexpr long kSpeakerPlus = 5;
    static constexpr long kSpeakerOff = 0;

    struct Geometry
    {
        int trackLeft = 248;
        int trackWidth = 106;
        int thumbWidth = 10;
    };

    VolumeSlider(VolumeControl &control, std::function<QImage(const QString &)> loadPicture, MessageBoxes *messages,
                 QObject *parent = nullptr);

    void setGeometry(const Geometry &geometry) { m_geometry = geometry; }
    // Text lookup for the message of SpeedButton2 (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }

    // At window creation: WaveVolume 127, TBar1 from the volume read back,
    // thumb placed from TBar1.
    void start();

    int position() const { return m_position; }
    // TBar1's position changed: WaveVolume follows it.
    void setPosition(int position);
    int thumbLeft() const { return m_thumbLeft; }
    bool dragging() const { return m_dragging; }
    QString volPicture() const { return m_volPicture; }

    // Mouse on the track (x within the track) and on the thumb (x within
    // the thumb).
    void trackPressed(int x);
    void thumbPressed(int x);
    void thumbMoved(int x);
    void thumbReleased();
    void muteClicked();         // picVol
    void speakerPlusClicked();  // volPlus
    void speakerOffClicked();   // SpeedButton2
    void waveStepDown();        // volM

    // Left edge of the thumb for a TBar1 position, inside the track.
    int thumbLeftFor(int position) const;

Q_SIGNALS:
    void positionChanged(int position);
    void thumbLeftChanged(int left);
    void volPictureChanged(const QImage &picture);

private:
    void moveThumb(int left);
    void showVolPicture(const QString &name);

    VolumeControl &m_control;
    std::function<QImage(const QString &)> m_loadPicture;
    MessageBoxes *m_messages;
    std::function<QString(const QString &)> m_translate;
    Geometry m_geometry;
    int m_position = 0;
    int m_thumbLeft = 296;
    bool m_dragging = false;
    int m_dragStartX = 0;
    QString m_volPicture = QStringLiteral("pic/picVol1.bmp");
};

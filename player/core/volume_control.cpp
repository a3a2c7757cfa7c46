#include "core/volume_control.h"

#include <QtMath>

#include "platform/message_boxes.h"

VolumeSlider::VolumeSlider(VolumeControl &control, std::function<QImage(const QString &)> loadPicture,
                           MessageBoxes *messages, QObject *parent)
    : QObject(parent),
      m_control(control),
      m_loadPicture(std::move(loadPicture)),
      m_messages(messages)
{
}

void VolumeSlider::start()
{
    m_control.setWaveVolume(127);
    setPosition(m_control.WaveVolume());
    moveThumb(thumbLeftFor(m_position));
}

int VolumeSlider::thumbLeftFor(int position) const
{
    int left = m_geometry.trackLeft + qRound(position / kDragScale);
    const int trackRight = m_geometry.trackLeft + m_geometry.trackWidth;
    if (left + m_geometry.thumbWidth > trackRight)
        left = trackRight - m_geometry.thumbWidth;
    return left;
}

void VolumeSlider::setPosition(int position)
{
    position = qBound(0, position, 255);
    if (position == m_position)
        return;
    m_position = position;
    m_control.setWaveVolume(position);
    Q_EMIT positionChanged(position);
}

void VolumeSlider::moveThumb(int left)
{
    m_thumbLeft = left;
    Q_EMIT thumbLeftChanged(left);
}

void VolumeSlider::showVolPicture(const QString &name)
{
    const QImage picture = m_loadPicture ? m_loadPicture(name) : QImage();
    if (picture.isNull())
        return;
    m_volPicture = name;
    Q_EMIT volPictureChanged(picture);
}

void VolumeSlider::trackPressed(int x)
{
    moveThumb(x + m_geometry.trackLeft);
    setPosition(qRound(x * kJumpScale));
    showVolPicture(QStringLiteral("pic/picVol1.bmp"));
}

void VolumeSlider::thumbPressed(int x)
{
    m_dragging = true;
    m_dragStartX = x;
    showVolPicture(QStringLiteral("pic/picVol1.bmp"));
}

void VolumeSlider::thumbMoved(int x)
{
    // Only a horizontal movement moves the thumb and sets the volume.
    if (!m_dragging || x == m_dragStartX)
        return;
    const int left = m_thumbLeft + (x - m_dragStartX);
    // Strictly inside the track: the thumb never reaches either end.
    if (left <= m_geometry.trackLeft || left + m_geometry.thumbWidth >= m_geometry.trackLeft + m_geometry.trackWidth)
        return;
    moveThumb(left);
    setPosition(qRound((m_thumbLeft - m_geometry.trackLeft) * kDragScale));
}

void VolumeSlider::thumbReleased()
{
    m_dragging = false;
}

void VolumeSlider::muteClicked()
{
    if (m_control.WaveVolume() != 0) {
        m_control.setWaveVolume(0);
        showVolPicture(QStringLiteral("pic/picVol2.bmp"));
    } else {
        m_control.setWaveVolume(m_position);
        showVolPicture(QStringLiteral("pic/picVol1.bmp"));
    }
}

void VolumeSlider::speakerPlusClicked()
{
    m_control.backend().setSpeakerVolume(kSpeakerPlus);
}

void VolumeSlider::speakerOffClicked()
{
    if (!m_control.backend().setSpeakerVolume(kSpeakerOff) || !m_messages)
        return;
    const QString text = QStringLiteral("Volume should now be set to zero");
    m_messages->information(QStringLiteral("Vexa"), m_translate ? m_translate(text) : text);
}

void VolumeSlider::waveStepDown()
{
    VolumeBackend &backend = m_control.backend();
    const auto device = VolumeBackend::Device::WaveOut;
    if (!backend.hasDevice(device))
        return;
    const quint32 channels = backend.channels(device);
    // Each channel goes down by the step and stops at 0.
    const quint32 left = quint32(qMax(0, int(channels & 0xFFFF) - kStepDown));
    const quint32 right = quint32(qMax(0, int(channels >> 16) - kStepDown));
    backend.setChannels(device, left | (right << 16));
}

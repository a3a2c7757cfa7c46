#include "shell/skin_picture_widget.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QTextDocument>
#include <QToolTip>

#include "core/skin_art.h"

namespace {

QPixmap withKeyTransparent(const QImage &picture)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = SkinArt::kKeyColour;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0x00ffffff) == (key & 0x00ffffff))
                line[x] = 0;
        }
    }
    return QPixmap::fromImage(image);
}

}  // namespace

SkinPicture::SkinPicture(const QString &name, const QImage &designPicture, QWidget *parent)
    : QLabel(parent),
      m_design(designPicture)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setPicture(designPicture);
}

bool SkinPicture::setPicture(const QImage &picture)
{
    if (picture.isNull())
        return false;
    m_picture = picture;
    setPixmap(withKeyTransparent(picture));
    resize(picture.size());
    return true;
}

void SkinPicture::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT pressed(event->button(), event->position().toPoint());
    event->accept();
}

void SkinPicture::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT moved(event->position().toPoint());
    QLabel::mouseMoveEvent(event);
}

void SkinPicture::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    Q_EMIT released(event->button(), at);
    if (event->button() == Qt::LeftButton && rect().contains(at))
        Q_EMIT clicked();
    event->accept();
}

bool SkinPicture::event(QEvent *event)
{
    // Hints come from the store's phrase table: shown as plain text, since
    // a tooltip would take markup in them for rich text.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (toolTip().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(toolTip(), Qt::WhiteSpaceNormal), this);
        return true;
    }
    return QLabel::event(event);
}

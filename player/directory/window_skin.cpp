#include "directory/window_skin.h"

#include <QBitmap>
#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace WindowSkin {

QImage load(const QString &programDir, const QString &file, const QSize &size)
{
    const QFileInfo wanted(QDir(programDir).filePath(file));
    const QDir dir = wanted.dir();
    const QStringList names = dir.entryList(QDir::Files);
    for (const QString &name : names) {
        if (name.compare(wanted.fileName(), Qt::CaseInsensitive) == 0) {
            QImage picture(dir.filePath(name));
            if (!picture.isNull())
                return picture.convertToFormat(QImage::Format_RGB32);
        }
    }
    return draw(size, QRect(8, 38, size.width() - 16, size.height() - 38 - 30));
}

QImage draw(const QSize &size, const QRect &well)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kKeyColour);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);  // no blended edges against the key colour

    QPainterPath frame;
    frame.addRoundedRect(QRectF(0, 0, size.width(), size.height()), 12, 12);
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0.0, QColor(52, 62, 82));
    body.setColorAt(1.0, QColor(22, 28, 40));
    p.fillPath(frame, body);

    // Title band with a gold rule under it.
    QLinearGradient band(0, 0, 0, 32);
    band.setColorAt(0.0, QColor(70, 82, 106));
    band.setColorAt(1.0, QColor(40, 49, 66));
    QPainterPath top;
    top.addRoundedRect(QRectF(2, 2, size.width() - 4, 30), 10, 10);
    p.fillPath(top, band);
    p.fillRect(QRect(10, 32, size.width() - 20, 2), QColor(74, 163, 255));

    // The well that frames the page, and a groove for the gauge.
    p.fillRect(well.adjusted(-2, -2, 2, 2), QColor(14, 18, 26));
    p.fillRect(well, QColor(243, 245, 249));
    p.setPen(QColor(86, 100, 128));
    p.drawRect(well.adjusted(-2, -2, 1, 1));
    return image;
}

QRegion shape(const QImage &skin)
{
    // QPixmap's mask: pixels of the key colour become transparent.
    return QRegion(QPixmap::fromImage(skin).createMaskFromColor(QColor::fromRgb(kKeyColour), Qt::MaskInColor));
}

QImage closeButton()
{
    QImage image(17, 17, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(214, 76, 76));
    p.setPen(QPen(QColor(14, 18, 26), 1));
    p.drawEllipse(QRectF(0.5, 0.5, 16, 16));
    p.setPen(QPen(QColor(244, 247, 251), 2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(11.5, 11.5));
    p.drawLine(QPointF(11.5, 5.5), QPointF(5.5, 11.5));
    return image;
}

}  // namespace WindowSkin

#include "directory/window_skin.h"

#include <QBitmap>
#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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
    body.setColorAt(0.0, QColor(74, 70, 58));
    body.setColorAt(1.0, QColor(42, 40, 33));
    p.fillPath(frame, body);

    // Title band with a gold rule under it.
    QLinearGradient band(0, 0, 0, 32);
    band.setColorAt(0.0, QColor(96, 90, 72));
    band.setColorAt(1.0, QColor(60, 57, 47));
    QPainterPath top;
    top.addRoundedRect(QRectF(2, 2, size.width() - 4, 30), 10, 10);
    p.fillPath(top, band);
    p.fillRect(QRect(10, 32, size.width() - 20, 2), QColor(255, 214, 0));

    // The well that frames the page, and a groove for the gauge.
    p.fillRect(well.adjusted(-2, -2, 2, 2), QColor(24, 23, 19));
    p.fillRect(well, QColor(246, 243, 232));
    p.setPen(QColor(174, 164, 127));
    p.drawRect(well.adjusted(-2, -2, 1, 1));
    return image;
}

QRegion shape(const QImage &skin)
{
    return QRegion(QBitmap::fromImage(skin.createMaskFromColor(kKeyColour, Qt::MaskOutColor)));
}

QImage closeButton()
{
    QImage image(17, 17, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 214, 0));
    p.setPen(QPen(QColor(42, 40, 33), 1));
    p.drawEllipse(QRectF(0.5, 0.5, 16, 16));
    p.setPen(QPen(QColor(42, 40, 33), 2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(11.5, 11.5));
    p.drawLine(QPointF(11.5, 5.5), QPointF(5.5, 11.5));
    return image;
}

}  // namespace WindowSkin

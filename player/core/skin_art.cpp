#include "core/skin_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace SkinArt {
namespace {

const QColor kBodyTop(0x34, 0x3f, 0x55);
const QColor kBodyBottom(0x1a, 0x20, 0x2d);
const QColor kPanel(0x0d, 0x15, 0x1c);
const QColor kAccent(0x3f, 0xa9, 0xf5);
const QColor kHighlight(0xff, 0x9f, 0x1a);
const QColor kChipTop(0x4a, 0x56, 0x6e);
const QColor kChipBottom(0x2c, 0x35, 0x47);
const QColor kText(0xe8, 0xee, 0xf6);

QFont uiFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QImage canvas(int w, int h, const QColor &fill = QColor::fromRgb(kKeyColour))
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// A rounded chip with a vertical gradient and a thin light rim.
void chip(QPainter &p, const QRectF &r, qreal radius, const QColor &top, const QColor &bottom, const QColor &rim)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(rim, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
}

// Pictures are drawn over the skin, whose colour under them is known: the
// corners outside a rounded chip take the body colour at that height, so
// the pictures need no transparency of their own.
QColor bodyAt(int y)
{
    const qreal t = qBound(0.0, y / 187.0, 1.0);
    return QColor::fromRgbF(kBodyTop.redF() + (kBodyBottom.redF() - kBodyTop.redF()) * t,
                            kBodyTop.greenF() + (kBodyBottom.greenF() - kBodyTop.greenF()) * t,
                            kBodyTop.blueF() + (kBodyBottom.blueF() - kBodyTop.blueF()) * t);
}

QImage textChip(int w, int h, int y, const QString &text, bool active, int pixelSize)
{
    QImage image = canvas(w, h, bodyAt(y + h / 2));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r(0.5, 0.5, w - 1, h - 1);
    if (active)
        chip(p, r, 4, kHighlight.lighter(115), kHighlight.darker(125), kHighlight.lighter(140));
    else
        chip(p, r, 4, kChipTop, kChipBottom, QColor(0x6a, 0x78, 0x92));
    p.setFont(uiFont(pixelSize, true));
    p.setPen(active ? QColor(0x20, 0x14, 0x00) : kText);
    p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, text);
    return image;
}

// Round transport button with a glyph drawn by `glyph` in a 28 x 28 box.
template <typename Glyph>
QImage roundButton(int size, int y, const QColor &ring, Glyph glyph)
{
    QImage image = canvas(size, size, bodyAt(y + size / 2));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, size - 2, size - 2);
    QRadialGradient g(r.center() - QPointF(4, 5), size * 0.8);
    g.setColorAt(0, QColor(0x5d, 0x6b, 0x86));
    g.setColorAt(1, QColor(0x24, 0x2c, 0x3b));
    p.setPen(QPen(ring, 1.5));
    p.setBrush(g);
    p.drawEllipse(r);
    glyph(p, QRectF(0, 0, size, size));
    return image;
}

QImage mainPicture()
{
    const int w = kSkinWidth;
    const int h = kSkinHeight;
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Name strip below the compact area: seen only when the window grows.
    {
        QPainterPath strip;
        // Tucked under the body's rounded bottom corners so that none of it
        // shows while the window is compact.
        strip.addRoundedRect(QRectF(14.5, 176.5, w - 29, h - 177), 9, 9);
        p.setPen(QPen(QColor(0x9a, 0x86, 0x6c), 1));
        p.setBrush(QColor(0xf6, 0xee, 0xdc));
        p.drawPath(strip);
    }

    // Body with rounded corners; the purple around it is cut away.
    QPainterPath body;
    body.addRoundedRect(QRectF(0.5, 0.5, w - 1, 186), 16, 16);
    QLinearGradient bodyFill(0, 0, 0, 187);
    bodyFill.setColorAt(0, kBodyTop);
    bodyFill.setColorAt(1, kBodyBottom);
    p.setPen(QPen(QColor(0x0b, 0x0e, 0x14), 1));
    p.setBrush(bodyFill);
    p.drawPath(body);
    // Soft sheen along the top edge.
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawLine(QPointF(16, 2), QPointF(w - 16, 2));

    // Title: a small signal mark and the product name.
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(20, 14), 4, 4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kAccent, 1.6));
    p.drawArc(QRectF(12, 6, 16, 16), 30 * 16, 120 * 16);
    p.drawArc(QRectF(8, 2, 24, 24), 35 * 16, 110 * 16);
    p.setFont(uiFont(12, true));
    p.setPen(kText);
    p.drawText(QRectF(34, 3, 200, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vexa Radio Player"));

    // Directory link plate behind Label1, light so the blue address reads.
    chip(p, QRectF(88.5, 27.5, 262, 20), 9, QColor(0xf3, 0xf6, 0xfb), QColor(0xdc, 0xe3, 0xee),
         QColor(0x8e, 0x9c, 0xb4));
    p.setPen(QPen(kAccent, 1.4));
    p.setBrush(Qt::NoBrush);
    const QPointF globe(72, 37);
    p.drawEllipse(globe, 8, 8);
    p.drawEllipse(QRectF(globe.x() - 3.5, globe.y() - 8, 7, 16));
    p.drawLine(globe - QPointF(8, 0), globe + QPointF(8, 0));

    // Display panel holding time, status, station name and the set hint.
    {
        QRectF panel(22.5, 56.5, w - 45, 64);
        p.setPen(QPen(QColor(0x05, 0x08, 0x0c), 1));
        QLinearGradient g(panel.topLeft(), panel.bottomLeft());
        g.setColorAt(0, kPanel.lighter(130));
        g.setColorAt(1, kPanel);
        p.setBrush(g);
        p.drawRoundedRect(panel, 7, 7);
        p.setPen(QPen(QColor(255, 255, 255, 28), 1));
        p.drawLine(QPointF(panel.left() + 8, panel.bottom() + 1), QPointF(panel.right() - 8, panel.bottom() + 1));
    }

    // Equaliser mark in the free area beside the transport buttons.
    const int barHeights[] = {8, 14, 20, 12, 17, 9, 15, 11};
    for (int i = 0; i < 8; ++i) {
        const int bh = barHeights[i];
        QLinearGradient g(0, 180 - bh, 0, 180);
        g.setColorAt(0, kAccent.lighter(130));
        g.setColorAt(1, kAccent.darker(160));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(150 + i * 7, 178 - bh, 4, bh), 1.5, 1.5);
    }
    p.setFont(uiFont(9, true));
    p.setPen(QColor(0x8e, 0x9c, 0xb4));
    p.drawText(QRectF(146, 148, 60, 12), Qt::AlignCenter, QStringLiteral("VEXA"));
    return image;
}

QImage favPicture(int n, bool highlighted)
{
    return textChip(26, 16, 122, QString::number(n), highlighted, n == 10 ? 10 : 11);
}

QImage arrowChip(bool right)
{
    QImage image = textChip(26, 16, 122, QString(), false, 10);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kText);
    QPolygonF tri;
    if (right)
        tri << QPointF(10, 4) << QPointF(17, 8) << QPointF(10, 12);
    else
        tri << QPointF(16, 4) << QPointF(9, 8) << QPointF(16, 12);
    p.drawPolygon(tri);
    return image;
}

// Texts of the tabs by language number ('' for 1, "2", "3").
QString tabText(const QString &what, int language)
{
    if (what == QLatin1String("picmem"))
        return language == 1 ? QStringLiteral("MEM") : language == 2 ? QStringLiteral("記憶") : QStringLiteral("记忆");
    if (what == QLatin1String("piclist"))
        return language == 1 ? QStringLiteral("LIST") : language == 2 ? QStringLiteral("清單") : QStringLiteral("列表");
    if (what == QLatin1String("picmenu"))
        return language == 1 ? QStringLiteral("MENU") : language == 2 ? QStringLiteral("選單") : QStringLiteral("菜单");
    if (what == QLatin1String("piccancel"))
        return language == 1 ? QStringLiteral("CANCEL") : QStringLiteral("取消");
    return QString();
}

int tabWidth(const QString &what)
{
    if (what == QLatin1String("piclist"))
        return 44;
    if (what == QLatin1String("picmenu"))
        return 40;
    return 46;  // picmem, piccancel
}

QImage tabPicture(const QString &what, int language)
{
    const bool cancel = what == QLatin1String("piccancel");
    return textChip(tabWidth(what), 17, 142, tabText(what, language), cancel, language == 1 ? (cancel ? 9 : 10) : 11);
}

QImage speaker(bool muted)
{
    QImage image = canvas(22, 19, bodyAt(171));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kText);
    QPolygonF cone;
    cone << QPointF(2, 7) << QPointF(6, 7) << QPointF(11, 3) << QPointF(11, 16) << QPointF(6, 12) << QPointF(2, 12);
    p.drawPolygon(cone);
    if (muted) {
        p.setPen(QPen(QColor(0xff, 0x5a, 0x5a), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 6), QPointF(20, 13));
        p.drawLine(QPointF(20, 6), QPointF(14, 13));
    } else {
        p.setPen(QPen(kAccent, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 5, 8, 9), -50 * 16, 100 * 16);
        p.drawArc(QRectF(8, 2, 12, 15), -50 * 16, 100 * 16);
    }
    return image;
}

QImage volumeTrack()
{
    QImage image = canvas(106, 7, bodyAt(171));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 106, 0);
    g.setColorAt(0, kAccent.darker(170));
    g.setColorAt(1, kAccent);
    p.setPen(QPen(QColor(0x0b, 0x0e, 0x14), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 1.5, 105, 4), 2, 2);
    return image;
}

QImage volumeThumb()
{
    QImage image = canvas(10, 19, bodyAt(171));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    chip(p, QRectF(0.5, 0.5, 9, 18), 3, QColor(0xf3, 0xf6, 0xfb), QColor(0xa9, 0xb5, 0xc8), QColor(0x2c, 0x35, 0x47));
    p.setPen(QPen(QColor(0x6a, 0x78, 0x92), 1));
    p.drawLine(QPointF(3, 8), QPointF(7, 8));
    p.drawLine(QPointF(3, 11), QPointF(7, 11));
    return image;
}

QImage titleButton(bool close)
{
    QImage image = canvas(16, 16, bodyAt(14));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x0b, 0x0e, 0x14), 1));
    p.setBrush(close ? QColor(0xe0, 0x4f, 0x4f) : QColor(0x5d, 0x6b, 0x86));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    if (close) {
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    } else {
        p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
    }
    return image;
}

QImage recordIndicator()
{
    QImage image = canvas(12, 12, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xff, 0xb0, 0xb0), 1));
    p.setBrush(QColor(0xff, 0x3b, 0x3b));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    return image;
}

}  // namespace

QStringList fileNames()
{
    QStringList names{QStringLiteral("main.bmp")};
    for (int n = 1; n <= 10; ++n) {
        names << QStringLiteral("picfav%1.bmp").arg(n) << QStringLiteral("picfav%1a.bmp").arg(n);
    }
    for (const char *what : {"picmem", "piclist", "picmenu", "piccancel"}) {
        const QString stem = QLatin1String(what);
        names << stem + QStringLiteral(".bmp") << stem + QStringLiteral("2.bmp") << stem + QStringLiteral("3.bmp");
    }
    names << QStringLiteral("picvol1.bmp") << QStringLiteral("picvol2.bmp");
    return names;
}

QImage picture(const QString &requested)
{
    QString name = requested.toLower();
    if (name.endsWith(QLatin1String(".bmp")))
        name.chop(4);
    if (name == QLatin1String("main"))
        return mainPicture();
    if (name.startsWith(QLatin1String("picfav"))) {
        QString rest = name.mid(6);
        const bool highlighted = rest.endsWith(QLatin1Char('a'));
        if (highlighted)
            rest.chop(1);
        bool ok = false;
        const int n = rest.toInt(&ok);
        if (ok && n >= 1 && n <= 10)
            return favPicture(n, highlighted);
        return QImage();
    }
    for (const char *what : {"picmem", "piclist", "picmenu", "piccancel"}) {
        const QLatin1String stem(what);
        if (name == stem)
            return tabPicture(stem, 1);
        if (name == stem + QLatin1Char('2'))
            return tabPicture(stem, 2);
        if (name == stem + QLatin1Char('3'))
            return tabPicture(stem, 3);
    }
    if (name == QLatin1String("picvol1"))
        return speaker(false);
    if (name == QLatin1String("picvol2"))
        return speaker(true);
    if (name == QLatin1String("volmain"))
        return volumeTrack();
    if (name == QLatin1String("volsub"))
        return volumeThumb();
    if (name == QLatin1String("mini"))
        return titleButton(false);
    if (name == QLatin1String("close"))
        return titleButton(true);
    if (name == QLatin1String("favprev"))
        return arrowChip(false);
    if (name == QLatin1String("favnext"))
        return arrowChip(true);
    if (name == QLatin1String("recindicator"))
        return recordIndicator();

    const QColor ring(0x6a, 0x78, 0x92);
    if (name == QLatin1String("play"))
        return roundButton(28, 150, ring, [](QPainter &p, const QRectF &) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x6c, 0xe0, 0x8a));
            p.drawPolygon(QPolygonF{QPointF(11, 8), QPointF(20, 14), QPointF(11, 20)});
        });
    if (name == QLatin1String("stop"))
        return roundButton(28, 150, ring, [](QPainter &p, const QRectF &) {
            p.setPen(Qt::NoPen);
            p.setBrush(kText);
            p.drawRoundedRect(QRectF(9.5, 9.5, 9, 9), 1.5, 1.5);
        });
    if (name == QLatin1String("pulse"))
        return roundButton(28, 150, ring, [](QPainter &p, const QRectF &) {
            p.setPen(Qt::NoPen);
            p.setBrush(kText);
            p.drawRoundedRect(QRectF(9.5, 9, 3.5, 10), 1, 1);
            p.drawRoundedRect(QRectF(15, 9, 3.5, 10), 1, 1);
        });
    if (name == QLatin1String("rec"))
        return roundButton(28, 150, ring, [](QPainter &p, const QRectF &) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xff, 0x4b, 0x4b));
            p.drawEllipse(QPointF(14, 14), 5.5, 5.5);
        });
    if (name == QLatin1String("rec2"))
        return roundButton(28, 150, QColor(0xff, 0x4b, 0x4b), [](QPainter &p, const QRectF &) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xff, 0x4b, 0x4b));
            p.drawRoundedRect(QRectF(9.5, 9.5, 9, 9), 1.5, 1.5);
        });
    return QImage();
}

QImage programIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-pixel grid (packaging/vexa-radio-player.svg draws the same).
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, kBodyTop.lighter(120));
    g.setColorAt(1, kBodyBottom);
    p.setPen(QPen(QColor(0x0b, 0x0e, 0x14), 2));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(32, 40), 6, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kAccent, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(18, 26, 28, 28), 35 * 16, 110 * 16);
    p.drawArc(QRectF(8, 16, 48, 48), 40 * 16, 100 * 16);
    return image;
}

}  // namespace SkinArt

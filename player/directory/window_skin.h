#pragma once

#include <QImage>
#include <QRegion>
#include <QString>

// Skin pictures of the directory's skinned windows. A picture file in the
// program's pic/ folder wins; without one the window draws its own.
namespace WindowSkin {

constexpr QRgb kKeyColour = 0xff800080;  // purple RGB(128, 0, 128): transparent

// The picture at programDir + "/" + file (name matched without regard to
// case), else a drawn skin of the given size with a title band.
QImage load(const QString &programDir, const QString &file, const QSize &size);
// Drawn skin: rounded dark frame, title band, inset well for the page.
QImage draw(const QSize &size, const QRect &well);
// The window shape: every pixel but the key colour.
QRegion shape(const QImage &skin);
// The close button's picture, 17 x 17.
QImage closeButton();

}  // namespace WindowSkin

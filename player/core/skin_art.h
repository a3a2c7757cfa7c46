#pragma once

#include <QImage>
#include <QRgb>
#include <QString>
#include <QStringList>

// The player's own skin artwork, drawn with QPainter. The build writes the
// pictures of fileNames() into pic/ (where the user may replace any of them
// with a picture of any size); the main window uses the same artwork as the
// design pictures its controls show when a file cannot be loaded.
namespace SkinArt {

// Purple: every pixel of this colour in the skin is transparent.
constexpr QRgb kKeyColour = qRgb(128, 0, 128);
constexpr int kSkinWidth = 363;
constexpr int kSkinHeight = 210;

// File names written into pic/ (lower case; loading ignores case).
QStringList fileNames();

// The picture for a pic/ file name ("main.bmp", "picfav3a.bmp",
// "piclist2.bmp" ...) or for a control that has no file of its own ("play",
// "stop", "pulse", "rec", "rec2", "mini", "close", "favprev", "favnext",
// "volmain", "volsub", "recindicator"). Null for an unknown name.
QImage picture(const QString &name);

// The program's icon (notification area, window icon).
QImage programIcon(int size = 64);

}  // namespace SkinArt

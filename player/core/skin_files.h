#pragma once

#include <QImage>
#include <QString>

// Skin pictures in the program folder's pic/ folder. Names match without
// regard to case ("pic/picMem.bmp" finds pic/picmem.bmp).
namespace SkinFiles {

// Path of the file `relativeName` ("pic/main.bmp") under `programDir`,
// matched without regard to case; empty when there is none.
QString find(const QString &programDir, const QString &relativeName);

// The picture, or a null image when the file is missing or unreadable.
QImage load(const QString &programDir, const QString &relativeName);

}  // namespace SkinFiles

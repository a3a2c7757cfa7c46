// Build tool: draws the skin pictures into a pic/ folder as Windows bitmaps.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "core/skin_art.h"

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vexa_make_skin <pic folder>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "vexa_make_skin: cannot make %s\n", argv[1]);
        return 1;
    }
    // main.bmp last: it is the build's marker that the set is complete.
    QStringList names = SkinArt::fileNames();
    names.removeAll(QStringLiteral("main.bmp"));
    names << QStringLiteral("main.bmp");
    for (const QString &name : names) {
        const QImage image = SkinArt::picture(name);
        if (image.isNull() || !image.save(dir.filePath(name), "BMP")) {
            std::fprintf(stderr, "vexa_make_skin: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}

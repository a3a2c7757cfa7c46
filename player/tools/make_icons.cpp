// Build tool: draws the program's icon as PNG files for the desktop's icon
// theme, one per size: make_icons <folder> <size>... writes <folder>/<size>.png.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "core/skin_art.h"

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: vexa_make_icons <folder> <size>...\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "vexa_make_icons: cannot make %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > 1024
            || !SkinArt::programIcon(size).save(dir.filePath(QStringLiteral("%1.png").arg(size)), "PNG")) {
            std::fprintf(stderr, "vexa_make_icons: cannot write the %s pixel icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}

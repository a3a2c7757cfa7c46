// Build tool: writes the store the product ships with, rd.d, from the SQL
// compiled into the player's core library.
#include <QCoreApplication>

#include <cstdio>

#include "store/store.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vexa_make_store <path of rd.d>\n");
        return 2;
    }
    QString error;
    if (!Store::create(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "vexa_make_store: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

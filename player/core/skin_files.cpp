#include "core/skin_files.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace SkinFiles {

QString find(const QString &programDir, const QString &relativeName)
{
    const QStringList parts = relativeName.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = programDir;
    for (const QString &part : parts) {
        const QDir dir(path);
        if (part == QLatin1String("..") || part == QLatin1String("."))
            return QString();
        const QString exact = dir.filePath(part);
        if (QFileInfo::exists(exact)) {
            path = exact;
            continue;
        }
        QString found;
        const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString &entry : entries) {
            if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                found = dir.filePath(entry);
                break;
            }
        }
        if (found.isEmpty())
            return QString();
        path = found;
    }
    return QFileInfo(path).isFile() ? path : QString();
}

QImage load(const QString &programDir, const QString &relativeName)
{
    const QString path = find(programDir, relativeName);
    if (path.isEmpty())
        return QImage();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

}  // namespace SkinFiles

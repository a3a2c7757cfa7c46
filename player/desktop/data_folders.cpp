#include "desktop/data_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char *const kRecorders[] = {"grablive", "grabclock"};

QString userDataHome()
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(data))
        return data;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// `link` points at `target`: made, or remade when it points elsewhere. A
// real file or folder of that name is the user's and stays.
bool linkTo(const QString &link, const QString &target)
{
    const QFileInfo info(link);
    if (info.isSymLink()) {
        if (info.symLinkTarget() == QFileInfo(target).absoluteFilePath())
            return true;
        QFile::remove(link);
    } else if (info.exists()) {
        return true;
    }
    return QFile::link(target, link);
}

}  // namespace

DataFolders DataFolders::locate(const QString &programDir)
{
    DataFolders folders;
    folders.programDir = programDir;
    folders.dataDir = programDir;
    const QString packaged = QDir::cleanPath(programDir + QStringLiteral("/../share/") + QLatin1String(kFolderName));
    if (QFileInfo::exists(packaged + QStringLiteral("/rd.d")))
        folders.shippedDir = packaged;
    else if (!QFileInfo(programDir).isWritable())
        folders.shippedDir = programDir;
    else
        return folders;
    folders.installed = true;
    folders.dataDir = userDataHome() + QLatin1Char('/') + QLatin1String(kFolderName);
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    folders.recordingsDir = music + QLatin1Char('/') + QLatin1String(kRecordingsName);
    return folders;
}

bool DataFolders::prepare(QString *error) const
{
    if (!installed)
        return true;
    QStringList problems;
    const QDir data(dataDir);
    if (!QDir().mkpath(data.filePath(QStringLiteral("pic"))))
        problems << QStringLiteral("cannot make ") + data.filePath(QStringLiteral("pic"));

    const QString store = data.filePath(QStringLiteral("rd.d"));
    if (!QFileInfo::exists(store)) {
        if (QFile::copy(QDir(shippedDir).filePath(QStringLiteral("rd.d")), store))
            QFile::setPermissions(store, QFile::permissions(store) | QFile::ReadOwner | QFile::WriteOwner);
        else
            problems << QStringLiteral("cannot copy the shipped rd.d to ") + store;
    }
    const QDir shippedPictures(QDir(shippedDir).filePath(QStringLiteral("pic")));
    for (const QString &name : shippedPictures.entryList(QDir::Files)) {
        const QString mine = data.filePath(QStringLiteral("pic/") + name);
        if (!QFileInfo::exists(mine) && QFile::copy(shippedPictures.filePath(name), mine))
            QFile::setPermissions(mine, QFile::permissions(mine) | QFile::WriteOwner);
    }

    if (!QDir().mkpath(recordingsDir) || !linkTo(data.filePath(QStringLiteral("radiorecord")), recordingsDir))
        problems << QStringLiteral("cannot make the recordings folder ") + recordingsDir;
    for (const char *recorder : kRecorders) {
        const QString name = QLatin1String(recorder);
        if (!linkTo(data.filePath(name), QDir(programDir).filePath(name)))
            problems << QStringLiteral("cannot link ") + data.filePath(name);
    }
    if (error)
        *error = problems.join(QStringLiteral("; "));
    return problems.isEmpty();
}

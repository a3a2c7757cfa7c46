// Where the player's files live: the portable build keeps them beside the
// program; an installed program gives each user a folder of their own,
// filled from the shipped files once and never overwriting the user's.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "desktop/data_folders.h"

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A package's layout under a temporary prefix, and a user's home.
struct Installed
{
    Installed()
    {
        write(bin() + QStringLiteral("/grablive"), "live");
        write(bin() + QStringLiteral("/grabclock"), "clock");
        write(shipped() + QStringLiteral("/rd.d"), "shipped store");
        write(shipped() + QStringLiteral("/pic/main.bmp"), "shipped main");
        write(shipped() + QStringLiteral("/pic/close.bmp"), "shipped close");
        useHome(QStringLiteral("alice"));
    }
    QString bin() const { return root.path() + QStringLiteral("/usr/bin"); }
    QString shipped() const { return root.path() + QStringLiteral("/usr/share/vexa-radio-player"); }
    QString home(const QString &user) const { return root.path() + QStringLiteral("/home/") + user; }
    void useHome(const QString &user)
    {
        QDir().mkpath(home(user));
        qputenv("HOME", home(user).toUtf8());
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    }
    QTemporaryDir root;
};

}  // namespace

class DataFoldersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portableKeepsEverythingBesideTheProgram()
    {
        QTemporaryDir build;
        write(build.path() + QStringLiteral("/rd.d"), "store");
        const DataFolders folders = DataFolders::locate(build.path());
        QVERIFY(!folders.installed);
        QCOMPARE(folders.dataDir, build.path());
        QCOMPARE(folders.programDir, build.path());
        QVERIFY(folders.prepare(nullptr));
        QCOMPARE(QDir(build.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"rd.d"});
    }

    // First start: the shipped store and pictures are copied, the
    // recordings folder is in the music folder, the recorders are reached
    // from the user's folder. A second start keeps what the user changed
    // and adds a picture shipped since.
    void installedGivesTheUserAFolder()
    {
        Installed pkg;
        const DataFolders folders = DataFolders::locate(pkg.bin());
        QVERIFY(folders.installed);
        const QString mine = pkg.home(QStringLiteral("alice")) + QStringLiteral("/.local/share/vexa-radio-player");
        QCOMPARE(folders.dataDir, mine);
        QCOMPARE(folders.shippedDir, pkg.shipped());
        QCOMPARE(folders.recordingsDir, pkg.home(QStringLiteral("alice")) + QStringLiteral("/Music/Vexa Radio Player"));
        QString error;
        QVERIFY2(folders.prepare(&error), qPrintable(error));
        QCOMPARE(read(mine + QStringLiteral("/rd.d")), QByteArray("shipped store"));
        QVERIFY(QFileInfo(mine + QStringLiteral("/rd.d")).isWritable());
        QCOMPARE(read(mine + QStringLiteral("/pic/main.bmp")), QByteArray("shipped main"));
        QCOMPARE(read(mine + QStringLiteral("/grabclock")), QByteArray("clock"));
        QCOMPARE(QFileInfo(mine + QStringLiteral("/grablive")).symLinkTarget(),
                 pkg.bin() + QStringLiteral("/grablive"));
        write(mine + QStringLiteral("/radiorecord/a.mp3"), "recorded");
        QCOMPARE(read(folders.recordingsDir + QStringLiteral("/a.mp3")), QByteArray("recorded"));

        write(mine + QStringLiteral("/rd.d"), "my stations");
        write(mine + QStringLiteral("/pic/main.bmp"), "my skin");
        write(pkg.shipped() + QStringLiteral("/pic/mini.bmp"), "shipped mini");
        QVERIFY(folders.prepare(nullptr));
        QCOMPARE(read(mine + QStringLiteral("/rd.d")), QByteArray("my stations"));
        QCOMPARE(read(mine + QStringLiteral("/pic/main.bmp")), QByteArray("my skin"));
        QCOMPARE(read(mine + QStringLiteral("/pic/mini.bmp")), QByteArray("shipped mini"));
        QCOMPARE(read(folders.recordingsDir + QStringLiteral("/a.mp3")), QByteArray("recorded"));
    }

    // The folders follow XDG_DATA_HOME and the user's music folder
    // (user-dirs.dirs); a second user gets folders of their own.
    void followsTheUsersFolders()
    {
        Installed pkg;
        pkg.useHome(QStringLiteral("bob"));
        const QString bob = pkg.home(QStringLiteral("bob"));
        write(bob + QStringLiteral("/.config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
        qputenv("XDG_DATA_HOME", (bob + QStringLiteral("/data")).toUtf8());
        const DataFolders folders = DataFolders::locate(pkg.bin());
        QCOMPARE(folders.dataDir, bob + QStringLiteral("/data/vexa-radio-player"));
        QCOMPARE(folders.recordingsDir, bob + QStringLiteral("/Musik/Vexa Radio Player"));
        QVERIFY(folders.prepare(nullptr));
        QVERIFY(QFileInfo(folders.recordingsDir).isDir());
        QVERIFY(
            !QFileInfo::exists(pkg.home(QStringLiteral("alice")) + QStringLiteral("/.local/share/vexa-radio-player")));
    }

    // A user's real radiorecord folder (made by hand) is never replaced.
    void ownRecordingsFolderStays()
    {
        Installed pkg;
        const DataFolders folders = DataFolders::locate(pkg.bin());
        write(folders.dataDir + QStringLiteral("/radiorecord/old.mp3"), "old");
        QVERIFY(folders.prepare(nullptr));
        QVERIFY(!QFileInfo(folders.dataDir + QStringLiteral("/radiorecord")).isSymLink());
        QCOMPARE(read(folders.dataDir + QStringLiteral("/radiorecord/old.mp3")), QByteArray("old"));
    }
};

QTEST_MAIN(DataFoldersTest)
#include "data_folders_test.moc"

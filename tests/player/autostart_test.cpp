// The start with the desktop: the menu item writes and removes the XDG
// autostart entry (in a private XDG_CONFIG_HOME), the entry runs the
// program with --tray, and --tray starts with the window hidden.

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "desktop/autostart.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"

class AutostartTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_config->path().toUtf8());
    }

    // Exec keys: reserved characters quote the argument, then the string
    // escape doubles backslashes and % is doubled.
    void execArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "/usr/bin/radioplayer"
                               << "/usr/bin/radioplayer";
        QTest::newRow("blank") << "/opt/my radio/radioplayer"
                               << "\"/opt/my radio/radioplayer\"";
        QTest::newRow("dollar and quote") << "/home/a$b/\"x\"/rp"
                                          << "\"/home/a\\\\$b/\\\\\"x\\\\\"/rp\"";
        QTest::newRow("backslash") << "/a\\b/rp"
                                   << "\"/a\\\\\\\\b/rp\"";
        QTest::newRow("percent") << "/a%b/rp"
                                 << "/a%%b/rp";
    }

    void execArgument()
    {
        QFETCH(QString, argument);
        QFETCH(QString, written);
        QCOMPARE(Autostart::execArgument(argument), written);
    }

    // The item is unchecked without an entry; checking writes it, a second
    // player sees it checked, unchecking removes it. An entry that says
    // Hidden=true counts as off.
    void menuItemWritesAndRemovesTheEntry()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        const QString entry = m_config->path() + QStringLiteral("/autostart/vexa-radio-player.desktop");
        QCOMPARE(Autostart::entryFile(), entry);
        {
            FakePlatform platform;
            Application app(platform.parts, folder.path());
            QAction *item = app.mainWindow()->Startwiththedesktop1;
            QVERIFY(item->isCheckable());
            QVERIFY(!item->isChecked());
            item->trigger();
            QVERIFY(item->isChecked());
        }
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        QVERIFY2(text.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\nExec=")
                               + Autostart::execArgument(QCoreApplication::applicationFilePath())
                               + QStringLiteral(" --tray\n")),
                 qPrintable(text));

        FakePlatform platform;
        Application app(platform.parts, folder.path());
        QAction *item = app.mainWindow()->Startwiththedesktop1;
        QVERIFY(item->isChecked());
        item->trigger();
        QVERIFY(!item->isChecked());
        QVERIFY(!QFile::exists(entry));
        QVERIFY(platform.messages.shown.empty());

        QVERIFY(Autostart::setEnabled(true, QStringLiteral("/usr/bin/radioplayer"), nullptr));
        {
            QFile hide(entry);
            QVERIFY(hide.open(QIODevice::Append));
            hide.write("Hidden=true\n");
        }
        QVERIFY(!Autostart::isEnabled());
    }

    // A configuration folder that cannot take the entry: the user is told
    // and the item stays unchecked.
    void unwritableFolderIsReported()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        QFile blocker(m_config->path() + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
        blocker.close();
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.mainWindow()->Startwiththedesktop1->trigger();
        QVERIFY(!app.mainWindow()->Startwiththedesktop1->isChecked());
        QCOMPARE(platform.messages.shown.size(), size_t(1));
        QVERIFY(platform.messages.shown.front().text.contains(QStringLiteral("vexa-radio-player.desktop")));
    }

    // --tray: the icon is up and the window hidden until the icon's
    // double-click; with no notification area the window shows at once.
    void startInTray()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        {
            FakePlatform platform;
            Application app(platform.parts, folder.path());
            app.startInTray();
            QVERIFY(platform.trayIcon.isShown());
            QVERIFY(!app.mainWindow()->isVisible());
            platform.trayIcon.doubleClick();
            QVERIFY(app.mainWindow()->isVisible());
        }
        FakePlatform platform;
        platform.trayIcon.available = false;
        Application app(platform.parts, folder.path());
        app.startInTray();
        QVERIFY(app.mainWindow()->isVisible());
    }

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

QTEST_MAIN(AutostartTest)
#include "autostart_test.moc"

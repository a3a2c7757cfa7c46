#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "directory/about_window.h"
#include "directory/language_window.h"
#include "directory/station_list_window.h"
#include "directory/station_update_window.h"
#include "directory/web_page_window.h"
#include "recording/record_setup_window.h"
#include "recording/recorder_host_window.h"
#include "recording/recordings_list_window.h"
#include "recording/schedule_editor_window.h"
#include "directory/message_window.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "core/skin_art.h"
#include "shell/skin_picture_widget.h"

namespace {

QStringList menuTexts(const TForm_main *main)
{
    QStringList texts;
    for (const QAction *action :
         {main->AddtomyVexa2, main->Recordschedule1, main->Visitstationwebsite2, main->Stationupdate1, main->Contactus2,
          main->LinktoVexa1, main->Startwiththedesktop1, main->Language1, main->AboutVexaRadioPlayer2, main->Exit3,
          main->Location2, main->Genre2, main->MyVexa2, main->Exitlist1})
        texts << action->text();
    return texts;
}

QStringList hints(const TForm_main *main)
{
    return {main->picPlay->toolTip(), main->picStop->toolTip(), main->picPulse->toolTip(), main->picRec->toolTip(),
            main->picRec2->toolTip()};
}

const QStringList kDesignMenus{
    "加入到我的Vexa", "录音排程", "浏览电台网站",           "电台更新", "联络我们", "连结到Vexa",
    "随桌面启动",     "语系设定", "关于 Vexa Radio Player", "离开菜单", "地区",     "类型",
    "我的Vexa",       "离开清单"};

// A program folder whose language is already chosen.
void chooseLanguage(const ProgramFolder &folder, int current, int previous)
{
    folder.sql({QStringLiteral("UPDATE apsel SET lang1 = %1, lang2 = %2, firstexe = 'N'").arg(current).arg(previous)});
}

}  // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowsAreCreatedHidden()
    {
        ProgramFolder folder;
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        const QList<QWidget *> windows{
            app.mainWindow(),          app.scheduleWindow(), app.languageWindow(),       app.stationListWindow(),
            app.stationUpdateWindow(), app.webPageWindow(),  app.recordingsListWindow(), app.recordSetupWindow(),
            app.messageWindow(),       app.aboutBox(),       app.recorderHostWindow()};
        for (QWidget *window : windows) {
            QVERIFY(window);
            QVERIFY(!window->isVisible());
        }
        QVERIFY(app.store().isOpen());
        QVERIFY(platform.messages.shown.empty());
    }

    // First start: the language window comes up before the main window is
    // shown; SAVE stores the choice and confirms it in the language in
    // force, which stays in force.
    void firstStartOffersLanguage()
    {
        ProgramFolder folder;
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        bool mainVisibleDuringChoice = true;
        QString confirmation;
        QString confirmationButton;
        whenModal([&](QWidget *modal) {
            auto *lngsel = qobject_cast<TformLngsel *>(modal);
            QVERIFY(lngsel);
            mainVisibleDuringChoice = app.mainWindow()->isVisible();
            QCOMPARE(lngsel->selectedEntry(), 0);  // English is in force
            lngsel->selectEntry(2);
            whenModal([&](QWidget *next) {
                auto *message = qobject_cast<Tform_message *>(next);
                QVERIFY(message);
                confirmation = message->TntLabel1->text();
                confirmationButton = message->TntButton1->text();
                message->TntButton1->click();
            });
            lngsel->TntButton1->click();
        });
        app.start();

        QVERIFY(!mainVisibleDuringChoice);
        QVERIFY(app.mainWindow()->isVisible());
        QCOMPARE(confirmation, QStringLiteral("Configuration will be done after restart ."));
        QCOMPARE(confirmationButton, QStringLiteral("OK"));
        QCOMPARE(folder.value(QStringLiteral("SELECT lang1 FROM apsel")).toInt(), 3);
        QCOMPARE(folder.value(QStringLiteral("SELECT lang2 FROM apsel")).toInt(), 1);
        QCOMPARE(folder.value(QStringLiteral("SELECT firstexe FROM apsel")).toString(), QStringLiteral("N"));

        QCOMPARE(app.state().languageCode, QStringLiteral("1"));
        app.mainWindow()->FormActivate();
        QCOMPARE(app.mainWindow()->AddtomyVexa2->text(), QStringLiteral("Add to my Vexa"));
    }

    // CLOSE stores nothing, so the window comes again at the next showing.
    void closeWithoutSavingAsksAgain()
    {
        ProgramFolder folder;
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        int offers = 0;
        auto closeIt = [&](QWidget *modal) {
            ++offers;
            static_cast<TformLngsel *>(modal)->TntButton2->click();
        };
        whenModal(closeIt);
        app.start();
        QCOMPARE(offers, 1);
        QCOMPARE(folder.value(QStringLiteral("SELECT firstexe FROM apsel")).toString(), QStringLiteral("Y"));

        app.mainWindow()->btnMiniClick();
        whenModal(closeIt);
        platform.trayIcon.doubleClick();
        QCOMPARE(offers, 2);
    }

    // A double-click on the tray icon while the window is shown runs no
    // show steps: no second language window, no language re-read.
    void trayDoubleClickWhileShownRunsNoShowSteps()
    {
        ProgramFolder folder;
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        int offers = 0;
        auto closeIt = [&](QWidget *modal) {
            ++offers;
            static_cast<TformLngsel *>(modal)->TntButton2->click();
        };
        whenModal(closeIt);
        app.start();
        QCOMPARE(offers, 1);
        app.mainWindow()->btnMiniClick();  // the tray icon is up
        whenModal(closeIt);
        platform.trayIcon.doubleClick();
        QCOMPARE(offers, 2);

        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 3")});
        whenModal(closeIt, 300);
        platform.trayIcon.doubleClick();
        QTest::qWait(400);
        QCOMPARE(offers, 2);
        QCOMPARE(app.state().languageCode, QStringLiteral("1"));
        QVERIFY(app.mainWindow()->isVisible());
    }

    void activationTranslates_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QStringList>("hints");
        QTest::addColumn<QString>("setHint");
        QTest::newRow("English") << 1
                                 << QStringList{"Add to my Vexa",
                                                "Record schedule",
                                                "Visit station website ",
                                                "Station update",
                                                "Contact us",
                                                "Link to Vexa",
                                                "Start with the desktop",
                                                "Language",
                                                "About Vexa Radio Player",
                                                "Exit",
                                                "Location",
                                                "Genre",
                                                "My Vexa",
                                                "Exit"}
                                 << QStringList{"Play", "Stop", "Pulse", "Record", "Record"}
                                 << "Memory station . Press button 1 to 10  to set.";
        QTest::newRow("Traditional Chinese")
            << 2
            << QStringList{"加入到我的Vexa", "錄音排程", "瀏覽電台網站",           "電台更新", "聯絡我們", "連結到Vexa",
                           "隨桌面啟動",     "語系設定", "關於 Vexa Radio Player", "離開選單", "地區",     "類型",
                           "我的Vexa",       "離開清單"}
            << QStringList{"播放", "停止", "暫停", "錄音", "錄音"} << "記憶電台：按 1 至 10 號按鈕設定。";
        QTest::newRow("Simplified Chinese") << 3 << kDesignMenus << QStringList{"播放", "停止", "暂停", "录音", "录音"}
                                            << "记忆电台：按 1 至 10 号按钮设定。";
    }

    void activationTranslates()
    {
        QFETCH(int, language);
        QFETCH(QStringList, menus);
        QFETCH(QStringList, hints);
        QFETCH(QString, setHint);
        ProgramFolder folder;
        chooseLanguage(folder, language, language);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        QCOMPARE(menuTexts(main), menus);
        QCOMPARE(::hints(main), hints);
        QCOMPARE(main->TntLabel3->text(), setHint);
        // The set-mode hint fits its label in every language.
        QVERIFY2(QFontMetrics(main->TntLabel3->font()).horizontalAdvance(setHint) <= main->TntLabel3->width(),
                 qPrintable(setHint));
        // Untranslated hints stay as designed.
        QCOMPARE(main->Image2->toolTip(), QStringLiteral("Mini"));

        // The per-language tabs come from pic/.
        const QString suffix = language == 1 ? QString() : QString::number(language);
        QCOMPARE(main->picMenu->picture(), QImage(folder.picFile(QStringLiteral("picmenu%1.bmp").arg(suffix))));

        // Activating again changes nothing more.
        main->FormActivate();
        QCOMPARE(menuTexts(main), menus);
        QCOMPARE(::hints(main), hints);
    }

    void emptyTargetBlanksControl()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 2, 2);
        folder.sql({QStringLiteral("UPDATE aplng SET lang2 = '' WHERE lang3 = 'Stop'"),
                    QStringLiteral("UPDATE aplng SET lang2 = '' WHERE lang1 = '电台更新'")});
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        app.mainWindow()->FormActivate();
        QCOMPARE(app.mainWindow()->picStop->toolTip(), QString());
        QCOMPARE(app.mainWindow()->Stationupdate1->text(), QString());
        QCOMPARE(app.mainWindow()->picPlay->toolTip(), QStringLiteral("播放"));
    }

    // Showing translates stored schedule words from the previous language.
    void showTranslatesScheduleWords()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 2, 1);
        folder.sql({QStringLiteral("INSERT INTO recSchedul (onf, mode1, name1, freq1, date1, date2) "
                                   "VALUES ('Y', 'Record', 'Jazz', 'Every Week', 'Fri', '')")});
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        QCOMPARE(folder.value(QStringLiteral("SELECT freq1 FROM recSchedul")).toString(), QStringLiteral("每週"));
        QCOMPARE(folder.value(QStringLiteral("SELECT mode1 FROM recSchedul")).toString(), QStringLiteral("錄音"));
        QCOMPARE(folder.value(QStringLiteral("SELECT date1 FROM recSchedul")).toString(), QStringLiteral("週五"));
        QCOMPARE(folder.value(QStringLiteral("SELECT name1 FROM recSchedul")).toString(), QStringLiteral("Jazz"));
    }

    // Minimise twice: still one icon. A double-click restores the window at
    // the compact height and reads the language setting again.
    void notificationArea()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();
        QSignalSpy minimised(main, &TForm_main::minimised);

        main->btnMiniClick();
        QVERIFY(!main->isVisible());
        main->showWindow();
        main->Image2->clicked();
        QCOMPARE(platform.trayIcon.icons, 1);
        QCOMPARE(platform.trayIcon.lastTip, QStringLiteral("Vexa Radio"));
        QCOMPARE(minimised.count(), 2);

        main->showNameStrip(QStringLiteral("Radio Eins"));
        QCOMPARE(main->height(), SkinArt::kSkinHeight);
        main->btnMiniClick();
        QCOMPARE(platform.trayIcon.icons, 1);
        chooseLanguage(folder, 3, 1);
        platform.trayIcon.doubleClick();
        QVERIFY(main->isVisible());
        QCOMPARE(main->height(), TForm_main::kCompactHeight);
        QCOMPARE(main->width(), SkinArt::kSkinWidth);
        QCOMPARE(app.state().languageCode, QStringLiteral("3"));
        QCOMPARE(platform.trayIcon.icons, 1);  // the icon stays
    }

    // Without a notification area the window is minimised, not hidden, so
    // the player stays reachable.
    void noNotificationArea()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        platform.trayIcon.available = false;
        Application app(platform.parts, folder.path());
        app.start();
        QSignalSpy minimised(app.mainWindow(), &TForm_main::minimised);
        app.mainWindow()->btnMiniClick();
        QVERIFY(app.mainWindow()->isVisible());
        QCOMPARE(minimised.count(), 0);
        QCOMPARE(platform.trayIcon.icons, 0);
    }

    // A skin picture that cannot be loaded ends the creation step quietly:
    // earlier files are shown, the rest keep their design pictures.
    void missingSkinPicture()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        QImage user(30, 20, QImage::Format_RGB32);
        user.fill(Qt::darkGreen);
        QVERIFY(user.save(folder.picFile(QStringLiteral("picfav1.bmp")), "BMP"));
        QVERIFY(user.save(folder.picFile(QStringLiteral("PICFAV2.BMP")), "BMP"));  // case does not matter
        QFile::remove(folder.picFile(QStringLiteral("picfav2.bmp")));
        QVERIFY(QFile::remove(folder.picFile(QStringLiteral("picfav3.bmp"))));
        QVERIFY(QFile::remove(folder.picFile(QStringLiteral("picmenu.bmp"))));
        QImage wideSkin = SkinArt::picture(QStringLiteral("main.bmp")).scaled(400, 210);
        QVERIFY(wideSkin.save(folder.picFile(QStringLiteral("main.bmp")), "BMP"));

        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();
        main->FormActivate();

        QCOMPARE(main->picFav[0]->picture(), user);
        QCOMPARE(main->picFav[0]->size(), user.size());
        QCOMPARE(main->picFav[1]->picture(), user);
        for (int i = 2; i < 10; ++i)
            QCOMPARE(main->picFav[i]->picture(), main->picFav[i]->designPicture());
        // main.bmp comes after the missing file: design skin, design width.
        QCOMPARE(main->width(), SkinArt::kSkinWidth);
        // At activation the list tab loads before the missing menu tab.
        QCOMPARE(main->picList->picture(), QImage(folder.picFile(QStringLiteral("piclist.bmp"))));
        QCOMPARE(main->picMenu->picture(), main->picMenu->designPicture());
        QVERIFY(platform.messages.shown.empty());
    }

    void userSkinSetsWidth()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        QImage wideSkin = SkinArt::picture(QStringLiteral("main.bmp")).scaled(420, 230);
        QVERIFY(wideSkin.save(folder.picFile(QStringLiteral("Main.BMP")), "BMP"));
        QFile::remove(folder.picFile(QStringLiteral("main.bmp")));
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        QCOMPARE(app.mainWindow()->width(), 420);
        QCOMPARE(app.mainWindow()->height(), TForm_main::kCompactHeight);
    }

    // Purple is see-through: the rounded corners are outside the window's
    // shape, the body inside.
    void skinShapesWindow()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        const QRegion shape = app.mainWindow()->mask();
        QVERIFY(!shape.isEmpty());
        QVERIFY(!shape.contains(QPoint(0, 0)));
        QVERIFY(!shape.contains(QPoint(SkinArt::kSkinWidth - 1, 0)));
        QVERIFY(shape.contains(QPoint(180, 90)));
        QVERIFY(shape.contains(QPoint(30, 160)));
    }

    void missingStore()
    {
        ProgramFolder folder(false);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        // "Database connect error!", then the store's own message for the
        // runner's copy that the schedule window opens once more.
        QCOMPARE(platform.messages.shown.size(), size_t(2));
        QCOMPARE(platform.messages.shown.front().title, QStringLiteral("Error"));
        QCOMPARE(platform.messages.shown.front().text, QStringLiteral("Database connect error!"));

        app.start();
        TForm_main *main = app.mainWindow();
        QVERIFY(main->isVisible());
        main->FormActivate();
        QVERIFY(app.state().languageCode.isEmpty());
        QCOMPARE(menuTexts(main), kDesignMenus);
        QCOMPARE(main->picPlay->toolTip(), QStringLiteral("Play"));
        QVERIFY(!QFile::exists(folder.storeFile()));
    }

    void menusOpenAtTheirPlaces()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();
        main->move(100, 50);
        QCOMPARE(main->mainMenuPosition(), main->geometry().topLeft() + QPoint(305, 162));
        QCOMPARE(main->listMenuPosition(), main->geometry().topLeft() + QPoint(260, 162));
        QVERIFY(!main->Visitstationwebsite2->isEnabled());
    }

    // Closing runs the stop routine after the data sets are closed and
    // ends the program.
    void closeRunsStopRoutine()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        QSignalSpy stop(app.mainWindow(), &TForm_main::stopClicked);
        QSignalSpy finished(&app, &Application::finished);
        bool schedulesOpenAtStop = true;
        connect(app.mainWindow(), &TForm_main::stopClicked, this,
                [&] { schedulesOpenAtStop = app.shell().schedule.isOpen(); });
        app.mainWindow()->close();
        QCOMPARE(stop.count(), 1);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!schedulesOpenAtStop);
    }

    // A report that the closing stop routine sends is waited for (bounded)
    // before the program is told to end.
    void closeWaitsForTheDueReport()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        app.state().stationId = QStringLiteral("7");
        app.state().listenStartTime = platform.regional.dateTimeText(platform.clock.now());
        app.state().listenSeconds = QStringLiteral("301");
        int waitsAtFinish = -1;
        connect(&app, &Application::finished, this, [&] { waitsAtFinish = int(platform.reports.waits.size()); });
        app.mainWindow()->close();
        QCOMPARE(platform.reports.sent.size(), 1);
        QCOMPARE(platform.reports.waits, QList<int>{Application::kReportWaitOnCloseMs});
        QCOMPARE(platform.reports.sentBeforeWait, 1);
        QCOMPARE(waitsAtFinish, 1);
    }

    // The stream's title shows under the station name as plain text,
    // follows every change, stays through a pause, gives way to the
    // set-mode hint and goes with the stop.
    void nowPlayingUnderStationName()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QLabel *title = main->LabNowPlaying;
        QCOMPARE(title->textFormat(), Qt::PlainText);
        QCOMPARE(title->text(), QString());
        QVERIFY(title->y() >= main->LabRname->geometry().bottom() - 2);

        platform.mediaPlayer.setUrl(QStringLiteral("http://127.0.0.1:1/jazz"));
        platform.mediaPlayer.announceTitle(QStringLiteral("<b>Miles</b> & Co - So What"));
        QCOMPARE(title->text(), QStringLiteral("<b>Miles</b> & Co - So What"));
        QVERIFY(title->isVisible());
        platform.mediaPlayer.announceTitle(QStringLiteral("Bill Evans - Peace Piece"));
        QCOMPARE(title->text(), QStringLiteral("Bill Evans - Peace Piece"));
        Q_EMIT main->pauseClicked();
        QCOMPARE(title->text(), QStringLiteral("Bill Evans - Peace Piece"));

        Q_EMIT main->setModeClicked();
        QVERIFY(main->TntLabel3->isVisible());
        QVERIFY(!title->isVisible());
        Q_EMIT main->setModeClicked();
        QVERIFY(title->isVisible());

        main->clickStop();
        QCOMPARE(platform.mediaPlayer.playState(), MediaPlayer::Stopped);
        QCOMPARE(title->text(), QString());
    }

    // A store that is refused says why in the connect error, and stays.
    void refusedStoreSaysWhy()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("PRAGMA user_version = 99")});
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        // The refusal, then the runner's failed opening of the schedule.
        QCOMPARE(platform.messages.shown.size(), size_t(2));
        const QString text = platform.messages.shown.front().text;
        QVERIFY2(text.startsWith(QStringLiteral("Database connect error!")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("newer")), qPrintable(text));
        QVERIFY(!app.store().isOpen());
    }

    // Addresses given on the command line replace the build-time ones.
    void addressesFromTheCommandLine()
    {
        ProgramFolder folder;
        chooseLanguage(folder, 1, 1);
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.useAddresses(QStringLiteral("http://10.1.2.3:8080/vexa/"), QStringLiteral("http://10.1.2.4"));
        app.start();
        QCOMPARE(app.mainWindow()->Label1->text(), QStringLiteral("http://10.1.2.3:8080/vexa/"));
        QCOMPARE(app.state().directoryBaseUrl, QStringLiteral("http://10.1.2.3:8080/vexa/"));
        QCOMPARE(app.playback().hitLogBaseUrl(), QStringLiteral("http://10.1.2.4"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

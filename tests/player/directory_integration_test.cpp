// The main window's side of the directory (station pages in the hidden
// Web1, the menu commands) and the station list's picks, over fake
// browsers and a fake media player.

#include <QSignalSpy>
#include <QTest>

#include "directory/directory_integration.h"
#include "directory/station_list.h"
#include "fake_listening.h"
#include "fake_platform.h"
#include "core/main_state.h"
#include "core/playback.h"

namespace {
const QString kBase = QStringLiteral("http://127.0.0.1:8765/");
}

class DirectoryIntegrationTest : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        FakePlatform platform;
        MainState state;
        FakeReportSender reports;
        FakeExternalBrowser external;
        Playback playback{state, platform.mediaPlayer, platform.clock, platform.regional, reports};
        DirectoryIntegration directory{state,          playback,         platform.browsers, external, platform.messages,
                                       platform.clock, platform.regional};
        StationList list;
        FakeWebBrowser listBrowser;

        Rig()
        {
            state.directoryBaseUrl = kBase;
            state.languageCode = QStringLiteral("1");
            list.setBrowser(&listBrowser);
            directory.setStationList(&list);
            QObject::connect(&list, &StationList::stationPicked, &directory, &DirectoryIntegration::loadStationPage);
        }
        FakeWebBrowser &web1() { return static_cast<FakeWebBrowser &>(directory.stationBrowser()); }

        // Loads station `id` into Web1 and completes it with `elements`.
        void loadStation(const QString &id, WebBrowser::ElementValues elements)
        {
            directory.loadStationPage(id);
            elements.insert(QStringLiteral(":body"), QString());
            web1().elements = elements;
            web1().complete();
        }
        void completeList(const WebBrowser::ElementValues &elements)
        {
            listBrowser.elements = elements;
            listBrowser.complete();
        }
    };

    static WebBrowser::ElementValues fullPage(const QString &id)
    {
        return {
            {QStringLiteral("Edit"), QStringLiteral("http://127.0.0.1:8765/stations/") + id + QLatin1Char('/')},
            {QStringLiteral("rname"), QStringLiteral("海港音樂台 Harbour ") + id},
            {QStringLiteral("location"), QStringLiteral("Hong Kong 香港")},
            {QStringLiteral("genre"), QStringLiteral("Pop")},
            {QStringLiteral("website"), QStringLiteral("http://127.0.0.1:8765/web/") + id},
            {QStringLiteral("rate"), QStringLiteral("128K")},
            {QStringLiteral("radioid"), id},
            {QStringLiteral("rurl"), QStringLiteral("http://127.0.0.1:8765/stream/") + id + QStringLiteral(".mp3")},
        };
    }

private Q_SLOTS:
    void stationPageWithAllElementsPlays()
    {
        Rig rig;
        QSignalSpy enabled(&rig.directory, &DirectoryIntegration::visitWebsiteEnabledChanged);
        QSignalSpy pictures(&rig.directory, &DirectoryIntegration::memoryPicturesResetRequested);
        rig.loadStation(QStringLiteral("123"), fullPage(QStringLiteral("123")));
        QCOMPARE(rig.web1().navigations, QStringList{kBase + QStringLiteral("ap/lisradio.asp?radioid=123")});
        QCOMPARE(rig.state.stationName(), QStringLiteral("海港音樂台 Harbour 123"));
        QCOMPARE(rig.state.stationLocation, QStringLiteral("Hong Kong 香港"));
        QCOMPARE(rig.state.stationGenre, QStringLiteral("Pop"));
        QCOMPARE(rig.state.stationWebUrl, QStringLiteral("http://127.0.0.1:8765/web/123"));
        QCOMPARE(rig.state.stationRate, QStringLiteral("128K"));
        QCOMPARE(rig.state.stationId, QStringLiteral("123"));
        QCOMPARE(rig.state.stationStreamUrl, QStringLiteral("http://127.0.0.1:8765/stream/123.mp3"));
        QCOMPARE(rig.platform.mediaPlayer.url(), rig.state.stationStreamUrl);
        QCOMPARE(rig.platform.mediaPlayer.playState(), MediaPlayer::Playing);
        QCOMPARE(rig.state.stationPageUrl, kBase + QStringLiteral("ap/lisradio.asp?radioid=123"));
        QCOMPARE(rig.state.listenStartTime, rig.platform.regional.dateTimeText(rig.platform.clock.now()));
        QVERIFY(rig.directory.visitWebsiteEnabled());
        QCOMPARE(enabled.size(), 1);
        QCOMPARE(pictures.size(), 1);
    }

    void pageWithoutEditEmptiesTheWebsiteAndKeepsTheMenuItem()
    {
        Rig rig;
        rig.loadStation(QStringLiteral("1"), fullPage(QStringLiteral("1")));
        auto page = fullPage(QStringLiteral("2"));
        page.remove(QStringLiteral("Edit"));
        rig.loadStation(QStringLiteral("2"), page);
        QCOMPARE(rig.state.stationWebsite, QString());
        QVERIFY(rig.directory.visitWebsiteEnabled());  // keeps its previous state
        rig.directory.visitStationWebsite();
        QVERIFY(rig.external.opened.isEmpty());
        // An empty "Edit" does disable it.
        page.insert(QStringLiteral("Edit"), QString());
        rig.loadStation(QStringLiteral("3"), page);
        QVERIFY(!rig.directory.visitWebsiteEnabled());
    }

    void pageWithoutRurlPlaysNothingAndAddToMyVexaDoesNothing()
    {
        Rig rig;
        auto page = fullPage(QStringLiteral("7"));
        page.remove(QStringLiteral("rurl"));
        rig.loadStation(QStringLiteral("7"), page);
        QCOMPARE(rig.platform.mediaPlayer.url(), QString());
        QCOMPARE(rig.state.stationPageUrl, QString());
        QCOMPARE(rig.state.stationName(), QStringLiteral("海港音樂台 Harbour 7"));
        rig.directory.addToMyVexa();
        QVERIFY(rig.external.opened.isEmpty());
        QVERIFY(rig.platform.messages.shown.empty());
    }

    void pageWithoutLocationKeepsThePreviousOneForStationUpdate()
    {
        Rig rig;
        rig.loadStation(QStringLiteral("1"), fullPage(QStringLiteral("1")));
        auto page = fullPage(QStringLiteral("2"));
        page.remove(QStringLiteral("location"));
        page.insert(QStringLiteral("genre"), QStringLiteral("Talk"));
        rig.loadStation(QStringLiteral("2"), page);
        QCOMPARE(rig.state.stationLocation, QStringLiteral("Hong Kong 香港"));
        QCOMPARE(rig.state.stationGenre, QStringLiteral("Talk"));
        QSignalSpy update(&rig.directory, &DirectoryIntegration::stationUpdateRequested);
        rig.directory.stationUpdate();
        QVERIFY(update.first().first().toString().contains(
            QStringLiteral("&location=Hong%20Kong%20%E9%A6%99%E6%B8%AF&genre=Talk&")));
    }

    void documentWithoutBodyChangesNothing()
    {
        Rig rig;
        rig.directory.loadStationPage(QStringLiteral("5"));
        rig.web1().elements = fullPage(QStringLiteral("5"));  // no ":body"
        rig.web1().complete();
        QCOMPARE(rig.state.stationName(), QString());
        QCOMPARE(rig.state.listenStartTime, QString());
        QCOMPARE(rig.platform.mediaPlayer.url(), QString());
    }

    // The page address is that of the page whose values were read, even
    // when the browser has moved on before the values arrive.
    void stationPageUrlIsThatOfTheReadPage()
    {
        Rig rig;
        rig.directory.loadStationPage(QStringLiteral("1"));
        rig.web1().elements = fullPage(QStringLiteral("1"));
        rig.web1().elements.insert(QStringLiteral(":body"), QString());
        Q_EMIT rig.web1().documentComplete(rig.web1().locationUrl());
        rig.directory.loadStationPage(QStringLiteral("2"));
        rig.web1().answerReads();
        QCOMPARE(rig.state.stationId, QStringLiteral("1"));
        QCOMPARE(rig.state.stationPageUrl, kBase + QStringLiteral("ap/lisradio.asp?radioid=1"));
    }

    void newStationPageReportsThePreviousStation()
    {
        Rig rig;
        rig.loadStation(QStringLiteral("1"), fullPage(QStringLiteral("1")));
        for (int i = 0; i < 300; ++i)
            rig.playback.tick();
        rig.platform.clock.current = rig.platform.clock.current.addSecs(300);
        rig.directory.loadStationPage(QStringLiteral("2"));
        QCOMPARE(rig.reports.sent.size(), 1);
        QVERIFY(rig.reports.sent.first().toString().contains(QStringLiteral("PCAP1000&1&0&")));
        QVERIFY(rig.platform.mediaPlayer.calls.contains(QStringLiteral("stop")));
    }

    void addToMyVexa_data()
    {
        QTest::addColumn<QString>("pageUrl");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("message");
        QTest::newRow("station page, English")
            << kBase + QStringLiteral("ap/lisradio.asp?radioid=123") << QStringLiteral("1")
            << kBase + QStringLiteral("english/addmyfav.asp?radioid=123") << QString();
        QTest::newRow("station page, Simplified")
            << kBase + QStringLiteral("ap/lisradio.asp?radioid=123") << QStringLiteral("3")
            << kBase + QStringLiteral("gb/addmyfav.asp?radioid=123") << QString();
        QTest::newRow("other page") << kBase + QStringLiteral("ap/main1.asp") << QStringLiteral("1") << QString()
                                    << QStringLiteral("The radio is already exist.");
        QTest::newRow("id that would extend the query")
            << kBase + QStringLiteral("ap/lisradio.asp?radioid=1&x=2") << QStringLiteral("1")
            << kBase + QStringLiteral("english/addmyfav.asp?radioid=1%26x%3D2") << QString();
    }
    void addToMyVexa()
    {
        QFETCH(QString, pageUrl);
        QFETCH(QString, language);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        Rig rig;
        rig.state.languageCode = language;
        rig.state.stationPageUrl = pageUrl;
        rig.directory.addToMyVexa();
        QCOMPARE(rig.external.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
        if (message.isEmpty()) {
            QVERIFY(rig.platform.messages.shown.empty());
        } else {
            QCOMPARE(rig.platform.messages.shown.size(), size_t(1));
            QCOMPARE(rig.platform.messages.shown.front().text, message);
            QCOMPARE(rig.platform.messages.shown.front().title, QStringLiteral("Message"));
        }
    }

    void stationUpdate_data()
    {
        QTest::addColumn<bool>("withStation");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("url");
        QTest::newRow("no station: five empty keys")
            << false << QStringLiteral("2")
            << kBase + QStringLiteral("/apbig5/radioupdate.asp?station=&location=&genre=&radiourl=&website=");
        QTest::newRow("station with & and # in its name") << true << QStringLiteral("1")
                                                          << kBase
                + QStringLiteral("/ap/radioupdate.asp?station=Tom%20%26%20Jerry%20%231&location=Taipei&genre=Talk"
                                 "&radiourl=http%3A%2F%2F127.0.0.1%3A8765%2Fs%2F&website=http%3A%2F%2F127.0.0.1%2Fw");
    }
    void stationUpdate()
    {
        QFETCH(bool, withStation);
        QFETCH(QString, language);
        QFETCH(QString, url);
        Rig rig;
        rig.state.languageCode = language;
        if (withStation) {
            rig.state.setStationName(QStringLiteral("Tom & Jerry #1"));
            rig.state.stationLocation = QStringLiteral("Taipei");
            rig.state.stationGenre = QStringLiteral("Talk");
            rig.state.stationWebsite = QStringLiteral("http://127.0.0.1:8765/s/");
            rig.state.stationWebUrl = QStringLiteral("http://127.0.0.1/w");
        } else {
            rig.state.setStationName(QStringLiteral("left over"));
            rig.state.stationLocation = QStringLiteral("left over");
        }
        QSignalSpy update(&rig.directory, &DirectoryIntegration::stationUpdateRequested);
        rig.directory.stationUpdate();
        QCOMPARE(update.size(), 1);
        QCOMPARE(update.first().first().toString(), url);
    }

    void externalBrowserTakesOnlyWebAddresses_data()
    {
        QTest::addColumn<QString>("website");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << QStringLiteral("http://127.0.0.1:8765/stations/1/") << true;
        QTest::newRow("https") << QStringLiteral("https://127.0.0.1/") << true;
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("program path") << QStringLiteral("/usr/bin/xterm") << false;
        QTest::newRow("no host") << QStringLiteral("http://") << false;
    }
    void externalBrowserTakesOnlyWebAddresses()
    {
        QFETCH(QString, website);
        QFETCH(bool, opened);
        Rig rig;
        rig.state.stationWebsite = website;
        rig.directory.visitStationWebsite();
        QCOMPARE(rig.external.opened, opened ? QStringList{website} : QStringList());
    }

    // Where no browser can be started, the web commands tell the user in a
    // translated message instead of doing nothing visible.
    void noBrowserIsToldToTheUser_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("url");
        QTest::newRow("Add to my Vexa") << 0 << kBase + QStringLiteral("english/addmyfav.asp?radioid=7");
        QTest::newRow("Visit station website") << 1 << QStringLiteral("http://127.0.0.1:8765/stations/7/");
        QTest::newRow("Link to Vexa, address plate") << 2 << kBase;
        QTest::newRow("My Vexa") << 3 << kBase + QStringLiteral("english/main1.asp");
    }
    void noBrowserIsToldToTheUser()
    {
        QFETCH(int, command);
        QFETCH(QString, url);
        Rig rig;
        rig.directory.setTranslator([](const QString &text) {
            return text == QStringLiteral("No web browser could be started for %1")
                ? QStringLiteral("无法启动网页浏览器以打开 %1")
                : text;
        });
        rig.loadStation(QStringLiteral("7"), fullPage(QStringLiteral("7")));
        const std::function<void()> commands[] = {
            [&] { rig.directory.addToMyVexa(); },
            [&] { rig.directory.visitStationWebsite(); },
            [&] { rig.directory.linkToVexa(); },
            [&] { rig.directory.myVexa(); },
        };
        rig.external.starts = false;
        commands[command]();
        QCOMPARE(rig.external.opened, QStringList{url});
        QCOMPARE(rig.platform.messages.shown.size(), size_t(1));
        QCOMPARE(rig.platform.messages.shown.front().text, QStringLiteral("无法启动网页浏览器以打开 ") + url);

        rig.external.starts = true;
        commands[command]();
        QCOMPARE(rig.platform.messages.shown.size(), size_t(1));
    }

    void menuAddressesFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("myVexa");
        QTest::addColumn<QString>("contact");
        QTest::newRow("1") << "1"
                           << "ap/location.asp"
                           << "ap/genre.asp"
                           << "english/main1.asp"
                           << "english/contact1.asp";
        QTest::newRow("2") << "2"
                           << "apbig5/location.asp"
                           << "apbig5/genre.asp"
                           << "big5/main1.asp"
                           << "big5/contact1.asp";
        QTest::newRow("3") << "3"
                           << "apgb/location.asp"
                           << "apgb/genre.asp"
                           << "gb/main1.asp"
                           << "gb/contact1.asp";
        QTest::newRow("other") << "9"
                               << ""
                               << ""
                               << ""
                               << "";
    }
    void menuAddressesFollowTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, location);
        QFETCH(QString, genre);
        QFETCH(QString, myVexa);
        QFETCH(QString, contact);
        auto full = [](const QString &path) { return path.isEmpty() ? QString() : kBase + path; };
        Rig rig;
        rig.state.languageCode = language;
        QSignalSpy shown(&rig.list, &StationList::showRequested);
        QSignalSpy page(&rig.directory, &DirectoryIntegration::webPageRequested);
        rig.directory.openLocation();
        rig.directory.openGenre();
        QCOMPARE(rig.listBrowser.navigations, (QStringList{full(location), full(genre)}));
        QCOMPARE(rig.list.pickMode(), QStringLiteral("listen"));
        QCOMPARE(rig.list.pickOrigin(), QStringLiteral("main"));
        QCOMPARE(rig.list.title(), QStringLiteral("PLAYLIST - Genre"));
        QCOMPARE(shown.size(), 2);
        rig.directory.contactUs();
        QCOMPARE(page.first().first().toString(), full(contact));
        // My Vexa stops the player alone: no report, the display stays.
        rig.loadStation(QStringLiteral("1"), fullPage(QStringLiteral("1")));
        for (int i = 0; i < 300; ++i)
            rig.playback.tick();
        QSignalSpy pictures(&rig.directory, &DirectoryIntegration::memoryPicturesResetRequested);
        rig.directory.myVexa();
        QCOMPARE(rig.external.opened, myVexa.isEmpty() ? QStringList() : QStringList{full(myVexa)});
        QCOMPARE(rig.platform.mediaPlayer.playState(), MediaPlayer::Stopped);
        QVERIFY(rig.reports.sent.isEmpty());
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(DirectoryAddress::stationPage(kBase, QStringLiteral("4")),
                 kBase + QStringLiteral("ap/lisradio.asp?radioid=4"));
    }

    void listenPickLoadsTheStationPage()
    {
        Rig rig;
        rig.directory.openLocation();
        QSignalSpy name(&rig.list, &StationList::scheduleNameRead);
        QSignalSpy address(&rig.list, &StationList::scheduleAddressRead);
        rig.completeList({{QStringLiteral("Edit"), QStringLiteral("57")},
                          {QStringLiteral("Edit2"), QStringLiteral("台北夜話")},
                          {QStringLiteral("Edit1"), QStringLiteral("http://127.0.0.1:8765/stream/57.mp3")}});
        QCOMPARE(rig.list.pickedStationId(), QStringLiteral("57"));
        QCOMPARE(rig.web1().navigations, QStringList{kBase + QStringLiteral("ap/lisradio.asp?radioid=57")});
        QCOMPARE(name.first().first().toString(), QStringLiteral("台北夜話"));
        QCOMPARE(address.first().first().toString(), QStringLiteral("http://127.0.0.1:8765/stream/57.mp3"));
        QVERIFY(!rig.list.panelVisible());
        QVERIFY(!rig.list.gaugeVisible());
    }

    void repeatedPickDoesNothingUntilAPageResetsIt()
    {
        Rig rig;
        rig.directory.openLocation();
        const WebBrowser::ElementValues pick = {{QStringLiteral("Edit"), QStringLiteral("57")}};
        const QString page = kBase + QStringLiteral("ap/lisradio.asp?radioid=57");
        rig.completeList(pick);
        rig.completeList(pick);
        QCOMPARE(rig.web1().navigations, QStringList{page});
        // A page whose "Edit" is "0" resets the id and loads nothing.
        rig.completeList({{QStringLiteral("Edit"), QStringLiteral("0")}});
        QCOMPARE(rig.list.pickedStationId(), QStringLiteral("0"));
        QCOMPARE(rig.web1().navigations, QStringList{page});
        rig.completeList(pick);
        QCOMPARE(rig.web1().navigations, (QStringList{page, page}));
        // A page without the elements changes only the gauge and panel.
        rig.completeList({});
        QCOMPARE(rig.list.pickedStationId(), QStringLiteral("57"));
    }

    void schedulePickFromRecordHandsOverAndCloses()
    {
        Rig rig;
        rig.list.open(StationList::Schedule, StationList::GenreTitle, kBase + QStringLiteral("ap/genre.asp"),
                      StationList::FromRecord);
        QCOMPARE(rig.list.pickMode(), QStringLiteral("schedule"));
        QCOMPARE(rig.list.pickOrigin(), QStringLiteral("record"));
        QSignalSpy picked(&rig.list, &StationList::stationPicked);
        QSignalSpy hide(&rig.list, &StationList::hideRequested);
        QSignalSpy name(&rig.list, &StationList::scheduleNameRead);
        QSignalSpy address(&rig.list, &StationList::scheduleAddressRead);
        rig.completeList({{QStringLiteral("Edit"), QStringLiteral("8")},
                          {QStringLiteral("Edit2"), QStringLiteral("北京晨曲")},
                          {QStringLiteral("Edit1"), QStringLiteral("http://127.0.0.1:8765/stream/8.mp3")}});
        QCOMPARE(rig.list.pickedStationId(), QStringLiteral("8"));
        QCOMPARE(picked.size(), 0);
        QCOMPARE(hide.size(), 1);
        QCOMPARE(name.first().first().toString(), QStringLiteral("北京晨曲"));
        QCOMPARE(address.first().first().toString(), QStringLiteral("http://127.0.0.1:8765/stream/8.mp3"));
        QCOMPARE(rig.platform.mediaPlayer.calls, QStringList());
    }

    void gaugeFollowsTheListBrowser()
    {
        Rig rig;
        QSignalSpy gauge(&rig.list, &StationList::gaugeChanged);
        rig.directory.openLocation();  // navigation resets and shows the gauge
        QVERIFY(rig.list.gaugeVisible());
        QCOMPARE(rig.list.gaugePosition(), 0);
        Q_EMIT rig.listBrowser.progressChanged(450000, 1000000);
        QCOMPARE(rig.list.gaugePosition(), 450000);
        Q_EMIT rig.listBrowser.progressChanged(5000000, 100);
        QCOMPARE(rig.list.gaugePosition(), StationList::kGaugeMax);
        rig.completeList({});
        QVERIFY(!rig.list.gaugeVisible());
        QVERIFY(!rig.list.panelVisible());
    }
};

QTEST_MAIN(DirectoryIntegrationTest)
#include "directory_integration_test.moc"

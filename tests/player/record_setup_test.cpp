#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "fake_platform.h"
#include "player_fixture.h"
#include "recording/record_setup.h"
#include "recording/record_setup_window.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

CaptureDevice threeLinesFiveFormats()
{
    CaptureDevice device;
    device.name = QStringLiteral("Test capture");
    device.inputLines = {{QStringLiteral("Mic"), true}, {QStringLiteral("Line"), true}, {QStringLiteral("CD"), false}};
    device.formats = {{44100, 16, 2}, {44100, 16, 1}, {22050, 16, 2}, {22050, 8, 1}, {8000, 8, 1}};
    return device;
}

struct Player
{
    explicit Player(int language = 1)
    {
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = %1, lang2 = %1, firstexe = 'N'").arg(language)});
    }
    void start()
    {
        app = std::make_unique<Application>(platform.parts, folder.path());
        app->start();
        window = app->recordSetupWindow();
    }
    QString stored() const
    {
        return folder.value(QStringLiteral("SELECT fld2 || '/' || fld3 FROM recSetup")).toString();
    }

    ProgramFolder folder;
    FakePlatform platform;
    std::unique_ptr<Application> app;
    TrecMainForm *window = nullptr;
};

}  // namespace

class RecordSetupTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatText()
    {
        QCOMPARE(RecordSetup::formatText({44100, 16, 2}),
                 QStringLiteral("Major Type: Audio - Sub Type: PCM Format: WaveFormatEx: PCM, 44100 Hertz, 16 Bits, "
                                "2 Channels"));
    }

    // What the window shows after start-up, from the device and the
    // stored row.
    void creation_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<QString>("storedRow");  // "fld2,fld3", "none" for no row
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("format");

        QTest::newRow("no device") << false << "-1,-1" << -1 << -1;
        QTest::newRow("stored 1 and 3") << true << "1,3" << 1 << 3;
        QTest::newRow("stored format outside the list") << true << "1,9" << 1 << -1;
        QTest::newRow("shipped row: nothing chosen") << true << "-1,-1" << -1 << -1;
        QTest::newRow("no row: last enabled line, first format") << true << "none" << 1 << 0;
        QTest::newRow("stored line not a number") << true << "'x',3" << 1 << 0;
    }

    void creation()
    {
        QFETCH(bool, device);
        QFETCH(QString, storedRow);
        QFETCH(int, line);
        QFETCH(int, format);
        Player p;
        if (device)
            p.platform.captureDevices.device = threeLinesFiveFormats();
        p.folder.sql({QStringLiteral("DELETE FROM recSetup")});
        if (storedRow != QLatin1String("none"))
            p.folder.sql({QStringLiteral("INSERT INTO recSetup (fld2, fld3) VALUES (%1)").arg(storedRow)});
        p.start();

        QVERIFY(!p.window->isVisible());
        QCOMPARE(p.window->InputLines->count(), device ? 3 : 0);
        QCOMPARE(p.window->AudioFormats->count(), device ? 5 : 0);
        if (device) {
            QCOMPARE(p.window->InputLines->itemText(2), QStringLiteral("CD"));
            QCOMPARE(p.window->AudioFormats->item(3)->text(), RecordSetup::formatText({22050, 8, 1}));
        }
        QCOMPARE(p.app->recordSetup().selectedLine(), line);
        QCOMPARE(p.app->recordSetup().selectedFormat(), format);
        QCOMPARE(p.window->InputLines->currentIndex(), line);
        QCOMPARE(p.window->AudioFormats->currentRow(), format);
        QCOMPARE(p.window->AudioFormats->selectedItems().size(), format < 0 ? 0 : 1);
    }

    // SAVE stores the two positions and hides the window; CLOSE only
    // hides it.
    void saveAndClose_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<bool>("row");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no device: -1 and -1") << false << true << "-1/-1";
        QTest::newRow("choice stored") << true << true << "2/4";
        QTest::newRow("no row: nothing stored") << true << false << "";
    }

    void saveAndClose()
    {
        QFETCH(bool, device);
        QFETCH(bool, row);
        QFETCH(QString, stored);
        Player p;
        if (device)
            p.platform.captureDevices.device = threeLinesFiveFormats();
        p.folder.sql({QStringLiteral("UPDATE recSetup SET fld2 = 0, fld3 = 0")});
        if (!row)
            p.folder.sql({QStringLiteral("DELETE FROM recSetup")});
        p.start();

        p.app->mainWindow()->Realtimerecordsetup1->trigger();
        QVERIFY(p.window->isVisible());
        if (device) {
            p.window->InputLines->setCurrentIndex(2);
            p.window->AudioFormats->setCurrentRow(4);
        }
        p.window->TntButton2->click();
        QVERIFY(!p.window->isVisible());
        if (row)
            QCOMPARE(p.stored(), QStringLiteral("0/0"));

        p.app->mainWindow()->Realtimerecordsetup1->trigger();
        // The selection made before CLOSE is still there.
        QCOMPARE(p.window->InputLines->currentIndex(), device ? 2 : -1);
        p.window->TntButton1->click();
        QVERIFY(!p.window->isVisible());
        QCOMPARE(p.stored(), stored);
    }

    void translated()
    {
        Player p(2);
        p.start();
        p.window->FormActivate();
        QCOMPARE(p.window->TntLabel1->text(), QStringLiteral("即時錄音設定"));
        QCOMPARE(p.window->TntLabel2->text(), QStringLiteral("選擇音源"));
        QCOMPARE(p.window->TntLabel3->text(), QStringLiteral("選擇格式"));
        QCOMPARE(p.window->TntButton1->text(), QStringLiteral("儲存"));
        QCOMPARE(p.window->TntButton2->text(), QStringLiteral("關閉"));
        QCOMPARE(p.window->windowTitle(), QStringLiteral("Audio Cap"));
        // The menu item sits beside the schedule command, translated too.
        p.app->mainWindow()->FormActivate();
        QCOMPARE(p.app->mainWindow()->Realtimerecordsetup1->text(), QStringLiteral("即時錄音設定"));
    }
};

QTEST_MAIN(RecordSetupTest)
#include "record_setup_test.moc"

// Text from pages, streams and the store is shown as it is: markup in a
// station name, a status or a phrase is never rendered as rich text.

#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>

#include "directory/about_window.h"
#include "directory/language_window.h"
#include "directory/message_window.h"
#include "directory/station_list_window.h"
#include "directory/station_update_window.h"
#include "directory/web_page_window.h"
#include "recording/record_setup_window.h"
#include "recording/recorder_host_window.h"
#include "recording/recordings_list_window.h"
#include "recording/schedule_editor_window.h"
#include "fake_platform.h"
#include "platform/qt_message_boxes.h"
#include "player_fixture.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

// A label shows its text verbatim when Qt does not take it for rich text.
bool shownVerbatim(const QLabel *label, const QString &text)
{
    if (label->text() != text)
        return false;
    return label->textFormat() == Qt::PlainText || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(text));
}

}  // namespace

class PlainTextTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void remoteTextIsShownVerbatim_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("Harbour Tone FM 海港音樂台");
        QTest::newRow("bold tag") << QStringLiteral("<b>x</b>");
        QTest::newRow("image") << QStringLiteral("<img src=\"/nonexistent/picture.png\">");
        QTest::newRow("entity") << QStringLiteral("&lt;");
    }

    void remoteTextIsShownVerbatim()
    {
        QFETCH(QString, text);
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'")});
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        app.start();
        TForm_main *main = app.mainWindow();

        app.state().setStationName(text);
        QVERIFY(shownVerbatim(main->LabRname, text));
        app.state().setStatusText(text);
        QVERIFY(shownVerbatim(main->LabStatus, text));
        main->showNameStrip(text);
        QVERIFY(shownVerbatim(main->RnameLabel, text));
        Q_EMIT app.stationList().titleChanged(text);
        QVERIFY(shownVerbatim(app.stationListWindow()->Label1, text));
        app.messageWindow()->TntLabel1->setText(text);
        QVERIFY(shownVerbatim(app.messageWindow()->TntLabel1, text));

        // Message boxes of the platform show their text plainly too.
        QtMessageBoxes boxes;
        Qt::TextFormat format = Qt::AutoText;
        QString shown;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            format = box->textFormat();
            shown = box->text();
            box->accept();
        });
        boxes.information(QStringLiteral("Message"), text);
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
    }

    // Every label of every window is plain text, whatever it shows later.
    void everyLabelIsPlainText()
    {
        ProgramFolder folder;
        FakePlatform platform;
        Application app(platform.parts, folder.path());
        const QList<QWidget *> windows{
            app.mainWindow(),          app.scheduleWindow(), app.languageWindow(),       app.stationListWindow(),
            app.stationUpdateWindow(), app.webPageWindow(),  app.recordingsListWindow(), app.recordSetupWindow(),
            app.messageWindow(),       app.aboutBox(),       app.recorderHostWindow()};
        for (QWidget *window : windows) {
            for (const QLabel *label : window->findChildren<QLabel *>())
                QVERIFY2(label->textFormat() == Qt::PlainText,
                         qPrintable(window->objectName() + QLatin1Char('/') + label->objectName()));
        }
    }
};

QTEST_MAIN(PlainTextTest)
#include "plain_text_test.moc"

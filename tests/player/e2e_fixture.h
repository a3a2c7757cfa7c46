#pragma once

// What the end-to-end tests set up alike: the bundled station directory, a
// program folder of their own, the real platform parts, and a look into the
// store and into shown web pages. Their main() is xvfb::runTest.

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <string>

#include "directory/station_list_window.h"
#include "directory_server.h"
#include "fake_platform.h"
#include "platform/clock.h"
#include "platform/qt_web_browser.h"
#include "platform/regional_format.h"
#include "platform/vlc_media_player.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "xvfb_display.h"

namespace e2e {

// Runs one statement on the store file over a connection of its own,
// closed again before it returns; with `row`, the first row of the answer
// (false when there is none).
inline bool runOnStore(const QString &store, const QString &statement, QSqlRecord *row = nullptr)
{
    const QString connection = QStringLiteral("e2e-store");
    bool ok = false;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(store);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(statement) && (!row || query.next());
            if (ok && row)
                *row = query.record();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

// Lays out a program folder: the shipped store (rd.d) with English chosen,
// so no first-run questions, the skin pictures in pic/ and, with
// `recordings`, an empty radiorecord/.
inline bool makeProgramFolder(const QDir &program, bool recordings)
{
    const QDir shipped(QStringLiteral(VEXA_TEST_PROGRAM_DIR));
    const QString store = program.filePath(QStringLiteral("rd.d"));
    if (!program.mkpath(QStringLiteral("pic")) || (recordings && !program.mkpath(QStringLiteral("radiorecord")))
        || !QFile::copy(shipped.filePath(QStringLiteral("rd.d")), store))
        return false;
    for (const QString &name : QDir(shipped.filePath(QStringLiteral("pic"))).entryList(QDir::Files))
        QFile::copy(shipped.filePath(QStringLiteral("pic/") + name), program.filePath(QStringLiteral("pic/") + name));
    QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return runOnStore(store, QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 1, firstexe = 'N'"));
}

// What each test starts from: a working folder, the bundled directory
// serving its demo list on a free loopback port (its hit log and cache in
// the working folder), a program folder, and the real media player,
// browsers, clock and regional format with fakes for the other platform
// parts. A test sets more of `parts` itself before it starts the player.
struct Fixture
{
    Fixture()
    {
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.clock = &clock;
        parts.regional = &regional;
    }
    Fixture(const Fixture &) = delete;
    Fixture &operator=(const Fixture &) = delete;

    // Starts the directory and lays out the program folder `folder` in the
    // working folder ("" for the working folder itself); with `recordings`
    // it has an empty radiorecord/.
    bool start(const QString &folder, bool recordings)
    {
        if (!work.isValid()) {
            error = "no working folder";
            return false;
        }
        if (!directory.start(&error))
            return false;
        base = QStringLiteral("http://127.0.0.1:%1/").arg(directory.port());
        program.setPath(folder.isEmpty() ? work.path() : work.filePath(folder));
        if (!makeProgramFolder(program, recordings)) {
            error = "cannot lay out the program folder";
            return false;
        }
        return true;
    }

    // The player on `parts` in the program folder, started, with the
    // directory for its station pages and listening reports.
    std::unique_ptr<Application> startPlayer()
    {
        auto app = std::make_unique<Application>(parts, program.path());
        app->state().directoryBaseUrl = base;
        app->playback().setHitLogBaseUrl(base.chopped(1));
        app->start();
        return app;
    }

    QTemporaryDir work;
    stationdir::DirectoryServer directory{directoryOptions(work.path())};
    QString base;  // the directory's address, ends in '/'
    QDir program;
    std::string error;  // why start() failed

    FakePlatform fakes;
    VlcMediaPlayer mediaPlayer{QStringList{QStringLiteral("--aout=dummy")}};
    QtWebBrowserFactory browsers;
    SystemClock clock;
    RegionalFormat regional;
    PlatformParts parts = fakes.parts;

private:
    static stationdir::DirectoryOptions directoryOptions(const QString &work)
    {
        stationdir::DirectoryOptions options;
        options.port = 0;
        options.stationsPath = QStringLiteral(VEXA_STATION_DIRECTORY_DATA_DIR "/stations.tsv").toStdString();
        options.hitLogPath = QDir(work).filePath(QStringLiteral("hitlog.tsv")).toStdString();
        options.cacheDir = QDir(work).filePath(QStringLiteral("cache")).toStdString();
        return options;
    }
};

// Runs `script` in the page of a shown browser view and waits for it.
inline QVariant runScript(QWebEngineView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &r) {
        result = r;
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 10000)
        QTest::qWait(10);
    return result;
}

// Location from the list menu of a started player: the browser view of
// the list window once that shows (null when it does not).
inline QWebEngineView *showStationList(Application &app)
{
    app.mainWindow()->Location2->trigger();
    TForm_location *list = app.stationListWindow();
    if (!QTest::qWaitForWindowExposed(list))
        return nullptr;
    return qobject_cast<QWebEngineView *>(list->Web1);
}

// In the location list shown in `view`: clicks the first location, waits
// for its page and clicks its first station.
inline bool pickFirstStation(QWebEngineView *view)
{
    runScript(view, QStringLiteral("document.querySelector('ul.items a').click(); true"));
    return QTest::qWaitFor([&] { return view->url().toString().contains(QStringLiteral("sel=")); }, 10000)
        && QTest::qWaitFor(
               [&] {
                   return runScript(
                              view,
                              QStringLiteral(
                                  "document.readyState === 'complete' && !!document.querySelector('a[href*=pick]')"))
                       .toBool();
               },
               10000)
        && runScript(view, QStringLiteral("document.querySelector('a[href*=pick]').click(); true")).toBool();
}

}  // namespace e2e

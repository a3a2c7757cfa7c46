// The command line of radioplayer: the directory and hit-log addresses,
// the start in the notification area, help and version.

#include <QProcess>
#include <QTest>

#include "build_config.h"
#include "core/program_options.h"

class ProgramOptionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        const QString directory = QStringLiteral(VEXA_DIRECTORY_BASE_URL);
        const QString hitLog = QStringLiteral(VEXA_HITLOG_BASE_URL);
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("wantDirectory");
        QTest::addColumn<QString>("wantHitLog");
        QTest::newRow("none: build values") << QStringList{} << true << directory << hitLog;
        QTest::newRow("directory") << QStringList{"--directory", "http://10.1.2.3:8080/vexa/"} << true
                                   << "http://10.1.2.3:8080/vexa/" << hitLog;
        QTest::newRow("directory gains its slash")
            << QStringList{"--directory=https://radio.example"} << true << "https://radio.example/" << hitLog;
        QTest::newRow("hit log loses its slash")
            << QStringList{"--hitlog", "http://127.0.0.1:9000/"} << true << directory << "http://127.0.0.1:9000";
        QTest::newRow("both") << QStringList{"--hitlog", "http://h:2", "--directory", "http://d:1/"} << true
                              << "http://d:1/"
                              << "http://h:2";
        QTest::newRow("missing value") << QStringList{"--directory"} << false << directory << hitLog;
        QTest::newRow("unknown option") << QStringList{"--portal", "x"} << false << directory << hitLog;
        QTest::newRow("stray argument") << QStringList{"http://d:1/"} << false << directory << hitLog;
        QTest::newRow("local file") << QStringList{"--directory", "file:///etc/"} << false << directory << hitLog;
        QTest::newRow("no scheme") << QStringList{"--hitlog", "127.0.0.1:8765"} << false << directory << hitLog;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        QFETCH(QString, wantDirectory);
        QFETCH(QString, wantHitLog);
        ProgramOptions options;
        QString error;
        QCOMPARE(options.parse(QStringList{QStringLiteral("radioplayer")} + arguments, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        if (ok) {
            QCOMPARE(options.directoryBaseUrl, wantDirectory);
            QCOMPARE(options.hitLogBaseUrl, wantHitLog);
        }
    }

    void flags_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("tray");
        QTest::newRow("none") << QStringList{} << false << false << false;
        QTest::newRow("help") << QStringList{"--help"} << true << false << false;
        QTest::newRow("version") << QStringList{"--version"} << false << true << false;
        QTest::newRow("tray with an address")
            << QStringList{"--tray", "--directory", "http://d:1/"} << false << false << true;
    }

    void flags()
    {
        QFETCH(QStringList, arguments);
        ProgramOptions options;
        QVERIFY(options.parse(QStringList{QStringLiteral("radioplayer")} + arguments, nullptr));
        QTEST(options.help, "help");
        QTEST(options.version, "version");
        QTEST(options.tray, "tray");
        for (const char *option : {"--directory URL", "--tray", "--version"})
            QVERIFY(ProgramOptions::usage().contains(QLatin1String(option)));
        QVERIFY(ProgramOptions::versionText().startsWith(QStringLiteral("radioplayer " VEXA_VERSION)));
    }

    // The real program answers --help and --version with no display and no
    // platform plug-in chosen: it must not create the application first.
    void withoutDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("start");
        QTest::newRow("help") << "--help"
                              << "usage: radioplayer";
        QTest::newRow("version") << "--version"
                                 << "radioplayer " VEXA_VERSION;
    }

    void withoutDisplay()
    {
        QFETCH(QString, option);
        QFETCH(QString, start);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VEXA_RADIOPLAYER), {option});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(QString::fromLocal8Bit(program.readAllStandardOutput()).startsWith(start),
                 program.readAllStandardError().constData());
    }
};

QTEST_MAIN(ProgramOptionsTest)
#include "program_options_test.moc"

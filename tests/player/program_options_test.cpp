// The command line of radioplayer: the directory and hit-log addresses.

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
        QTest::newRow("directory gains its slash") << QStringList{"--directory=https://radio.example"} << true
                                                   << "https://radio.example/" << hitLog;
        QTest::newRow("hit log loses its slash") << QStringList{"--hitlog", "http://127.0.0.1:9000/"} << true
                                                 << directory << "http://127.0.0.1:9000";
        QTest::newRow("both") << QStringList{"--hitlog", "http://h:2", "--directory", "http://d:1/"} << true
                              << "http://d:1/" << "http://h:2";
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

    void help()
    {
        ProgramOptions options;
        QVERIFY(options.parse({QStringLiteral("radioplayer"), QStringLiteral("--help")}, nullptr));
        QVERIFY(options.help);
        QVERIFY(ProgramOptions::usage().contains(QStringLiteral("--directory URL")));
    }
};

QTEST_MAIN(ProgramOptionsTest)
#include "program_options_test.moc"

#include <QTest>

#include "core/interface_language.h"
#include "player_fixture.h"
#include "core/main_state.h"
#include "store/dataset.h"
#include "store/schedule_table.h"
#include "store/store.h"

using namespace InterfaceLanguage;

class InterfaceLanguageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columnOfLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("hasSource");
        QTest::newRow("English") << "1"
                                 << "lang3" << true;
        QTest::newRow("Traditional Chinese") << "2"
                                             << "lang2" << true;
        QTest::newRow("Simplified Chinese") << "3"
                                            << "lang1" << true;
        QTest::newRow("further 4") << "4"
                                   << "lang4" << true;
        QTest::newRow("further 6") << "6"
                                   << "lang6" << true;
        QTest::newRow("empty") << ""
                               << "lang1" << false;
        QTest::newRow("zero") << "0"
                              << "lang1" << false;
        QTest::newRow("seven") << "7"
                               << "lang1" << false;
        QTest::newRow("padded") << " 1"
                                << "lang1" << false;
    }

    void columnOfLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QString, column);
        QFETCH(bool, hasSource);
        QCOMPARE(InterfaceLanguage::column(code), column);
        QCOMPARE(sourceColumn(code).has_value(), hasSource);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("to Traditional") << "Configuration will be done after restart ."
                                        << "2"
                                        << "設定將在重新啟動後生效。";
        QTest::newRow("to Simplified") << "OK"
                                       << "3"
                                       << "确定";
        QTest::newRow("English stays") << "Once"
                                       << "1"
                                       << "Once";
        QTest::newRow("no row keeps the text") << "No such phrase"
                                               << "2"
                                               << "No such phrase";
        QTest::newRow("empty code reads lang1") << "Stop"
                                                << ""
                                                << "停止";
    }

    void lookup()
    {
        QFETCH(QString, english);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet query(store);
        QCOMPARE(InterfaceLanguage::lookup(query, english, code), expected);
    }

    // A text is compared in its current state: once replaced, later rows
    // see the replacement. An empty target blanks the text.
    void lookupWalksRowsInOrder()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("DELETE FROM aplng"),
                    QStringLiteral("INSERT INTO aplng (lang1, lang2, lang3) VALUES ('B', 'x', 'A')"),
                    QStringLiteral("INSERT INTO aplng (lang1, lang2, lang3) VALUES ('C', 'y', 'B')"),
                    QStringLiteral("INSERT INTO aplng (lang1, lang2, lang3) VALUES ('', 'z', 'Gone')")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet query(store);
        QStringList texts{QStringLiteral("A"), QStringLiteral("Gone"), QStringLiteral("Other")};
        QVERIFY(translateTexts(query, texts, QStringLiteral("3")));
        QCOMPARE(texts, (QStringList{QStringLiteral("C"), QString(), QStringLiteral("Other")}));
    }

    void lookupWithoutStoreLeavesTexts()
    {
        Store store;  // never opened
        DataSet query(store);
        QStringList texts{QStringLiteral("OK")};
        QVERIFY(!translateTexts(query, texts, QStringLiteral("2")));
        QCOMPARE(texts.first(), QStringLiteral("OK"));
    }

    void scheduleWords_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("before");  // freq1, mode1, date1, date2
        QTest::addColumn<QStringList>("after");
        QTest::newRow("Traditional to English")
            << "2"
            << "1" << QStringList{"每天", "錄音", "", ""} << QStringList{"Every Day", "Record", "", ""};
        QTest::newRow("English to Traditional")
            << "1"
            << "2" << QStringList{"Every Week", "Play", "Mon", ""} << QStringList{"每週", "播放", "週一", ""};
        QTest::newRow("English row already English")
            << "2"
            << "1" << QStringList{"Once", "Real time record", "3/14/26", "3/14/26"}
            << QStringList{"Once", "Real time record", "3/14/26", "3/14/26"};
        QTest::newRow("same language changes nothing")
            << "2"
            << "2" << QStringList{"每天", "錄音", "", ""} << QStringList{"每天", "錄音", "", ""};
        QTest::newRow("no previous language")
            << ""
            << "3" << QStringList{"Once", "Play", "", ""} << QStringList{"Once", "Play", "", ""};
        QTest::newRow("to an unknown language reads lang1")
            << "1"
            << "9" << QStringList{"Once", "Play", "", ""} << QStringList{"一次", "播放", "", ""};
    }

    void scheduleWords()
    {
        QFETCH(QString, previous);
        QFETCH(QString, current);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        ProgramFolder folder;
        // A phrase with no word in a further language must not fill the
        // empty date fields when translating from that language.
        folder.sql(
            {QStringLiteral("INSERT INTO recSchedul (freq1, mode1, date1, date2) VALUES ('%1', '%2', '%3', '%4')")
                 .arg(before.at(0), before.at(1), before.at(2), before.at(3))});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet phrases(store);
        ScheduleTable schedule(store);
        schedule.load();
        QVERIFY(translateScheduleWords(phrases, schedule, previous, current));

        const QStringList fields{"freq1", "mode1", "date1", "date2"};
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(folder.value(QStringLiteral("SELECT %1 FROM recSchedul").arg(fields.at(i))).toString(),
                     after.at(i));
        }
    }

    void emptySourceWordsMatchNothing()
    {
        ProgramFolder folder;
        folder.sql(
            {QStringLiteral("INSERT INTO recSchedul (freq1, mode1, date1, date2) VALUES ('Every Day', 'Play', '', '')"),
             QStringLiteral("UPDATE apsel SET lang1 = 1, lang2 = 4")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet phrases(store);
        ScheduleTable schedule(store);
        schedule.load();
        QVERIFY(translateScheduleWords(phrases, schedule, QStringLiteral("4"), QStringLiteral("1")));
        QCOMPARE(folder.value(QStringLiteral("SELECT date1 FROM recSchedul")).toString(), QString());
        QCOMPARE(folder.value(QStringLiteral("SELECT date2 FROM recSchedul")).toString(), QString());
    }

    void readSetting()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE apsel SET lang1 = 2, lang2 = 3, firstexe = 'N'")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet query(store);
        MainState state;
        state.languageCode = QStringLiteral("stale");
        QVERIFY(!InterfaceLanguage::readSetting(query, state));
        QCOMPARE(state.languageCode, QStringLiteral("2"));
        QCOMPARE(state.previousLanguageCode, QStringLiteral("3"));

        folder.sql({QStringLiteral("DELETE FROM apsel")});
        QVERIFY(!InterfaceLanguage::readSetting(query, state));
        QVERIFY(state.languageCode.isEmpty());
        QVERIFY(state.previousLanguageCode.isEmpty());
    }

    void saveChoice_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("lang1");
        QTest::addColumn<int>("lang2");
        QTest::newRow("third entry from English") << 2 << "1" << true << 3 << 1;
        QTest::newRow("first entry from Traditional") << 0 << "2" << true << 1 << 2;
        QTest::newRow("code not a number") << 1 << "" << false << 1 << 1;
    }

    void saveChoice()
    {
        QFETCH(int, entry);
        QFETCH(QString, code);
        QFETCH(bool, saved);
        QFETCH(int, lang1);
        QFETCH(int, lang2);
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet query(store);
        query.openQuery(kSettingQuery);
        bool threw = false;
        try {
            InterfaceLanguage::saveChoice(query, entry, code);
        } catch (const StoreError &) {
            threw = true;
        }
        QCOMPARE(threw, !saved);
        QCOMPARE(folder.value(QStringLiteral("SELECT lang1 FROM apsel")).toInt(), lang1);
        QCOMPARE(folder.value(QStringLiteral("SELECT lang2 FROM apsel")).toInt(), lang2);
        QCOMPARE(folder.value(QStringLiteral("SELECT firstexe FROM apsel")).toString(),
                 saved ? QStringLiteral("N") : QStringLiteral("Y"));
    }
};

QTEST_MAIN(InterfaceLanguageTest)
#include "interface_language_test.moc"

#include <QFile>
#include <QTest>

#include "player_fixture.h"
#include "store/dataset.h"
#include "store/store.h"

class StoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shippedRows()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet data(store);

        data.openTable(QStringLiteral("myRadio"));
        QCOMPARE(data.recordCount(), 10);
        data.openQuery(QStringLiteral("select * from apsel"));
        QCOMPARE(data.recordCount(), 1);
        QCOMPARE(data.text(QStringLiteral("lang1")), QStringLiteral("1"));
        QCOMPARE(data.text(QStringLiteral("firstexe")), QStringLiteral("Y"));
        data.openQuery(QStringLiteral("select * from recSetup"));
        QCOMPARE(data.recordCount(), 1);
        QCOMPARE(data.text(QStringLiteral("fld2")), QStringLiteral("-1"));
        QCOMPARE(data.text(QStringLiteral("fld3")), QStringLiteral("-1"));
        data.openTable(QStringLiteral("recSchedul"));
        QCOMPARE(data.recordCount(), 0);

        // Every phrase is there in all three languages.
        data.openQuery(QStringLiteral("select * from aplng "));
        QVERIFY(data.recordCount() > 40);
        for (int i = 0; i < data.recordCount(); ++i) {
            for (const char *column : {"lang1", "lang2", "lang3"})
                QVERIFY2(!data.text(QLatin1String(column)).isEmpty(), qPrintable(data.text(QStringLiteral("lang3"))));
            data.next();
        }
    }

    // The memory-station code reads the id as the third column and the
    // name as the fourth.
    void myRadioColumnPositions()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("UPDATE myRadio SET id = 4711, name = 'Radio Eins' WHERE slot = 1")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet radio(store);
        radio.openQuery(QStringLiteral("select * from myradio"));
        QCOMPARE(radio.fieldAt(2).toString(), QStringLiteral("4711"));
        QCOMPARE(radio.fieldAt(3).toString(), QStringLiteral("Radio Eins"));
    }

    // Slot N is reached by moving N-1 rows from the first; a short table
    // maps the missing slots onto its last row.
    void moveStopsAtLastRow()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("DELETE FROM myRadio WHERE slot > 3"),
                    QStringLiteral("UPDATE myRadio SET name = 'slot ' || slot")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet radio(store);
        radio.openTable(QStringLiteral("myRadio"));
        radio.first();
        radio.moveBy(9);
        QCOMPARE(radio.text(QStringLiteral("name")), QStringLiteral("slot 3"));
        QVERIFY(radio.eof());
        radio.first();
        radio.moveBy(1);
        QCOMPARE(radio.text(QStringLiteral("name")), QStringLiteral("slot 2"));
    }

    // A posted row is on disk at once (another connection sees it, as a
    // restarted player would) and its idno is readable right after post.
    void postIsWrittenAtOnce()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet schedule(store);
        schedule.openTable(QStringLiteral("recSchedul"));
        schedule.insert();
        schedule.setField(QStringLiteral("name1"), QStringLiteral("Morning show"));
        schedule.setField(QStringLiteral("freq1"), QStringLiteral("Once"));
        schedule.post();
        const qint64 idno = schedule.field(QStringLiteral("idno")).toLongLong();
        QVERIFY(idno > 0);
        schedule.insert();
        schedule.setField(QStringLiteral("name1"), QStringLiteral("Evening news"));
        schedule.post();
        QCOMPARE(schedule.field(QStringLiteral("idno")).toLongLong(), idno + 1);

        schedule.first();
        schedule.edit();
        schedule.setField(QStringLiteral("freq1"), QStringLiteral("Every Day"));
        schedule.post();

        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(), 2);
        QCOMPARE(folder.value(QStringLiteral("SELECT freq1 FROM recSchedul WHERE idno = %1").arg(idno)).toString(),
                 QStringLiteral("Every Day"));

        schedule.remove();
        QCOMPARE(schedule.text(QStringLiteral("name1")), QStringLiteral("Evening news"));
        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(), 1);
    }

    void cancelDropsChanges()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet setting(store);
        setting.openQuery(QStringLiteral("select * from apsel"));
        setting.edit();
        setting.setField(QStringLiteral("firstexe"), QStringLiteral("N"));
        setting.cancel();
        QCOMPARE(setting.text(QStringLiteral("firstexe")), QStringLiteral("Y"));
        QCOMPARE(folder.value(QStringLiteral("SELECT firstexe FROM apsel")).toString(), QStringLiteral("Y"));
    }

    void failuresThrow()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet data(store);
        QVERIFY_THROWS_EXCEPTION(StoreError, data.text(QStringLiteral("lang1")));   // closed
        data.openQuery(QStringLiteral("select * from aplng "));
        QVERIFY_THROWS_EXCEPTION(StoreError, data.text(QStringLiteral("nosuchcolumn")));
        QVERIFY_THROWS_EXCEPTION(StoreError, data.openTable(QStringLiteral("apsel; DROP TABLE aplng")));
        QVERIFY_THROWS_EXCEPTION(StoreError, data.openTable(QStringLiteral("missingTable")));
    }

    void openRefuses_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("not a database") << QByteArray("this is not SQLite\n") << true;
        QTest::newRow("empty file") << QByteArray() << true;
    }

    void openRefuses()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        QTemporaryDir dir;
        const QString path = Store::fileIn(dir.path());
        if (create) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        Store store;
        QVERIFY(!store.open(path));
        QVERIFY(!store.isOpen());
        // Opening never makes a store where there was none.
        QCOMPARE(QFile::exists(path), create);
    }

    void splitStatements()
    {
        const QStringList statements = Store::splitStatements(QStringLiteral(
            "-- a comment; with a semicolon\n"
            "INSERT INTO t VALUES ('a;b', 'it''s');\n"
            "CREATE TABLE u (x TEXT);"));
        QCOMPARE(statements.size(), 2);
        QCOMPARE(statements.at(0), QStringLiteral("INSERT INTO t VALUES ('a;b', 'it''s')"));
        QCOMPARE(statements.at(1), QStringLiteral("CREATE TABLE u (x TEXT)"));
    }
};

QTEST_MAIN(StoreTest)
#include "store_test.moc"

#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <functional>

#include "player_fixture.h"
#include "store/dataset.h"
#include "store/store.h"
#include "plain_user.h"
#include "store_lock_holder.h"

namespace {

// Statements on a store file through a plain connection of their own,
// without the player's checks and upgrade.
QVariantList raw(const QString &path, const QStringList &statements)
{
    QVariantList firstValues;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        QSqlQuery query(db);
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                qFatal("statement failed: %s", qPrintable(statement));
            firstValues << (query.next() ? query.value(0) : QVariant());
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return firstValues;
}

QVariant rawValue(const QString &path, const QString &statement)
{
    return raw(path, {statement}).value(0);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every row of the user's tables, as text.
QString userRows(const QString &path)
{
    QString text;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        QSqlQuery query(db);
        for (const char *table : {"recSchedul", "myRadio", "apsel", "recSetup"}) {
            if (!query.exec(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(QLatin1String(table))))
                qFatal("cannot read %s", table);
            while (query.next()) {
                for (int i = 0; i < query.record().count(); ++i)
                    text += query.value(i).toString() + QLatin1Char('|');
                text += QLatin1Char('\n');
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return text;
}

const QString kAddedPhrase = QStringLiteral("No web browser could be started for %1");

}  // namespace

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

    // Commits go to the write-ahead log (no fsync wait on the interface
    // thread); a player killed right after a post still keeps the row.
    void postSurvivesAKilledPlayer()
    {
        ProgramFolder folder;
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            Store store;
            if (!store.open(folder.storeFile()))
                _exit(2);
            DataSet schedule(store);
            schedule.openTable(QStringLiteral("recSchedul"));
            schedule.insert();
            schedule.setField(QStringLiteral("name1"), QStringLiteral("Kept"));
            schedule.post();
            _exit(0);  // no close, no checkpoint: as a kill would leave it
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFile::exists(folder.storeFile() + QStringLiteral("-wal")));
        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul WHERE name1 = 'Kept'")).toInt(), 1);
        QCOMPARE(folder.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    }

    // A copy that reads one posted row again ends up as a full load would
    // have it, whether the row was added, changed or deleted.
    void refreshRowMatchesAFullLoad()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet writer(store), copy(store);
        writer.openTable(QStringLiteral("recSchedul"));
        auto add = [&](const QString &name) {
            writer.insert();
            writer.setField(QStringLiteral("name1"), name);
            writer.post();
            return writer.rowKey();
        };
        const qint64 a = add(QStringLiteral("A")), b = add(QStringLiteral("B"));
        copy.openTable(QStringLiteral("recSchedul"));
        auto rows = [](DataSet &set) {
            QStringList out;
            const int name = set.columnNames().indexOf(QStringLiteral("name1"));
            for (int r = 0; r < set.recordCount(); ++r)
                out << QString::number(set.valueAt(r, 0).toLongLong()) + QLatin1Char('=')
                        + set.valueAt(r, name).toString();
            return out;
        };
        auto check = [&](qint64 key) {
            copy.refreshRow(key);
            DataSet fresh(store);
            fresh.openTable(QStringLiteral("recSchedul"));
            QCOMPARE(rows(copy), rows(fresh));
            QCOMPARE(copy.recNo(), 0);
        };
        const qint64 c = add(QStringLiteral("C"));
        check(c);  // added
        writer.first();
        writer.edit();
        writer.setField(QStringLiteral("name1"), QStringLiteral("A2"));
        writer.post();
        check(a);  // changed
        writer.next();
        writer.remove();
        check(b);  // deleted
        check(b);  // deleted and already gone
        QCOMPARE(rows(copy).size(), 2);
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

    // An edit of a row that another data set deleted meanwhile fails like
    // any other store failure instead of reporting success.
    void editOfVanishedRowFails()
    {
        ProgramFolder folder;
        folder.sql({QStringLiteral("INSERT INTO recSchedul (name1) VALUES ('Morning show')")});
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet editor(store);
        DataSet runner(store);
        editor.openTable(QStringLiteral("recSchedul"));
        runner.openTable(QStringLiteral("recSchedul"));
        runner.remove();

        editor.edit();
        editor.setField(QStringLiteral("name1"), QStringLiteral("Evening news"));
        QVERIFY_THROWS_EXCEPTION(StoreError, editor.post());
        QCOMPARE(folder.value(QStringLiteral("SELECT count(*) FROM recSchedul")).toInt(), 0);
    }

    void failuresThrow()
    {
        ProgramFolder folder;
        Store store;
        QVERIFY(store.open(folder.storeFile()));
        DataSet data(store);
        QVERIFY_THROWS_EXCEPTION(StoreError, data.text(QStringLiteral("lang1")));  // closed
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

    // A store of the previous version (no version number, without the
    // phrases shipped since) holding the user's rows: opening it upgrades
    // it once, adds the shipped phrases and changes none of the user's rows.
    void upgradesPreviousVersionKeepingUserRows()
    {
        ProgramFolder folder;
        const QString path = folder.storeFile();
        raw(path,
            {QStringLiteral("DELETE FROM aplng WHERE lang3 IN ('Error', '%1')").arg(kAddedPhrase),
             QStringLiteral("PRAGMA user_version = 0"),
             QStringLiteral("INSERT INTO recSchedul (onf, name1, radiourl, freq1, date1, time1, status1) "
                            "VALUES ('Y', 'Morning show', 'mms://radio.example/live', 'Every Day', "
                            "'3/14/26', '9:30:00 AM', '0')"),
             QStringLiteral("UPDATE myRadio SET id = 4711, name = 'Radio Eins', url = 'http://r1/' "
                            "WHERE slot = 2"),
             QStringLiteral("UPDATE apsel SET lang1 = 3, lang2 = 1, firstexe = 'N'"),
             QStringLiteral("UPDATE recSetup SET fld2 = 1, fld3 = 4"),
             QStringLiteral("INSERT INTO aplng (lang1, lang2, lang3) VALUES ('我的', '我的', 'My own phrase')")});
        const QString before = userRows(path);
        const int phrases = rawValue(path, QStringLiteral("SELECT count(*) FROM aplng")).toInt();

        for (int run = 0; run < 2; ++run) {
            Store store;
            QVERIFY2(store.open(path), qPrintable(store.lastError()));
            QVERIFY(store.refusal().isEmpty());
            DataSet setting(store);
            setting.openQuery(QStringLiteral("select * from apsel"));
            QCOMPARE(setting.text(QStringLiteral("lang1")), QStringLiteral("3"));
        }
        QCOMPARE(rawValue(path, QStringLiteral("PRAGMA user_version")).toInt(), Store::kVersion);
        QCOMPARE(rawValue(path, QStringLiteral("SELECT count(*) FROM aplng")).toInt(), phrases + 2);
        QCOMPARE(rawValue(path, QStringLiteral("SELECT lang1 FROM aplng WHERE lang3 = '%1'").arg(kAddedPhrase)),
                 QVariant(QStringLiteral("无法启动网页浏览器以打开 %1")));
        QCOMPARE(rawValue(path, QStringLiteral("SELECT count(*) FROM aplng WHERE lang3 = 'My own phrase'")).toInt(), 1);
        QCOMPARE(userRows(path), before);
        QVERIFY(before.contains(QStringLiteral("Morning show")));
    }

    // A newer store, or one whose tables are not ours, is refused with a
    // reason for the user and left byte for byte as it was.
    // A damaged file (overwritten, truncated, not SQLite at all) is left
    // byte for byte; a fresh store is started beside it once, so the player
    // can be used, and kept from then on, never overwritten.
    void damagedStoreIsSetAside_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("random bytes") << "random";
        QTest::newRow("text") << "text";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("page overwritten") << "overwritten";
    }
    void damagedStoreIsSetAside()
    {
        QFETCH(QString, damage);
        ProgramFolder folder;
        const QString path = folder.storeFile();
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            QVERIFY(bytes.size() >= 4 * 4096);
            QByteArray noise(4096, '\0');
            for (char &c : noise)
                c = char(QRandomGenerator::global()->bounded(256));
            if (damage == QLatin1String("random"))
                bytes = noise;
            else if (damage == QLatin1String("text"))
                bytes = "this is not SQLite\n";
            else if (damage == QLatin1String("truncated"))
                bytes.truncate(2 * 4096);
            else
                bytes.replace(2 * 4096, 4096, noise);
            file.resize(0);
            file.seek(0);
            file.write(bytes);
        }
        const QByteArray before = fileHash(path);
        const QString standIn = Store::standInFileOf(path);
        QCOMPARE(standIn, path + QStringLiteral(".new"));
        {
            Store store;
            QVERIFY2(store.open(path), qPrintable(store.lastError()));
            QVERIFY2(store.notice().contains(QStringLiteral("damaged")), qPrintable(store.notice()));
            QVERIFY2(store.notice().contains(QStringLiteral("left unchanged")), qPrintable(store.notice()));
            QVERIFY2(store.notice().contains(QStringLiteral("rd.d.new")), qPrintable(store.notice()));
            QCOMPARE(store.filePath(), QFileInfo(standIn).absoluteFilePath());
            QVERIFY(!store.isReadOnly());
            QSqlQuery query(store.database());
            QVERIFY(query.exec(QStringLiteral("INSERT INTO myRadio (name) VALUES ('kept')")));
        }
        QCOMPARE(fileHash(path), before);
        // The next start goes on with the store beside it, as the user left it.
        Store again;
        QVERIFY(again.open(path));
        QVERIFY2(again.notice().contains(QStringLiteral("goes on with")), qPrintable(again.notice()));
        QSqlQuery query(again.database());
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM myRadio WHERE name = 'kept'")) && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        QCOMPARE(fileHash(path), before);
    }

    // A store another program holds locked at start is refused as in use,
    // not as a foreign file, and is left alone; once the lock is gone it
    // opens.
    void storeInUseIsSaidSo()
    {
        ProgramFolder folder;
        const QString path = folder.storeFile();
        const QByteArray before = fileHash(path);
        StoreLockHolder holder(path);
        QVERIFY2(holder.held(), holder.output().constData());
        {
            Store store;
            QVERIFY(!store.open(path));
            QVERIFY2(store.refusal().contains(QStringLiteral("in use by another program")),
                     qPrintable(store.refusal()));
            QVERIFY(!QFile::exists(Store::standInFileOf(path)));
        }
        QVERIFY(holder.release());
        QCOMPARE(fileHash(path), before);
        Store store;
        QVERIFY2(store.open(path), qPrintable(store.lastError()));
    }

    // A healthy store the player cannot write (read-only folder or file,
    // with or without its write-ahead log) is opened for reading, says
    // why, refuses writes and stays byte for byte.
    void readOnlyStoreIsRead_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<bool>("writeAheadLog");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only folder") << false << false << "folder";
        QTest::newRow("read-only folder, write-ahead log") << false << true << "folder";
        QTest::newRow("read-only file, write-ahead log") << true << true << "rd.d";
    }
    void readOnlyStoreIsRead()
    {
        QFETCH(bool, folderWritable);
        QFETCH(bool, writeAheadLog);
        QFETCH(QString, reason);
        ProgramFolder folder;
        const QString path = folder.storeFile();
        if (writeAheadLog) {
            Store store;
            QVERIFY(store.open(path));  // leaves the store in write-ahead-log mode
        }
        const QByteArray before = fileHash(path);
        const QString expected = QStringLiteral("cannot write to ")
            + (reason == QLatin1String("folder") ? QDir::toNativeSeparators(folder.path()) : reason);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QFile::setPermissions(
            folder.path(),
            folderWritable ? open | QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther : open);
        const bool ok = asPlainUser([&] {
            Store store;
            if (!store.open(path)) {
                qWarning("refused: %s", qPrintable(store.lastError()));
                return false;
            }
            DataSet stations(store);
            try {
                stations.openTable(QStringLiteral("myRadio"));
            } catch (const StoreError &e) {
                qWarning("cannot read: %s", e.what());
                return false;
            }
            bool writeFailed = false;
            try {
                stations.edit();
                stations.setField(QStringLiteral("name"), QStringLiteral("changed"));
                stations.post();
            } catch (const StoreError &) {
                writeFailed = true;
            }
            if (!store.isReadOnly() || store.readOnlyReason() != expected || !store.notice().contains(expected)
                || !writeFailed || stations.recordCount() < 10) {
                qWarning("read-only %d, reason '%s', notice '%s', write failed %d, rows %d", store.isReadOnly(),
                         qPrintable(store.readOnlyReason()), qPrintable(store.notice()), writeFailed,
                         int(stations.recordCount()));
                return false;
            }
            return true;
        });
        QFile::setPermissions(folder.path(), open | QFileDevice::WriteOwner);
        QVERIFY(ok);
        QCOMPARE(fileHash(path), before);
    }

    void refusesNewerOrForeignStoresUnchanged_data()
    {
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("newer version")
            << QStringList{QStringLiteral("PRAGMA user_version = %1").arg(Store::kVersion + 1)}
            << QStringLiteral("newer");
        QTest::newRow("other columns, no version")
            << QStringList{QStringLiteral("ALTER TABLE myRadio RENAME COLUMN name TO title"),
                           QStringLiteral("PRAGMA user_version = 0")}
            << QStringLiteral("not a store");
        QTest::newRow("other columns, current version")
            << QStringList{QStringLiteral("ALTER TABLE recSetup ADD COLUMN fld4 TEXT")}
            << QStringLiteral("not a store");
        QTest::newRow("someone else's database")
            << QStringList{QStringLiteral("DROP TABLE aplng"), QStringLiteral("DROP TABLE apsel"),
                           QStringLiteral("PRAGMA user_version = 0")}
            << QStringLiteral("not a store");
    }
    void refusesNewerOrForeignStoresUnchanged()
    {
        QFETCH(QStringList, change);
        QFETCH(QString, reason);
        ProgramFolder folder;
        const QString path = folder.storeFile();
        raw(path, change);
        const QByteArray before = fileHash(path);
        Store store;
        QVERIFY(!store.open(path));
        QVERIFY(!store.isOpen());
        QVERIFY2(store.refusal().contains(reason), qPrintable(store.refusal()));
        QVERIFY(store.refusal().contains(QStringLiteral("left unchanged")));
        QCOMPARE(fileHash(path), before);
    }

    void splitStatements()
    {
        const QStringList statements = Store::splitStatements(QStringLiteral("-- a comment; with a semicolon\n"
                                                                             "INSERT INTO t VALUES ('a;b', 'it''s');\n"
                                                                             "CREATE TABLE u (x TEXT);"));
        QCOMPARE(statements.size(), 2);
        QCOMPARE(statements.at(0), QStringLiteral("INSERT INTO t VALUES ('a;b', 'it''s')"));
        QCOMPARE(statements.at(1), QStringLiteral("CREATE TABLE u (x TEXT)"));
    }
};

QTEST_MAIN(StoreTest)
#include "store_test.moc"

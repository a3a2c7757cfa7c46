#include "store/store.h"

#include "store/dataset.h"
#include "store/write_queue.h"

#include <QAtomicInt>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vexa-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The scripts compiled into the program that make a new store, in order.
const char *const kScripts[] = {":/store/schema.sql", ":/store/shipped_rows.sql", ":/store/phrases.sql"};

// Runs every statement of a compiled-in script; false with `problem` set
// at the first failure.
bool runScript(QSqlQuery &query, const QString &resource, QString *problem)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("missing script ") + resource;
        return false;
    }
    const QStringList statements = Store::splitStatements(QString::fromUtf8(file.readAll()));
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *problem = query.lastError().text() + QStringLiteral(" in: ") + statement;
            return false;
        }
    }
    return true;
}

// Table name (lower case) -> its column names (lower case) in order.
using Layout = QMap<QString, QStringList>;

QStringList columnsOf(QSqlDatabase &db, const QString &table)
{
    QStringList columns;
    QSqlQuery query(db);
    // Table names come from sqlite_master of our own schema: plain words.
    if (query.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
        while (query.next())
            columns << query.value(1).toString().toLower();
    }
    return columns;
}

// The tables of the current schema.sql, read once from a store made in
// memory.
const Layout &currentLayout()
{
    static const Layout layout = [] {
        Layout result;
        const QString name = nextConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            if (db.open()) {
                QSqlQuery query(db);
                QString problem;
                if (runScript(query, QStringLiteral(":/store/schema.sql"), &problem)
                    && query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                                 "AND name NOT LIKE 'sqlite_%'"))) {
                    QStringList tables;
                    while (query.next())
                        tables << query.value(0).toString();
                    for (const QString &table : tables)
                        result.insert(table.toLower(), columnsOf(db, table));
                }
                query.finish();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }();
    return layout;
}

// True when `db` holds every table of the current schema with exactly its
// columns in order (further tables of the user's are allowed).
bool hasCurrentLayout(QSqlDatabase &db, QString *mismatch)
{
    const Layout &layout = currentLayout();
    if (layout.isEmpty()) {
        *mismatch = QStringLiteral("the program's own schema could not be read");
        return false;
    }
    for (auto it = layout.constBegin(); it != layout.constEnd(); ++it) {
        const QStringList found = columnsOf(db, it.key());
        if (found.isEmpty()) {
            *mismatch = QStringLiteral("table %1 is missing").arg(it.key());
            return false;
        }
        if (found != it.value()) {
            *mismatch = QStringLiteral("table %1 has the columns (%2) instead of (%3)")
                            .arg(it.key(), found.join(QStringLiteral(", ")), it.value().join(QStringLiteral(", ")));
            return false;
        }
    }
    return true;
}

constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

// SQLite's result code of a failed statement (its primary code), -1 when
// the error carries none.
int resultCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : -1;
}

bool isBusy(const QSqlError &error)
{
    const int code = resultCode(error);
    return code == kSqliteBusy || code == kSqliteLocked;
}

bool isDamage(const QSqlError &error)
{
    const int code = resultCode(error);
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

QString inUseRefusal(const QString &file)
{
    return QStringLiteral("%1 is in use by another program, which holds it locked. It was left unchanged; close that "
                          "program and start the player again.")
        .arg(file);
}

QString readOnlyNotice(const QString &file, const QString &reason)
{
    return QStringLiteral("%1 is open for reading only: the player %2. The player plays; recording and the schedule "
                          "need a writable store.")
        .arg(file, reason);
}

}  // namespace

Store::Store() : m_connectionName(nextConnectionName()), m_queue(std::make_unique<WriteQueue>())
{
    m_queue->setConnection([this] { return database(); });
}

Store::~Store()
{
    close();
}

QString Store::fileIn(const QString &programDir)
{
    return programDir + QStringLiteral("/rd.d");
}

QString Store::standInFileOf(const QString &filePath)
{
    return filePath + QStringLiteral(".new");
}

bool Store::open(const QString &filePath)
{
    close();
    m_refusal.clear();
    m_notice.clear();
    const Outcome outcome = openFile(filePath);
    if (outcome == Outcome::Damaged) {
        // Never repaired or replaced: the user may want it back. The fresh
        // store beside it is made once and kept from then on.
        const QString damage = m_refusal;
        const QString standIn = standInFileOf(filePath);
        const QString standInName = QFileInfo(standIn).fileName();
        const bool existed = QFileInfo::exists(standIn);
        QString error;
        if (!existed && !create(standIn, &error)) {
            m_refusal = damage + QStringLiteral(" A fresh store could not be started beside it (%1).").arg(error);
        } else if (openFile(standIn) == Outcome::Opened) {
            m_refusal.clear();
            m_notice = damage
                + (existed
                       ? QStringLiteral(" The player goes on with the store started beside it, %1.").arg(standInName)
                       : QStringLiteral(" A fresh store was started beside it as %1.").arg(standInName));
            if (m_readOnly)
                m_notice += QStringLiteral("\n\n") + readOnlyNotice(standInName, m_readOnlyReason);
        } else {
            m_refusal = damage
                + QStringLiteral(" The store beside it, %1, cannot be used either: %2").arg(standInName, m_refusal);
        }
    } else if (outcome == Outcome::Opened && m_readOnly) {
        m_notice = readOnlyNotice(QFileInfo(filePath).fileName(), m_readOnlyReason);
    }
    if (!m_refusal.isEmpty())
        m_lastError = m_refusal;
    return m_open;
}

Store::Outcome Store::openFile(const QString &filePath)
{
    m_refusal.clear();
    m_readOnly = false;
    m_readOnlyReason.clear();
    const QFileInfo info(filePath);
    if (!info.isFile()) {
        m_lastError = QStringLiteral("no store file at ") + filePath;
        return Outcome::Refused;
    }
    const QString file = info.fileName();
    // Where the player cannot write, the store is only read.
    if (!QFileInfo(info.absolutePath()).isWritable())
        m_readOnlyReason = QStringLiteral("cannot write to %1").arg(QDir::toNativeSeparators(info.absolutePath()));
    else if (!info.isWritable())
        m_readOnlyReason = QStringLiteral("cannot write to %1").arg(file);
    const bool readOnly = !m_readOnlyReason.isEmpty();
    const QString busyOption = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    struct Attempt
    {
        QString name;
        QString options;
    };
    QList<Attempt> attempts;
    if (!readOnly) {
        attempts.append({info.absoluteFilePath(), busyOption});
    } else {
        // A store in write-ahead-log mode needs its -shm file, which a
        // read-only folder cannot hold: then it is read as unchanging.
        const QString uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
        const QString options = QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;") + busyOption;
        attempts.append({uri + QStringLiteral("?mode=ro"), options});
        attempts.append({uri + QStringLiteral("?immutable=1"), options});
    }

    Outcome outcome = Outcome::Refused;
    for (int i = 0; i < attempts.size() && !m_open && m_refusal.isEmpty() && outcome != Outcome::Damaged; ++i) {
        const bool last = i + 1 == attempts.size();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
            db.setDatabaseName(attempts.at(i).name);
            db.setConnectOptions(attempts.at(i).options);
            if (!db.open()) {
                m_lastError = db.lastError().text();
            } else {
                outcome = check(db, file, readOnly, last);
                if (outcome == Outcome::Opened) {
                    m_open = true;
                    m_lastError.clear();
                    m_readOnly = readOnly;
                    m_filePath = info.absoluteFilePath();
                    if (!readOnly)
                        useWriteAheadLog(db);
                }
            }
            if (!m_open)
                db.close();
        }
        if (!m_open)
            QSqlDatabase::removeDatabase(m_connectionName);
    }
    if (!m_open && outcome == Outcome::Opened)
        outcome = Outcome::Refused;
    if (!m_refusal.isEmpty())
        m_lastError = m_refusal;
    return outcome;
}

Store::Outcome Store::check(QSqlDatabase &db, const QString &file, bool readOnly, bool lastAttempt)
{
    // Its version; another program's lock is waited for a moment, as a
    // start may meet a write that is just ending.
    int version = -1;
    QSqlError error;
    QElapsedTimer waited;
    waited.start();
    do {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next()) {
            version = query.value(0).toInt();
            break;
        }
        error = query.lastError();
    } while (isBusy(error) && waited.elapsed() < kOpenWaitMs && (QThread::msleep(50), true));
    if (version < 0) {
        if (isBusy(error)) {
            m_refusal = inUseRefusal(file);
        } else if (isDamage(error)) {
            m_refusal =
                QStringLiteral("%1 is damaged, or is not a database of Vexa Radio Player. It was left unchanged.")
                    .arg(file);
            return Outcome::Damaged;
        } else if (!readOnly || lastAttempt) {
            m_refusal = QStringLiteral("%1 cannot be read (%2). It was left unchanged.").arg(file, error.text());
        }
        return Outcome::Refused;
    }
    // A truncated or partly overwritten file may still have a readable
    // first page: every page is looked at once.
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()) {
            if (isBusy(query.lastError())) {
                m_refusal = inUseRefusal(file);
                return Outcome::Refused;
            }
        } else if (query.value(0).toString() == QLatin1String("ok")) {
            query.finish();
            return versionChecked(db, file, version, readOnly);
        }
        m_refusal = QStringLiteral("%1 is damaged. It was left unchanged.").arg(file);
        return Outcome::Damaged;
    }
}

Store::Outcome Store::versionChecked(QSqlDatabase &db, const QString &file, int version, bool readOnly)
{
    if (version > kVersion) {
        m_refusal = QStringLiteral("%1 was written by a newer Vexa Radio Player (store version %2; this "
                                   "player reads up to version %3). It was left unchanged.")
                        .arg(file)
                        .arg(version)
                        .arg(kVersion);
        return Outcome::Refused;
    }
    if (readOnly) {
        QString problem;
        if (version < kVersion) {
            m_refusal = QStringLiteral("%1 needs an upgrade to store version %2, but the player %3. It was left "
                                       "unchanged.")
                            .arg(file)
                            .arg(kVersion)
                            .arg(m_readOnlyReason);
            return Outcome::Refused;
        }
        if (!hasCurrentLayout(db, &problem)) {
            m_refusal = QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.")
                            .arg(file, problem);
            return Outcome::Refused;
        }
        return Outcome::Opened;
    }
    return upgradeAndCheck(db, version) ? Outcome::Opened : Outcome::Refused;
}

// Every post and delete is its own transaction, and in SQLite's default
// rollback-journal mode each commit waits for several fsync calls (3-70 ms
// each on a busy disk), which a Record or Stop click would wait for on the
// interface thread. In write-ahead-log mode with synchronous=NORMAL a commit
// only appends to rd.d-wal: the file can never be corrupted, a killed player
// keeps every post, and a power cut can lose at most the last few posts.
// Where the log cannot be used (a file system without shared memory), the
// store stays in its default mode and works as before.
void Store::useWriteAheadLog(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && query.next()
        && query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
        query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

bool Store::upgradeAndCheck(QSqlDatabase &db, int version)
{
    const QString file = QFileInfo(db.databaseName()).fileName();
    QString problem;
    if (version == kVersion) {
        if (hasCurrentLayout(db, &problem))
            return true;
        m_refusal =
            QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.").arg(file, problem);
        return false;
    }
    // Every step and the check run in one transaction: a store that cannot
    // be brought up to date is rolled back and stays as it was.
    if (!db.transaction()) {
        m_refusal =
            QStringLiteral("%1 could not be upgraded (%2). It was left unchanged.").arg(file, db.lastError().text());
        return false;
    }
    bool ok = true;
    {
        QSqlQuery query(db);
        // The first stores had no version number: version 0 is version 1.
        for (int step = qMax(version, 1) + 1; ok && step <= kVersion; ++step)
            ok = runScript(query, QStringLiteral(":/store/upgrade_%1.sql").arg(step), &problem);
        if (ok && !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion))) {
            problem = query.lastError().text();
            ok = false;
        }
        query.finish();
    }
    QString mismatch;
    if (ok && !hasCurrentLayout(db, &mismatch)) {
        m_refusal =
            QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.").arg(file, mismatch);
        db.rollback();
        return false;
    }
    if (!ok || !db.commit()) {
        if (ok)
            problem = db.lastError().text();
        db.rollback();
        // An unnumbered file that our upgrade does not fit is someone else's.
        m_refusal = version == 0
            ? QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.").arg(file, problem)
            : QStringLiteral("%1 could not be upgraded from store version %2 (%3). It was left unchanged.")
                  .arg(file)
                  .arg(version)
                  .arg(problem);
        return false;
    }
    return true;
}

bool Store::isLockedOut(const QSqlError &error)
{
    return isBusy(error);
}

bool Store::isPlainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}

QString Store::quotedName(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

bool Store::execute(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    if (!query.prepare(sql)) {
        if (isBusy(query.lastError()))
            return false;
        throw StoreError(query.lastError().text().toStdString());
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        if (isBusy(query.lastError()))
            return false;
        throw StoreError(query.lastError().text().toStdString());
    }
    return true;
}

bool Store::write(const QString &sql, const QVariantList &values, int *rowsAffected)
{
    if (!m_open)
        throw StoreError("store not open");
    if (m_queue->isEmpty()) {
        QSqlQuery query(database());
        if (execute(query, sql, values)) {
            if (rowsAffected)
                *rowsAffected = query.numRowsAffected();
            return true;
        }
    }
    m_queue->append({sql, values, {}, 0});
    return false;
}

bool Store::insert(const QString &table, const QStringList &columns, const QVariantList &values, qint64 *key,
                   qint64 largestKnownKey)
{
    if (!m_open)
        throw StoreError("store not open");
    if (!isPlainName(table))
        throw StoreError("bad table name");
    QStringList names;
    QStringList marks;
    for (const QString &column : columns) {
        names << quotedName(column);
        marks << QStringLiteral("?");
    }
    if (m_queue->isEmpty()) {
        QSqlQuery query(database());
        const QString sql = names.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedName(table))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quotedName(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        if (execute(query, sql, values)) {
            *key = query.lastInsertId().toLongLong();
            return true;
        }
    }
    // Locked out: the row gets its id now and is written later.
    *key = nextQueuedKey(table, largestKnownKey);
    names.prepend(QStringLiteral("rowid"));
    marks.prepend(QStringLiteral("?"));
    QVariantList keyed = values;
    keyed.prepend(*key);
    m_queue->append({QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(quotedName(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                     keyed, table, *key});
    return false;
}

qint64 Store::nextQueuedKey(const QString &table, qint64 largestKnownKey)
{
    // Past every id the table has given, the caller holds, and queued
    // inserts have taken (AUTOINCREMENT never gives an id twice).
    qint64 largest = qMax(largestKnownKey, m_queue->largestQueuedKey(table));
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT max(rowid) FROM %1").arg(quotedName(table))))
        throw StoreError(query.lastError().text().toStdString());
    if (query.next())
        largest = qMax(largest, query.value(0).toLongLong());
    query.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"));
    query.addBindValue(table);
    if (query.exec() && query.next())  // no such table: no AUTOINCREMENT here
        largest = qMax(largest, query.value(0).toLongLong());
    return largest + 1;
}

void Store::close()
{
    // Queued writes get a last chance before the connection goes.
    if (m_open && !m_queue->isEmpty()) {
        QElapsedTimer waited;
        waited.start();
        while (!m_queue->flush() && waited.elapsed() < kCloseWaitMs)
            QThread::msleep(50);
        if (!m_queue->isEmpty())
            qWarning("store: %d writes could not be made: the store stayed locked", m_queue->size());
    }
    m_queue->clear();
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_open = false;
}

bool Store::isOpen() const
{
    return m_open;
}

QSqlDatabase Store::database() const
{
    if (!m_open)
        return QSqlDatabase();
    return QSqlDatabase::database(m_connectionName, false);
}

QStringList Store::splitStatements(const QString &script)
{
    QStringList statements;
    QString current;
    bool inQuote = false;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!inQuote && c == QLatin1Char('-') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('-')) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;  // '' inside a text toggles twice: still inside
        if (!inQuote && c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

bool Store::create(const QString &filePath, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (QFile::exists(filePath) && !QFile::remove(filePath))
        return fail(QStringLiteral("cannot replace ") + filePath);

    const QString name = nextConnectionName();
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(filePath);
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            db.transaction();
            QSqlQuery query(db);
            for (const char *script : kScripts) {
                if (!runScript(query, QString::fromLatin1(script), &problem))
                    break;
            }
            if (problem.isEmpty() && !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion)))
                problem = query.lastError().text();
            query.finish();
            if (problem.isEmpty())
                db.commit();
            else
                db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!problem.isEmpty()) {
        QFile::remove(filePath);
        return fail(problem);
    }
    return true;
}

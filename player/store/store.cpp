#include "store/store.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>

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

} // namespace

Store::Store() : m_connectionName(nextConnectionName()) {}

Store::~Store()
{
    close();
}

QString Store::fileIn(const QString &programDir)
{
    return programDir + QStringLiteral("/rd.d");
}

bool Store::open(const QString &filePath)
{
    close();
    m_refusal.clear();
    const QFileInfo info(filePath);
    if (!info.isFile()) {
        m_lastError = QStringLiteral("no store file at ") + filePath;
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(info.absoluteFilePath());
        if (!db.open()) {
            m_lastError = db.lastError().text();
        } else {
            int version = -1;
            {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next())
                    version = query.value(0).toInt();
            }
            if (version < 0) {
                m_refusal = QStringLiteral("%1 is not a database of Vexa Radio Player. It was left unchanged.")
                                .arg(info.fileName());
            } else if (version > kVersion) {
                m_refusal = QStringLiteral("%1 was written by a newer Vexa Radio Player (store version %2; this "
                                           "player reads up to version %3). It was left unchanged.")
                                .arg(info.fileName())
                                .arg(version)
                                .arg(kVersion);
            } else if (upgradeAndCheck(db, version)) {
                m_open = true;
                m_lastError.clear();
                useWriteAheadLog(db);
            }
            if (!m_refusal.isEmpty())
                m_lastError = m_refusal;
        }
        if (!m_open)
            db.close();
    }
    if (!m_open)
        QSqlDatabase::removeDatabase(m_connectionName);
    return m_open;
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
        m_refusal = QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.")
                        .arg(file, problem);
        return false;
    }
    // Every step and the check run in one transaction: a store that cannot
    // be brought up to date is rolled back and stays as it was.
    if (!db.transaction()) {
        m_refusal = QStringLiteral("%1 could not be upgraded (%2). It was left unchanged.")
                        .arg(file, db.lastError().text());
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
        m_refusal = QStringLiteral("%1 is not a store of Vexa Radio Player (%2). It was left unchanged.")
                        .arg(file, mismatch);
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

void Store::close()
{
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
            inQuote = !inQuote;   // '' inside a text toggles twice: still inside
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

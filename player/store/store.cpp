#include "store/store.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vexa-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The scripts compiled into the program, run in this order.
const char *const kScripts[] = {":/store/schema.sql", ":/store/shipped_rows.sql", ":/store/phrases.sql"};

const char *const kTables[] = {"recSchedul", "myRadio", "aplng", "apsel", "recSetup"};

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
            // The file must be a database that holds every table we use.
            QSqlQuery query(db);
            int found = 0;
            for (const char *table : kTables) {
                query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
                query.addBindValue(QString::fromLatin1(table));
                if (query.exec() && query.next() && query.value(0).toInt() == 1)
                    ++found;
            }
            if (found == int(std::size(kTables))) {
                m_open = true;
                m_lastError.clear();
            } else {
                m_lastError = QStringLiteral("not a player store: ") + filePath;
            }
            query.finish();
        }
        if (!m_open)
            db.close();
    }
    if (!m_open)
        QSqlDatabase::removeDatabase(m_connectionName);
    return m_open;
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
                QFile file(QString::fromLatin1(script));
                if (!file.open(QIODevice::ReadOnly)) {
                    problem = QStringLiteral("missing script ") + file.fileName();
                    break;
                }
                const QStringList statements = splitStatements(QString::fromUtf8(file.readAll()));
                for (const QString &statement : statements) {
                    if (!query.exec(statement)) {
                        problem = query.lastError().text() + QStringLiteral(" in: ") + statement;
                        break;
                    }
                }
                if (!problem.isEmpty())
                    break;
            }
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

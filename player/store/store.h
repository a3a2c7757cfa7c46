#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The store rd.d: one SQLite connection, opened once at start-up and kept
// for the whole run. A missing file is an error, not a new empty store.
//
// The store carries its version in PRAGMA user_version (0 in the first
// stores, which had none: version 1). schema.sql and the rows files make a
// store of the current version; upgrade_N.sql takes a store from version
// N-1 to N. Opening an older store upgrades it in one transaction (added
// tables, columns and shipped rows; the user's rows are never touched). A
// store of a newer version, or one whose tables are not the player's, is
// refused and left unchanged.
class Store
{
public:
    // The version of the stores this program writes and reads.
    static constexpr int kVersion = 3;

    Store();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // The store file of a program folder: <programDir>/rd.d.
    static QString fileIn(const QString &programDir);

    // Opens an existing store file, upgrading an older one first.
    bool open(const QString &filePath);
    void close();
    bool isOpen() const;
    QString lastError() const { return m_lastError; }
    // Why an existing file was refused (newer version, not a store of this
    // player, failed upgrade), in words for the user; empty otherwise.
    QString refusal() const { return m_refusal; }

    // The connection the data sets run on; invalid while closed.
    QSqlDatabase database() const;

    // Writes a fresh store file from the compiled-in schema and shipped
    // rows; an existing file at `filePath` is replaced.
    static bool create(const QString &filePath, QString *error = nullptr);
    // The SQL statements of one script, split at the semicolons that end
    // statements (quoted text and comments are respected).
    static QStringList splitStatements(const QString &script);

private:
    // Upgrades from `version` (its user_version) and checks the tables;
    // false with m_refusal set.
    bool upgradeAndCheck(QSqlDatabase &db, int version);
    static void useWriteAheadLog(QSqlDatabase &db);

    QString m_connectionName;
    QString m_lastError;
    QString m_refusal;
    bool m_open = false;
};

#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

class QSqlError;
class QSqlQuery;
class WriteQueue;

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
//
// A store the player cannot write (its folder or the file is read-only) is
// opened for reading: the player plays, and writes fail. A store another
// program holds locked is refused as in use; a damaged file (truncated,
// overwritten) is left as it is and a fresh store is started beside it
// (rd.d.new, kept from then on), so that the player can be used. notice()
// says what happened in either case.
class Store
{
public:
    // The version of the stores this program writes and reads.
    static constexpr int kVersion = 3;
    // How long a statement waits for a lock another program holds, and how
    // long opening waits for one at start-up.
    static constexpr int kBusyTimeoutMs = 20;
    static constexpr int kOpenWaitMs = 2000;
    // How long closing waits for queued writes to get through.
    static constexpr int kCloseWaitMs = 2000;

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
    // player, failed upgrade, in use by another program), in words for the
    // user; empty otherwise.
    QString refusal() const { return m_refusal; }
    // What the user should know about a store that did open: read-only, or
    // a damaged one set aside for a fresh one; empty otherwise.
    QString notice() const { return m_notice; }
    // Open for reading only; readOnlyReason() says why ("cannot write to
    // FOLDER").
    bool isReadOnly() const { return m_readOnly; }
    QString readOnlyReason() const { return m_readOnlyReason; }
    // The file the connection is on: the one opened, or its fresh stand-in.
    QString filePath() const { return m_filePath; }
    // Where a fresh store is started when `filePath` is damaged.
    static QString standInFileOf(const QString &filePath);

    // The connection the data sets run on; invalid while closed.
    QSqlDatabase database() const;

    // One write statement with its bound values. It waits at most
    // kBusyTimeoutMs for another program's lock; a write that is locked
    // out, and every write after it while any is queued, goes to
    // writeQueue() and is made later (result false). Any other failure
    // throws StoreError. With `rowsAffected`, the rows the statement
    // changed (only when written now).
    bool write(const QString &sql, const QVariantList &values, int *rowsAffected = nullptr);
    // Inserts one row into `table` (a plain name) with these columns and
    // values, by the same rule as write(). The new row's id is in `key`
    // either way: the store's, or, for an insert that is queued, the one
    // it takes at once (past every id the table has given or a queued
    // insert has taken, and past `largestKnownKey`). Result true when the
    // row was written now.
    bool insert(const QString &table, const QStringList &columns, const QVariantList &values, qint64 *key,
                qint64 largestKnownKey = 0);
    // Writes that wait for another program's lock to go.
    WriteQueue &writeQueue() { return *m_queue; }
    // A statement failed because another connection holds the store.
    static bool isLockedOut(const QSqlError &error);
    // Table and column names reach SQL text only as a checked plain name
    // (letters, digits, underscore), or quoted.
    static bool isPlainName(const QString &name);
    static QString quotedName(const QString &name);

    // Writes a fresh store file from the compiled-in schema and shipped
    // rows; an existing file at `filePath` is replaced.
    static bool create(const QString &filePath, QString *error = nullptr);
    // The SQL statements of one script, split at the semicolons that end
    // statements (quoted text and comments are respected).
    static QStringList splitStatements(const QString &script);

private:
    enum class Outcome { Opened, Refused, Damaged };
    // One attempt on `filePath`; m_refusal set when it is refused.
    Outcome openFile(const QString &filePath);
    // The checks of an open connection: readable, undamaged, a version and
    // tables this player uses.
    Outcome check(QSqlDatabase &db, const QString &file, bool readOnly, bool lastAttempt);
    Outcome versionChecked(QSqlDatabase &db, const QString &file, int version, bool readOnly);
    // Upgrades from `version` (its user_version) and checks the tables;
    // false with m_refusal set.
    bool upgradeAndCheck(QSqlDatabase &db, int version);
    static void useWriteAheadLog(QSqlDatabase &db);
    // Runs a prepared write now; false when another program's lock kept it
    // out. Any other failure throws StoreError.
    static bool execute(QSqlQuery &query, const QString &sql, const QVariantList &values);
    // The row id a queued insert into `table` takes.
    qint64 nextQueuedKey(const QString &table, qint64 largestKnownKey);

    QString m_connectionName;
    QString m_lastError;
    QString m_refusal;
    QString m_notice;
    QString m_readOnlyReason;
    QString m_filePath;
    bool m_readOnly = false;
    bool m_open = false;
    std::unique_ptr<WriteQueue> m_queue;
};

#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The store rd.d: one SQLite connection, opened once at start-up and kept
// for the whole run. The program never creates or alters tables; a missing
// file is an error, not a new empty store.
class Store
{
public:
    Store();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // The store file of a program folder: <programDir>/rd.d.
    static QString fileIn(const QString &programDir);

    // Opens an existing store file that holds the player's five tables.
    bool open(const QString &filePath);
    void close();
    bool isOpen() const;
    QString lastError() const { return m_lastError; }

    // The connection the data sets run on; invalid while closed.
    QSqlDatabase database() const;

    // Writes a fresh store file from the compiled-in schema and shipped
    // rows; an existing file at `filePath` is replaced.
    static bool create(const QString &filePath, QString *error = nullptr);
    // The SQL statements of one script, split at the semicolons that end
    // statements (quoted text and comments are respected).
    static QStringList splitStatements(const QString &script);

private:
    QString m_connectionName;
    QString m_lastError;
    bool m_open = false;
};

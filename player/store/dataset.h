#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <optional>
#include <stdexcept>

class Store;

// A failed store operation: a closed data set, a missing column, a failed
// statement. Callers run a guarded step in one try block; the step ends at
// the first failure and what was done before stays done.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A data set over the store's one connection: either a whole table or a
// query of the form "select * from <table>", held in memory in natural
// (rowid) order with a current row. Rows of the named table can be edited,
// inserted and deleted; each post or delete is written at once (SQLite
// commits every statement by itself), so a killed player keeps it. While
// another program holds the store locked, posts and deletes are kept in
// the store's write queue and made when the lock goes; the data set shows
// them at once (a new row gets its id at once, too).
class DataSet
{
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit DataSet(Store &store);

    void openTable(const QString &table);
    // Opens a query. Statements naming one table ("select * from apsel")
    // give an editable data set; others are read-only.
    void openQuery(const QString &sql);
    void close();
    // Reads the rows again, keeping the position as far as it exists.
    void refresh();
    // Reads one row of a table again by its key: added, changed or deleted
    // since the load, it is then as a full load would have it, without
    // reading every other row. The position goes to the first row, as
    // after a load.
    void refreshRow(qint64 key);
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    QString tableName() const { return m_table; }
    // Changes with every load, close, post and delete: a reader that keeps
    // values of its own knows from it when to read them again.
    quint64 generation() const { return m_generation; }

    // Navigation. A move stops at the last (or first) row; eof()/bof() tell
    // that a move ran past the end.
    void first();
    void next();
    void prior();
    void moveBy(int rows);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    int recordCount() const;
    int recNo() const { return m_row; }  // 0-based; -1 when empty

    QStringList columnNames() const;
    // Field of the current row. Null when the data set is empty.
    QVariant field(const QString &name) const;
    QVariant fieldAt(int position) const;
    // Stored value of any row, without moving the current row (the list
    // draws rows this way). Throws StoreError outside the data set.
    QVariant valueAt(int row, int position) const;
    // Field as text: null reads as empty text.
    QString text(const QString &name) const;

    void edit();
    void insert();
    void setField(const QString &name, const QVariant &value);
    // Writes the pending row. An edit of a row that is no longer in the
    // table (deleted through another data set) throws StoreError.
    void post();
    void cancel();
    void remove();
    // Key (rowid) of the current row; for AUTOINCREMENT tables this is idno.
    qint64 rowKey() const;

private:
    void requireOpen() const;
    int columnIndex(const QString &name) const;
    void load();
    // The row of a table with this rowid in column order; none when it is
    // gone. A failing statement throws.
    std::optional<QVector<QVariant>> readRow(qint64 key) const;
    void setPosition(int row);
    // The column that is the rowid (INTEGER PRIMARY KEY; -1 when none).
    int rowIdColumn() const;

    Store &m_store;
    QString m_sql;
    QString m_table;
    State m_state = State::Inactive;
    QStringList m_columns;
    QHash<QString, int> m_columnByName;  // lower-case name -> index
    QVector<qint64> m_keys;
    QVector<QVector<QVariant>> m_rows;
    QHash<int, QVariant> m_pending;  // column index -> new value
    int m_row = -1;
    bool m_eof = true;
    bool m_bof = true;
    quint64 m_generation = 0;
};

#include "store/dataset.h"

#include <algorithm>
#include <optional>

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "store/store.h"
#include "store/write_queue.h"

namespace {

QString tableOfSelectAll(const QString &sql)
{
    static const QRegularExpression selectAll(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = selectAll.match(sql);
    return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

DataSet::DataSet(Store &store) : m_store(store) {}

void DataSet::openTable(const QString &table)
{
    if (!Store::isPlainName(table))
        throw StoreError("bad table name");
    close();
    m_table = table;
    m_sql.clear();
    load();
}

void DataSet::openQuery(const QString &sql)
{
    close();
    m_table = tableOfSelectAll(sql);
    m_sql = m_table.isEmpty() ? sql : QString();
    load();
}

void DataSet::close()
{
    ++m_generation;
    m_state = State::Inactive;
    m_columns.clear();
    m_columnByName.clear();
    m_keys.clear();
    m_rows.clear();
    m_pending.clear();
    m_row = -1;
    m_eof = m_bof = true;
}

void DataSet::load()
{
    if (!m_store.isOpen())
        throw StoreError("store not open");
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    const bool keyed = !m_table.isEmpty();
    const QString sql =
        keyed ? QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Store::quotedName(m_table)) : m_sql;
    if (!query.exec(sql))
        throw StoreError(query.lastError().text().toStdString());

    const QSqlRecord record = query.record();
    const int first = keyed ? 1 : 0;
    QStringList columns;
    QHash<QString, int> byName;
    for (int i = first; i < record.count(); ++i) {
        // SELECT rowid, * repeats an INTEGER PRIMARY KEY column under its
        // own name; keep the table's columns only.
        columns << record.fieldName(i);
        byName.insert(record.fieldName(i).toLower(), i - first);
    }
    QVector<qint64> keys;
    QVector<QVector<QVariant>> rows;
    while (query.next()) {
        QVector<QVariant> row;
        row.reserve(columns.size());
        for (int i = first; i < record.count(); ++i)
            row << query.value(i);
        keys << (keyed ? query.value(0).toLongLong() : qint64(rows.size()));
        rows << row;
    }
    if (query.lastError().isValid())
        throw StoreError(query.lastError().text().toStdString());

    m_columns = columns;
    m_columnByName = byName;
    m_keys = keys;
    m_rows = rows;
    m_pending.clear();
    m_state = State::Browse;
    ++m_generation;
    setPosition(m_rows.isEmpty() ? -1 : 0);
}

void DataSet::refresh()
{
    requireOpen();
    // Rows read now would lack the writes still queued: the ones held stay
    // as they are, and they already show those writes.
    if (!m_store.writeQueue().isEmpty())
        return;
    const int keep = m_row;
    load();
    if (!m_rows.isEmpty())
        setPosition(qBound(0, keep, int(m_rows.size()) - 1));
}

std::optional<QVector<QVariant>> DataSet::readRow(qint64 key) const
{
    QSqlQuery query(m_store.database());
    query.prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(Store::quotedName(m_table)));
    query.addBindValue(key);
    if (!query.exec())
        throw StoreError(query.lastError().text().toStdString());
    if (!query.next()) {
        if (query.lastError().isValid())
            throw StoreError(query.lastError().text().toStdString());
        return std::nullopt;
    }
    QVector<QVariant> row;
    row.reserve(m_columns.size());
    for (int i = 0; i < m_columns.size(); ++i)
        row << query.value(m_columns.at(i));
    return row;
}

void DataSet::refreshRow(qint64 key)
{
    requireOpen();
    if (m_table.isEmpty())
        throw StoreError("read-only data set");
    if (!m_store.writeQueue().isEmpty())
        return;
    const std::optional<QVector<QVariant>> row = readRow(key);
    // Rows are kept in rowid order, as the load reads them.
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), key);
    const int index = int(at - m_keys.begin());
    const bool known = at != m_keys.end() && *at == key;
    if (row) {
        if (known) {
            m_rows[index] = *row;
        } else {
            m_keys.insert(index, key);
            m_rows.insert(index, *row);
        }
    } else if (known) {
        m_keys.remove(index);
        m_rows.remove(index);
    }
    m_pending.clear();
    m_state = State::Browse;
    ++m_generation;
    setPosition(m_rows.isEmpty() ? -1 : 0);
}

void DataSet::setPosition(int row)
{
    m_row = row;
    m_eof = m_bof = (row < 0);
}

void DataSet::requireOpen() const
{
    if (m_state == State::Inactive)
        throw StoreError("data set not open");
}

void DataSet::first()
{
    requireOpen();
    if (m_state != State::Browse)
        post();
    setPosition(m_rows.isEmpty() ? -1 : 0);
}

void DataSet::next()
{
    requireOpen();
    if (m_state != State::Browse)
        post();
    if (m_rows.isEmpty() || m_row + 1 >= m_rows.size()) {
        m_eof = true;
        return;
    }
    setPosition(m_row + 1);
}

void DataSet::prior()
{
    requireOpen();
    if (m_state != State::Browse)
        post();
    if (m_row <= 0) {
        m_bof = true;
        return;
    }
    setPosition(m_row - 1);
}

void DataSet::moveBy(int rows)
{
    requireOpen();
    if (m_state != State::Browse)
        post();
    if (m_rows.isEmpty())
        return;
    const int target = m_row + rows;
    if (target >= m_rows.size()) {
        setPosition(int(m_rows.size()) - 1);
        m_eof = true;
    } else if (target < 0) {
        setPosition(0);
        m_bof = true;
    } else {
        setPosition(target);
    }
}

int DataSet::recordCount() const
{
    requireOpen();
    return int(m_rows.size());
}

QStringList DataSet::columnNames() const
{
    requireOpen();
    return m_columns;
}

int DataSet::columnIndex(const QString &name) const
{
    requireOpen();
    const auto it = m_columnByName.constFind(name.toLower());
    if (it == m_columnByName.constEnd())
        throw StoreError("no column " + name.toStdString());
    return *it;
}

QVariant DataSet::field(const QString &name) const
{
    return fieldAt(columnIndex(name));
}

QVariant DataSet::fieldAt(int position) const
{
    requireOpen();
    if (position < 0 || position >= m_columns.size())
        throw StoreError("no column at position " + std::to_string(position));
    if (m_pending.contains(position))
        return m_pending.value(position);
    if (m_state == State::Insert || m_row < 0)
        return QVariant();
    return m_rows.at(m_row).at(position);
}

QVariant DataSet::valueAt(int row, int position) const
{
    requireOpen();
    if (row < 0 || row >= m_rows.size() || position < 0 || position >= m_columns.size())
        throw StoreError("no such row or column");
    return m_rows.at(row).at(position);
}

QString DataSet::text(const QString &name) const
{
    const QVariant value = field(name);
    return value.isNull() ? QString() : value.toString();
}

void DataSet::edit()
{
    requireOpen();
    if (m_table.isEmpty())
        throw StoreError("read-only data set");
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_row < 0)
        throw StoreError("no row to edit");
    m_pending.clear();
    m_state = State::Edit;
}

void DataSet::insert()
{
    requireOpen();
    if (m_table.isEmpty())
        throw StoreError("read-only data set");
    if (m_state != State::Browse)
        post();
    m_pending.clear();
    m_state = State::Insert;
}

void DataSet::setField(const QString &name, const QVariant &value)
{
    const int index = columnIndex(name);
    if (m_state != State::Edit && m_state != State::Insert)
        throw StoreError("data set not in edit state");
    m_pending.insert(index, value);
}

void DataSet::post()
{
    requireOpen();
    if (m_state == State::Browse)
        return;
    QStringList names;
    QVariantList values;
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
        names << m_columns.at(it.key());
        values << it.value();
    }
    if (m_state == State::Edit) {
        if (names.isEmpty()) {
            m_state = State::Browse;
            return;
        }
        QStringList sets;
        for (const QString &n : names)
            sets << Store::quotedName(n) + QStringLiteral(" = ?");
        values << m_keys.at(m_row);
        int affected = 1;
        // The row may have been deleted since it was read (another data set
        // on the same table): an edit that changed nothing did not happen.
        if (m_store.write(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                              .arg(Store::quotedName(m_table), sets.join(QStringLiteral(", "))),
                          values, &affected)
            && affected < 1)
            throw StoreError("edited row no longer exists");
        for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it)
            m_rows[m_row][it.key()] = it.value();
    } else {
        qint64 key = 0;
        const qint64 largest = m_keys.isEmpty() ? 0 : *std::max_element(m_keys.constBegin(), m_keys.constEnd());
        if (m_store.insert(m_table, names, values, &key, largest)) {
            // Read the new row back so that store-assigned values (idno) are
            // readable at once.
            const std::optional<QVector<QVariant>> row = readRow(key);
            if (!row)
                throw StoreError("inserted row not found");
            m_keys << key;
            m_rows << *row;
        } else {
            // Queued: the row shows what was set, and the id it takes.
            QVector<QVariant> row(m_columns.size());
            for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it)
                row[it.key()] = it.value();
            const int idColumn = rowIdColumn();
            if (idColumn >= 0)
                row[idColumn] = key;
            m_keys << key;
            m_rows << row;
        }
        setPosition(int(m_rows.size()) - 1);
    }
    m_pending.clear();
    m_state = State::Browse;
    ++m_generation;
}

void DataSet::cancel()
{
    requireOpen();
    m_pending.clear();
    m_state = State::Browse;
}

void DataSet::remove()
{
    requireOpen();
    if (m_table.isEmpty())
        throw StoreError("read-only data set");
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_row < 0)
        throw StoreError("no row to delete");
    m_store.write(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Store::quotedName(m_table)), {m_keys.at(m_row)});
    m_keys.removeAt(m_row);
    m_rows.removeAt(m_row);
    ++m_generation;
    m_pending.clear();
    m_state = State::Browse;
    setPosition(m_rows.isEmpty() ? -1 : qMin(m_row, int(m_rows.size()) - 1));
}

int DataSet::rowIdColumn() const
{
    // The one INTEGER PRIMARY KEY column is the rowid under another name.
    QSqlQuery query(m_store.database());
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(Store::quotedName(m_table))))
        return -1;
    QString name;
    int keys = 0;
    while (query.next()) {
        if (query.value(5).toInt() > 0) {
            ++keys;
            if (query.value(2).toString().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
                name = query.value(1).toString();
        }
    }
    return keys == 1 && !name.isEmpty() ? m_columnByName.value(name.toLower(), -1) : -1;
}

qint64 DataSet::rowKey() const
{
    requireOpen();
    if (m_row < 0)
        throw StoreError("no current row");
    return m_keys.at(m_row);
}

#include "store/schedule_table.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

#include "store/dataset.h"
#include "store/store.h"

namespace {

const QString kTable = QStringLiteral("recSchedul");

// The stored columns after the key, each with the field that holds it.
struct Column
{
    const char *name;
    QString ScheduleEntry::*field;
};

const Column kColumns[] = {
    {"onf", &ScheduleEntry::enabled},           {"mode1", &ScheduleEntry::modeText},
    {"mode2", &ScheduleEntry::modeCode},        {"name1", &ScheduleEntry::name},
    {"radiourl", &ScheduleEntry::address},      {"freq1", &ScheduleEntry::frequencyText},
    {"freq2", &ScheduleEntry::frequencyCode},   {"date1", &ScheduleEntry::firstDay},
    {"date2", &ScheduleEntry::lastDay},         {"date3", &ScheduleEntry::weekdayCode},
    {"time1", &ScheduleEntry::startTime},       {"time2", &ScheduleEntry::endTime},
    {"status1", &ScheduleEntry::runState},      {"filename1", &ScheduleEntry::fileName},
    {"filename2", &ScheduleEntry::awaitedFile},
};

QStringList columnNames()
{
    QStringList names;
    for (const Column &c : kColumns)
        names << QLatin1String(c.name);
    return names;
}

// A stored value as text: NULL stays a null QString, so that it is written
// back as NULL; everything else reads as its text.
QString storedText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// The bound value of a field: a null QString binds as NULL, an empty one
// as empty text.
QVariant boundText(const QString &text)
{
    return text.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

void run(QSqlQuery &query)
{
    if (!query.exec())
        throw StoreError(query.lastError().text().toStdString());
}

}  // namespace

ScheduleEntry::Mode ScheduleEntry::mode() const
{
    if (modeCode == QLatin1String("0"))
        return Record;
    if (modeCode == QLatin1String("1"))
        return Play;
    return NoMode;
}

ScheduleEntry::Frequency ScheduleEntry::frequency() const
{
    if (frequencyCode == QLatin1String("0"))
        return Once;
    if (frequencyCode == QLatin1String("1"))
        return EveryDay;
    if (frequencyCode == QLatin1String("2"))
        return EveryWeek;
    return NoFrequency;
}

bool ScheduleEntry::operator==(const ScheduleEntry &other) const
{
    if (id != other.id)
        return false;
    for (const Column &c : kColumns) {
        const QString &a = this->*c.field;
        const QString &b = other.*c.field;
        if (a != b || a.isNull() != b.isNull())
            return false;
    }
    return true;
}

ScheduleTable::ScheduleTable(Store &store, QObject *parent) : QObject(parent), m_store(store) {}

void ScheduleTable::requireOpen() const
{
    if (!m_open)
        throw StoreError("schedule table not open");
}

void ScheduleTable::touched()
{
    ++m_generation;
    Q_EMIT changed();
}

QString ScheduleTable::readOnlyReason() const
{
    return m_store.isReadOnly() ? m_store.readOnlyReason() : QString();
}

void ScheduleTable::load()
{
    m_open = false;
    m_entries.clear();
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT idno, %1 FROM %2 ORDER BY rowid")
                           .arg(columnNames().join(QStringLiteral(", ")), kTable))) {
        touched();
        throw StoreError(query.lastError().text().toStdString());
    }
    try {
        run(query);
    } catch (const StoreError &) {
        touched();
        throw;
    }
    while (query.next()) {
        ScheduleEntry entry;
        entry.id = query.value(0).toLongLong();
        int i = 1;
        for (const Column &c : kColumns)
            entry.*c.field = storedText(query.value(i++));
        m_entries.push_back(entry);
    }
    m_open = true;
    touched();
}

void ScheduleTable::close()
{
    m_open = false;
    m_entries.clear();
    touched();
}

int ScheduleTable::indexOf(qint64 id) const
{
    // Entries are in ascending id order (the store's row order).
    const auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), id,
                                     [](const ScheduleEntry &e, qint64 key) { return e.id < key; });
    return it != m_entries.cend() && it->id == id ? int(it - m_entries.cbegin()) : -1;
}

qint64 ScheduleTable::insert(const ScheduleEntry &entry)
{
    requireOpen();
    QVariantList values;
    for (const Column &c : kColumns)
        values << boundText(entry.*c.field);
    ScheduleEntry stored = entry;
    // A new id is above every id the table has given (AUTOINCREMENT), also
    // when the insert is queued, so the entry goes last, as the store
    // orders it.
    m_store.insert(kTable, columnNames(), values, &stored.id, m_entries.isEmpty() ? 0 : m_entries.constLast().id);
    m_entries.push_back(stored);
    touched();
    return stored.id;
}

void ScheduleTable::update(const ScheduleEntry &entry)
{
    requireOpen();
    QStringList sets;
    QVariantList values;
    for (const Column &c : kColumns) {
        sets << QLatin1String(c.name) + QStringLiteral(" = ?");
        values << boundText(entry.*c.field);
    }
    values << entry.id;
    int affected = 1;
    const bool written =
        m_store.write(QStringLiteral("UPDATE %1 SET %2 WHERE idno = ?").arg(kTable, sets.join(QStringLiteral(", "))),
                      values, &affected);
    const int index = indexOf(entry.id);
    if (written && affected < 1) {
        // Deleted behind the table's back: it is gone here as well.
        if (index >= 0) {
            m_entries.removeAt(index);
            touched();
        }
        throw StoreError("schedule entry no longer exists");
    }
    if (index >= 0)
        m_entries[index] = entry;
    touched();
}

void ScheduleTable::remove(qint64 id)
{
    requireOpen();
    m_store.write(QStringLiteral("DELETE FROM %1 WHERE idno = ?").arg(kTable), {id});
    const int index = indexOf(id);
    if (index >= 0)
        m_entries.removeAt(index);
    touched();
}

void ScheduleTable::replaceWord(const QString &from, const QString &to)
{
    requireOpen();
    for (int i = 0; i < m_entries.size(); ++i) {
        ScheduleEntry entry = m_entries.at(i);
        bool found = false;
        for (QString *text : {&entry.frequencyText, &entry.modeText, &entry.firstDay, &entry.lastDay}) {
            if (*text == from) {
                *text = to;
                found = true;
            }
        }
        if (found)
            update(entry);
    }
}

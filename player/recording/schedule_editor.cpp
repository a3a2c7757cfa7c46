#include "recording/schedule_editor.h"

#include <QFileInfo>

#include "core/main_state.h"
#include "core/playback.h"
#include "directory/directory_integration.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/message_boxes.h"
#include "platform/regional_format.h"
#include "recording/schedule_runner.h"
#include "store/dataset.h"
#include "store/store.h"

namespace {

QDateTime wholeSeconds(const QDate &day, const QTime &time)
{
    return QDateTime(day, QTime(time.hour(), time.minute(), time.second()));
}

}  // namespace

ScheduleEditor::ScheduleEditor(Store &store, ScheduleTable &schedule, MainState &state, Playback &playback,
                               const PlatformParts &platform, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_store(store),
      m_schedule(schedule),
      m_state(state),
      m_playback(playback),
      m_platform(platform),
      m_programDir(programDir)
{
    resetItems();
    // Whoever changed the table (the runner, live recording, this editor),
    // the list follows; the current entry stays the same entry.
    connect(&m_schedule, &ScheduleTable::changed, this, &ScheduleEditor::listChanged);
}

void ScheduleEditor::resetItems()
{
    modeItems = {QStringLiteral("Record"), QStringLiteral("Play")};
    frequencyItems = {QStringLiteral("Once"), QStringLiteral("Every Day"), QStringLiteral("Every Week")};
    weekdayItems = {QStringLiteral("Sun"), QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                    QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat")};
}

bool ScheduleEditor::create(const QString &storeFile)
{
    bool ok = m_store.open(storeFile);
    if (ok) {
        try {
            m_schedule.load();
        } catch (const StoreError &) {
            ok = false;
        }
    }
    // A store that was refused says why (newer, not ours, not upgradable).
    if (!ok && m_platform.messages)
        m_platform.messages->error(QStringLiteral("Error"),
                                   m_store.refusal().isEmpty()
                                       ? QStringLiteral("Database connect error!")
                                       : QStringLiteral("Database connect error!\n\n") + m_store.refusal());
    // Open, but read-only or in place of a damaged one: the user is told.
    if (ok && !m_store.notice().isEmpty() && m_platform.messages)
        m_platform.messages->information(QStringLiteral("Vexa Radio Player"), m_store.notice());

    const QDateTime now = m_platform.clock->now();
    form.firstDay = form.lastDay = now.date();
    form.startTime = form.endTime = QTime(now.time().hour(), now.time().minute(), now.time().second());
    Q_EMIT formChanged();

    // Read once more outside the guard: without a store this fails too,
    // and the store's own message is reported.
    if (!ok) {
        try {
            m_schedule.load();
        } catch (const StoreError &e) {
            if (m_platform.messages)
                m_platform.messages->error(QStringLiteral("Vexa Radio Player"), QString::fromStdString(e.what()));
        }
    }
    setCurrentRow(listEmpty() ? -1 : 0);
    return ok;
}

void ScheduleEditor::showSteps()
{
    Q_EMIT pageRequested(DirectoryAddress::scheduleIndex(m_state.directoryBaseUrl, m_state.languageCode));
    try {
        m_schedule.load();
    } catch (const StoreError &) {
    }
    // After a showing, Modify without a pick acts on the first entry, and
    // the list shows it so.
    setCurrentRow(listEmpty() ? -1 : 0);
    if (form.mode < 0)
        form.mode = 0;
    if (form.frequency < 0)
        form.frequency = 0;
    if (form.weekday < 0)
        form.weekday = 0;
    Q_EMIT formChanged();
    Q_EMIT dateControlsChanged(dateControls());
    Q_EMIT focusRequested(Field::Name);
}

ScheduleEditor::DateControls ScheduleEditor::dateControls() const
{
    switch (form.frequency) {
    case 0:
        return DateControls::Dates;
    case 2:
        return DateControls::Weekday;
    default:
        return DateControls::None;
    }
}

bool ScheduleEditor::listEmpty() const
{
    return !m_schedule.isOpen() || m_schedule.entries().isEmpty();
}

int ScheduleEditor::currentRow() const
{
    return m_currentId == 0 ? -1 : m_schedule.indexOf(m_currentId);
}

void ScheduleEditor::setCurrentRow(int row)
{
    const bool valid = row >= 0 && row < m_schedule.entries().size();
    m_currentId = valid ? m_schedule.entries().at(row).id : 0;
    Q_EMIT currentEntryChanged(valid ? row : -1);
}

void ScheduleEditor::showMessage(const char *english)
{
    if (m_platform.messages)
        m_platform.messages->information(QStringLiteral("Schedule"), translate(QString::fromLatin1(english)));
}

bool ScheduleEditor::validate()
{
    auto refuse = [this](const char *message, Field focus) {
        showMessage(message);
        Q_EMIT formChanged();
        Q_EMIT focusRequested(focus);
        return false;
    };
    const QDateTime nowExact = m_platform.clock->now();
    const QDate today = nowExact.date();
    if (form.frequency == 0) {
        const QDateTime now = wholeSeconds(today, nowExact.time());
        const QDateTime start = wholeSeconds(form.firstDay, form.startTime);
        // An end time of day before the start time ends on the next day.
        const int endOffset = form.endTime < form.startTime ? 1 : 0;
        const QDateTime end = wholeSeconds(form.lastDay.addDays(endOffset), form.endTime);
        if (form.firstDay < today) {
            form.firstDay = today;
            return refuse("Date Error!", Field::FirstDay);
        }
        if (form.lastDay < today) {
            form.lastDay = today;
            return refuse("Date Error!", Field::LastDay);
        }
        if (start < now) {
            form.firstDay = today;
            return refuse("Time Error!", Field::StartTime);
        }
        if (end < now) {
            form.firstDay = today;
            return refuse("Time Error!", Field::EndTime);
        }
        if (end < start) {
            form.firstDay = today;
            return refuse("Date or Time Error!", Field::EndTime);
        }
    }
    if (form.name.isEmpty())
        return refuse("Please input name.", Field::Name);
    return true;
}

bool ScheduleEditor::requireWritable()
{
    const QString reason = m_schedule.readOnlyReason();
    if (reason.isEmpty())
        return true;
    if (m_platform.messages) {
        const QString key = QStringLiteral("The schedule cannot be changed: the store is open for reading only");
        const QString text = translate(key);
        m_platform.messages->information(QStringLiteral("Schedule"),
                                         (text.isEmpty() ? key : text) + QStringLiteral(" (") + reason
                                             + QLatin1Char(')'));
    }
    return false;
}

bool ScheduleEditor::requireCurrent()
{
    if (currentRow() >= 0)
        return true;
    // Never applied to another entry than the one the user picked.
    showMessage(m_currentId == 0 ? "Select an entry in the list." : "The entry you selected is no longer in the list.");
    return false;
}

void ScheduleEditor::writeFields(ScheduleEntry &entry) const
{
    const RegionalFormat &regional = *m_platform.regional;
    auto item = [](const QStringList &items, int index) {
        return index >= 0 && index < items.size() ? items.at(index) : QString();
    };
    entry.modeText = item(modeItems, form.mode);
    entry.modeCode = ScheduleEntry::code(form.mode);
    entry.name = form.name;
    entry.address = form.stationAddress;
    entry.frequencyText = item(frequencyItems, form.frequency);
    entry.frequencyCode = ScheduleEntry::code(form.frequency);
    switch (form.frequency) {
    case 0:
        entry.firstDay = regional.dateText(form.firstDay);
        entry.lastDay = regional.dateText(form.lastDay);
        break;
    case 1:
        entry.firstDay = QString();
        entry.lastDay = QString();
        break;
    case 2:
        entry.firstDay = item(weekdayItems, form.weekday);
        entry.lastDay = QString();
        entry.weekdayCode = ScheduleEntry::code(form.weekday);
        break;
    default:
        break;
    }
    entry.startTime = regional.timeText(form.startTime);
    entry.endTime = regional.timeText(form.endTime);
    entry.runState = ScheduleEntry::kIdle;
    entry.enabled = form.enabled ? ScheduleEntry::kOn : QString();
}

bool ScheduleEditor::add()
{
    if (!requireWritable() || !validate())
        return false;
    qint64 id = 0;
    try {
        ScheduleEntry entry;
        writeFields(entry);
        id = m_schedule.insert(entry);
    } catch (const StoreError &) {
        if (m_platform.messages)
            m_platform.messages->error(QStringLiteral("Error"), QStringLiteral("Database error"));
        return false;
    }
    setCurrentRow(m_schedule.indexOf(id));
    return true;
}

bool ScheduleEditor::modify()
{
    if (listEmpty())
        return false;
    if (!requireWritable() || !requireCurrent() || !validate())
        return false;
    ScheduleEntry entry = m_schedule.entries().at(currentRow());
    writeFields(entry);
    try {
        m_schedule.update(entry);
    } catch (const StoreError &) {
        // Also an entry deleted meanwhile: nothing is reported as saved.
        return false;
    }
    return true;
}

bool ScheduleEditor::deleteCurrent()
{
    if (listEmpty() || !requireWritable() || !requireCurrent())
        return false;
    const int row = currentRow();
    try {
        m_schedule.remove(m_currentId);
    } catch (const StoreError &) {
        return false;
    }
    // The entry that took its place (or the new last one) is current.
    setCurrentRow(qMin(row, int(m_schedule.entries().size()) - 1));
    return true;
}

void ScheduleEditor::loadEntry(int row)
{
    if (listEmpty() || row < 0 || row >= m_schedule.entries().size())
        return;
    setCurrentRow(row);
    const ScheduleEntry &entry = m_schedule.entries().at(row);
    const RegionalFormat &regional = *m_platform.regional;
    // What has been loaded when a step fails stays in the form.
    [&] {
        form.name = entry.name;
        form.stationAddress = entry.address;
        form.enabled = entry.isEnabled();
        form.mode = modeItems.indexOf(entry.modeText);
        form.frequency = frequencyItems.indexOf(entry.frequencyText);
        const QTime start = regional.parseTime(entry.startTime);
        if (!start.isValid())
            return;
        form.startTime = start;
        const QTime end = regional.parseTime(entry.endTime);
        if (!end.isValid())
            return;
        form.endTime = end;
        if (form.frequency == 0) {
            Q_EMIT dateControlsChanged(DateControls::Dates);
            const QDate first = regional.parseDate(entry.firstDay);
            if (!first.isValid())
                return;
            form.firstDay = first;
            const QDate last = regional.parseDate(entry.lastDay);
            if (!last.isValid())
                return;
            form.lastDay = last;
        } else if (form.frequency == 2) {
            Q_EMIT dateControlsChanged(DateControls::Weekday);
            form.weekday = weekdayItems.indexOf(entry.firstDay);
            form.weekday2 = entry.lastDay;
        } else if (form.frequency == 1) {
            Q_EMIT dateControlsChanged(DateControls::None);
        }
    }();
    Q_EMIT formChanged();
}

void ScheduleEditor::playRecording(int row)
{
    if (row < 0 || row >= m_schedule.entries().size())
        return;
    const ScheduleEntry entry = m_schedule.entries().at(row);
    // The weekday of this test comes from the weekday's English name.
    const auto times =
        ScheduleWindow::read(*m_platform.regional, entry.frequencyCode, entry.firstDay, entry.lastDay,
                             ScheduleWindow::weekdayFromName(entry.firstDay), entry.startTime, entry.endTime);
    if (times && ScheduleWindow::test(*times, m_platform.clock->now()).position == WindowPosition::Inside)
        return;
    if (entry.name.isEmpty() || entry.fileName.isEmpty())
        return;
    const QString path = m_programDir + QStringLiteral("/radiorecord/") + entry.fileName;
    if (!ScheduleWindow::isPlainFileName(entry.fileName) || !m_playback.playLocalFile(path)) {
        if (m_platform.messages)
            m_platform.messages->error(translate(QStringLiteral("File open error!")),
                                       translate(QStringLiteral("File not exist.")));
        return;
    }
    m_platform.mediaPlayer->play();
    m_playback.resetElapsed();
    m_state.setStationName(entry.fileName);
    Q_EMIT memoryPicturesResetRequested();
}

ScheduleEditor::RowState ScheduleEditor::rowState(int row) const
{
    if (row < 0 || row >= m_schedule.entries().size())
        return RowState::Plain;
    return rowState(m_schedule.entries().at(row));
}

ScheduleEditor::RowState ScheduleEditor::rowState(const ScheduleEntry &entry) const
{
    const auto times =
        ScheduleWindow::read(*m_platform.regional, entry.frequencyCode, entry.firstDay, entry.lastDay,
                             ScheduleWindow::weekdayFromDigit(entry.weekdayCode), entry.startTime, entry.endTime);
    if (!times)
        return RowState::Plain;
    switch (ScheduleWindow::test(*times, m_platform.clock->now()).position) {
    case WindowPosition::Inside:
        return RowState::Inside;
    case WindowPosition::Outside:
        return RowState::Outside;
    case WindowPosition::OtherWeekday:
        return RowState::Plain;
    }
    return RowState::Plain;
}

QString ScheduleEditor::neverRunsReason(const ScheduleEntry &entry) const
{
    if (entry.frequency() == ScheduleEntry::NoFrequency)
        return QString();
    const auto times =
        ScheduleWindow::read(*m_platform.regional, entry.frequencyCode, entry.firstDay, entry.lastDay,
                             ScheduleWindow::weekdayFromDigit(entry.weekdayCode), entry.startTime, entry.endTime);
    const QString reason = ScheduleWindow::neverRunsReason(times, entry.address);
    return reason.isEmpty() ? reason : QStringLiteral("Never runs: ") + reason + QLatin1Char('.');
}

void ScheduleEditor::chooseStation(StationList::Title title)
{
    if (!m_stationList)
        return;
    const QString url = title == StationList::LocationTitle
        ? DirectoryAddress::locationList(m_state.directoryBaseUrl, m_state.languageCode)
        : DirectoryAddress::genreList(m_state.directoryBaseUrl, m_state.languageCode);
    m_stationList->open(StationList::Schedule, title, url, StationList::FromRecord);
}

void ScheduleEditor::nameEdited(const QString &text)
{
    form.name = text;
    if (!text.isEmpty() && m_stationList && m_stationList->origin() == StationList::FromRecord)
        Q_EMIT stationListCloseRequested();
}

void ScheduleEditor::setStationName(const QString &name)
{
    form.name = name;
    Q_EMIT formChanged();
    nameEdited(name);
}

void ScheduleEditor::setStationAddress(const QString &address)
{
    form.stationAddress = address;
    Q_EMIT formChanged();
}

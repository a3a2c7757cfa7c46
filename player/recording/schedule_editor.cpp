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
#include "store/store.h"

namespace {

const QString kTable = QStringLiteral("recSchedul");

QDateTime wholeSeconds(const QDate &day, const QTime &time)
{
    return QDateTime(day, QTime(time.hour(), time.minute(), time.second()));
}

}  // namespace

ScheduleEditor::ScheduleEditor(Store &store, DataSet &runnerSchedule, MainState &state, Playback &playback,
                               const PlatformParts &platform, const QString &programDir, QObject *parent)
    : QObject(parent),
      ADOTb1(store),
      m_store(store),
      m_runner(runnerSchedule),
      m_state(state),
      m_playback(playback),
      m_platform(platform),
      m_programDir(programDir)
{
    resetItems();
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
            ADOTb1.openTable(kTable);
            m_runner.openTable(kTable);
        } catch (const StoreError &) {
            ok = false;
        }
    }
    // A store that was refused says why (newer, not ours, not upgradable).
    if (!ok && m_platform.messages)
        m_platform.messages->error(QStringLiteral("Error"), m_store.refusal().isEmpty()
                                                                ? QStringLiteral("Database connect error!")
                                                                : QStringLiteral("Database connect error!\n\n") + m_store.refusal());
    // Open, but read-only or in place of a damaged one: the user is told.
    if (ok && !m_store.notice().isEmpty() && m_platform.messages)
        m_platform.messages->information(QStringLiteral("Vexa Radio Player"), m_store.notice());

    const QDateTime now = m_platform.clock->now();
    form.firstDay = form.lastDay = now.date();
    form.startTime = form.endTime = QTime(now.time().hour(), now.time().minute(), now.time().second());
    Q_EMIT formChanged();

    // The runner's copy is opened once more outside the guard: without a
    // store this fails too, and the store's own message is reported.
    try {
        m_runner.openTable(kTable);
    } catch (const StoreError &e) {
        if (m_platform.messages)
            m_platform.messages->error(QStringLiteral("Vexa Radio Player"), QString::fromStdString(e.what()));
    }
    return ok;
}

void ScheduleEditor::showSteps()
{
    Q_EMIT pageRequested(DirectoryAddress::scheduleIndex(m_state.directoryBaseUrl, m_state.languageCode));
    reopenList();
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
    return !ADOTb1.isOpen() || ADOTb1.recordCount() == 0;
}

bool ScheduleEditor::validate()
{
    auto refuse = [this](const char *message, Field focus) {
        if (m_platform.messages)
            m_platform.messages->information(QStringLiteral("Schedule"), translate(QString::fromLatin1(message)));
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

void ScheduleEditor::writeFields()
{
    const RegionalFormat &regional = *m_platform.regional;
    auto item = [](const QStringList &items, int index) {
        return index >= 0 && index < items.size() ? items.at(index) : QString();
    };
    ADOTb1.setField(QStringLiteral("mode1"), item(modeItems, form.mode));
    ADOTb1.setField(QStringLiteral("mode2"), QString::number(form.mode));
    ADOTb1.setField(QStringLiteral("name1"), form.name);
    ADOTb1.setField(QStringLiteral("radiourl"), form.stationAddress);
    ADOTb1.setField(QStringLiteral("freq1"), item(frequencyItems, form.frequency));
    ADOTb1.setField(QStringLiteral("freq2"), QString::number(form.frequency));
    switch (form.frequency) {
    case 0:
        ADOTb1.setField(QStringLiteral("date1"), regional.dateText(form.firstDay));
        ADOTb1.setField(QStringLiteral("date2"), regional.dateText(form.lastDay));
        break;
    case 1:
        ADOTb1.setField(QStringLiteral("date1"), QString());
        ADOTb1.setField(QStringLiteral("date2"), QString());
        break;
    case 2:
        ADOTb1.setField(QStringLiteral("date1"), item(weekdayItems, form.weekday));
        ADOTb1.setField(QStringLiteral("date2"), QString());
        ADOTb1.setField(QStringLiteral("date3"), QString::number(form.weekday));
        break;
    default:
        break;
    }
    ADOTb1.setField(QStringLiteral("time1"), regional.timeText(form.startTime));
    ADOTb1.setField(QStringLiteral("time2"), regional.timeText(form.endTime));
    ADOTb1.setField(QStringLiteral("status1"), QString());
    ADOTb1.setField(QStringLiteral("onf"), form.enabled ? QStringLiteral("Y") : QString());
}

void ScheduleEditor::afterChange()
{
    reloadRunnerCopy();
    Q_EMIT listReset();
    Q_EMIT currentRowChanged(ADOTb1.recNo());
}

bool ScheduleEditor::add()
{
    if (!validate())
        return false;
    try {
        ADOTb1.close();
        ADOTb1.openTable(kTable);
        ADOTb1.insert();
        writeFields();
        ADOTb1.post();
    } catch (const StoreError &) {
        try {
            ADOTb1.cancel();
        } catch (const StoreError &) {
        }
        if (m_platform.messages)
            m_platform.messages->error(QStringLiteral("Error"), QStringLiteral("Database error"));
        Q_EMIT listReset();
        return false;
    }
    afterChange();
    return true;
}

bool ScheduleEditor::modify()
{
    if (listEmpty())
        return false;
    if (!validate())
        return false;
    try {
        ADOTb1.edit();
        writeFields();
        ADOTb1.post();
    } catch (const StoreError &) {
        // Also an entry deleted meanwhile: nothing is reported as saved.
        try {
            ADOTb1.cancel();
        } catch (const StoreError &) {
        }
        return false;
    }
    afterChange();
    return true;
}

bool ScheduleEditor::deleteCurrent()
{
    if (listEmpty())
        return false;
    try {
        ADOTb1.remove();
    } catch (const StoreError &) {
        return false;
    }
    afterChange();
    return true;
}

void ScheduleEditor::reloadRunnerCopy()
{
    try {
        m_runner.close();
        m_runner.openTable(kTable);
    } catch (const StoreError &) {
    }
}

void ScheduleEditor::refreshRunnerRow(qint64 rowKey)
{
    try {
        if (m_runner.isOpen()) {
            m_runner.refreshRow(rowKey);
            return;
        }
    } catch (const StoreError &) {
    }
    reloadRunnerCopy();
}

void ScheduleEditor::refreshList()
{
    try {
        ADOTb1.refresh();
    } catch (const StoreError &) {
    }
    Q_EMIT listReset();
    Q_EMIT currentRowChanged(ADOTb1.recNo());
}

void ScheduleEditor::reopenList()
{
    try {
        ADOTb1.close();
        ADOTb1.openTable(kTable);
    } catch (const StoreError &) {
    }
    Q_EMIT listReset();
    Q_EMIT currentRowChanged(ADOTb1.recNo());
}

void ScheduleEditor::loadEntry(int row)
{
    if (listEmpty())
        return;
    // What has been loaded when a step fails stays in the form.
    try {
        ADOTb1.first();
        ADOTb1.moveBy(row);
        Q_EMIT currentRowChanged(ADOTb1.recNo());
        const RegionalFormat &regional = *m_platform.regional;
        form.name = ADOTb1.text(QStringLiteral("name1"));
        form.stationAddress = ADOTb1.text(QStringLiteral("radiourl"));
        form.enabled = ADOTb1.text(QStringLiteral("onf")) == QLatin1String("Y");
        form.mode = modeItems.indexOf(ADOTb1.text(QStringLiteral("mode1")));
        form.frequency = frequencyItems.indexOf(ADOTb1.text(QStringLiteral("freq1")));
        const QTime start = regional.parseTime(ADOTb1.text(QStringLiteral("time1")));
        if (!start.isValid())
            throw StoreError("start time does not read");
        form.startTime = start;
        const QTime end = regional.parseTime(ADOTb1.text(QStringLiteral("time2")));
        if (!end.isValid())
            throw StoreError("end time does not read");
        form.endTime = end;
        if (form.frequency == 0) {
            Q_EMIT dateControlsChanged(DateControls::Dates);
            const QDate first = regional.parseDate(ADOTb1.text(QStringLiteral("date1")));
            if (!first.isValid())
                throw StoreError("first day does not read");
            form.firstDay = first;
            const QDate last = regional.parseDate(ADOTb1.text(QStringLiteral("date2")));
            if (!last.isValid())
                throw StoreError("last day does not read");
            form.lastDay = last;
        } else if (form.frequency == 2) {
            Q_EMIT dateControlsChanged(DateControls::Weekday);
            form.weekday = weekdayItems.indexOf(ADOTb1.text(QStringLiteral("date1")));
            form.weekday2 = ADOTb1.text(QStringLiteral("date2"));
        } else if (form.frequency == 1) {
            Q_EMIT dateControlsChanged(DateControls::None);
        }
    } catch (const StoreError &) {
    }
    Q_EMIT formChanged();
}

void ScheduleEditor::playRecording(int row)
{
    try {
        if (row < 0 || row >= ADOTb1.recordCount())
            return;
        const QStringList columns = ADOTb1.columnNames();
        auto text = [&](const char *name) {
            const QVariant v = ADOTb1.valueAt(row, ScheduleWindow::columnIndex(columns, name));
            return v.isNull() ? QString() : v.toString();
        };
        // The weekday of this test comes from the weekday's English name.
        const auto times = ScheduleWindow::read(*m_platform.regional, text("freq2"), text("date1"), text("date2"),
                                                ScheduleWindow::weekdayFromName(text("date1")), text("time1"),
                                                text("time2"));
        if (times && ScheduleWindow::test(*times, m_platform.clock->now()).position == WindowPosition::Inside)
            return;
        if (text("name1").isEmpty())
            return;
        const QString fileName = text("filename1");
        if (fileName.isEmpty())
            return;
        const QString path = m_programDir + QStringLiteral("/radiorecord/") + fileName;
        if (!ScheduleWindow::isPlainFileName(fileName) || !QFileInfo::exists(path)) {
            if (m_platform.messages)
                m_platform.messages->error(translate(QStringLiteral("File open error!")),
                                           translate(QStringLiteral("File not exist.")));
            return;
        }
        // A local file: never reported as listening.
        m_state.listenSeconds = Playback::kLocalFileMark;
        m_platform.mediaPlayer->setUrl(path);
        m_platform.mediaPlayer->play();
        m_playback.resetElapsed();
        m_state.setStationName(fileName);
        Q_EMIT memoryPicturesResetRequested();
    } catch (const StoreError &) {
    }
}

ScheduleEditor::RowState ScheduleEditor::rowState(int row) const
{
    try {
        const QStringList columns = ADOTb1.columnNames();
        auto text = [&](const char *name) {
            const QVariant v = ADOTb1.valueAt(row, ScheduleWindow::columnIndex(columns, name));
            return v.isNull() ? QString() : v.toString();
        };
        const auto times = ScheduleWindow::read(*m_platform.regional, text("freq2"), text("date1"), text("date2"),
                                                ScheduleWindow::weekdayFromDigit(text("date3")), text("time1"),
                                                text("time2"));
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
    } catch (const StoreError &) {
    }
    return RowState::Plain;
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
}

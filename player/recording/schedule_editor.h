#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>

#include "directory/station_list.h"
#include "platform/platform_parts.h"
#include "store/schedule_table.h"

class MainState;
class Playback;
class Store;

// What the schedule window's input controls hold. Choice positions count
// from 0; -1 is "no selection".
struct ScheduleForm
{
    int mode = 0;            // ComboBox1: 0 Record, 1 Play
    QString name;            // Edit1
    QString stationAddress;  // Edit2 (hidden)
    int frequency = 0;       // ComboBox2: 0 Once, 1 Every Day, 2 Every Week
    QDate firstDay;          // Date1
    QDate lastDay;           // Date2
    QTime startTime;         // time1
    QTime endTime;           // Time2
    int weekday = 0;         // ComboBox3: 0 Sun .. 6 Sat
    QString weekday2;        // ComboBox4 (loaded from the last day, never shown)
    bool enabled = true;     // CheckBox1
};

// The schedule editor's logic (TForm_record): Add/Modify/Delete over the
// schedule table with their checks, the current entry (the one the list
// highlights, the one Modify and Delete act on), loading an entry into the
// form, playing a finished recording and the list's row state. The window
// shows `form` and the item lists and hands user input back.
class ScheduleEditor : public QObject
{
    Q_OBJECT
public:
    enum class Field { Name, FirstDay, LastDay, StartTime, EndTime };
    enum class DateControls { Dates, Weekday, None };
    // How a list row is drawn: inside its window now, outside, or with the
    // grid's own colours (a weekly row on another weekday, or a row whose
    // dates do not read).
    enum class RowState { Inside, Outside, Plain };
    Q_ENUM(Field)
    Q_ENUM(DateControls)
    Q_ENUM(RowState)

    // `schedule` is the one schedule table the runner and live recording
    // write as well.
    ScheduleEditor(Store &store, ScheduleTable &schedule, MainState &state, Playback &playback,
                   const PlatformParts &platform, const QString &programDir, QObject *parent = nullptr);

    // Text lookup for code-built messages (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }
    void setStationList(StationList *list) { m_stationList = list; }

    // Creation: opens the store's one connection and reads the schedule;
    // sets the pickers to now. False (after the messages) when the store
    // did not open.
    bool create(const QString &storeFile);
    // Each showing: directory page, list read again with its first entry
    // current, empty choices get their first item, focus in the name box.
    void showSteps();

    // The item texts of the choice lists as shown (translated on showing).
    QStringList modeItems;
    QStringList frequencyItems;
    QStringList weekdayItems;
    // Back to the design texts before a translation.
    void resetItems();

    ScheduleForm form;

    DateControls dateControls() const;
    bool listEmpty() const;
    ScheduleTable &schedule() { return m_schedule; }

    // The current entry's position in the table; -1 when there is none,
    // or when the entry the user picked is no longer there.
    int currentRow() const;
    // Makes the entry at `row` current without loading it (-1: none).
    void setCurrentRow(int row);

    // Actions. Each returns whether the store was changed. Modify and
    // Delete act on the current entry only: when the entry the user
    // picked is gone, they are refused with a message.
    bool add();
    bool modify();
    bool deleteCurrent();
    // The user picked list row `row` (0-based): it becomes current and is
    // loaded into the form.
    void loadEntry(int row);
    // A double-click on list row `row`: plays the entry's recording.
    void playRecording(int row);
    RowState rowState(int row) const;
    RowState rowState(const ScheduleEntry &entry) const;
    // Why the runner can never run an entry (shown with its list row);
    // empty when it can.
    QString neverRunsReason(const ScheduleEntry &entry) const;

    // The "..." menu.
    void chooseStation(StationList::Title title);
    // The name box changed (typed, or filled from the station list).
    void nameEdited(const QString &text);

public Q_SLOTS:
    void setStationName(const QString &name);
    void setStationAddress(const QString &address);

Q_SIGNALS:
    void formChanged();
    void dateControlsChanged(ScheduleEditor::DateControls controls);
    void focusRequested(ScheduleEditor::Field field);
    // The table's entries changed (by anyone): the list follows.
    void listChanged();
    // The current entry moved (row -1: none).
    void currentEntryChanged(int row);
    // Load this address into web2.
    void pageRequested(const QString &url);
    void recordListRequested();
    void stationListCloseRequested();
    void memoryPicturesResetRequested();

private:
    bool validate();
    // Refuses Modify or Delete when no entry is current: false after the
    // message.
    bool requireCurrent();
    // Refuses an edit of a store open for reading only: false after the
    // message.
    bool requireWritable();
    void writeFields(ScheduleEntry &entry) const;
    void showMessage(const char *english);
    QString translate(const QString &text) const { return m_translate ? m_translate(text) : text; }

    Store &m_store;
    ScheduleTable &m_schedule;
    MainState &m_state;
    Playback &m_playback;
    PlatformParts m_platform;
    QString m_programDir;
    StationList *m_stationList = nullptr;
    std::function<QString(const QString &)> m_translate;
    // The current entry's id; 0 for none. An id no longer in the table is
    // an entry deleted under the user's selection.
    qint64 m_currentId = 0;
};

#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>

#include "directory/station_list.h"
#include "platform/platform_parts.h"
#include "store/dataset.h"

class MainState;
class Playback;
class Store;

// What the schedule window's input controls hold. Choice positions count
// from 0; -1 is "no selection".
struct ScheduleForm
{
    int mode = 0;             // ComboBox1: 0 Record, 1 Play
    QString name;             // Edit1
    QString stationAddress;   // Edit2 (hidden)
    int frequency = 0;        // ComboBox2: 0 Once, 1 Every Day, 2 Every Week
    QDate firstDay;           // Date1
    QDate lastDay;            // Date2
    QTime startTime;          // time1
    QTime endTime;            // Time2
    int weekday = 0;          // ComboBox3: 0 Sun .. 6 Sat
    QString weekday2;         // ComboBox4 (loaded from date2, never shown)
    bool enabled = true;      // CheckBox1
};

// The schedule editor's logic (TForm_record): its data set ADOTb1 over
// recSchedul, Add/Modify/Delete with their checks, loading an entry into
// the form, playing a finished recording and the list's row state. The
// window shows `form` and the item lists and hands user input back.
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

    // `runnerSchedule` is the schedule runner's copy of recSchedul.
    ScheduleEditor(Store &store, DataSet &runnerSchedule, MainState &state, Playback &playback,
                   const PlatformParts &platform, const QString &programDir, QObject *parent = nullptr);

    // Text lookup for code-built messages (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }
    void setStationList(StationList *list) { m_stationList = list; }

    // Creation: opens the store's one connection, this data set and the
    // runner's; sets the pickers to now. False (after the messages) when
    // the store did not open.
    bool create(const QString &storeFile);
    // Each showing: directory page, list reloaded, empty choices get their
    // first item, focus in the name box.
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

    // Actions. Each returns whether the store was changed.
    bool add();
    bool modify();
    bool deleteCurrent();
    // A click on list row `row` (0-based): the entry into the form.
    void loadEntry(int row);
    // A double-click on list row `row`: plays the entry's recording.
    void playRecording(int row);
    RowState rowState(int row) const;

    // The "..." menu.
    void chooseStation(StationList::Title title);
    // The name box changed (typed, or filled from the station list).
    void nameEdited(const QString &text);

    DataSet ADOTb1;

public Q_SLOTS:
    // Data event after every post and delete on ADOTb1 (also live entries
    // written through it): the runner's copy is closed and opened again.
    void reloadRunnerCopy();
    // The same for one posted row (a live entry): only that row is read
    // again, so that Record and Stop do not wait for a whole table.
    void refreshRunnerRow(qint64 rowKey);
    // The runner changed an entry: the list shows it.
    void refreshList();
    // Close and open the list again (showing, the clock tick).
    void reopenList();
    void setStationName(const QString &name);
    void setStationAddress(const QString &address);

Q_SIGNALS:
    void formChanged();
    void dateControlsChanged(ScheduleEditor::DateControls controls);
    void focusRequested(ScheduleEditor::Field field);
    // The list's rows changed (reloaded, added, edited, deleted).
    void listReset();
    void currentRowChanged(int row);
    // Load this address into web2.
    void pageRequested(const QString &url);
    void recordListRequested();
    void stationListCloseRequested();
    void memoryPicturesResetRequested();

private:
    bool validate();
    void writeFields();
    void afterChange();
    QString translate(const QString &text) const { return m_translate ? m_translate(text) : text; }

    Store &m_store;
    DataSet &m_runner;
    MainState &m_state;
    Playback &m_playback;
    PlatformParts m_platform;
    QString m_programDir;
    StationList *m_stationList = nullptr;
    std::function<QString(const QString &)> m_translate;
};

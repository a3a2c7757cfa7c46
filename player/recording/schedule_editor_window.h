#pragma once

#include <QWidget>

#include <memory>

#include "recording/schedule_editor.h"

class MainShell;
class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTimeEdit;
class ScheduleListModel;
class WebBrowser;
class WebBrowserFactory;

// The schedule window. Layout and wiring over ScheduleEditor: it shows the
// editor's form and list and hands the user's input back. Creating it opens
// the store's one connection (the editor's creation steps).
class TForm_record : public QWidget
{
    Q_OBJECT
public:
    TForm_record(ScheduleEditor &editor, MainShell &shell, WebBrowserFactory &browsers, const QString &storeFile,
                 QWidget *parent = nullptr);
    ~TForm_record() override;

    // Shows the window (non-modal) after the showing steps.
    void showWindow();
    ScheduleEditor &editor() { return m_editor; }

    QLabel *TntLabel1;  // "Mode"
    QComboBox *ComboBox1;
    QLabel *TntLabel2;  // "Name"
    QLineEdit *Edit1;
    QPushButton *SpeedButton4;  // "..."
    QLabel *TntLabel3;          // "Frequency"
    QComboBox *ComboBox2;
    QDateEdit *Date1;
    QDateEdit *Date2;
    QTimeEdit *time1;
    QTimeEdit *Time2;
    QLabel *Label8;                // " >>"
    QComboBox *ComboBox3;          // weekday, where Date1 is
    QComboBox *ComboBox4;          // second weekday list, never shown
    QCheckBox *CheckBox1;          // "Enable"
    QPushButton *TntSpeedButton1;  // Add
    QPushButton *TntSpeedButton2;  // Modify
    QPushButton *TntSpeedButton3;  // Delete
    QPushButton *TntSpeedButton4;  // Record list
    QTableView *TntDBGrid1;
    QLineEdit *Edit2;   // stationAddress (hidden)
    QMenu *PopupMenu1;  // the station source menu
    QAction *Location1;
    QAction *Genre1;

private:
    void buildControls();
    void translateTexts();
    void showForm();
    void collectForm();
    void fillChoices();
    void applyDateControls(ScheduleEditor::DateControls controls);
    void focusField(ScheduleEditor::Field field);
    void loadPage(const QString &url);
    // The list follows the table; the editor's current entry is shown.
    void followList();
    void showCurrentRow(int row);

    ScheduleEditor &m_editor;
    MainShell &m_shell;
    WebBrowserFactory &m_browsers;
    std::unique_ptr<WebBrowser> m_web2;
    ScheduleListModel *m_model;
    // Set while the list or the controls are brought in step by code, so
    // that this is not taken for the user's input.
    bool m_following = false;
    bool m_showing = false;
};

#pragma once

#include <QWidget>

class MainShell;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class RecordSetup;

// The real-time record setup window "Audio Cap": the input lines and
// capture formats of the first capture device, SAVE and CLOSE. Created
// hidden at start-up; the lists are filled once, at creation, and keep the
// selection last made. Layout and wiring over RecordSetup.
class TrecMainForm : public QWidget
{
    Q_OBJECT
public:
    TrecMainForm(RecordSetup &setup, MainShell &shell, QWidget *parent = nullptr);

    // Opens the window, not modal (Real time record setup).
    void open();
    // Translates labels and buttons into the interface language.
    void FormActivate();

    QLabel *TntLabel1;
    QLabel *TntLabel2;
    QComboBox *InputLines;
    QLabel *TntLabel3;
    QListWidget *AudioFormats;
    QPushButton *TntButton1;  // SAVE
    QPushButton *TntButton2;  // CLOSE
    QStatusBar *StatusBar;
    // captureFileName: the full path of the newest live recording; placed
    // outside the client area.
    QLineEdit *Edit1;

protected:
    bool event(QEvent *event) override;

private:
    void showSelection();

    RecordSetup &m_setup;
    MainShell &m_shell;
};

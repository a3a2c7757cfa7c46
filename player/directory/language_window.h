#pragma once

#include <QDialog>

class MainShell;
class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

// The language selection window: three entries, SAVE and CLOSE. SAVE
// stores the choice for the next showing of the main window and says so;
// the language in force does not change. The window is created before the
// message window, so it asks for its confirmation through a signal.
class TformLngsel : public QDialog
{
    Q_OBJECT
public:
    explicit TformLngsel(MainShell &shell, QWidget *parent = nullptr);

    // Entry selected (0..2), or -1.
    int selectedEntry() const;
    void selectEntry(int entry);

    QGroupBox *TntRadioGroup1;
    QPushButton *TntButton1;  // SAVE
    QPushButton *TntButton2;  // CLOSE

Q_SIGNALS:
    // SAVE asks for the confirmation to be shown modally (message window).
    void confirmationRequested(const QString &text, const QString &buttonText);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void FormActivate();
    void save();

    MainShell &m_shell;
    QButtonGroup *m_entries;
};

#pragma once

#include <QStringList>
#include <QWidget>

class MainState;
class MessageBoxes;
class QFrame;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RecorderControl;

// The recorder host window (1 x 1 pixels, so never seen in normal use).
// Edit1 shows the live recorder's command; closing the window ends a
// running live recorder. Its buttons are diagnostics: Button3 starts the
// live recorder again with the last live arguments (in a host panel of
// its own), Button1 a 20 s scheduled recorder on a demo stream of the
// directory, Button2 runs ping into Memo1, Button5 closes the window.
class TFormR : public QWidget
{
    Q_OBJECT
public:
    TFormR(RecorderControl &recorders, MainState &state, const QString &programDir, MessageBoxes *messages,
           QWidget *parent = nullptr);

    // Runs `program` with `arguments` (no shell) and appends everything it
    // writes to `output` while it runs; returns at once.
    static void RunWithCapturedOutput(const QString &program, const QStringList &arguments, QPlainTextEdit *output);

    // The start action: a new host panel, then the live recorder.
    void Button3Click();
    void Button1Click();
    void Button2Click();

    QLineEdit *Edit1;  // liveCommand
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;
    QPushButton *Button5;
    QPlainTextEdit *Memo1;
    QList<QFrame *> hostPanels;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    RecorderControl &m_recorders;
    MainState &m_state;
    QString m_programDir;
    MessageBoxes *m_messages;
};

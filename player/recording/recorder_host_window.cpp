#include "recording/recorder_host_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>

#include "core/main_state.h"
#include "platform/message_boxes.h"
#include "recording/recorder_control.h"

TFormR::TFormR(RecorderControl &recorders, MainState &state, const QString &programDir, MessageBoxes *messages,
               QWidget *parent)
    : QWidget(parent, Qt::Dialog),
      m_recorders(recorders),
      m_state(state),
      m_programDir(programDir),
      m_messages(messages)
{
    setObjectName(QStringLiteral("FormR"));
    setWindowTitle(QStringLiteral("FormR"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 8, 400, 22);
    Button3 = new QPushButton(QStringLiteral("DOS 視窗"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(416, 8, 80, 24);
    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(416, 40, 80, 24);
    Button2 = new QPushButton(QStringLiteral("Button2"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(416, 72, 80, 24);
    Button5 = new QPushButton(QStringLiteral("Button5"), this);
    Button5->setObjectName(QStringLiteral("Button5"));
    Button5->setGeometry(416, 104, 80, 24);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(256, 136, 240, 120);
    Memo1->setReadOnly(true);

    connect(Button3, &QPushButton::clicked, this, &TFormR::Button3Click);
    connect(Button1, &QPushButton::clicked, this, &TFormR::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormR::Button2Click);
    connect(Button5, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_recorders, &RecorderControl::liveRecorderStarted, Edit1, &QLineEdit::setText);

    // Showing it puts nothing on the screen.
    resize(1, 1);
}

void TFormR::Button3Click()
{
    // A host panel per start, kept until the program ends. There is no
    // console window to place in it: the recorder's output goes to its log.
    auto *panel = new QFrame(this);
    panel->setGeometry(40, 40, 200, 200);
    panel->setProperty("tag", 1);
    hostPanels << panel;
    if (!m_recorders.liveAddress().isEmpty())
        m_recorders.startLiveRecorder(m_recorders.liveAddress(), m_recorders.liveOutputPath());
}

void TFormR::Button1Click()
{
    // A scheduled recorder on a demo stream of the directory, 20 s, into
    // the recordings folder.
    const QString address = m_state.directoryBaseUrl + QStringLiteral("stream/1.mp3");
    const QString output = QDir(m_programDir).filePath(QStringLiteral("radiorecord/hosttest"));
    if (!m_recorders.startScheduledRecorder(address, output, 20000) && m_messages)
        m_messages->error(QStringLiteral("Error"), QStringLiteral("Error CreateProcess"));
}

void TFormR::Button2Click()
{
    RunWithCapturedOutput(QStringLiteral("ping"),
                          {QStringLiteral("-c"), QStringLiteral("4"), QStringLiteral("127.0.0.1")}, Memo1);
}

void TFormR::RunWithCapturedOutput(const QString &program, const QStringList &arguments, QPlainTextEdit *output)
{
    auto *process = new QProcess(output);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // Read while the child runs, so that it never blocks on a full pipe;
    // whatever is left is read when it ends.
    auto drain = [process, output] {
        const QByteArray bytes = process->readAll();
        if (bytes.isEmpty())
            return;
        output->moveCursor(QTextCursor::End);
        output->insertPlainText(QString::fromLocal8Bit(bytes));
    };
    QObject::connect(process, &QProcess::readyRead, output, drain);
    QObject::connect(process, &QProcess::finished, output, [process, drain] {
        drain();
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, output, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(program, arguments);
}

void TFormR::closeEvent(QCloseEvent *event)
{
    m_recorders.stopLiveRecorder();
    event->accept();
}

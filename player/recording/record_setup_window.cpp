#include "recording/record_setup_window.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>

#include "core/interface_language.h"
#include "core/main_shell.h"
#include "recording/record_setup.h"

namespace {

QFont windowFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    return font;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry, const QString &colour,
                  int pixelSize)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    label->setFont(windowFont(pixelSize));
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(colour));
    return label;
}

}  // namespace

TrecMainForm::TrecMainForm(RecordSetup &setup, MainShell &shell, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_setup(setup),
      m_shell(shell)
{
    setObjectName(QStringLiteral("recMainForm"));
    setWindowTitle(QStringLiteral("Audio Cap"));
    setFixedSize(632, 263);
    setFont(windowFont(13));

    TntLabel1 = makeLabel(this, "TntLabel1", QStringLiteral("Real Time Record Setup"), QRect(16, 8, 273, 20),
                          QStringLiteral("navy"), 16);
    TntLabel2 = makeLabel(this, "TntLabel2", QStringLiteral("Select source"), QRect(16, 32, 273, 18),
                          QStringLiteral("black"), 13);
    InputLines = new QComboBox(this);
    InputLines->setObjectName(QStringLiteral("InputLines"));
    InputLines->setGeometry(16, 56, 153, 22);
    InputLines->setEditable(false);
    TntLabel3 = makeLabel(this, "TntLabel3", QStringLiteral("Select format"), QRect(16, 80, 273, 18),
                          QStringLiteral("black"), 13);
    AudioFormats = new QListWidget(this);
    AudioFormats->setObjectName(QStringLiteral("AudioFormats"));
    AudioFormats->setGeometry(16, 104, 601, 89);
    TntButton1 = new QPushButton(QStringLiteral("SAVE"), this);
    TntButton1->setObjectName(QStringLiteral("TntButton1"));
    TntButton1->setGeometry(16, 208, 75, 25);
    TntButton2 = new QPushButton(QStringLiteral("CLOSE"), this);
    TntButton2->setObjectName(QStringLiteral("TntButton2"));
    TntButton2->setGeometry(96, 208, 75, 25);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setGeometry(0, 263 - 20, 632, 20);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(700, 8, 120, 20);

    // Device and line names come from the sound system: shown as they are.
    for (const QString &line : m_setup.inputLines())
        InputLines->addItem(line);
    AudioFormats->addItems(m_setup.formats());
    showSelection();

    connect(InputLines, &QComboBox::currentIndexChanged, &m_setup, &RecordSetup::selectLine);
    connect(AudioFormats, &QListWidget::currentRowChanged, &m_setup, &RecordSetup::selectFormat);
    connect(&m_setup, &RecordSetup::selectionChanged, this, &TrecMainForm::showSelection);
    connect(TntButton1, &QPushButton::clicked, this, [this] {
        m_setup.save();
        hide();
    });
    connect(TntButton2, &QPushButton::clicked, this, &QWidget::hide);
}

void TrecMainForm::showSelection()
{
    const QSignalBlocker lines(InputLines);
    const QSignalBlocker formats(AudioFormats);
    InputLines->setCurrentIndex(m_setup.selectedLine());
    AudioFormats->setCurrentRow(m_setup.selectedFormat());
    if (m_setup.selectedFormat() < 0)
        AudioFormats->clearSelection();
}

void TrecMainForm::open()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

bool TrecMainForm::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TrecMainForm::FormActivate()
{
    using InterfaceLanguage::TextSlot;
    QVector<TextSlot> textSlots;
    for (QLabel *label : {TntLabel1, TntLabel2, TntLabel3}) {
        textSlots.push_back({InterfaceLanguage::kEnglishKey, [label] { return label->text(); },
                             [label](const QString &text) { label->setText(text); }});
    }
    for (QPushButton *button : {TntButton1, TntButton2}) {
        textSlots.push_back({InterfaceLanguage::kEnglishKey, [button] { return button->text(); },
                             [button](const QString &text) { button->setText(text); }});
    }
    m_shell.translateWindowTexts(textSlots);
}

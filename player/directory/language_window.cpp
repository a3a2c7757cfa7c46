#include "directory/language_window.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/interface_language.h"
#include "core/main_shell.h"

TformLngsel::TformLngsel(MainShell &shell, QWidget *parent) : QDialog(parent), m_shell(shell)
{
    setObjectName(QStringLiteral("formLngsel"));
    setWindowTitle(QStringLiteral("Vexa Radio Player"));
    setFixedSize(232, 176);
    setModal(true);

    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(13);
    setFont(font);

    TntRadioGroup1 = new QGroupBox(this);
    TntRadioGroup1->setObjectName(QStringLiteral("TntRadioGroup1"));
    TntRadioGroup1->setGeometry(16, 10, 200, 110);
    auto *layout = new QVBoxLayout(TntRadioGroup1);
    layout->setContentsMargins(16, 10, 10, 10);
    m_entries = new QButtonGroup(this);
    // The entries are written in their own language and never translated.
    const QString entries[] = {QStringLiteral("English "), QStringLiteral("繁體中文 "), QStringLiteral("简体中文 ")};
    for (int i = 0; i < 3; ++i) {
        auto *radio = new QRadioButton(entries[i], TntRadioGroup1);
        radio->setObjectName(QStringLiteral("entry%1").arg(i + 1));
        layout->addWidget(radio);
        m_entries->addButton(radio, i);
    }

    TntButton1 = new QPushButton(QStringLiteral("SAVE"), this);
    TntButton1->setObjectName(QStringLiteral("TntButton1"));
    TntButton1->setGeometry(26, 134, 85, 27);
    TntButton2 = new QPushButton(QStringLiteral("CLOSE"), this);
    TntButton2->setObjectName(QStringLiteral("TntButton2"));
    TntButton2->setGeometry(121, 134, 85, 27);
    connect(TntButton1, &QPushButton::clicked, this, &TformLngsel::save);
    connect(TntButton2, &QPushButton::clicked, this, &QDialog::reject);
}

int TformLngsel::selectedEntry() const
{
    return m_entries->checkedId();
}

void TformLngsel::selectEntry(int entry)
{
    if (entry >= 0 && entry < 3) {
        m_entries->button(entry)->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; lift that to clear it.
    m_entries->setExclusive(false);
    for (QAbstractButton *button : m_entries->buttons())
        button->setChecked(false);
    m_entries->setExclusive(true);
}

void TformLngsel::showEvent(QShowEvent *event)
{
    const QString code = m_shell.state().languageCode;
    selectEntry(code == QLatin1String("1") ? 0 : code == QLatin1String("2") ? 1 : code == QLatin1String("3") ? 2 : -1);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

bool TformLngsel::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TformLngsel::FormActivate()
{
    using InterfaceLanguage::TextSlot;
    QVector<TextSlot> textSlots;
    for (QPushButton *button : {TntButton1, TntButton2}) {
        textSlots.push_back({InterfaceLanguage::kEnglishKey, [button] { return button->text(); },
                             [button](const QString &text) { button->setText(text); }});
    }
    m_shell.translateWindowTexts(textSlots);
}

void TformLngsel::save()
{
    const int entry = selectedEntry();
    // Nothing chosen: nothing to save (storing language 0 would leave the
    // player with no interface language at the next start).
    if (entry < 0)
        return;
    // The confirmation speaks the language in force, not the one chosen.
    QStringList texts{QStringLiteral("Configuration will be done after restart ."), QStringLiteral("OK")};
    InterfaceLanguage::translateTexts(m_shell.ADOQuery1, texts, m_shell.state().languageCode);
    try {
        InterfaceLanguage::saveChoice(m_shell.ADOQuery2, entry, m_shell.state().languageCode);
    } catch (const StoreError &) {
        // Not reported; the confirmation is still shown.
    }
    Q_EMIT confirmationRequested(texts.at(0), texts.at(1));
    accept();
}

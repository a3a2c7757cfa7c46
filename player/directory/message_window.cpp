#include "directory/message_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

Tform_message::Tform_message(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("form_message"));
    setWindowTitle(QStringLiteral("Vexa Player"));
    setFixedSize(524, 161);
    setModal(true);

    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(13);

    TntLabel1 = new QLabel(this);
    TntLabel1->setTextFormat(Qt::PlainText);
    TntLabel1->setObjectName(QStringLiteral("TntLabel1"));
    TntLabel1->setGeometry(8, 54, 508, 20);
    TntLabel1->setAlignment(Qt::AlignCenter);
    TntLabel1->setFont(font);

    TntButton1 = new QPushButton(QStringLiteral("OK"), this);
    TntButton1->setObjectName(QStringLiteral("TntButton1"));
    TntButton1->setGeometry(224, 104, 75, 25);
    TntButton1->setFont(font);
    TntButton1->setDefault(true);
    connect(TntButton1, &QPushButton::clicked, this, &QDialog::accept);
}

void Tform_message::showMessage(const QString &text, const QString &buttonText)
{
    TntLabel1->setText(text);
    TntButton1->setText(buttonText);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    exec();
}

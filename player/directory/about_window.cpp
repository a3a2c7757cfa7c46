#include "directory/about_window.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {

QPixmap banner()
{
    QImage image(366, 60, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 366, 0);
    g.setColorAt(0, QColor(22, 28, 40));
    g.setColorAt(1, QColor(70, 82, 106));
    p.fillRect(image.rect(), g);
    p.fillRect(QRect(0, 56, 366, 4), QColor(74, 163, 255));
    QFont f(QStringLiteral("Arial"));
    f.setBold(true);
    f.setPixelSize(24);
    p.setFont(f);
    p.setPen(QColor(244, 247, 251));
    p.drawText(QRect(16, 0, 340, 56), Qt::AlignVCenter, QStringLiteral("Vexa Radio"));
    return QPixmap::fromImage(image);
}

QPixmap programPicture()
{
    QImage image(75, 83, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 49, 66));
    p.setPen(QPen(QColor(74, 163, 255), 2));
    p.drawRoundedRect(QRectF(4, 20, 67, 56), 8, 8);
    p.drawLine(QPointF(20, 20), QPointF(52, 4));
    p.setBrush(QColor(255, 216, 74));
    p.drawEllipse(QPointF(26, 48), 14, 14);
    p.setBrush(QColor(74, 163, 255));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(46, 34 + i * 8, 18, 4));
    return QPixmap::fromImage(image);
}

}  // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(QStringLiteral("Vexa Radio Player"));
    setFixedSize(366, 297);

    TntImage1 = new QLabel(this);
    TntImage1->setTextFormat(Qt::PlainText);
    TntImage1->setGeometry(0, 0, 366, 60);
    TntImage1->setPixmap(banner());

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(10, 72, 345, 161);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setTextFormat(Qt::PlainText);
    ProgramIcon->setGeometry(8, 8, 75, 83);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(programPicture());
    TntLabel1 = new QLabel(QStringLiteral("Vexa Radio Player"), panel);
    TntLabel1->setTextFormat(Qt::PlainText);
    TntLabel1->move(96, 24);
    QFont bold = TntLabel1->font();
    bold.setBold(true);
    TntLabel1->setFont(bold);
    TntLabel2 = new QLabel(QStringLiteral("Version 1.0.0.0"), panel);
    TntLabel2->setTextFormat(Qt::PlainText);
    TntLabel2->move(96, 48);
    TntLabel3 = new QLabel(QStringLiteral("Copyright \u00a9 the Vexa Radio team.\nAll rights reserved."), panel);
    TntLabel3->setTextFormat(Qt::PlainText);
    TntLabel3->move(96, 72);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(152, 256, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    if (m_translate)
        Button1->setText(m_translate(Button1->text()));
    QDialog::showEvent(event);
}

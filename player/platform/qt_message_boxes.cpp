#include "platform/qt_message_boxes.h"

#include <QMessageBox>

void QtMessageBoxes::information(const QString &title, const QString &text)
{
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
}

void QtMessageBoxes::error(const QString &title, const QString &text)
{
    QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::confirm(const QString &title, const QString &text)
{
    return QMessageBox::question(nullptr, title, text, QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok;
}

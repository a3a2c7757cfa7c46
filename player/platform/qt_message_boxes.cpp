#include "platform/qt_message_boxes.h"

#include <QMessageBox>

namespace {

// Texts may carry names and addresses from pages or the store: shown as
// plain text, never as rich text.
QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &title, const QString &text,
                                QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons);
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

}  // namespace

void QtMessageBoxes::information(const QString &title, const QString &text)
{
    ask(QMessageBox::Information, title, text, QMessageBox::Ok);
}

void QtMessageBoxes::error(const QString &title, const QString &text)
{
    ask(QMessageBox::Critical, title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::confirm(const QString &title, const QString &text)
{
    return ask(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

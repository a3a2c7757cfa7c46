#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The message window: one line of text (any script) and an OK button,
// shown modally. The opener sets both texts, already translated.
class Tform_message : public QDialog
{
    Q_OBJECT
public:
    explicit Tform_message(QWidget *parent = nullptr);

    // Sets the message and the button caption, then runs modally until OK.
    void showMessage(const QString &text, const QString &buttonText);

    QLabel *TntLabel1;
    QPushButton *TntButton1;
};

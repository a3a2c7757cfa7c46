#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// The about box: modal, fixed size, centred on the screen.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    // Text lookup for the OK button at each showing (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }

    QLabel *TntImage1;
    QLabel *ProgramIcon;
    QLabel *TntLabel1;
    QLabel *TntLabel2;
    QLabel *TntLabel3;
    QPushButton *Button1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::function<QString(const QString &)> m_translate;
};

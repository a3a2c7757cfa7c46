#pragma once

#include <QWidget>

// The web page window (contact page, member logon page).
// Created hidden at start-up; its content comes with the work that owns it.
class TForm_myvexa : public QWidget
{
    Q_OBJECT
public:
    explicit TForm_myvexa(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("Form_myvexa"));
        setWindowTitle(QStringLiteral("Form_myvexa"));
    }
};

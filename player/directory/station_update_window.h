#pragma once

#include <QWidget>

// The station update window.
// Created hidden at start-up; its content comes with the work that owns it.
class TForm_radioUpdate : public QWidget
{
    Q_OBJECT
public:
    explicit TForm_radioUpdate(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("Form_radioUpdate"));
        setWindowTitle(QStringLiteral("Station update"));
    }
};

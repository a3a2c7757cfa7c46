#pragma once

#include <QWidget>

// The real-time record setup window.
// Created hidden at start-up; its content comes with the work that owns it.
class TrecMainForm : public QWidget
{
    Q_OBJECT
public:
    explicit TrecMainForm(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("recMainForm"));
        setWindowTitle(QStringLiteral("Audio Cap"));
    }
};

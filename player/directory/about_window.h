#pragma once

#include <QWidget>

// The about box.
// Created hidden at start-up; its content comes with the work that owns it.
class TAboutBox : public QWidget
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("AboutBox"));
        setWindowTitle(QStringLiteral("Vexa Radio Player"));
    }
};

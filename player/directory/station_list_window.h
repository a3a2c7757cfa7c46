#pragma once

#include <QWidget>

// The station list window (by location or by genre).
// Created hidden at start-up; its content comes with the work that owns it.
class TForm_location : public QWidget
{
    Q_OBJECT
public:
    explicit TForm_location(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("Form_location"));
        setWindowTitle(QStringLiteral("PLAYLIST"));
    }
};

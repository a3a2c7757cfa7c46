#pragma once

#include <QWidget>

// The recorder host window; closing it ends a running live recorder.
// Created hidden at start-up; its content comes with the work that owns it.
class TFormR : public QWidget
{
    Q_OBJECT
public:
    explicit TFormR(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("FormR"));
        setWindowTitle(QStringLiteral("Recorder"));
    }
};

#pragma once

#include <QWidget>

// The recordings list.
// Created hidden at start-up; its content comes with the work that owns it.
class TForm_recordlist : public QWidget
{
    Q_OBJECT
public:
    explicit TForm_recordlist(QWidget *parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setObjectName(QStringLiteral("Form_recordlist"));
        setWindowTitle(QStringLiteral("Record list"));
    }
};

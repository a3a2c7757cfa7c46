#pragma once

#include <QWidget>

class DataSet;
class MessageBoxes;
class Store;

// The schedule window. Creating it opens the store's one connection and the
// schedule table (its own data set and the main window's runner copy); the
// editor itself comes with the schedule work.
class TForm_record : public QWidget
{
    Q_OBJECT
public:
    TForm_record(Store &store, const QString &storeFile, DataSet &runnerSchedule,
                 MessageBoxes *messages, QWidget *parent = nullptr);
    ~TForm_record() override;

    DataSet &ADOTb1() { return *m_schedule; }

private:
    DataSet *m_schedule;
};

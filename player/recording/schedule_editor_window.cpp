#include "recording/schedule_editor_window.h"

#include "platform/message_boxes.h"
#include "store/dataset.h"
#include "store/store.h"

TForm_record::TForm_record(Store &store, const QString &storeFile, DataSet &runnerSchedule,
                           MessageBoxes *messages, QWidget *parent)
    : QWidget(parent, Qt::Window), m_schedule(new DataSet(store))
{
    setObjectName(QStringLiteral("Form_record"));
    setWindowTitle(QStringLiteral("Schedule"));
    bool ok = store.open(storeFile);
    if (ok) {
        try {
            m_schedule->openTable(QStringLiteral("recSchedul"));
            runnerSchedule.openTable(QStringLiteral("recSchedul"));
        } catch (const StoreError &) {
            ok = false;
        }
    }
    // A store that was refused says why (newer, not ours, not upgradable).
    if (!ok && messages)
        messages->error(QStringLiteral("Error"), store.refusal().isEmpty()
                                                     ? QStringLiteral("Database connect error!")
                                                     : QStringLiteral("Database connect error!\n\n") + store.refusal());
}

TForm_record::~TForm_record()
{
    delete m_schedule;
}

#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "core/interface_language.h"
#include "platform/platform_parts.h"
#include "core/main_state.h"
#include "store/dataset.h"
#include "store/schedule_table.h"

class Store;

// The main window's logic: its data sets, the show and activation steps
// that read the store, and the notification icon. The window TForm_main is
// layout and wiring on top of it.
class MainShell : public QObject
{
    Q_OBJECT
public:
    MainShell(MainState &state, Store &store, const PlatformParts &platform, const QString &programDir,
              QObject *parent = nullptr);

    MainState &state() { return m_state; }
    Store &store() { return m_store; }
    const PlatformParts &platform() const { return m_platform; }
    QString programDir() const { return m_programDir; }

    // The schedule, shared by the schedule editor, the runner and live
    // recording; and the main window's data sets, all on the store's one
    // connection: ADOTb2 myRadio, ADOQuery1 the shared phrase query,
    // ADOQuery2 the language setting (left open on its row), ADOQuery3 the
    // memory-station name check.
    ScheduleTable schedule;
    DataSet ADOTb2;
    DataSet ADOQuery1;
    DataSet ADOQuery2;
    DataSet ADOQuery3;

    // Show steps that read the store: open myRadio, read the language
    // setting (asking for the language on a first run through
    // firstRunLanguageChoice, synchronously), then translate the stored
    // schedule words. Each step's failure is ignored.
    void showSteps();

    // The three per-language tab pictures (picMem, picList, picMenu) for the
    // current language; empty for a language without pictures.
    QStringList languagePictureNames() const;
    // Set-mode-on picture of picMem for the current language, or empty.
    QString cancelPictureName() const;

    // Window texts into the current language (column of languageCode).
    bool translateWindowTexts(const QVector<InterfaceLanguage::TextSlot> &textSlots);
    // One text built in code, keyed by its English wording.
    QString lookup(const QString &english);

    // The notification icon's normal tip.
    static inline const QString kNotificationTip = QStringLiteral("Vexa Radio");
    // Puts the single notification icon up (removing any earlier one).
    void showNotificationIcon();
    // The icon's tip from now on, also over an icon added later; empty
    // gives back the normal tip.
    void setNotificationTip(const QString &tip);

    void closeDataSets();

    QImage loadPicture(const QString &relativeName) const;

Q_SIGNALS:
    // The language window must be shown modally, now.
    void firstRunLanguageChoice();

private:
    MainState &m_state;
    Store &m_store;
    PlatformParts m_platform;
    QString m_programDir;
    QString m_notificationTip = kNotificationTip;
};

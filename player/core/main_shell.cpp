#include "core/main_shell.h"

#include "platform/notification_icon.h"
#include "core/skin_art.h"
#include "core/skin_files.h"
#include "store/store.h"

MainShell::MainShell(MainState &state, Store &store, const PlatformParts &platform, const QString &programDir,
                     QObject *parent)
    : QObject(parent),
      schedule(store),
      ADOTb2(store),
      ADOQuery1(store),
      ADOQuery2(store),
      ADOQuery3(store),
      m_state(state),
      m_store(store),
      m_platform(platform),
      m_programDir(programDir)
{
}

void MainShell::showSteps()
{
    try {
        ADOTb2.openTable(QStringLiteral("myRadio"));
    } catch (const StoreError &) {
    }
    if (InterfaceLanguage::readSetting(ADOQuery2, m_state))
        Q_EMIT firstRunLanguageChoice();
    // The schedule was read when the store was opened.
    InterfaceLanguage::translateScheduleWords(ADOQuery1, schedule, m_state.previousLanguageCode, m_state.languageCode);
}

QStringList MainShell::languagePictureNames() const
{
    QString suffix;
    if (m_state.languageCode == QLatin1String("1"))
        suffix = QString();
    else if (m_state.languageCode == QLatin1String("2") || m_state.languageCode == QLatin1String("3"))
        suffix = m_state.languageCode;
    else
        return {};
    return {QStringLiteral("pic/picmem%1.bmp").arg(suffix), QStringLiteral("pic/piclist%1.bmp").arg(suffix),
            QStringLiteral("pic/picmenu%1.bmp").arg(suffix)};
}

QString MainShell::cancelPictureName() const
{
    if (m_state.languageCode == QLatin1String("1"))
        return QStringLiteral("pic/picCancel.bmp");
    if (m_state.languageCode == QLatin1String("2") || m_state.languageCode == QLatin1String("3"))
        return QStringLiteral("pic/picCancel%1.bmp").arg(m_state.languageCode);
    return QString();
}

bool MainShell::translateWindowTexts(const QVector<InterfaceLanguage::TextSlot> &textSlots)
{
    return InterfaceLanguage::translate(ADOQuery1, textSlots, InterfaceLanguage::column(m_state.languageCode));
}

QString MainShell::lookup(const QString &english)
{
    return InterfaceLanguage::lookup(ADOQuery1, english, m_state.languageCode);
}

void MainShell::showNotificationIcon()
{
    if (!m_platform.trayIcon)
        return;
    m_platform.trayIcon->remove();
    m_platform.trayIcon->add(SkinArt::programIcon(), m_notificationTip);
}

void MainShell::setNotificationTip(const QString &tip)
{
    m_notificationTip = tip.isEmpty() ? kNotificationTip : tip;
    if (m_platform.trayIcon)
        m_platform.trayIcon->setTip(m_notificationTip);
}

void MainShell::closeDataSets()
{
    schedule.close();
    ADOTb2.close();
}

QImage MainShell::loadPicture(const QString &relativeName) const
{
    return SkinFiles::load(m_programDir, relativeName);
}

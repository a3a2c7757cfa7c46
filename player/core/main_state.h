#pragma once

#include <QObject>
#include <QString>

#include "build_config.h"

// The main window's hidden state fields and the current station. Other
// windows and logic read and write these by name; each holds one text
// value. The control each field stands for is noted beside it.
class MainState : public QObject
{
    Q_OBJECT
public:
    explicit MainState(QObject *parent = nullptr) : QObject(parent) {}

    // Interface language number as text: "1" English, "2" Traditional
    // Chinese, "3" Simplified Chinese (Edit20), and the one in force before
    // the last change (Edit21). Read from the store at each showing.
    QString languageCode;
    QString previousLanguageCode;
    // Directory server base address, ending with "/" (surweb).
    QString directoryBaseUrl = QStringLiteral(VEXA_DIRECTORY_BASE_URL);
    QString stationWebsite;                            // radioweb
    QString stationPageUrl;                            // Edit13
    QString listenSeconds;                             // Edit23: "0".."301", or "400" for a local file
    QString listenStartTime;                           // Edit24: local date-time text
    QString currentMemorySlot = QStringLiteral("1");   // Edit11
    QString memorySetMode = QStringLiteral("cancel");  // Edit19: "mem" or "cancel"
    QString memberLogon;                               // memLogon
    QString timeZoneBias;                              // caption of Button4, minutes

    // Current station (LabRname1, LabLocation, LabGenre, labWebsite,
    // LabType, LabRadioid).
    QString stationStreamUrl;
    QString stationLocation;
    QString stationGenre;
    QString stationWebUrl;
    QString stationRate;
    QString stationId;

    // Station name shown in LabRname; the window follows the signal.
    QString stationName() const { return m_stationName; }
    void setStationName(const QString &name)
    {
        if (name == m_stationName)
            return;
        m_stationName = name;
        Q_EMIT stationNameChanged(m_stationName);
    }

    // Status text shown in LabStatus.
    QString statusText() const { return m_statusText; }
    void setStatusText(const QString &text)
    {
        if (text == m_statusText)
            return;
        m_statusText = text;
        Q_EMIT statusTextChanged(m_statusText);
    }

Q_SIGNALS:
    void stationNameChanged(const QString &name);
    void statusTextChanged(const QString &text);

private:
    QString m_stationName;
    QString m_statusText;
};

#pragma once

#include <QObject>
#include <QString>

class ProcessLauncher;

// Starts recorder processes. The player keeps no handle to them.
class RecorderControl : public QObject
{
    Q_OBJECT
public:
    RecorderControl(ProcessLauncher &launcher, const QString &programDir, QObject *parent = nullptr);

    // Starts grabclock with the address, the output path without extension
    // and the duration (clamped to 1..2147483647 ms); false when it could
    // not start.
    bool startScheduledRecorder(const QString &address, const QString &outputPath, qint64 durationMs);

private:
    ProcessLauncher &m_launcher;
    QString m_programDir;
};

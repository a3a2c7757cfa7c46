#include "recording/recorder_control.h"

#include <QStringList>

#include "platform/process_launcher.h"

RecorderControl::RecorderControl(ProcessLauncher &launcher, const QString &programDir, QObject *parent)
    : QObject(parent), m_launcher(launcher), m_programDir(programDir)
{
}

bool RecorderControl::startScheduledRecorder(const QString &address, const QString &outputPath, qint64 durationMs)
{
    const qint64 duration = qBound(qint64(1), durationMs, qint64(2147483647));
    return m_launcher.start(m_programDir + QStringLiteral("/grabclock"),
                            {address, outputPath, QString::number(duration)});
}

#pragma once

#include <QObject>
#include <QString>

#include "platform/platform_parts.h"
#include "shell/main_state.h"

// Assembly of the player: creates the logic objects and the windows in
// start-up order and connects them. New logic objects are created and wired
// here; windows only announce intent through their signals.
class Application : public QObject
{
    Q_OBJECT
public:
    Application(const PlatformParts &platform, const QString &programDir, QObject *parent = nullptr);
    ~Application() override;

    // Creates the windows hidden, in order, then shows the main window.
    void start();

    const PlatformParts &platform() const { return m_platform; }
    QString programDir() const { return m_programDir; }
    MainState &state() { return m_state; }

private:
    PlatformParts m_platform;
    QString m_programDir;
    MainState m_state;
};

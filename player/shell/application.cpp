#include "shell/application.h"

Application::Application(const PlatformParts &platform, const QString &programDir, QObject *parent)
    : QObject(parent), m_platform(platform), m_programDir(programDir)
{
}

Application::~Application() = default;

void Application::start()
{
}

#pragma once

// A private Xvfb display for end-to-end tests that show real windows.

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qt_web_browser.h"

extern char **environ;

namespace xvfb {

inline pid_t g_xvfb = -1;

// Starts Xvfb on a display it picks itself (-displayfd); "" on failure.
inline std::string startXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    std::string screen = "1280x800x24";
    const char *argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
    const int rc = posix_spawnp(&g_xvfb, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string display;
    if (rc == 0) {
        pollfd p{fds[0], POLLIN, 0};
        char buf[32];
        while (poll(&p, 1, 15000) > 0) {
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0)
                break;
            display.append(buf, std::size_t(n));
            if (display.find('\n') != std::string::npos)
                break;
        }
    }
    close(fds[0]);
    while (!display.empty() && (display.back() == '\n' || display.back() == '\r'))
        display.pop_back();
    return display.empty() ? std::string() : ":" + display;
}

inline void stopXvfb()
{
    if (g_xvfb > 0) {
        kill(g_xvfb, SIGTERM);
        waitpid(g_xvfb, nullptr, 0);
        g_xvfb = -1;
    }
}

inline bool saveScreen(const QString &file)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(file);
}

// The whole of a test program's main(): runs the Qt Test object `Test` on
// the xcb platform of a private X server. The web engine needs a real
// display for shown views, and screenshots need a screen to grab.
template <class Test>
int runTest(int argc, char **argv)
{
    const std::string display = startXvfb();
    if (display.empty()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The web engine set up as the program sets it up (sandbox, software
    // composition).
    QtWebBrowserFactory::prepareEnvironment();
    QTemporaryDir runtime;
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        Test test;
        status = QTest::qExec(&test, argc, argv);
    }
    stopXvfb();
    return status;
}

}  // namespace xvfb

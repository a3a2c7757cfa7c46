#pragma once

#include <QObject>
#include <QPointer>

class QSocketNotifier;

// SIGTERM (logout, shutdown, kill), SIGINT (Ctrl+C) and SIGHUP (the
// terminal went away) close the player as a close of its main window does:
// the handler only writes the signal's number to a pipe; the event loop
// reads it and calls the window's close(), which runs the close steps (the
// live recorder is ended, a due listening report goes out, the store is
// closed). A second signal while those steps still run ends the program at
// once with the system's default action.
//
// One per process; the dispositions before it are restored when it goes.
class PosixCloseSignals final : public QObject
{
    Q_OBJECT
public:
    // `window` is closed through its close() slot.
    explicit PosixCloseSignals(QObject *window, QObject *parent = nullptr);
    ~PosixCloseSignals() override;

    // False when the pipe or a handler could not be set up.
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // The number of the signal that asked for the close, before the close.
    void received(int signal);

private:
    void readPipe();

    QPointer<QObject> m_window;
    QSocketNotifier *m_notifier = nullptr;
    bool m_closing = false;
};

#include "platform/posix_close_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QMetaObject>
#include <QSocketNotifier>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; -1 while no instance is installed. Read by the handler,
// which may run on any thread at any moment: plain ints, set before the
// handlers and cleared after they are gone.
volatile sig_atomic_t g_writeEnd = -1;
int g_readEnd = -1;
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

extern "C" void onCloseSignal(int signal)
{
    const int saved = errno;
    const int fd = g_writeEnd;
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a close request: dropping this one is fine.
        [[maybe_unused]] const ssize_t n = ::write(fd, &number, 1);
    }
    errno = saved;
}

}  // namespace

PosixCloseSignals::PosixCloseSignals(QObject *window, QObject *parent) : QObject(parent), m_window(window)
{
    if (g_readEnd >= 0)
        return;  // one per process
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_readEnd = fds[0];
    g_writeEnd = fds[1];
    struct sigaction action = {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    m_notifier = new QSocketNotifier(qintptr(g_readEnd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PosixCloseSignals::readPipe);
}

PosixCloseSignals::~PosixCloseSignals()
{
    if (!m_notifier)
        return;
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    ::close(g_readEnd);
    g_readEnd = -1;
}

void PosixCloseSignals::readPipe()
{
    unsigned char numbers[64];
    const ssize_t n = ::read(g_readEnd, numbers, sizeof numbers);
    if (n <= 0)
        return;
    const int signal = numbers[n - 1];
    if (m_closing) {
        // Asked again while closing: the close steps hang; end now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    m_closing = true;
    Q_EMIT received(signal);
    if (m_window)
        QMetaObject::invokeMethod(m_window, "close", Qt::DirectConnection);
    else
        m_closing = false;
}

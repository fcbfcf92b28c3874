#include "app/quitonsignals.h"

#include "logging.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int pipeEnds[2] = {-1, -1};
const int handledSignals[] = {SIGTERM, SIGHUP, SIGINT};

} // namespace

QuitOnSignals::QuitOnSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        qCWarning(lcApp) << "cannot watch for stop signals";
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignals::received);
    struct sigaction action = {};
    action.sa_handler = &QuitOnSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals) {
        sigaction(signal, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals()
{
    for (const int signal : handledSignals) {
        std::signal(signal, SIG_DFL);
    }
    if (pipeEnds[0] >= 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        pipeEnds[0] = pipeEnds[1] = -1;
    }
}

void QuitOnSignals::handle(int signal)
{
    const char byte = char(signal);
    // Nothing to do if it fails: the byte only wakes the event loop.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
}

void QuitOnSignals::received()
{
    char byte = 0;
    if (::read(pipeEnds[1], &byte, 1) == 1) {
        qCDebug(lcApp) << "signal" << int(byte) << "received: quitting";
    }
    QCoreApplication::quit();
}

#include "OVTerminationSignals.h"

#include "OVLogger.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

int OVTerminationSignals::s_pipe[2] = {-1, -1};

namespace {
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
}

OVTerminationSignals::OVTerminationSignals(QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_pipe) != 0) {
        OVLog("No signal pipe (errno %i): termination signals end the process at once", errno);
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &OVTerminationSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = &OVTerminationSignals::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

OVTerminationSignals::~OVTerminationSignals() {
    if (!m_notifier)
        return;
    for (int number : kSignals)
        ::signal(number, SIG_DFL);
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void OVTerminationSignals::onSignal(int signalNumber) {
    // Only async-signal-safe calls here: the event loop does the rest.
    const char number = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[0], &number, 1);
}

void OVTerminationSignals::onReadable() {
    char number = 0;
    if (::read(s_pipe[1], &number, 1) != 1)
        return;
    OVLog("Quit on signal %i", int(number));
    QCoreApplication::quit();
}

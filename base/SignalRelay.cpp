// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SignalRelay.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
int g_fds[2] = {-1, -1};

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    // Only async-signal-safe work here: one byte into the pipe, never
    // waiting when it is full (one byte there is enough to close).
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
}
} // namespace
#endif

void SignalRelay::catchEarly()
{
#ifdef Q_OS_UNIX
    // A reader of our output that has gone, or a peer that has, is an
    // error to handle where it happens, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    if (g_fds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        return;
    }
    // A signal before the event loop runs waits in the pipe, so the close
    // still goes the orderly way (converter and lock removed).
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
#endif
}

SignalRelay::SignalRelay(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    catchEarly();
    if (g_fds[1] < 0) {
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        if (::read(g_fds[1], &byte, 1) == 1) {
            emit terminationRequested(byte);
        }
    });
#endif
}

SignalRelay::~SignalRelay()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
#endif
}

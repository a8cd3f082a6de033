// SPDX-License-Identifier: GPL-3.0-or-later
#include "Signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ui {

#ifdef Q_OS_UNIX
namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
} // namespace
#endif

EndSignals::EndSignals(QObject *parent) : QObject(parent) { }

bool EndSignals::catchSignals(bool reload)
{
#ifdef Q_OS_UNIX
    if (g_pipe[0] < 0) {
        if (::pipe(g_pipe) != 0)
            return false;
        for (const int fd : g_pipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        if ((number != SIGHUP || reload) && ::sigaction(number, &action, nullptr) != 0)
            return false;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) {
            if (byte == SIGHUP)
                emit reloadRequested();
            else
                emit endRequested(byte == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
        }
    });
#else
    Q_UNUSED(reload)
#endif
    return true;
}

} // namespace ui

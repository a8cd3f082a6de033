// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>

#if defined(Q_OS_LINUX)
#include <time.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace ui {

double SystemClock::monotonicSeconds() const
{
#ifdef Q_OS_LINUX
    // The boot-time clock goes on while the machine sleeps, so after a resume
    // the data is stale at once and the sleep counts as time without data;
    // the monotonic clock (QElapsedTimer's) stands still through a suspend.
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) == 0)
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
#elif defined(Q_OS_WIN)
    // Windows' tick count goes on through sleep and hibernation too.
    return double(::GetTickCount64()) / 1000.0;
#endif
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.nsecsElapsed() / 1e9;
}

double Clock::secondsSinceMidnight() const { return time().msecsSinceStartOfDay() / 1000.0; }

QString Clock::shortDateText() const { return QLocale::system().toString(date(), QLocale::ShortFormat); }

QString longTimeFormat()
{
    QString f = QLocale::system().timeFormat(QLocale::LongFormat);
    // Drop the zone ("t", "tt", ...) and the blanks before it.
    f.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    return f.trimmed();
}

QString Clock::longTimeText() const { return QLocale::system().toString(time(), longTimeFormat()); }

} // namespace ui

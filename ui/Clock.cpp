#include "Clock.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>

namespace ui {

double SystemClock::monotonicSeconds() const
{
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

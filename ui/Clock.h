// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clock seam: windows read the date and time only through a Clock.

#include <QDateTime>
#include <QString>

namespace ui {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Seconds on a clock that never jumps back (not moved by the user, a time
    // server or a change of zone) and that goes on while the machine sleeps,
    // so a resume is a jump forward; the origin does not matter.
    virtual double monotonicSeconds() const = 0;

    QDate date() const { return now().date(); }
    QTime time() const { return now().time(); }
    double secondsSinceMidnight() const;
    // The regional short date ("7/03/2026") and long time without a zone
    // ("14:05:09", "2:05:09 PM").
    QString shortDateText() const;
    QString longTimeText() const;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    double monotonicSeconds() const override;
};

// The locale's long time format without its time-zone field.
QString longTimeFormat();

} // namespace ui

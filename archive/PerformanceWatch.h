// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The days' performance against the certified curve for the under-performing
// alarm: the days before today, up to kLookBackDays back, read from the
// archive's day sums every few minutes on a thread of its own. A day's figure is read once and kept, except
// yesterday's (its last minutes may still be on their way) and all of them
// when the certified curve or the turbine's settings change.

#include "core/Performance.h"
#include "ui/Services.h"

#include <QDate>
#include <QObject>
#include <functional>
#include <map>
#include <optional>
#include <string>

class QThread;
class QTimer;

namespace archive {

class PerformanceWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kCheckMs = 10 * 60 * 1000;
    static constexpr int kLookBackDays = 90;
    // `tell` gets the days (yyyymmdd; empty without a certified curve) and
    // today after each check.
    using Tell = std::function<void(const std::map<int, core::PerformanceSums> &days, int today)>;
    PerformanceWatch(const ui::Services &services, Tell tell, QObject *parent = nullptr);

    // Starts a check (none while one is under way); `tell` hears the result.
    void check();
    bool checking() const { return m_thread != nullptr; }
    QTimer *timer() const { return m_timer; }
    ~PerformanceWatch() override;

private:
    void take(const std::optional<core::PerformanceBook> &book, int from, int today);

    ui::Services m_services;
    Tell m_tell;
    std::string m_key; // the certified curve and the rules the days were read by
    std::map<int, core::PerformanceSums> m_days;
    QTimer *m_timer;
    QThread *m_thread = nullptr;
};

} // namespace archive

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// This month's availability for MQTT and the metrics: read from the
// archive's tallies every few minutes on a thread of its own.

#include "core/Availability.h"
#include "ui/Services.h"

#include <QObject>
#include <functional>
#include <optional>

class QThread;
class QTimer;

namespace archive {

class AvailabilityWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kCheckMs = 5 * 60 * 1000;
    // `tell` gets the month's figures (none without an archive or on a failure).
    using Tell = std::function<void(const std::optional<core::Availability> &month)>;
    AvailabilityWatch(const ui::Services &services, Tell tell, QObject *parent = nullptr);
    ~AvailabilityWatch() override;

    // Starts a read (none while one is under way); `tell` hears the result.
    void check();
    bool checking() const { return m_thread != nullptr; }

private:
    ui::Services m_services;
    Tell m_tell;
    QTimer *m_timer;
    QThread *m_thread = nullptr;
};

} // namespace archive

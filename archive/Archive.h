// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive room: makes a minute of every minute with live data, whether or
// not the daily log is on, and hands each finished minute to the writer's
// thread. The composition root feeds it the session's frames.

#include "core/Archive.h"
#include "core/Availability.h"
#include "core/PowerCurve.h"
#include "ui/Services.h"

#include <QObject>
#include <QSet>
#include <optional>
#include <memory>

class QThread;
class QTimer;

namespace archive {

class ArchiveWriter;

class Archive : public QObject {
    Q_OBJECT
public:
    explicit Archive(const ui::Services &services, QObject *parent = nullptr);
    // The minute in progress is written, then the writer ends.
    ~Archive() override;

    // Reads archive.cfg and forgets the minutes past their time.
    void loadSettings();
    // Reads turbine.cfg and the certified curve: the power curve's and the
    // minutes' categories' rules.
    void loadTurbine();
    static core::TurbineSettings turbineSettings(const QString &programFolder);
    // The certified curve kept (none when there is none or it cannot be read).
    static std::vector<core::CurvePoint> certified(const QString &programFolder);
    const core::ArchiveSettings &settings() const { return m_settings; }
    QString path() const;
    QString settingsPath() const;

    void frame(const core::RawReading &raw, const core::Reading &reading, const std::string &windUnitShown);
    // Energy the session's book counted since its last step (watt-hours).
    void energy(double wattHours);
    void dropped(long long count);
    // The clock's tick: minutes that ended go to the writer.
    void tick();

    ArchiveWriter *writer() const { return m_writer; }
    // What a sender of the minutes has had confirmed (nullopt: nothing is
    // sent), for counting the minutes retention lets go before it has them.
    void setSentUpTo(std::optional<qint64> seq);
    // Minutes let go unwritten in this run.
    long long minutesDropped() const { return m_dropped; }
    // What is wrong with the archive now, for a status line ("" when nothing).
    QString status() const { return m_status; }

signals:
    void statusChanged(const QString &status);
    // A minute was written (on the writer's thread; for those who read it).
    void written(qint64 lastMinute);
    // The minutes' categories' rules (the resolved cut-in among them).
    void rulesFound(const core::AvailabilityRules &rules);

private:
    std::int64_t monoMs() const;
    void handOver(std::vector<core::ArchiveRow> rows);
    void forgetOld();
    void tell(const QString &condition, const QString &text);
    void showStatus();

    ui::Services m_services;
    core::ArchiveSettings m_settings;
    core::MinuteBuilder m_builder;
    QThread *m_thread;
    ArchiveWriter *m_writer;
    QTimer *m_tick, *m_forget;
    QSet<QString> m_told;
    QString m_status;
    long long m_dropped = 0;
    bool m_failing = false, m_clockAhead = false;
};

} // namespace archive

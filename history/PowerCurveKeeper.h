// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the measured power curve for the whole run: reads powercurve.csv at
// start, adds each live frame, and writes the file back whole (never half a
// file) at least once a minute while it changes and when the program ends.

#include "core/PowerCurve.h"
#include "ui/Services.h"

#include <QObject>
#include <QString>
#include <optional>
#include <string>

class QTimer;

namespace history {

class PowerCurveKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kSaveIntervalMs = 60 * 1000;
    // How long frames take their wall-clock time from the monotonic clock.
    static constexpr double kWallClockSeconds = 10;

    // Reads the file at once: a missing file starts an empty curve silently;
    // one that cannot be read or is damaged is kept aside under a free
    // numbered name (ui::keepAside) and the curve starts again, with one
    // message; a bin's damaged time range is mended and told.
    // Messages are shown over `messageParent`.
    PowerCurveKeeper(const ui::Services &services, QObject *messageParent, QObject *parent = nullptr);
    ~PowerCurveKeeper() override;

    // The wind unit and calibration of the frames to come.
    void setSettings(const std::string &wsUnits, const core::Calibration &cal);
    // One processed frame: the raw values, the reading they made, the state
    // of the data after it and when it came (seconds on the monotonic clock).
    void frame(const core::RawReading &raw, const core::Reading &reading, core::DataState state, double now);

    // Writes the file when the curve changed since it was last written. False
    // when it could not be written (told once until a write works again).
    bool save();
    // Starts a new curve. The old file is kept as powercurve-<yyyy-mm-dd>.csv
    // (with "-2", "-3", ... when that name is taken). False, with a message and
    // the curve unchanged, when the old file could not be kept.
    bool reset();

    const core::PowerCurve &curve() const { return m_curve; }
    // Where reset() would keep the file now.
    QString keptFile() const;
    const core::WindUnit &unit() const { return m_unit; }
    // The wind unit as the settings hold it, without outer blanks.
    QString unitText() const { return m_unitText; }
    // Frames came in a unit the curve is not in (the setting was changed).
    bool otherUnitSeen() const { return m_otherUnit; }
    QString file() const { return m_file; }

signals:
    // The curve changed (a frame counted, a reset).
    void changed();

private:
    void load();
    void tell(const QString &text, bool wait);

    ui::Services m_services;
    QObject *m_messageParent;
    QString m_file;
    core::PowerCurve m_curve;
    core::WindUnit m_unit{"m/s", 1.0};
    QString m_unitText = QStringLiteral("m/s");
    core::Calibration m_cal;
    QTimer *m_saveTimer;
    bool m_dirty = false;
    bool m_otherUnit = false;
    // A damaged file that could not be moved aside is never written over.
    bool m_mayWrite = true;
    bool m_saveFailTold = false;
    // The wall clock read at a monotonic time: frames between reads take
    // their time from the monotonic clock, as a wall-clock read per frame
    // would be most of the curve's cost.
    std::optional<double> m_wallReadAt;
    qint64 m_wallMs = 0;
};

} // namespace history

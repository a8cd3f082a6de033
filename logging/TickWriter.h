// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The files of one logging tick: the day's log record, and when switched on
// the history line with the live page and the spreadsheet row.

#include "core/Liveness.h"
#include "core/Reading.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Services.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <string>

namespace logging {

// What the tick writes, taken before the maxima are reset. The settings are
// the texts of "prog.cfg" (local 8-bit); a switch that is not a number is off.
struct TickValues {
    core::Maxima maxima;
    std::int16_t mode = 0;
    double wattHours = 0;
    // For the page's <WY> and <WT>.
    double yesterdayWh = 0, lifetimeWh = 0;
    // For the page's refresh (<LD>).
    double logSeconds = 60;
    // For the page's <DS> and <DL>: the state of the data at the tick and the
    // clock's time of the last live frame (of the start when none came yet).
    core::DataState state = core::DataState::Live;
    QDateTime lastLive;
    std::string savehtml, saveExcel, wsUnits;
};

class TickWriter {
public:
    // services.clock and services.messages must outlive the writer.
    TickWriter(const ui::Services &services, QObject *messageParent);

    // Writes everything one tick writes. Never blocks and never stops half
    // way: a missing logs, html or Excel folder is created; a file that cannot
    // be written is reported once (by a message that does not wait) and the
    // other files are still written. The report is repeated only after that
    // file has been written successfully in between. The caller resets the
    // maxima afterwards in every case.
    void write(const TickValues &v);

private:
    void appendLine(const QString &file, const std::string &bytes);
    void writePage(const TickValues &v, const std::string &modeText);

    ui::Services m_services;
    ui::ProgramFolder m_folder;
    ui::FailureNotices m_notices;
};

} // namespace logging

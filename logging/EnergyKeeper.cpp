// SPDX-License-Identifier: GPL-3.0-or-later
#include "EnergyKeeper.h"

#include "core/Number.h"
#include "ui/Files.h"
#include "ui/KeptFile.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

namespace logging {

namespace {
int filledColumns(const std::string &line)
{
    int n = 0;
    size_t from = 0;
    for (size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
        n += comma > from;
    return n + (from < line.size());
}

bool holdsNothing(const core::DayRecord &d)
{
    return d.energyWh == 0 && !d.peakWatts && !d.peakWind && !d.peakRpm && !d.minVolts && !d.maxVolts
           && d.loadOnSeconds == 0 && d.noDataSeconds == 0 && !d.framesReceived.value_or(0)
           && !d.framesRejected.value_or(0);
}
} // namespace

EnergyKeeper::EnergyKeeper(const ui::Services &services, QObject *messageParent)
    : m_services(services), m_folder(services.programFolder), m_parent(messageParent),
      m_notices(services.messages, messageParent)
{ }

core::EnergyStart EnergyKeeper::load(const core::CivilDate &today)
{
    const auto csv = ui::readWhole(m_folder.energyCsv());
    const std::vector<core::DayRecord> days = csv ? core::readEnergyCsv(ui::textOf(*csv))
                                                  : std::vector<core::DayRecord>();
    // What the start is when the state cannot be had, said in the messages.
    const bool measured = std::any_of(days.begin(), days.end(), [](const auto &d) { return !d.estimated; });
    const QString what = measured
                             ? QStringLiteral(
                                   "today's and yesterday's energy go on from their lines in %1, and the lifetime "
                                   "total was rebuilt as the sum of its measured days (%2 kWh; estimated days "
                                   "are left out).")
                                   .arg(QDir::toNativeSeparators(m_folder.energyCsv()),
                                        QString::fromStdString(core::dotNumberText(core::roundHalfEven(
                                            core::energyAtStart(std::nullopt, days, today).lifetime / 1000, 2))))
                             : QStringLiteral("today's and the lifetime energy start again from 0.");
    // The state is ours to replace: one that cannot be read goes aside too.
    ui::KeptFile::Texts texts;
    if (measured)
        texts.missing = QStringLiteral("The energy totals file %1 is missing, so %4");
    texts.unreadable = texts.damaged = QStringLiteral(
        "The energy totals in %1 could not be read, so %4 The damaged file is kept as %3.");
    texts.notKept = QStringLiteral(
        "The energy totals in %1 could not be read, so %4 The damaged file could not be moved aside.");
    texts.details = QStringList{what};
    ui::KeptFile::Policy policy;
    policy.asideUnreadable = true;
    ui::KeptFile file(m_folder.energyState(), m_services.messages, m_parent, texts, policy);
    const auto state = file.load([](std::string_view text, std::string *) { return core::readEnergyState(text); });

    core::EnergyStart start = core::energyAtStart(state.value, days, today);
    if (start.storedDay)
        writeDay(*start.storedDay);
    return start;
}

std::optional<core::DayRecord> EnergyKeeper::dayLine(const core::CivilDate &date) const
{
    const auto csv = ui::readWhole(m_folder.energyCsv());
    if (!csv)
        return std::nullopt;
    const auto days = core::readEnergyCsv(ui::textOf(*csv));
    if (auto measured = core::measuredDay(days, date))
        return measured;
    for (const auto &d : days)
        if (d.date == date)
            return d;
    return std::nullopt;
}

void EnergyKeeper::save(const core::EnergyBook &book, bool force)
{
    const std::string state = core::energyStateText(book.state(std::string()));
    const std::string day = core::dayLine(book.day());
    if (!force && state == m_savedState && day == m_savedDay)
        return;
    if (force || state != m_savedState) {
        const QString path = m_folder.energyState();
        const QString written = m_services.clock->now().toString(Qt::ISODate);
        const bool ok = ui::replaceWhole(path,
                                         ui::bytesOf(core::energyStateText(book.state(written.toStdString()))));
        m_notices.outcome(path, ok, ui::cannotWrite(path));
        if (ok)
            m_savedState = state;
    }
    const double now = m_services.clock->monotonicSeconds();
    // Once a minute, and at once when a column that was empty has a value
    // (the first frames): a kill never leaves a line emptier than the state.
    const bool due = !m_dayWritten || now - *m_dayWritten >= kDayLineSeconds || now < *m_dayWritten
                     || filledColumns(day) > filledColumns(m_savedDay);
    // A day with nothing in it yet gets no line: its empty columns would say
    // less than the first minute will know.
    if ((force || (day != m_savedDay && due)) && !holdsNothing(book.day()) && writeDay(book.day())) {
        m_savedDay = day;
        m_dayWritten = now;
    }
}

void EnergyKeeper::finishDay(const core::DayRecord &day) { writeDay(day); }

bool EnergyKeeper::writeDay(const core::DayRecord &day)
{
    const QString path = m_folder.energyCsv();
    ui::ensureFolder(QFileInfo(path).absolutePath());
    const auto old = ui::readWhole(path);
    // A file that exists but cannot be read is not replaced: its days would be lost.
    const bool ok = (old || !ui::exists(path))
                    && ui::replaceWhole(path,
                                        ui::bytesOf(core::withDay(old ? ui::textOf(*old) : std::string(), day)));
    m_notices.outcome(path, ok, ui::cannotWrite(path));
    return ok;
}

} // namespace logging

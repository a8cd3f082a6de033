#include "EnergyKeeper.h"

#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>

namespace logging {

namespace {
QByteArray bytesOf(const std::string &s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string textOf(const QByteArray &b) { return std::string(b.constData(), size_t(b.size())); }
} // namespace

EnergyKeeper::EnergyKeeper(const ui::Services &services, QObject *messageParent)
    : m_services(services), m_folder(services.programFolder), m_parent(messageParent),
      m_notices(services.messages, messageParent)
{ }

EnergyKeeper::Start EnergyKeeper::load(const core::CivilDate &today)
{
    Start start;
    const QString path = m_folder.energyState();
    if (ui::exists(path)) {
        const auto bytes = ui::readWhole(path);
        const auto state = bytes ? core::readEnergyState(textOf(*bytes)) : std::nullopt;
        if (state) {
            start.totals = core::energyAtStart(state, today);
        } else {
            const bool kept = ui::keepAside(path);
            m_services.messages->notify(
                m_parent,
                QStringLiteral("The energy totals in %1 could not be read, so today's and the lifetime energy "
                               "start again from 0. %2")
                    .arg(QDir::toNativeSeparators(path),
                         kept ? QStringLiteral("The damaged file is kept as %1.")
                                    .arg(QDir::toNativeSeparators(path + QStringLiteral(".bad")))
                              : QStringLiteral("The damaged file could not be moved aside.")));
        }
    }
    if (const auto csv = ui::readWhole(m_folder.energyCsv()))
        for (const auto &day : core::readEnergyCsv(textOf(*csv)))
            if (day.date == today)
                start.todayLine = day;
    return start;
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
        const bool ok = ui::replaceWhole(path, bytesOf(core::energyStateText(book.state(written.toStdString()))));
        m_notices.outcome(path, ok, ui::cannotWrite(path));
        if (ok)
            m_savedState = state;
    }
    const double now = m_services.clock->monotonicSeconds();
    const bool due = !m_dayWritten || now - *m_dayWritten >= kDayLineSeconds || now < *m_dayWritten;
    if ((force || (day != m_savedDay && due)) && writeDay(book.day())) {
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
                    && ui::replaceWhole(path, bytesOf(core::withDay(old ? textOf(*old) : std::string(), day)));
    m_notices.outcome(path, ok, ui::cannotWrite(path));
    return ok;
}

} // namespace logging

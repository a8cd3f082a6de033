// SPDX-License-Identifier: GPL-3.0-or-later
#include "Estimator.h"

#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <algorithm>

namespace history {

Estimator::Estimator(QString programFolder, const core::CivilDate &today, QObject *parent)
    : QObject(parent), m_folder(std::move(programFolder)), m_today(today)
{ }

Estimator::~Estimator()
{
    if (m_worker) {
        m_cancel = true;
        m_worker->wait();
        delete m_worker;
    }
}

QString Estimator::start()
{
    if (m_worker)
        return QString();
    ui::ProgramFolder folder(m_folder);
    const QString csvPath = folder.energyCsv();
    std::string csv;
    if (ui::exists(csvPath)) {
        QString reason;
        const auto bytes = ui::readWhole(csvPath, &reason);
        if (!bytes)
            return QStringLiteral("%1 could not be read (%2); nothing was estimated.")
                .arg(QDir::toNativeSeparators(csvPath), reason);
        csv = ui::textOf(*bytes);
    }
    std::vector<core::CivilDate> dates;
    QHash<long, QString> logs;
    const QDir logFolder(folder.logsFolder());
    for (const QString &name : logFolder.entryList({QStringLiteral("*.txt")}, QDir::Files))
        if (const auto d = core::readLogFileDate(name.toStdString())) {
            dates.push_back(*d);
            logs.insert(core::daysFromCivil(*d), logFolder.filePath(name));
        }
    const auto missing = core::missingDays(csv, dates, m_today);
    if (missing.empty())
        return QStringLiteral("Every day with a daily log has its line in energy.csv already.");

    m_jobs.clear();
    for (const core::CivilDate &d : missing)
        m_jobs.push_back({d, logs.value(core::daysFromCivil(d))});
    m_windUnit = folder.programSettings().WSUnits;
    m_cancel = false;
    m_outcome = Outcome();
    m_worker = QThread::create([this] {
        m_outcome = estimate(m_jobs, m_windUnit, [this](int done) {
            // The estimator outlives the worker (its destructor waits for it).
            QMetaObject::invokeMethod(
                this, [this, done] { emit progressed(done); }, Qt::QueuedConnection);
            return !m_cancel;
        });
    });
    m_worker->setObjectName(QStringLiteral("estimationWorker"));
    connect(m_worker, &QThread::finished, this, &Estimator::finish);
    m_worker->start(QThread::LowPriority);
    return QString();
}

Estimator::Outcome Estimator::estimate(const std::vector<Job> &jobs, const std::string &windUnit,
                                       const std::function<bool(int done)> &progress)
{
    Outcome out;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const auto bytes = ui::readWhole(jobs[i].log);
        const auto day = bytes ? core::estimateDay(ui::textOf(*bytes), jobs[i].date, windUnit) : std::nullopt;
        if (day)
            out.days.push_back(*day);
        else
            ++(bytes ? out.empty : out.unreadable);
        if (progress && !progress(int(i + 1)))
            break;
    }
    return out;
}

std::pair<int, QString> Estimator::write(const Outcome &outcome) const
{
    const QString path = ui::ProgramFolder(m_folder).energyCsv();
    QString reason;
    std::optional<QByteArray> bytes = QByteArray();
    if (ui::exists(path))
        bytes = ui::readWhole(path, &reason);
    if (!bytes)
        return {0, QStringLiteral("%1 could not be read (%2); nothing was added.")
                       .arg(QDir::toNativeSeparators(path), reason)};
    const std::string csv = ui::textOf(*bytes);
    std::vector<core::CivilDate> dates;
    for (const core::DayRecord &d : outcome.days)
        dates.push_back(d.date);
    // Only days still missing now: never a line written meanwhile, nor today.
    const auto still = core::missingDays(csv, dates, m_today);
    std::vector<core::DayRecord> days;
    for (const core::DayRecord &d : outcome.days)
        if (std::find(still.begin(), still.end(), d.date) != still.end())
            days.push_back(d);
    int added = 0;
    QString text = QStringLiteral("No day was added.");
    if (!days.empty()) {
        ui::ensureFolder(QFileInfo(path).absolutePath());
        if (ui::replaceWhole(path, ui::bytesOf(core::withDays(csv, days)))) {
            added = int(days.size());
            text = QStringLiteral("Added %1 estimated %2 from the daily logs.")
                       .arg(added)
                       .arg(added == 1 ? QStringLiteral("day") : QStringLiteral("days"));
        } else {
            text =
                QStringLiteral("%1 could not be written; nothing was added.").arg(QDir::toNativeSeparators(path));
        }
    }
    if (outcome.empty)
        text += QStringLiteral(" %1 logs held no record.").arg(outcome.empty);
    if (outcome.unreadable)
        text += QStringLiteral(" %1 logs could not be read.").arg(outcome.unreadable);
    return {added, text};
}

void Estimator::finish()
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    const auto [added, text] = write(m_outcome);
    emit finished(added, text);
}

} // namespace history

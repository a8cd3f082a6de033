// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogImporter.h"

#include "ArchiveDb.h"
#include "core/EnergyHistory.h"
#include "core/LogImport.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDateTime>
#include <QDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <unordered_map>

namespace archive {

core::OffsetAt localZone()
{
    auto cache = std::make_shared<std::unordered_map<std::int64_t, int>>();
    return [cache](std::int64_t t) {
        const std::int64_t quarter = t / 900 - (t % 900 < 0);
        const auto found = cache->find(quarter);
        if (found != cache->end())
            return found->second;
        const int offset = QDateTime::fromSecsSinceEpoch(quarter * 900).offsetFromUtc();
        if (cache->size() > 200000)
            cache->clear();
        cache->emplace(quarter, offset);
        return offset;
    };
}

LogImporter::LogImporter(QString programFolder, const core::CivilDate &today, core::OffsetAt zone, QObject *parent)
    : QObject(parent), m_folder(std::move(programFolder)), m_today(today), m_zone(std::move(zone))
{ }

LogImporter::~LogImporter()
{
    if (m_worker) {
        m_cancel = true;
        m_worker->wait();
        delete m_worker;
    }
}

QString LogImporter::start()
{
    if (m_worker)
        return QString();
    ui::ProgramFolder folder(m_folder);
    const QDir logFolder(folder.logsFolder());
    m_jobs.clear();
    const long today = core::daysFromCivil(m_today);
    for (const QString &name : logFolder.entryList({QStringLiteral("*.txt")}, QDir::Files))
        if (const auto d = core::readLogFileDate(name.toStdString()); d && core::daysFromCivil(*d) < today)
            m_jobs.push_back({*d, logFolder.filePath(name)});
    if (m_jobs.empty())
        return QStringLiteral("There is no daily log before today in %1.")
            .arg(QDir::toNativeSeparators(folder.logsFolder()));
    std::sort(m_jobs.begin(), m_jobs.end(),
              [](const Job &a, const Job &b) { return core::daysFromCivil(a.date) < core::daysFromCivil(b.date); });
    m_windUnit = folder.programSettings().WSUnits;
    m_cancel = false;
    m_outcome = Outcome();
    const QString path = m_folder + QLatin1Char('/') + ArchiveDb::fileName();
    m_worker = QThread::create([this, path] {
        m_outcome = run(path, m_jobs, m_windUnit, m_zone, [this](int done) {
            QMetaObject::invokeMethod(
                this, [this, done] { emit progressed(done); }, Qt::QueuedConnection);
            return !m_cancel;
        });
    });
    m_worker->setObjectName(QStringLiteral("importWorker"));
    connect(m_worker, &QThread::finished, this, &LogImporter::finish);
    m_worker->start(QThread::LowPriority);
    return QString();
}

LogImporter::Outcome LogImporter::run(const QString &archivePath, const std::vector<Job> &jobs,
                                      const std::string &windUnit, const core::OffsetAt &zone,
                                      const std::function<bool(int done)> &progress)
{
    Outcome out;
    ArchiveDb db;
    if (!db.open(archivePath, false)) {
        out.failure = db.error();
        return out;
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (const auto bytes = ui::readWhole(jobs[i].log)) {
            const auto minutes = core::importLogMinutes(ui::textOf(*bytes), jobs[i].date, windUnit, zone);
            const long long added = db.addImported(minutes);
            if (added < 0) {
                out.failure = db.error();
                return out;
            }
            out.added += added;
        } else {
            ++out.unreadable;
        }
        out.done = int(i + 1);
        if (progress && !progress(out.done)) {
            out.cancelled = out.done < int(jobs.size());
            break;
        }
    }
    return out;
}

QString LogImporter::text(const Outcome &o, int total)
{
    const QString minutes = o.added == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(o.added);
    QString t;
    if (!o.failure.isEmpty())
        t = QStringLiteral("The archive could not take the daily logs (%1); %2 from %3 of %4 logs were imported.")
                .arg(o.failure, minutes)
                .arg(o.done)
                .arg(total);
    else if (o.cancelled)
        t = QStringLiteral("Cancelled: %1 imported from %2 of %3 daily logs; importing again goes on from there.")
                .arg(minutes)
                .arg(o.done)
                .arg(total);
    else if (o.added == 0)
        t = QStringLiteral("No minute was added: the archive holds every minute of the %1 daily %2 already.")
                .arg(total)
                .arg(total == 1 ? QStringLiteral("log") : QStringLiteral("logs"));
    else
        t = QStringLiteral("Imported %1 from %2 daily %3.")
                .arg(minutes)
                .arg(total)
                .arg(total == 1 ? QStringLiteral("log") : QStringLiteral("logs"));
    if (o.unreadable)
        t += QStringLiteral(" %1 logs could not be read.").arg(o.unreadable);
    return t;
}

void LogImporter::finish()
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    emit finished(m_outcome.added, text(m_outcome, total()));
}

} // namespace archive

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveWriter.h"

#include "Salvage.h"

#include "core/Performance.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace archive {

namespace {
} // namespace

ArchiveWriter::ArchiveWriter(QString path, const core::TurbineSettings &turbine,
                             std::vector<core::CurvePoint> certified)
    : m_path(std::move(path)), m_turbine(turbine), m_certified(std::move(certified)),
      m_rules(core::curveRules(turbine))
{ }

ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::openOrKeepAside()
{
    finishCopy();
    const bool existed = QFileInfo::exists(m_path);
    QString why;
    if (m_db.open(m_path, false)) {
        if (!existed) {
            m_db.takeOver();
            return true;
        }
        // A full check only when the last run did not end cleanly.
        const bool clean = m_db.takeOver();
        const std::string found = clean ? m_db.quickCheck() : m_db.integrityCheck();
        if (found == "ok")
            return true;
        why = QString::fromStdString(found).left(200);
        m_db.close();
    } else if (m_db.damaged()) {
        why = m_db.error();
    } else {
        if (m_db.newer())
            m_refused = true;
        emit problem(QStringLiteral("open"), QStringLiteral("The archive %1 cannot be used: %2. Minutes are not "
                                                            "archived until it can.")
                                                 .arg(ui::nativePath(m_path), m_db.error()));
        return false;
    }
    return keepAside(why);
}

namespace {
// The copy of a damaged archive is made beside it under this name, and put in
// its place only when whole.
QString copyOf(const QString &path) { return path + QStringLiteral(".new"); }

void removeDatabase(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}
} // namespace

void ArchiveWriter::finishCopy()
{
    // Killed after the damaged archive went aside and before its copy took its place.
    const QString copy = copyOf(m_path);
    if (!QFileInfo::exists(m_path) && QFileInfo::exists(copy)) {
        // Its write-ahead log first: the file is whole only with it.
        QFile::rename(copy + QStringLiteral("-wal"), m_path + QStringLiteral("-wal"));
        if (QFile::rename(copy, m_path))
            return;
    }
    // Killed while copying: the damaged archive is still there and copied again.
    removeDatabase(copy);
}

bool ArchiveWriter::keepAside(const QString &why)
{
    // Readers hold their connections for one read only, as Windows cannot
    // rename an open file; one that is open now makes this fail, and it is
    // tried again with the next minute.
    m_db.close();
    // What can still be read is copied first, so that a kill at any moment
    // leaves the damaged archive in place (copied again at the next start)
    // or its copy.
    const QString copy = copyOf(m_path);
    removeDatabase(copy);
    QString error;
    const auto got = salvageArchive(m_path, copy, m_rules, &error);
    const QString taken = !got ? QStringLiteral("what the damaged one held could not be taken: %1").arg(error)
                          : got->readable ? QStringLiteral("from the damaged one, %1").arg(got->text())
                                          : got->text();
    const QString kept = ui::keepAside(m_path);
    if (kept.isEmpty()) {
        removeDatabase(copy);
        emit problem(QStringLiteral("damaged"),
                     QStringLiteral("The archive %1 is damaged (%2) and could not be moved aside. The program "
                                    "keeps the minutes and tries again.")
                         .arg(ui::nativePath(m_path), why));
        return false;
    }
    finishCopy();
    if (!m_db.open(m_path, false)) {
        emit problem(QStringLiteral("open"), QStringLiteral("The archive %1 cannot be used: %2. Minutes are not "
                                                            "archived until it can.")
                                                 .arg(ui::nativePath(m_path), m_db.error()));
        return false;
    }
    m_db.takeOver();
    applyRules();
    emit problem(QStringLiteral("kept"), QStringLiteral("The archive %1 was damaged (%2). It was kept as %3 and a "
                                                        "new archive was started; %4.")
                                             .arg(ui::nativePath(m_path), why, ui::nativePath(kept), taken));
    return true;
}

void ArchiveWriter::start()
{
    if (!openOrKeepAside()) {
        emit rulesFound(core::availabilityRules(m_turbine, m_certified, nullptr));
        return;
    }
    // Made again here when the settings changed while the program was not running.
    applyRules();
    takeFrameCurve();
}

void ArchiveWriter::takeFrameCurve()
{
    const QString file = ui::ProgramFolder(QFileInfo(m_path).absolutePath()).powerCurveFile();
    if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
        return;
    const auto bytes = ui::readWhole(file);
    std::string error;
    const auto frames = bytes ? core::readFrameCurve(ui::textOf(*bytes), &error) : std::nullopt;
    const bool convertible = frames && frames->inMetresPerSecond() && !m_db.frameCurveTaken();
    // Only bins whose frames all came before the archive measured: the
    // minutes since are in the curve already.
    const auto measuredFrom = m_db.firstMeasured();
    core::FrameCurve before = frames.value_or(core::FrameCurve());
    int binsTaken = 0, binsLeft = 0;
    for (int k = 0; k < core::FrameCurve::kBins; ++k) {
        core::FrameBin &b = before.bin(k);
        if (!b.frames)
            continue;
        if (measuredFrom && b.last >= *measuredFrom) {
            b = core::FrameBin();
            ++binsLeft;
        } else {
            ++binsTaken;
        }
    }
    // Kept whether or not it converts: it is not read again.
    if (convertible && binsTaken && !m_db.takeFrameCurve(before))
        return; // tried again at the next start
    const QString kept
        = ui::freeName(QFileInfo(file).absolutePath() + QStringLiteral("/powercurve-frames"), QStringLiteral(".csv"));
    if (!QFile::rename(file, kept)) {
        emit problem(QStringLiteral("frame curve"),
                     QStringLiteral("The earlier power curve %1 could not be moved to %2.").arg(ui::nativePath(file), ui::nativePath(kept)));
        return;
    }
    QString why;
    const QString since = measuredFrom ? QDateTime::fromSecsSinceEpoch(*measuredFrom).toString(Qt::ISODate)
                                       : QString();
    if (convertible && binsTaken && binsLeft)
        why = QStringLiteral("was taken into the curve of one-minute averages for the %1 of its bins whose frames "
                             "all came before the archive measured (from %2); its other %3 bins hold time the "
                             "curve has from the archive's minutes and were left out")
                  .arg(binsTaken)
                  .arg(since)
                  .arg(binsLeft);
    else if (convertible && binsTaken)
        why = QStringLiteral("was taken into the curve of one-minute averages");
    else if (convertible && binsLeft)
        why = QStringLiteral("holds time the curve has from the archive's minutes (from %1), so it was not taken "
                             "into the curve")
                  .arg(since);
    else if (convertible)
        why = QStringLiteral("holds no frames, so nothing was taken into the curve");
    else if (!frames)
        why = QStringLiteral("could not be read (%1), so it was not taken into the curve")
                  .arg(QString::fromStdString(bytes ? error : std::string("unreadable")));
    else if (!frames->inMetresPerSecond())
        why = QStringLiteral("is in \"%1\", not a known wind unit, so it was not taken into the curve")
                  .arg(QString::fromStdString(frames->unit()));
    else
        why = QStringLiteral("was taken into the curve before");
    emit problem(QStringLiteral("frame curve"), QStringLiteral("The earlier power curve %1 %2; it is kept as %3.")
                                                    .arg(ui::nativePath(file), why, ui::nativePath(kept)));
}

bool ArchiveWriter::applyRules()
{
    const bool curve = m_db.setCurveRules(m_rules);
    std::optional<core::PowerCurve> measured;
    if (curve && !m_turbine.cutIn && !core::cutInWind(m_certified))
        measured = m_db.curve(m_rules);
    const core::AvailabilityRules rules
        = core::availabilityRules(m_turbine, m_certified, measured ? &*measured : nullptr);
    emit rulesFound(rules);
    return curve && m_db.setAvailabilityRules(rules) && m_db.setPerformanceRules(m_certified, m_rules);
}

void ArchiveWriter::setTurbine(const core::TurbineSettings &turbine, const std::vector<core::CurvePoint> &certified)
{
    m_turbine = turbine;
    m_certified = certified;
    m_rules = core::curveRules(turbine);
    if (!m_db.isOpen())
        emit rulesFound(core::availabilityRules(m_turbine, m_certified, nullptr));
    else if (!applyRules())
        emit problem(QStringLiteral("write"), QStringLiteral("The archive %1 could not be written: %2. The program "
                                                             "goes on and makes the power curve and the minutes' "
                                                             "categories again later.")
                                                  .arg(ui::nativePath(m_path), m_db.error()));
}

void ArchiveWriter::write(const core::ArchiveRow &minute)
{
    m_waiting.push_back(minute);
    if (m_waiting.size() > kMaxWaiting) {
        if (!m_dropped)
            emit problem(QStringLiteral("dropped"),
                         QStringLiteral("The archive %1 could not be written for a week: the oldest minutes "
                                        "waiting for it are let go, one for each new minute, from %2 on.")
                             .arg(ui::nativePath(m_path), QDateTime::fromSecsSinceEpoch(m_waiting.front().t)
                                                      .toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        m_waiting.pop_front();
        emit droppedChanged(++m_dropped);
    }
    drain();
}

void ArchiveWriter::drain()
{
    if (m_refused)
        return;
    if (!m_db.isOpen() && !openOrKeepAside())
        return;
    qint64 last = -1;
    bool keptAside = false;
    while (!m_waiting.empty()) {
        if (m_db.write(m_waiting.front())) {
            last = m_waiting.front().t;
            m_waiting.pop_front();
            continue;
        }
        // Damage found now is dealt with as at start; the minutes go into the new archive.
        if (m_db.damaged() && !keptAside) {
            keptAside = true;
            if (keepAside(m_db.error()))
                continue;
            break;
        }
        if (!m_failing)
            emit problem(
                m_db.full() ? QStringLiteral("full") : QStringLiteral("write"),
                QStringLiteral("The archive %1 could not be written: %2. The program goes on, "
                               "keeps the minutes and writes them when it can.")
                    .arg(ui::nativePath(m_path), m_db.full() ? QStringLiteral("the disk is full") : m_db.error()));
        m_failing = true;
        break;
    }
    if (last < 0)
        return;
    if (m_failing) {
        m_failing = false;
        emit working();
    }
    emit written(last);
}

void ArchiveWriter::forget(qint64 wall, double mono, int minuteDays)
{
    if (!m_db.isOpen())
        return;
    const auto span = m_db.minuteSpan();
    const core::Retention::Cut cut = m_retention.next(
        wall, mono, span ? std::optional<std::int64_t>(span->second) : std::nullopt, minuteDays);
    // Said only when the clock would have let minutes go: after a few days
    // switched off there is nothing to tell.
    if (cut.clockAhead && minuteDays > 0 && span->first < wall - qint64(minuteDays) * 86400)
        emit problem(
            QStringLiteral("clock ahead"),
            QStringLiteral("The clock (%1) is more than a day past the newest minute in the archive "
                           "(%2), so no minutes were let go at start, in case the clock is wrong; old minutes go as time passes.")
                .arg(QDateTime::fromSecsSinceEpoch(wall).toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                     QDateTime::fromSecsSinceEpoch(span->second).toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    if (cut.before)
        m_db.forgetMinutesBefore(*cut.before, m_sentUpTo);
}

QString ArchiveWriter::finish()
{
    drain();
    if (m_db.isOpen() && m_waiting.empty())
        m_db.markClean();
    m_db.close();
    if (m_waiting.empty())
        return QString();
    const auto when = [](qint64 t) {
        return QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    };
    return QStringLiteral("%1 minutes from %2 to %3 could not be written to the archive %4 and are lost.")
        .arg(m_waiting.size())
        .arg(when(m_waiting.front().t), when(m_waiting.back().t), ui::nativePath(m_path));
}

} // namespace archive

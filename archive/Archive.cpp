// SPDX-License-Identifier: GPL-3.0-or-later
#include "Archive.h"

#include "ArchiveWriter.h"
#include "Certified.h"
#include "ui/ProgramFolder.h"
#include "ui/Files.h"

#include <QDir>
#include <QThread>
#include <QTimer>
#include <cmath>

namespace archive {

namespace {
std::int64_t utcMs(const QDateTime &t) { return t.toMSecsSinceEpoch(); }
} // namespace

std::int64_t Archive::monoMs() const
{
    return std::int64_t(std::llround(m_services.clock->monotonicSeconds() * 1000));
}

Archive::Archive(const ui::Services &services, QObject *parent)
    : QObject(parent), m_services(services), m_thread(new QThread(this)),
      m_writer(new ArchiveWriter(path(), turbineSettings(services.programFolder), certified(services.programFolder)))
{
    m_thread->setObjectName(QStringLiteral("archive"));
    m_writer->moveToThread(m_thread);
    connect(m_writer, &ArchiveWriter::problem, this, &Archive::tell);
    // Told again only after the archive worked in between.
    connect(m_writer, &ArchiveWriter::working, this, [this] {
        m_told.clear();
        m_failing = false;
        showStatus();
    });
    connect(m_writer, &ArchiveWriter::droppedChanged, this, [this](long long total) {
        m_dropped = total;
        showStatus();
    });
    connect(m_writer, &ArchiveWriter::written, this, &Archive::written);
    qRegisterMetaType<core::AvailabilityRules>();
    connect(m_writer, &ArchiveWriter::rulesFound, this, &Archive::rulesFound);
    m_thread->start();
    // The check at start runs there too, so a large archive never holds up the window.
    QMetaObject::invokeMethod(m_writer, &ArchiveWriter::start, Qt::QueuedConnection);

    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &Archive::tick);
    m_tick->start();
    m_forget = new QTimer(this);
    m_forget->setInterval(3600 * 1000);
    connect(m_forget, &QTimer::timeout, this, &Archive::forgetOld);
    m_forget->start();
    loadSettings();
}

Archive::~Archive()
{
    const QDateTime now = m_services.clock->now();
    if (auto last = m_builder.flush(utcMs(now), monoMs())) {
        std::vector<core::ArchiveRow> rows{*last};
        handOver(std::move(rows));
    }
    // After every minute handed over before it.
    QString unwritten;
    QMetaObject::invokeMethod(
        m_writer, [this, &unwritten] { unwritten = m_writer->finish(); }, Qt::BlockingQueuedConnection);
    if (!unwritten.isEmpty())
        m_services.messages->notify(nullptr, unwritten);
    m_thread->quit();
    m_thread->wait();
    delete m_writer;
}

QString Archive::path() const { return m_services.programFolder + QLatin1Char('/') + ArchiveDb::fileName(); }

QString Archive::settingsPath() const { return ui::ProgramFolder(m_services.programFolder).archiveSettings(); }

void Archive::loadSettings()
{
    const auto bytes = ui::readWhole(settingsPath());
    m_settings = bytes ? core::readArchiveSettings(ui::textOf(*bytes)) : core::ArchiveSettings();
    forgetOld();
}

core::TurbineSettings Archive::turbineSettings(const QString &programFolder)
{
    const auto bytes = ui::readWhole(ui::ProgramFolder(programFolder).turbineSettings());
    return bytes ? core::readTurbineSettings(ui::textOf(*bytes)) : core::TurbineSettings();
}

std::vector<core::CurvePoint> Archive::certified(const QString &programFolder)
{
    QString why;
    return readCertifiedCurve(programFolder, &why).value_or(std::vector<core::CurvePoint>());
}

void Archive::loadTurbine()
{
    const core::TurbineSettings turbine = turbineSettings(m_services.programFolder);
    const auto curve = certified(m_services.programFolder);
    QMetaObject::invokeMethod(
        m_writer, [w = m_writer, turbine, curve] { w->setTurbine(turbine, curve); }, Qt::QueuedConnection);
}

void Archive::setSentUpTo(std::optional<qint64> seq)
{
    QMetaObject::invokeMethod(m_writer, [w = m_writer, seq] { w->setSentUpTo(seq); }, Qt::QueuedConnection);
}

void Archive::forgetOld()
{
    const qint64 wall = m_services.clock->now().toSecsSinceEpoch();
    const double mono = m_services.clock->monotonicSeconds();
    const int days = m_settings.minuteDays;
    QMetaObject::invokeMethod(
        m_writer, [w = m_writer, wall, mono, days] { w->forget(wall, mono, days); }, Qt::QueuedConnection);
}

void Archive::frame(const core::RawReading &raw, const core::Reading &reading, const std::string &windUnitShown)
{
    const QDateTime now = m_services.clock->now();
    handOver(m_builder.frame(utcMs(now), monoMs(), now.offsetFromUtc(), raw, reading, windUnitShown));
}

void Archive::energy(double wattHours)
{
    const QDateTime now = m_services.clock->now();
    handOver(m_builder.energy(utcMs(now), monoMs(), now.offsetFromUtc(), wattHours));
}

void Archive::dropped(long long count)
{
    handOver(m_builder.dropped(utcMs(m_services.clock->now()), monoMs(), count));
}

void Archive::tick() { handOver(m_builder.advance(utcMs(m_services.clock->now()), monoMs())); }

void Archive::handOver(std::vector<core::ArchiveRow> rows)
{
    for (core::ArchiveRow &row : rows)
        QMetaObject::invokeMethod(
            m_writer, [w = m_writer, row = std::move(row)] { w->write(row); }, Qt::QueuedConnection);
}

void Archive::tell(const QString &condition, const QString &text)
{
    if (condition == QLatin1String("full") || condition == QLatin1String("write")
        || condition == QLatin1String("open") || condition == QLatin1String("damaged"))
        m_failing = true;
    else if (condition == QLatin1String("clock ahead"))
        m_clockAhead = true;
    showStatus();
    if (m_told.contains(condition))
        return;
    m_told.insert(condition);
    m_services.messages->notify(nullptr, text);
}

void Archive::showStatus()
{
    QStringList parts;
    if (m_failing)
        parts << QStringLiteral("archive not written");
    if (m_dropped)
        parts << QStringLiteral("%1 minutes not archived").arg(m_dropped);
    if (m_clockAhead)
        parts << QStringLiteral("old minutes kept (clock ahead)");
    const QString status = parts.join(QStringLiteral(", "));
    if (status != m_status) {
        m_status = status;
        emit statusChanged(m_status);
    }
}

} // namespace archive

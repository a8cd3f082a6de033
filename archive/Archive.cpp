// SPDX-License-Identifier: GPL-3.0-or-later
#include "Archive.h"

#include "ArchiveWriter.h"
#include "ui/Files.h"

#include <QDir>
#include <QThread>
#include <QTimer>

namespace archive {

namespace {
std::int64_t utcMs(const QDateTime &t) { return t.toMSecsSinceEpoch(); }
} // namespace

Archive::Archive(const ui::Services &services, QObject *parent)
    : QObject(parent), m_services(services), m_thread(new QThread(this)),
      m_writer(new ArchiveWriter(path(), core::curveRules(turbineSettings(services.programFolder))))
{
    m_thread->setObjectName(QStringLiteral("archive"));
    m_writer->moveToThread(m_thread);
    connect(m_writer, &ArchiveWriter::problem, this, &Archive::tell);
    // Told again only after the archive worked in between.
    connect(m_writer, &ArchiveWriter::working, this, [this] { m_told.clear(); });
    connect(m_writer, &ArchiveWriter::written, this, &Archive::written);
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
    if (auto last = m_builder.flush(utcMs(now))) {
        std::vector<core::ArchiveRow> rows{*last};
        handOver(std::move(rows));
    }
    // After every minute handed over before it.
    QMetaObject::invokeMethod(m_writer, &ArchiveWriter::finish, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_writer;
}

QString Archive::path() const { return m_services.programFolder + QLatin1Char('/') + ArchiveDb::fileName(); }

QString Archive::settingsPath() const { return m_services.programFolder + QStringLiteral("/archive.cfg"); }

void Archive::loadSettings()
{
    const auto bytes = ui::readWhole(settingsPath());
    m_settings = bytes ? core::readArchiveSettings(ui::textOf(*bytes)) : core::ArchiveSettings();
    forgetOld();
}

core::TurbineSettings Archive::turbineSettings(const QString &programFolder)
{
    const auto bytes = ui::readWhole(programFolder + QStringLiteral("/turbine.cfg"));
    return bytes ? core::readTurbineSettings(ui::textOf(*bytes)) : core::TurbineSettings();
}

void Archive::loadTurbine()
{
    const core::CurveRules rules = core::curveRules(turbineSettings(m_services.programFolder));
    QMetaObject::invokeMethod(
        m_writer, [w = m_writer, rules] { w->setCurveRules(rules); }, Qt::QueuedConnection);
}

void Archive::forgetOld()
{
    if (m_settings.minuteDays <= 0)
        return;
    const qint64 before = m_services.clock->now().toSecsSinceEpoch() - qint64(m_settings.minuteDays) * 86400;
    QMetaObject::invokeMethod(
        m_writer, [w = m_writer, before] { w->forgetMinutesBefore(before); }, Qt::QueuedConnection);
}

void Archive::frame(const core::RawReading &raw, const core::Reading &reading, const std::string &windUnitShown)
{
    const QDateTime now = m_services.clock->now();
    handOver(m_builder.frame(utcMs(now), now.offsetFromUtc(), raw, reading, windUnitShown));
}

void Archive::dropped(long long count) { handOver(m_builder.dropped(utcMs(m_services.clock->now()), count)); }

void Archive::tick() { handOver(m_builder.advance(utcMs(m_services.clock->now()))); }

void Archive::handOver(std::vector<core::ArchiveRow> rows)
{
    for (core::ArchiveRow &row : rows)
        QMetaObject::invokeMethod(
            m_writer, [w = m_writer, row = std::move(row)] { w->write(row); }, Qt::QueuedConnection);
}

void Archive::tell(const QString &condition, const QString &text)
{
    if (m_told.contains(condition))
        return;
    m_told.insert(condition);
    m_services.messages->notify(nullptr, text);
}

} // namespace archive

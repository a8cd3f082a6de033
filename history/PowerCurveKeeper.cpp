// SPDX-License-Identifier: GPL-3.0-or-later
#include "PowerCurveKeeper.h"

#include "ui/Files.h"
#include "ui/KeptFile.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace history {

namespace {
QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

} // namespace

PowerCurveKeeper::PowerCurveKeeper(const ui::Services &services, QObject *messageParent, QObject *parent)
    : QObject(parent), m_services(services), m_messageParent(messageParent),
      m_file(ui::ProgramFolder(services.programFolder).powerCurveFile())
{
    m_saveTimer = new QTimer(this);
    m_saveTimer->setInterval(kSaveIntervalMs);
    connect(m_saveTimer, &QTimer::timeout, this, &PowerCurveKeeper::save);
    m_saveTimer->start();
    load();
}

PowerCurveKeeper::~PowerCurveKeeper()
{
    // Whatever shows messages may be going too; a failure here was told by
    // the saves before (the main window saves when it closes).
    m_services.messages = nullptr;
    save();
}

void PowerCurveKeeper::tell(const QString &text, bool wait)
{
    if (!m_services.messages)
        return;
    if (wait)
        m_services.messages->inform(m_messageParent, text);
    else
        m_services.messages->notify(m_messageParent, text);
}

void PowerCurveKeeper::load()
{
    // The file is ours to replace: one that cannot be read goes aside like a
    // damaged one, and the curve starts again.
    ui::KeptFile::Texts texts;
    texts.unreadable = texts.damaged = QStringLiteral(
        "The power curve file %1 could not be read (%2). It was kept as %3 and a new curve was started.");
    texts.notKept = QStringLiteral(
        "The power curve file %1 could not be read (%2), nor kept aside. A new curve is measured for this run only and is not saved, so that the file is left as it is.");
    ui::KeptFile::Policy policy;
    policy.asideUnreadable = policy.linkIsFile = policy.wait = true;
    ui::KeptFile file(m_file, m_services.messages, m_messageParent, texts, policy);
    std::string mended;
    auto loaded = file.load([&mended](std::string_view text, std::string *words) {
        auto curve = core::readPowerCurve(text, words, &mended);
        if (!curve)
            *words = "it is damaged, " + *words;
        return curve;
    });
    m_mayWrite = !loaded.inTheWay();
    if (!loaded.value)
        return;
    m_curve = std::move(*loaded.value);
    if (!mended.empty()) {
        m_dirty = true; // written back mended at the next save
        tell(QStringLiteral("The power curve file %1 had a damaged time range in %2; it was mended and "
                            "the curve goes on.")
                 .arg(shown(m_file), QString::fromStdString(mended)),
             false);
    }
}

void PowerCurveKeeper::setSettings(const std::string &wsUnits, const core::Calibration &cal)
{
    m_unit = core::windUnit(wsUnits);
    m_unitText = ui::fromLocal(wsUnits).trimmed();
    m_cal = cal;
    if (m_curve.empty() && m_curve.unit() != m_unit.name)
        m_curve.setUnit(m_unit.name);
    m_otherUnit = false;
}

void PowerCurveKeeper::frame(const core::RawReading &raw, const core::Reading &reading, core::DataState state,
                             double now)
{
    const auto sample = core::curveSample(raw, reading, m_cal, state);
    std::int64_t unixTime = 0;
    if (sample) {
        if (!m_wallReadAt || now < *m_wallReadAt || now - *m_wallReadAt >= kWallClockSeconds) {
            m_wallReadAt = now;
            m_wallMs = m_services.clock->now().toMSecsSinceEpoch();
        }
        unixTime = (m_wallMs + qint64((now - *m_wallReadAt) * 1000)) / 1000;
    }
    switch (m_curve.add(sample, m_unit, now, unixTime)) {
    case core::PowerCurve::Added::Counted:
        m_dirty = true;
        emit changed();
        break;
    case core::PowerCurve::Added::OtherUnit:
        if (!m_otherUnit) {
            m_otherUnit = true;
            emit changed();
        }
        break;
    case core::PowerCurve::Added::NotCounted: break;
    }
}

bool PowerCurveKeeper::save()
{
    if (!m_dirty || !m_mayWrite)
        return m_mayWrite;
    if (!ui::replaceWhole(m_file, QByteArray::fromStdString(core::powerCurveText(m_curve)))) {
        if (!m_saveFailTold)
            tell(QStringLiteral(
                     "The power curve file %1 could not be written. The program tries again every minute.")
                     .arg(shown(m_file)),
                 false);
        m_saveFailTold = true;
        return false;
    }
    m_saveFailTold = false;
    m_dirty = false;
    return true;
}

QString PowerCurveKeeper::keptFile() const
{
    const QString base = QDir(m_services.programFolder)
                             .filePath(QStringLiteral("powercurve-")
                                       + m_services.clock->date().toString(QStringLiteral("yyyy-MM-dd")));
    return ui::freeName(base, QStringLiteral(".csv"));
}

bool PowerCurveKeeper::reset()
{
    // What has not been written yet belongs to the old curve.
    save();
    if (m_mayWrite && (ui::exists(m_file) || QFileInfo(m_file).isSymLink())) {
        const QString kept = keptFile();
        if (!QFile::rename(m_file, kept)) {
            tell(QStringLiteral("The power curve file %1 could not be kept as %2, so the curve was not reset.")
                     .arg(shown(m_file), shown(kept)),
                 true);
            return false;
        }
    }
    m_curve = core::PowerCurve(m_unit.name);
    m_otherUnit = false;
    m_dirty = true;
    save();
    emit changed();
    return true;
}

} // namespace history

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveWriter.h"

#include "Salvage.h"

#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace archive {

namespace {
QString native(const QString &path) { return QDir::toNativeSeparators(path); }
} // namespace

ArchiveWriter::ArchiveWriter(QString path, const core::CurveRules &rules) : m_path(std::move(path)), m_rules(rules)
{ }

ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::openOrKeepAside()
{
    const bool existed = QFileInfo::exists(m_path);
    const auto cannotUse = [this] {
        emit problem(QStringLiteral("open"), QStringLiteral("The archive %1 cannot be used: %2. Minutes are not "
                                                            "archived until it can.")
                                                 .arg(native(m_path), m_db.error()));
    };
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
        cannotUse();
        return false;
    }
    const QString kept = ui::keepAside(m_path);
    if (kept.isEmpty()) {
        emit problem(QStringLiteral("damaged"),
                     QStringLiteral("The archive %1 is damaged (%2) and could not be moved aside. Minutes are not "
                                    "archived until it is.")
                         .arg(native(m_path), why));
        return false;
    }
    // What can still be read goes into the new archive before it is used.
    QString error;
    const auto got = salvageArchive(kept, m_path, m_rules, &error);
    const QString taken = !got ? QStringLiteral("what the damaged one held could not be taken: %1").arg(error)
                          : got->readable ? QStringLiteral("from the damaged one, %1").arg(got->text())
                                          : got->text();
    emit problem(QStringLiteral("kept"), QStringLiteral("The archive %1 was damaged (%2). It was kept as %3 and a "
                                                        "new archive was started; %4.")
                                             .arg(native(m_path), why, native(kept), taken));
    if (!m_db.open(m_path, false)) {
        cannotUse();
        return false;
    }
    m_db.takeOver();
    return true;
}

void ArchiveWriter::start()
{
    if (!openOrKeepAside())
        return;
    // Made again here when the settings changed while the program was not running.
    m_db.setCurveRules(m_rules);
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
    // Kept whether or not it converts: it is not read again.
    if (convertible && !m_db.takeFrameCurve(*frames))
        return; // tried again at the next start
    const QString kept
        = ui::freeName(QFileInfo(file).absolutePath() + QStringLiteral("/powercurve-frames"), QStringLiteral(".csv"));
    if (!QFile::rename(file, kept)) {
        emit problem(QStringLiteral("frame curve"),
                     QStringLiteral("The earlier power curve %1 could not be moved to %2.").arg(native(file), native(kept)));
        return;
    }
    QString why;
    if (convertible)
        why = QStringLiteral("was taken into the curve of one-minute averages");
    else if (!frames)
        why = QStringLiteral("could not be read (%1), so it was not taken into the curve")
                  .arg(QString::fromStdString(bytes ? error : std::string("unreadable")));
    else if (!frames->inMetresPerSecond())
        why = QStringLiteral("is in \"%1\", not a known wind unit, so it was not taken into the curve")
                  .arg(QString::fromStdString(frames->unit()));
    else
        why = QStringLiteral("was taken into the curve before");
    emit problem(QStringLiteral("frame curve"), QStringLiteral("The earlier power curve %1 %2; it is kept as %3.")
                                                    .arg(native(file), why, native(kept)));
}

void ArchiveWriter::setCurveRules(const core::CurveRules &rules)
{
    m_rules = rules;
    if (m_db.isOpen() && !m_db.setCurveRules(rules))
        emit problem(QStringLiteral("write"), QStringLiteral("The archive %1 could not be written: %2. The program "
                                                             "goes on and makes the power curve again later.")
                                                  .arg(native(m_path), m_db.error()));
}

void ArchiveWriter::write(const core::ArchiveRow &minute)
{
    m_waiting.push_back(minute);
    if (m_waiting.size() > kMaxWaiting) {
        m_waiting.pop_front();
        ++m_lost;
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
    while (!m_waiting.empty()) {
        if (!m_db.write(m_waiting.front())) {
            if (!m_failing)
                emit problem(m_db.full() ? QStringLiteral("full") : QStringLiteral("write"),
                             QStringLiteral("The archive %1 could not be written: %2. The program goes on, "
                                            "keeps the minutes and writes them when it can.")
                                 .arg(native(m_path), m_db.full() ? QStringLiteral("the disk is full")
                                                                  : m_db.error()));
            m_failing = true;
            break;
        }
        last = m_waiting.front().t;
        m_waiting.pop_front();
    }
    if (last < 0)
        return;
    if (m_failing) {
        m_failing = false;
        emit working();
    }
    emit written(last);
}

void ArchiveWriter::forgetMinutesBefore(qint64 t)
{
    if (m_db.isOpen())
        m_db.forgetMinutesBefore(t);
}

void ArchiveWriter::finish()
{
    drain();
    if (m_db.isOpen() && m_waiting.empty())
        m_db.markClean();
    m_db.close();
}

} // namespace archive

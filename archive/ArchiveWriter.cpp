// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveWriter.h"

#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>

namespace archive {

namespace {
QString native(const QString &path) { return QDir::toNativeSeparators(path); }
} // namespace

ArchiveWriter::ArchiveWriter(QString path) : m_path(std::move(path)) { }

ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::openOrKeepAside()
{
    const bool existed = QFileInfo::exists(m_path);
    QString why;
    if (m_db.open(m_path, false)) {
        if (!existed)
            return true;
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
                                                 .arg(native(m_path), m_db.error()));
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
    emit problem(QStringLiteral("kept"), QStringLiteral("The archive %1 was damaged (%2). It was kept as %3 and a "
                                                        "new archive was started.")
                                             .arg(native(m_path), why, native(kept)));
    if (!m_db.open(m_path, false)) {
        emit problem(QStringLiteral("open"), QStringLiteral("The archive %1 cannot be used: %2. Minutes are not "
                                                            "archived until it can.")
                                                 .arg(native(m_path), m_db.error()));
        return false;
    }
    m_db.takeOver();
    return true;
}

void ArchiveWriter::start()
{
    if (openOrKeepAside())
        m_db.takeOver();
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

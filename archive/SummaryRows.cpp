// SPDX-License-Identifier: GPL-3.0-or-later
#include "SummaryRows.h"

#include <QFileInfo>
#include <algorithm>
#include <set>

namespace archive {

namespace {
// More changes than this since the last read (a year of logs imported) and
// the span is read whole again, which is then quicker.
constexpr int kMostChanges = 2000;

bool earlier(const core::ArchiveRow &r, std::int64_t t) { return r.t < t; }

bool readHours(ArchiveDb &db, std::int64_t from, std::int64_t to, std::vector<core::ArchiveRow> *into)
{
    return db.each(Step::Hour, from, to, [into](const core::ArchiveRow &r) {
        into->push_back(r);
        return true;
    });
}
} // namespace

bool SummaryRows::readAll(ArchiveDb &db, std::int64_t from, std::int64_t to)
{
    m_kept = false;
    m_rows.clear();
    if (!readHours(db, from, to, &m_rows))
        return false;
    m_from = from;
    m_to = to;
    return m_kept = true;
}

// The hours of the minutes changed since the last read, read again.
bool SummaryRows::takeChanges(ArchiveDb &db, std::int64_t seq)
{
    std::set<std::int64_t> hours;
    int changes = 0;
    if (!db.changedMinutes(m_seq, seq, kMostChanges + 1, [&](std::int64_t, const core::ArchiveRow &m) {
            ++changes;
            hours.insert(core::localHourStart(m.t, m.utcOffset));
        }))
        return false;
    if (changes > kMostChanges)
        return readAll(db, m_from, m_to);
    for (const std::int64_t t : hours) {
        if (t < m_from || t >= m_to)
            continue;
        const auto hour = db.row(Step::Hour, t);
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), t, earlier);
        const bool there = at != m_rows.end() && at->t == t;
        if (hour && there)
            *at = *hour;
        else if (hour)
            m_rows.insert(at, *hour);
        else if (there)
            m_rows.erase(at);
    }
    return true;
}

bool SummaryRows::read(ArchiveDb &db, const QString &file, Step step, std::int64_t from, std::int64_t to,
                       const Use &use)
{
    const auto seq = db.lastChange();
    if (!seq)
        return false;
    // An archive without a change sequence cannot say what changed: read
    // it each time, as minutes and days are.
    if (step != Step::Hour || *seq == 0) {
        std::vector<core::ArchiveRow> rows;
        if (!db.each(step, from, to, [&rows](const core::ArchiveRow &r) {
                rows.push_back(r);
                return true;
            }))
            return false;
        use(rows);
        return true;
    }
    std::lock_guard guard(m_lock);
    const QDateTime born = QFileInfo(file).fileTime(QFileDevice::FileBirthTime);
    const bool same = m_kept && born == m_born && *seq >= m_seq && from < m_to && to > m_from;
    m_born = born;
    if (!same ? !readAll(db, from, to) : !takeChanges(db, *seq)) {
        m_kept = false;
        return false;
    }
    m_seq = *seq;
    // The span moved: the hours it gained read, those it lost let go.
    std::vector<core::ArchiveRow> before, after;
    if ((from < m_from && !readHours(db, from, m_from, &before)) || (to > m_to && !readHours(db, m_to, to, &after))) {
        m_kept = false;
        return false;
    }
    m_rows.insert(m_rows.begin(), before.begin(), before.end());
    m_rows.insert(m_rows.end(), after.begin(), after.end());
    m_rows.erase(m_rows.begin(), std::lower_bound(m_rows.begin(), m_rows.end(), from, earlier));
    m_rows.erase(std::lower_bound(m_rows.begin(), m_rows.end(), to, earlier), m_rows.end());
    m_from = from;
    m_to = to;
    use(m_rows);
    return true;
}

} // namespace archive

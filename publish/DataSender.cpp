// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataSender.h"

#include "MessageSender.h"
#include "ui/Files.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <map>

namespace publish {

namespace {
DataOutReport failed(std::string answer)
{
    DataOutReport r;
    r.ok = false;
    r.answer = std::move(answer);
    return r;
}
} // namespace

bool DataSender::writeCursor(const QString &path, const core::DataOutCursor &c)
{
    return ui::replaceWhole(path, QByteArray::fromStdString(core::cursorText(c)));
}

std::string DataSender::body(const DataOutJob &job,
                             std::vector<std::pair<std::int64_t, core::ArchiveRow>> &minutes,
                             const std::vector<core::ArchiveRow> &days)
{
    std::sort(minutes.begin(), minutes.end(),
              [](const auto &a, const auto &b) { return a.second.t < b.second.t; });
    std::map<std::int64_t, size_t> at;
    for (size_t i = 0; i < minutes.size(); ++i)
        at[minutes[i].second.t] = i;
    std::vector<core::Category> category(minutes.size(), core::Category::Generating);
    const auto moved = [&](const core::MinuteClasser::Classed &c) {
        for (const std::int64_t t : c.moved) {
            const auto found = at.find(t);
            if (found != at.end())
                category[found->second] = c.category;
        }
    };
    // Each stretch of following minutes is classed as the archive classes
    // it: resumed from the minutes before it, and followed by those after it,
    // which may make its last minutes part of a long enough run.
    const std::int64_t run = std::int64_t(core::kRunMinutes) * 60;
    core::MinuteClasser classer(job.rules);
    const auto after = [&](std::int64_t last) {
        m_db.each(archive::Step::Minute, last + 60, last + 60 + run, [&](const core::ArchiveRow &r) {
            moved(classer.add(r));
            return true;
        });
    };
    for (size_t i = 0; i < minutes.size(); ++i) {
        const core::ArchiveRow &m = minutes[i].second;
        if (i == 0 || m.t != minutes[i - 1].second.t + 60) {
            if (i > 0)
                after(minutes[i - 1].second.t);
            classer = core::MinuteClasser(job.rules);
            classer.resume(m_db.rows(archive::Step::Minute, m.t - run, m.t));
        }
        const auto c = classer.add(m);
        category[i] = c.category;
        moved(c);
    }
    if (!minutes.empty())
        after(minutes.back().second.t);

    std::string text;
    text.reserve(minutes.size() * 330 + days.size() * 400);
    for (size_t i = 0; i < minutes.size(); ++i)
        text += core::minuteLine(minutes[i].second, category[i], job.siteTag);
    for (const core::ArchiveRow &d : days)
        text += core::dayLine(d, job.siteTag);
    return text;
}

void DataSender::run(const DataOutJob &job, const std::function<void(const DataOutReport &)> &report)
{
    // Opened anew for each run: an archive kept aside as damaged, or put
    // back from a copy, is another file under the same name.
    m_db.close();
    if (!QFileInfo(job.archivePath).isFile()) {
        DataOutReport r;
        r.caughtUp = true; // nothing archived yet
        r.backlog = 0;
        report(r);
        return;
    }
    if (!m_db.open(job.archivePath, true))
        return report(failed("the archive cannot be read: " + m_db.error().toStdString()));
    const std::string target = core::dataOutTarget(job.settings);
    const auto kept = ui::readWhole(job.cursorPath);
    const auto read = kept ? core::readCursor(std::string_view(kept->constData(), size_t(kept->size())))
                           : std::nullopt;
    const auto last = m_db.lastChange();
    if (!last)
        return report(failed("the archive cannot be read: " + m_db.error().toStdString()));
    std::string note;
    if (read && read->seq > *last) {
        // An archive older than what was sent (restored from a copy, or
        // made anew): the database has its minutes up to its last change,
        // and what comes after that is sent. Checked before the archive
        // writes again, also while sending is off, so that no change
        // numbered anew under the old cursor is passed over.
        note = "The archive's changes end before those the database confirmed (an archive restored or made "
               "anew); sending goes on from the archive's last change.";
        if (!writeCursor(job.cursorPath, {*last, read->target}))
            return report(
                failed("the cursor file cannot be written: " + ui::nativePath(job.cursorPath).toStdString()));
    }
    if (!job.settings.on) {
        DataOutReport r;
        r.note = note;
        r.caughtUp = true;
        r.backlog = 0;
        return report(r);
    }
    // A cursor of another database, or none: that one gets every minute.
    core::DataOutCursor cursor{0, target};
    if (read && read->target == target)
        cursor.seq = std::min(read->seq, *last);
    const auto backlog = m_db.minutesChangedAfter(cursor.seq);
    if (!backlog)
        return report(failed("the archive cannot be read: " + m_db.error().toStdString()));
    long long left = *backlog;
    const core::HttpRequest request = core::dataOutRequest(job.settings);
    const std::string ca = job.settings.caFile;
    while (!m_stop->load()) {
        QElapsedTimer batch;
        batch.start();
        DataOutReport r;
        r.note = std::move(note);
        note.clear();
        const auto upTo = m_db.lastChange();
        std::vector<std::pair<std::int64_t, core::ArchiveRow>> minutes;
        std::vector<core::ArchiveRow> days;
        if (!upTo
            || !m_db.changedMinutes(cursor.seq, *upTo, kBatch, [&](std::int64_t seq, const core::ArchiveRow &m) {
                   minutes.emplace_back(seq, m);
               }))
            return report(failed("the archive cannot be read: " + m_db.error().toStdString()));
        // A full batch ends at its last minute; the days changed up to there go with it.
        const std::int64_t end = int(minutes.size()) == kBatch ? minutes.back().first : *upTo;
        if (!m_db.changedDays(cursor.seq, end, [&](const core::ArchiveRow &d) { days.push_back(d); }))
            return report(failed("the archive cannot be read: " + m_db.error().toStdString()));
        r.forgotten = m_db.unsentForgotten();
        if (end <= cursor.seq) {
            r.cursor = cursor.seq;
            r.backlog = left;
            r.caughtUp = true;
            return report(r);
        }
        if (!minutes.empty() || !days.empty()) {
            const long long count = (long long)minutes.size();
            const std::string text = body(job, minutes, days);
            const SendResult sent = postNow(request, text, ca, *m_stop);
            if (!sent.ok) {
                DataOutReport f = failed(core::dataOutRedacted(sent.answer, job.settings));
                f.backlog = left;
                f.forgotten = r.forgotten;
                return report(f);
            }
            r.sent = count;
            left = std::max(0LL, left - count);
        }
        cursor.seq = end;
        if (!writeCursor(job.cursorPath, cursor))
            return report(
                failed("the cursor file cannot be written: " + ui::nativePath(job.cursorPath).toStdString()));
        r.cursor = end;
        r.backlog = left;
        report(r);
        // A backlog is paced: after each batch a pause as long as it took
        // (at most a second), so that the program's own thread, the live
        // values and the database's other writers keep their share.
        if (left > 0)
            for (qint64 rest = std::min<qint64>(batch.elapsed(), 1000); rest > 0 && !m_stop->load(); rest -= 20)
                QThread::msleep(20);
    }
}

} // namespace publish

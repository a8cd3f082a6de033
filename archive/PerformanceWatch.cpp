// SPDX-License-Identifier: GPL-3.0-or-later
#include "PerformanceWatch.h"

#include "Archive.h"
#include "Certified.h"
#include "ui/Files.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

namespace archive {

namespace {
int dayKey(const QDate &d) { return d.year() * 10000 + d.month() * 100 + d.day(); }
} // namespace

PerformanceWatch::PerformanceWatch(const ui::Services &services, Tell tell, QObject *parent)
    : QObject(parent), m_services(services), m_tell(std::move(tell))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kCheckMs);
    connect(m_timer, &QTimer::timeout, this, &PerformanceWatch::check);
    m_timer->start();
}

void PerformanceWatch::check()
{
    const QDate today = m_services.clock->date();
    QString why;
    const auto certified = readCertifiedCurve(m_services.programFolder, &why);
    if (!certified) {
        // Without a certified curve (or with a damaged one, which the History
        // window tells about) nothing is judged.
        m_days.clear();
        m_key.clear();
        m_tell(m_days, dayKey(today));
        return;
    }
    const core::TurbineSettings settings = Archive::turbineSettings(m_services.programFolder);
    std::string key = core::curveRules(settings).key();
    for (const core::CurvePoint &p : *certified)
        key += ';' + std::to_string(p.wind) + ',' + std::to_string(p.watts);
    if (key != m_key) {
        m_days.clear();
        m_key = key;
    }
    const QDate first = today.addDays(-kLookBackDays);
    m_days.erase(m_days.begin(), m_days.lower_bound(dayKey(first)));
    m_days.erase(dayKey(today.addDays(-1)));
    // The oldest day not read yet; every day after it is read again with it.
    QDate from = today;
    for (QDate d = first; d < today; d = d.addDays(1))
        if (!m_days.count(dayKey(d))) {
            from = d;
            break;
        }
    if (from == today) {
        m_tell(m_days, dayKey(today));
        return;
    }
    if (m_thread)
        return;
    const QString folder = m_services.programFolder;
    const std::vector<core::CurvePoint> points = *certified;
    const std::int64_t start = from.startOfDay().toSecsSinceEpoch(), end = today.startOfDay().toSecsSinceEpoch();
    const int fromKey = dayKey(from), todayKey = dayKey(today);
    m_thread = QThread::create([=] {
        QString error;
        auto book = readPerformance(folder, settings, points, start, end, nullptr, &error);
        QMetaObject::invokeMethod(this, [this, book = std::move(book), fromKey, todayKey, key] {
            // Read by rules that changed meanwhile: the next check reads again.
            if (key == m_key)
                take(book, fromKey, todayKey);
        });
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
    });
    m_thread->start();
}

PerformanceWatch::~PerformanceWatch()
{
    if (m_thread) {
        m_thread->disconnect(this);
        m_thread->wait();
        delete m_thread;
    }
}

void PerformanceWatch::take(const std::optional<core::PerformanceBook> &book, int from, int today)
{
    if (!book)
        return; // tried again at the next check
    const auto toDate = [](int key) { return QDate(key / 10000, key / 100 % 100, key % 100); };
    for (QDate d = toDate(from); d < toDate(today); d = d.addDays(1))
        m_days[dayKey(d)] = core::PerformanceSums();
    for (const auto &[day, sums] : book->days())
        if (day < today)
            m_days[day] = sums;
    m_tell(m_days, today);
}

} // namespace archive

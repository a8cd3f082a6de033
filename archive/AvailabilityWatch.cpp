// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvailabilityWatch.h"

#include "AvailabilityReport.h"
#include "ui/Clock.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

namespace archive {

AvailabilityWatch::AvailabilityWatch(const ui::Services &services, Tell tell, QObject *parent)
    : QObject(parent), m_services(services), m_tell(std::move(tell))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kCheckMs);
    connect(m_timer, &QTimer::timeout, this, &AvailabilityWatch::check);
    m_timer->start();
}

void AvailabilityWatch::check()
{
    if (m_thread)
        return;
    const QDateTime now = m_services.clock->now();
    const QDate first(now.date().year(), now.date().month(), 1);
    const std::int64_t from = first.startOfDay().toSecsSinceEpoch(),
                       to = first.addMonths(1).startOfDay().toSecsSinceEpoch(), at = now.toSecsSinceEpoch();
    const int month = first.year() * 100 + first.month();
    const QString folder = m_services.programFolder;
    m_thread = QThread::create([=] {
        QString why;
        const auto book = readAvailability(folder, from, to, at, &why);
        std::optional<core::Availability> figures;
        if (book && book->months.count(month))
            figures = book->months.at(month);
        QMetaObject::invokeMethod(this, [this, figures] { m_tell(figures); });
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
    });
    m_thread->start(QThread::LowPriority);
}

AvailabilityWatch::~AvailabilityWatch()
{
    if (m_thread) {
        m_thread->disconnect(this);
        m_thread->wait();
        delete m_thread;
    }
}

} // namespace archive

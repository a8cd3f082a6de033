// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataOut.h"

#include "core/Turbine.h"
#include "ui/Clock.h"
#include "ui/Files.h"
#include "ui/KeptFile.h"
#include "ui/ProgramFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSysInfo>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace publish {

namespace {
// The first wait after a failure. VELDRA_DATAOUT_RETRY_MS shortens it for
// the end-to-end tests, which cannot wait the real back-off out.
double firstRetrySeconds()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELDRA_DATAOUT_RETRY_MS", &ok);
    return ok && ms > 0 ? ms / 1000.0 : 5.0;
}
} // namespace

core::DataOutSettings readDataOutSettingsFile(const QString &path, QString *reason)
{
    return ui::readOwnSettings(path, core::readDataOutSettings, reason);
}

bool writeDataOutSettingsFile(const QString &path, const core::DataOutSettings &s)
{
    return ui::writeOwnerOnly(path, QByteArray::fromStdString(core::dataOutSettingsText(s)));
}

std::optional<QString> dataOutFileFault(const core::DataOutSettings &s)
{
    const QString ca = QString::fromStdString(s.caFile).trimmed();
    if (!ca.isEmpty() && !QFileInfo(ca).isFile())
        return QStringLiteral("The CA file %1 does not exist. Nothing was saved.")
            .arg(QDir::toNativeSeparators(ca));
    return std::nullopt;
}

DataOut::DataOut(const ui::Services &services, QString archivePath,
                 std::function<void(std::optional<qint64>)> sentUpTo, QObject *parent)
    : QObject(parent), m_services(services), m_archivePath(std::move(archivePath)),
      m_cursorPath(ui::ProgramFolder(services.programFolder).dataOutCursor()), m_sentUpTo(std::move(sentUpTo)),
      m_worker(new QObject), m_stop(std::make_shared<std::atomic<bool>>(false)), m_retry(new QTimer(this)),
      m_firstRetry(firstRetrySeconds())
{
    m_sender = std::make_unique<DataSender>(m_stop);
    m_thread.setObjectName(QStringLiteral("data out"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // The sender gives way to the program's own thread and the live values
    // (Qt's priorities do nothing for Linux's ordinary threads: a nice value does).
    m_thread.start(QThread::LowPriority);
#ifdef Q_OS_LINUX
    QMetaObject::invokeMethod(m_worker, [] { setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10); });
#endif
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &DataOut::start);
}

DataOut::~DataOut()
{
    // A transfer under way ends at its next progress call.
    m_stop->store(true);
    m_thread.quit();
    m_thread.wait();
}

void DataOut::loadSettings()
{
    const ui::ProgramFolder folder(m_services.programFolder);
    m_unreadable.clear();
    m_settings = readDataOutSettingsFile(folder.dataOutSettings(), &m_unreadable);
    if (!m_unreadable.isEmpty())
        m_settings.on = false;
    const auto turbine = ui::readWhole(folder.turbineSettings());
    m_site = core::lineProtocolTag(
        core::siteNameOf(turbine ? core::readTurbineSettings(ui::textOf(*turbine)) : core::TurbineSettings(),
                         QSysInfo::machineHostName().toStdString()));
    m_counts.on = m_settings.on && !core::dataOutProblem(m_settings);
    // What the database has, for counting minutes let go before it had them.
    std::optional<qint64> sent;
    if (m_counts.on) {
        const auto kept = ui::readWhole(m_cursorPath);
        const auto cursor = kept ? core::readCursor(std::string_view(kept->constData(), size_t(kept->size())))
                                 : std::nullopt;
        sent = cursor && cursor->target == core::dataOutTarget(m_settings) ? cursor->seq : 0;
    }
    if (m_sentUpTo)
        m_sentUpTo(sent);
    // Mended settings are tried at once, not after the back-off.
    m_failuresInRow = 0;
    m_answer.clear();
    m_retry->stop();
    m_checkCursor = true;
    if (m_running) {
        m_stop->store(true);
        m_again = true;
    }
    showStatus();
    start();
}

void DataOut::setRules(const core::AvailabilityRules &rules)
{
    const bool first = !m_rules;
    m_rules = rules;
    if (first)
        start();
}

void DataOut::wake()
{
    if (m_running)
        m_again = true;
    else if (!m_retry->isActive())
        start();
}

void DataOut::start()
{
    // Off, the cursor kept from an earlier sending is still checked against
    // the archive (once, at the settings' reading).
    const bool check = !m_counts.on && m_checkCursor && QFileInfo::exists(m_cursorPath);
    if (!check && (!m_counts.on || !m_rules))
        return;
    if (m_running) {
        m_again = true;
        return;
    }
    m_checkCursor = false;
    m_running = true;
    m_again = false;
    m_stop->store(false);
    DataOutJob job{m_settings, m_site, m_rules.value_or(core::AvailabilityRules()), m_archivePath, m_cursorPath};
    job.settings.on = m_counts.on;
    QPointer<DataOut> self(this);
    DataSender *sender = m_sender.get();
    QMetaObject::invokeMethod(m_worker, [self, sender, job = std::move(job)] {
        sender->run(job, [self](const DataOutReport &r) {
            QMetaObject::invokeMethod(self, [self, r] {
                if (self)
                    self->reported(r);
            });
        });
        QMetaObject::invokeMethod(self, [self] {
            if (self)
                self->finished();
        });
    });
}

void DataOut::reported(const DataOutReport &r)
{
    if (!r.note.empty())
        m_services.messages->notify(nullptr, QString::fromStdString(r.note));
    if (!m_counts.on)
        return; // a check of the cursor only
    m_counts.forgotten = std::max(m_counts.forgotten, r.forgotten);
    if (r.backlog >= 0)
        m_counts.backlog = r.backlog;
    if (!r.ok) {
        // A run stopped for new settings is no failure of the server's.
        if (m_stop->load())
            return;
        ++m_counts.failures;
        ++m_failuresInRow;
        m_answer = QString::fromStdString(r.answer);
        m_retry->start(int(core::retrySeconds(m_failuresInRow, m_firstRetry) * 1000));
        showStatus();
        return;
    }
    if (m_sentUpTo)
        m_sentUpTo(r.cursor);
    m_counts.sent += r.sent;
    if (r.sent || !r.caughtUp)
        m_counts.lastSuccess = m_services.clock->now().toSecsSinceEpoch();
    if (m_failuresInRow) {
        m_failuresInRow = 0;
        m_answer.clear();
    }
    showStatus();
}

void DataOut::finished()
{
    m_running = false;
    if (m_again && !m_retry->isActive())
        start();
}

void DataOut::showStatus()
{
    QString now;
    if (!m_unreadable.isEmpty())
        now = QStringLiteral("data out: %1 could not be read: %2")
                  .arg(QDir::toNativeSeparators(ui::ProgramFolder(m_services.programFolder).dataOutSettings()),
                       m_unreadable);
    else if (m_settings.on && core::dataOutProblem(m_settings))
        now = QStringLiteral("data out: ") + QString::fromStdString(core::dataOutProblem(m_settings)->text);
    else if (m_counts.on && !m_answer.isEmpty())
        now = QStringLiteral("data out: not sent (%1), %2 minutes waiting").arg(m_answer).arg(m_counts.backlog);
    if (m_counts.on && m_counts.forgotten)
        now += QString(now.isEmpty() ? QStringLiteral("data out: ") : QStringLiteral("; "))
               + QStringLiteral("%1 minutes were let go by the archive before they were sent")
                     .arg(m_counts.forgotten);
    if (now == m_status)
        return;
    m_status = now;
    emit statusChanged(m_status);
}

QString DataOut::summary() const
{
    if (!m_counts.on)
        return QStringLiteral("Data out is off.");
    QString text =
        QStringLiteral("%1 minutes sent since the start, %2 waiting.").arg(m_counts.sent).arg(m_counts.backlog);
    if (m_counts.lastSuccess)
        text += QStringLiteral(" Last confirmed %1 UTC.")
                    .arg(QDateTime::fromSecsSinceEpoch(m_counts.lastSuccess, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (m_counts.failures)
        text += QStringLiteral(" %1 failed tries.").arg(m_counts.failures);
    if (!m_status.isEmpty())
        text += QStringLiteral(" ") + m_status.at(0).toUpper() + m_status.mid(1) + QStringLiteral(".");
    return text;
}

} // namespace publish

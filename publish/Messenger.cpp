// SPDX-License-Identifier: GPL-3.0-or-later
#include "Messenger.h"

#include "MessageSettingsFile.h"
#include "core/Number.h"
#include "core/Turbine.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace publish {

namespace {
// The first wait after a failure. VELDRA_MESSAGE_RETRY_MS shortens it for
// the end-to-end tests, which cannot wait the real back-off out.
double firstRetrySeconds()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELDRA_MESSAGE_RETRY_MS", &ok);
    return ok && ms > 0 ? ms / 1000.0 : 1.0;
}

std::string utf8(const QString &s) { return s.toStdString(); }

// "2026-12-09 22:10" in the program's local time.
QString localText(std::int64_t unixSeconds)
{
    return QDateTime::fromSecsSinceEpoch(unixSeconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

std::string isoUtc(std::int64_t unixSeconds)
{
    return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC).toString(Qt::ISODate).toStdString();
}

// The small state kept beside the outbox: when the program last ran, and
// the date of the last summary.
struct KeptState {
    std::optional<std::int64_t> alive;
    QString summaryDate;
};

KeptState readState(const QString &path)
{
    KeptState s;
    const QByteArray text = ui::readWhole(path).value_or(QByteArray());
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "alive") {
            bool ok = false;
            const qlonglong t = parts[1].toLongLong(&ok);
            if (ok)
                s.alive = t;
        } else if (parts[0] == "summary") {
            s.summaryDate = QString::fromLatin1(parts[1]);
        }
    }
    return s;
}
} // namespace

Messenger::Messenger(const ui::Services &services, QObject *parent)
    : QObject(parent), m_services(services), m_retry(new QTimer(this)),
      m_minute(new QTimer(this)), m_folds(new QTimer(this)), m_firstRetry(firstRetrySeconds())
{
    const ui::ProgramFolder folder(m_services.programFolder);
    m_outbox = folder.outbox();
    m_state = QDir(m_services.programFolder).filePath(QStringLiteral("messages-state.txt"));
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &Messenger::dispatch);
    m_folds->setSingleShot(true);
    connect(m_folds, &QTimer::timeout, this, &Messenger::foldDue);
    m_minute->setInterval(60 * 1000);
    connect(m_minute, &QTimer::timeout, this, &Messenger::everyMinute);
}

Messenger::~Messenger() = default;

std::int64_t Messenger::wallNow() const { return m_services.clock->now().toSecsSinceEpoch(); }

void Messenger::loadSettings()
{
    const ui::ProgramFolder folder(m_services.programFolder);
    QString unreadable;
    m_settings = readMessageSettingsFile(folder.messageSettings(), &unreadable);
    if (!unreadable.isEmpty() && m_told.insert(QStringLiteral("settings")).second)
        m_services.messages->notify(nullptr, QStringLiteral("%1 could not be read: %2. No messages are sent.")
                                                  .arg(QDir::toNativeSeparators(folder.messageSettings()), unreadable));
    const auto turbine = ui::readWhole(folder.turbineSettings());
    m_site = core::siteNameOf(turbine ? core::readTurbineSettings(ui::textOf(*turbine)) : core::TurbineSettings(),
                              utf8(QSysInfo::machineHostName()));
    m_fold.setHoldOff(core::holdOffSeconds(m_settings));
    // Mended settings are tried at once, not after the back-off.
    for (auto &[key, c] : m_channels)
        c.nextTry = 0;
    if (!m_takenUp)
        takeUpOutbox();
    showStatus();
    dispatch();
}

void Messenger::takeUpOutbox()
{
    m_takenUp = true;
    const QByteArray text = ui::readWhole(m_outbox).value_or(QByteArray());
    m_pending = core::readOutbox(std::string_view(text.constData(), size_t(text.size())));
    // Written again with only what is still to send: a line a kill cut short
    // is gone, and the next append starts on a line of its own.
    std::string kept;
    for (const core::Message &m : m_pending)
        kept += core::outboxAddLine(m);
    if (!text.isEmpty() && !ui::writeOwnerOnly(m_outbox, QByteArray::fromStdString(kept)))
        m_services.messages->notify(nullptr, ui::cannotWrite(m_outbox));

    // The program cannot tell that it stopped; its next start can.
    const KeptState state = readState(m_state);
    const std::int64_t now = wallNow();
    if (m_settings.on && state.alive && now - *state.alive > core::gapSeconds(m_settings)) {
        core::Message m;
        m.state = "gap";
        m.title = "Veldra was not running";
        m.text = utf8(QStringLiteral("Veldra was not running from %1 to %2.").arg(localText(*state.alive), localText(now)));
        m.since = isoUtc(*state.alive);
        queue(m);
    }
    everyMinute();
    m_minute->start();
}

void Messenger::alarm(const QString &key, const QString &title, bool raised, const QString &value)
{
    const QString said = QStringLiteral("%1 %2: %3.").arg(title, raised ? QStringLiteral("raised") : QStringLiteral("cleared"), value);
    m_dayAlarms.push_back(m_services.clock->now().toString(QStringLiteral("HH:mm ")) + said);
    // A summary names the latest hundred; an alarm flapping all day is not a book.
    if (m_dayAlarms.size() > 100)
        m_dayAlarms.erase(m_dayAlarms.begin());
    m_alarms[utf8(key)] = {title, value};
    if (!m_settings.on)
        return;
    const auto send = m_fold.change(utf8(key), raised, m_services.clock->monotonicSeconds());
    if (send) {
        core::Message m;
        m.state = raised ? "raised" : "cleared";
        m.alarm = utf8(key);
        m.title = utf8(title + (raised ? QStringLiteral(" raised") : QStringLiteral(" cleared")));
        m.text = utf8(said);
        m.value = utf8(value);
        m.since = isoUtc(wallNow());
        queue(m);
    }
    foldDue();
}

void Messenger::foldDue()
{
    const double now = m_services.clock->monotonicSeconds();
    for (const core::AlarmFold::Send &s : m_fold.due(now)) {
        const auto &[title, value] = m_alarms[s.alarm];
        core::Message m;
        m.state = s.raised ? "raised" : "cleared";
        m.alarm = s.alarm;
        m.title = utf8(title + (s.raised ? QStringLiteral(" raised") : QStringLiteral(" cleared")));
        m.text = utf8(QStringLiteral("%1 %2: %3 (after %4 more changes within %5 minutes).")
                          .arg(title, s.raised ? QStringLiteral("raised") : QStringLiteral("cleared"), value)
                          .arg(s.folded)
                          .arg(QString::fromStdString(core::numberText(core::holdOffSeconds(m_settings) / 60))));
        m.value = utf8(value);
        m.since = isoUtc(wallNow());
        queue(m);
    }
    if (const auto next = m_fold.nextDue())
        m_folds->start(int(std::ceil(std::max(0.0, *next - now) * 1000)));
}

void Messenger::queue(core::Message m)
{
    m.created = wallNow();
    const QString base = QStringLiteral("%1-%2-%3")
                             .arg(m.created)
                             .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'))
                             .arg(++m_idCount);
    for (size_t i = 0; i < m_settings.channels.size(); ++i) {
        core::Message copy = m;
        copy.id = utf8(base) + "-" + std::to_string(i + 1);
        copy.channel = int(i);
        copy.channelName = m_settings.channels[i].name;
        // Kept before it is sent; a failed append is told, and the message
        // is still sent while the program runs.
        if (!ui::append(m_outbox, QByteArray::fromStdString(core::outboxAddLine(copy)))
            && m_told.insert(QStringLiteral("outbox")).second)
            m_services.messages->notify(nullptr, ui::cannotWrite(m_outbox));
        m_pending.push_back(std::move(copy));
    }
    dispatch();
}

std::string Messenger::channelKey(const core::Message &m) const
{
    return std::to_string(m.channel) + ":" + m.channelName;
}

void Messenger::drop(const core::Message &m, const QString &why)
{
    ui::append(m_outbox, QByteArray::fromStdString(core::outboxDoneLine(m.id, "dropped")));
    ++m_counts.dropped;
    if (m_told.insert(QStringLiteral("dropped ") + why).second)
        m_services.messages->notify(nullptr, QStringLiteral("A message (\"%1\") was dropped: %2. Further messages "
                                                            "dropped for this reason are counted, not told.")
                                                  .arg(QString::fromStdString(m.title), why));
}

void Messenger::dispatch()
{
    const double now = m_services.clock->monotonicSeconds();
    const std::int64_t wall = wallNow();
    std::set<std::string> seen;
    std::optional<double> wake;
    for (size_t i = 0; i < m_pending.size();) {
        const core::Message m = m_pending[i];
        const auto c = size_t(m.channel) < m_settings.channels.size() ? &m_settings.channels[size_t(m.channel)] : nullptr;
        QString why;
        if (double(wall - m.created) > kKeepSeconds)
            why = QStringLiteral("it could not be sent for 48 hours");
        else if (!c || c->name != m.channelName)
            why = QStringLiteral("its channel was removed");
        if (!why.isEmpty()) {
            drop(m, why);
            m_pending.erase(m_pending.begin() + long(i));
            continue;
        }
        ++i;
        // One at a time and in order on each channel, each on a thread of
        // its own: a channel that fails or hangs holds up none of the others.
        if (!m_settings.on || !seen.insert(channelKey(m)).second)
            continue;
        Channel &state = m_channels[channelKey(m)];
        if (state.sending)
            continue;
        if (const auto problem = core::channelProblem(*c, size_t(m.channel))) {
            state.answer = problem->text;
            continue;
        }
        if (state.nextTry > now) {
            wake = std::min(wake.value_or(state.nextTry), state.nextTry);
            continue;
        }
        state.sending = true;
        if (!state.sender)
            state.sender = new MessageSender(this);
        state.sender->send(SendJob{m, *c, m_site, m_settings.caFile}, [this, m](const SendResult &r) { finished(m, r); });
    }
    if (wake)
        m_retry->start(int(std::ceil((*wake - now) * 1000)));
    showStatus();
}

void Messenger::finished(const core::Message &m, const SendResult &r)
{
    Channel &state = m_channels[channelKey(m)];
    state.sending = false;
    state.answer = r.answer;
    if (r.ok) {
        ui::append(m_outbox, QByteArray::fromStdString(core::outboxDoneLine(m.id, "sent")));
        m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), [&](const core::Message &p) { return p.id == m.id; }),
                        m_pending.end());
        ++m_counts.sent;
        state.failures = 0;
        state.nextTry = 0;
        // Nothing left: the outbox starts again empty.
        if (m_pending.empty())
            ui::writeOwnerOnly(m_outbox, QByteArray());
    } else {
        ++m_counts.failed;
        ++state.failures;
        state.nextTry = m_services.clock->monotonicSeconds() + core::retrySeconds(state.failures, m_firstRetry);
    }
    showStatus();
    dispatch();
}

void Messenger::test(const core::MessageChannel &channel, const std::string &caFile,
                     std::function<void(const SendResult &)> done)
{
    core::Message m;
    m.created = wallNow();
    m.id = utf8(QStringLiteral("%1-test-%2").arg(m.created).arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0')));
    m.state = "test";
    m.title = "Test message";
    m.text = "A test message from Veldra at " + m_site + ". Alarms will come this way.";
    // Tests go on a thread of their own, never behind a channel's messages.
    if (!m_tests)
        m_tests = new MessageSender(this);
    m_tests->send(SendJob{m, channel, m_site, caFile}, std::move(done));
}

void Messenger::everyMinute()
{
    const QDateTime now = m_services.clock->now();
    KeptState state = readState(m_state);
    const QString today = now.date().toString(Qt::ISODate);
    if (m_settings.on && m_settings.summary && state.summaryDate != today
        && now.time().hour() * 60 + now.time().minute() >= core::summaryMinute(m_settings)) {
        const DaySummary d = m_summary ? m_summary() : DaySummary();
        QString text = QStringLiteral("Yesterday's energy: %1 kWh.").arg(QString::fromStdString(core::numberText(core::roundHalfEven(d.yesterdayWh / 1000, 2))));
        if (d.performance >= 0) {
            const double percent = d.performance * 100;
            text += QStringLiteral("\nAgainst the certified curve: %1 %.")
                        .arg(QString::fromStdString(core::numberText(core::roundHalfEven(percent, 0))));
        }
        text += m_dayAlarms.empty() ? QStringLiteral("\nNo alarm since the last summary.")
                                    : QStringLiteral("\nAlarms since the last summary:");
        for (const QString &a : m_dayAlarms)
            text += QStringLiteral("\n") + a;
        m_dayAlarms.clear();
        core::Message m;
        m.state = "summary";
        m.title = "The day's summary";
        m.text = utf8(text);
        queue(m);
        state.summaryDate = today;
    }
    const QByteArray kept = QStringLiteral("alive %1\nsummary %2\n").arg(now.toSecsSinceEpoch()).arg(state.summaryDate).toLatin1();
    if (!ui::replaceWhole(m_state, kept) && m_told.insert(QStringLiteral("state")).second)
        m_services.messages->notify(nullptr, ui::cannotWrite(m_state));
}

void Messenger::showStatus()
{
    QStringList failing;
    m_counts.waiting = (long long)m_pending.size();
    for (size_t i = 0; i < m_settings.channels.size(); ++i) {
        const core::MessageChannel &channel = m_settings.channels[i];
        const auto c = m_channels.find(std::to_string(i) + ":" + channel.name);
        std::string why;
        if (const auto problem = core::channelProblem(channel, i))
            why = problem->text;
        else if (c != m_channels.end() && c->second.failures > 0)
            why = c->second.answer;
        if (!why.empty())
            failing << QStringLiteral("messages to %1 fail: %2")
                           .arg(QString::fromStdString(channel.name.empty() ? "channel " + std::to_string(i + 1) : channel.name),
                                QString::fromStdString(why));
    }
    const QString text = m_settings.on ? failing.join(QStringLiteral("; ")) : QString();
    if (text != m_status) {
        m_status = text;
        emit statusChanged(m_status);
    }
}

Messenger::Counts Messenger::counts() const
{
    Counts c = m_counts;
    c.waiting = (long long)m_pending.size();
    return c;
}

QMap<QString, QString> Messenger::answers() const
{
    QMap<QString, QString> out;
    for (size_t i = 0; i < m_settings.channels.size(); ++i) {
        const auto c = m_channels.find(std::to_string(i) + ":" + m_settings.channels[i].name);
        if (c != m_channels.end())
            out[QString::fromStdString(m_settings.channels[i].name)] = QString::fromStdString(c->second.answer);
    }
    return out;
}

} // namespace publish

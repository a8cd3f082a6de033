#include "AlarmWatch.h"

#include "CommandRunner.h"
#include "core/Number.h"
#include "ui/Files.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace alarms {

namespace {
QString fromStd(std::string_view s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }
QByteArray bytesOf(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }

QString portStateWord(ui::PortState state)
{
    switch (state) {
    case ui::PortState::Open: return QStringLiteral("open");
    case ui::PortState::Away: return QStringLiteral("away");
    case ui::PortState::Paused: return QStringLiteral("paused");
    case ui::PortState::NoPortNumber: return QStringLiteral("no port number");
    }
    return QString();
}
} // namespace

QLabel *makeBanner(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QStringLiteral("AlarmBanner"));
    QFont f(QStringLiteral("Arial"), 9);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setIndent(4);
    l->setTextFormat(Qt::PlainText);
    ui::setColours(l, QColor(200, 0, 0), Qt::white);
    l->hide();
    return l;
}

QLabel *makeStatusLine(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QStringLiteral("LinkStatus"));
    l->setFont(QFont(QStringLiteral("Arial"), 8));
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui::setColours(l, ui::darkGreen(), ui::brightGreen());
    return l;
}

AlarmWatch::AlarmWatch(const ui::Services &services, const Wiring &wiring)
    : m_services(services), m_wiring(wiring), m_folder(services.programFolder),
      m_notices(services.messages, wiring.window), m_book(services.clock->monotonicSeconds()),
      m_start(services.clock->monotonicSeconds())
{
    m_runner = new CommandRunner(services.clock, m_folder.alarmsCommandLog(), m_folder.path(), this);
    connect(m_runner, &CommandRunner::startProblemChanged, this, &AlarmWatch::refresh);
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &AlarmWatch::tick);
    connect(wiring.link, &ui::ReconnectingPort::stateChanged, this, &AlarmWatch::refresh);
    // As the edition placed it: the most room the banner may take.
    m_bannerArea = m_wiring.banner->geometry();
    m_wiring.banner->hide();
    loadSettings();
    m_timer->start();
}

AlarmWatch::~AlarmWatch() = default;

void AlarmWatch::loadSettings()
{
    const QString path = m_folder.alarmsSettings();
    core::AlarmSettings s;
    if (ui::exists(path)) {
        QString reason;
        const auto bytes = ui::readWhole(path, &reason);
        const auto read = bytes ? core::readAlarmSettings(
                              std::string_view(bytes->constData(), size_t(bytes->size())))
                                : std::nullopt;
        const QString file = QDir::toNativeSeparators(path);
        if (read) {
            s = *read;
        } else if (!bytes) {
            m_services.messages->notify(
                m_wiring.window, QStringLiteral("The alarm settings in %1 cannot be read (%2), so the default "
                                                "alarms hold for this run. The file is left as it is.")
                                     .arg(file, reason));
        } else {
            const QString kept = ui::keepAside(path);
            m_services.messages->notify(
                m_wiring.window,
                QStringLiteral(
                    "The alarm settings in %1 are damaged, so the default alarms hold (only \"no data\" "
                    "is on). %2")
                    .arg(file, !kept.isEmpty() ? QStringLiteral("The damaged file is kept as %1.")
                                                     .arg(QDir::toNativeSeparators(kept))
                                               : QStringLiteral("The damaged file could not be moved aside.")));
        }
    }
    handle(m_book.setSettings(s, m_services.clock->monotonicSeconds()));
}

void AlarmWatch::frame(const core::RawReading &raw, const core::Reading &reading)
{
    const double now = m_services.clock->monotonicSeconds();
    const bool live = core::isLive(raw);
    m_counters.frame(live, now);
    core::AlarmBook::Values v;
    v.live = live;
    v.volts = reading.Volts;
    if (raw.rpmRead)
        v.rpm = reading.RPM;
    if (raw.windRead)
        v.wind = reading.WindSpeed;
    handle(m_book.frame(v, now));
    if (live && m_stale) {
        m_stale = false;
        emit staleChanged(false);
    }
    showBanner();
}

long long AlarmWatch::setDropped(long long total)
{
    const long long before = m_counters.rejected();
    m_counters.setDropped(total);
    return m_counters.rejected() - before;
}

void AlarmWatch::tick()
{
    const double now = m_services.clock->monotonicSeconds();
    const core::DataState state = m_wiring.liveness->state(now);
    handle(m_book.tick(state, now));
    if (state != core::DataState::Paused && (state == core::DataState::Stale) != m_stale) {
        m_stale = !m_stale;
        emit staleChanged(m_stale);
    }
    showBanner();
    refresh();
}

void AlarmWatch::handle(const std::vector<core::AlarmEvent> &events)
{
    if (events.empty())
        return;
    const core::AlarmSettings &s = m_book.settings();
    const QString csv = m_folder.alarmsCsv();
    ui::ensureFolder(QFileInfo(csv).absolutePath());
    for (const core::AlarmEvent &e : events) {
        const QDateTime now = m_services.clock->now();
        if (e.raised) {
            m_since[size_t(e.id)] = now;
            if (s.beep)
                QApplication::beep();
        }
        QByteArray line;
        if (!ui::hasContent(csv))
            line = bytesOf(core::alarmCsvHeader()) + "\r\n";
        line += bytesOf(core::alarmCsvLine(now.toString(Qt::ISODate).toStdString(), e)) + "\r\n";
        m_notices.outcome(csv, ui::append(csv, line), ui::cannotWrite(csv));
        emit alarmChanged(fromStd(core::alarmKey(e.id)), fromStd(core::alarmTitle(e.id)), e.raised);
        if (!s.command.empty())
            m_runner->run(
                ui::fromLocal(s.command),
                {fromStd(core::alarmKey(e.id)), e.raised ? QStringLiteral("raised") : QStringLiteral("cleared"),
                 fromStd(core::alarmNumberText(e.id, e.value)), fromStd(core::alarmNumberText(e.id, e.threshold))},
                s.commandLimitSeconds);
    }
    showBanner();
}

QString AlarmWatch::unit(core::AlarmId id) const
{
    switch (id) {
    case core::AlarmId::BatteryLow:
    case core::AlarmId::BatteryHigh: return QStringLiteral(" V");
    case core::AlarmId::OverSpeed: return QStringLiteral(" RPM");
    case core::AlarmId::HighWind: return QLatin1Char(' ') + ui::fromLocal(m_wiring.program->WSUnits);
    case core::AlarmId::NoData: break;
    }
    return QString();
}

void AlarmWatch::showBanner()
{
    // Each raised alarm in three forms, longest first: "title: value since
    // when", "title: value", "title".
    std::vector<std::array<QString, 3>> forms;
    const QDate today = m_services.clock->date();
    for (const core::AlarmId id : core::kAlarms) {
        if (!m_book.raised(id))
            continue;
        const double v = m_book.value(id);
        const QString title = fromStd(core::alarmTitle(id));
        const QString value = id == core::AlarmId::NoData
                                  ? fromStd(core::ageText(v))
                                  : ui::fromLocal(core::numberText(core::roundHalfEven(v, 2))) + unit(id);
        const QDateTime &since = m_since[size_t(id)];
        const QString when = since.date() == today ? since.toString(QStringLiteral("HH:mm:ss"))
                                                   : since.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        forms.push_back({QStringLiteral("%1: %2 since %3").arg(title, value, when),
                         QStringLiteral("%1: %2").arg(title, value), title});
    }
    QStringList full;
    for (const auto &f : forms)
        full << f[0];
    QLabel *banner = m_wiring.banner;
    if (forms.empty()) {
        banner->setText(QString());
        banner->setToolTip(QString());
        banner->hide();
        return;
    }
    // The alarms go on as few lines as they need, each one whole, in the
    // longest form with which all of them fit the banner's room; the tool tip
    // always holds them in full.
    const QFontMetrics fm(banner->font());
    const int margin = banner->indent() >= 0 ? banner->indent() : 0;
    const int width = m_bannerArea.width() - 2 * margin - 2 * banner->margin();
    const int maxLines = std::max(1, (m_bannerArea.height() - 2 * banner->margin() - 2) / fm.lineSpacing());
    const QString gap = QStringLiteral("   ");
    QStringList lines;
    for (int form = 0; form < 3; ++form) {
        lines.clear();
        bool fits = true;
        for (const auto &f : forms) {
            const QString &part = f[size_t(form)];
            if (!lines.isEmpty() && fm.horizontalAdvance(lines.last() + gap + part) <= width)
                lines.last() += gap + part;
            else
                lines << part;
            fits = fits && fm.horizontalAdvance(lines.last()) <= width;
        }
        if (fits && lines.size() <= maxLines)
            break;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (banner->text() != text)
        banner->setText(text);
    const QString tip = full.join(QLatin1Char('\n'));
    if (banner->toolTip() != tip)
        banner->setToolTip(tip);
    // The banner takes the lines it needs from its room: from the top, or from
    // the bottom when the edition aligns it there.
    const int height = std::min(m_bannerArea.height(),
                                int(lines.size()) * fm.lineSpacing() + 2 * banner->margin() + 6);
    QRect r = m_bannerArea;
    if (banner->alignment() & Qt::AlignBottom)
        r.setTop(r.bottom() - height + 1);
    else
        r.setHeight(height);
    banner->setGeometry(r);
    banner->show();
}

void AlarmWatch::refresh()
{
    const double now = m_services.clock->monotonicSeconds();
    const ui::PortState state = m_wiring.link->state();
    std::optional<double> age;
    if (state != ui::PortState::Paused) {
        const auto until = m_wiring.liveness->liveUntil();
        age = until ? now - (*until - core::kStaleAfterSeconds) : now - m_start;
    }
    const ui::SerialPort *serial = m_wiring.link->port();
    // A port number that cannot be read names no device.
    const QString device = state == ui::PortState::NoPortNumber ? QString() : serial->systemDevice();
    const std::string port = core::portName(m_wiring.program->Port, serial->portNumber(), ui::toLocal(device));
    QString text = fromStd(core::linkStatusText(port, portStateWord(state).toStdString(),
                                                m_counters.perMinute(now), m_counters.rejected(), age));
    // Until a run succeeds, so that a wrong command is not only in its log.
    if (!m_runner->startProblem().isEmpty())
        text += QStringLiteral(", the alarm command could not be started (%1)").arg(m_runner->startProblem());
    m_wiring.status->setText(text);
    // The tool tip says the same, and how to name another device.
    QString tip = text;
    if (port.rfind("port ", 0) == 0)
        tip += QStringLiteral("\nThe program folder has no COM%1 entry, so port %1 is %2. To use another device, "
                              "make COM%1 in the program folder a link to it (for example to /dev/ttyUSB0).")
                   .arg(serial->portNumber())
                   .arg(device);
    if (m_wiring.status->toolTip() != tip)
        m_wiring.status->setToolTip(tip);
}

} // namespace alarms

// SPDX-License-Identifier: GPL-3.0-or-later
#include "EnergyPage.h"

#include "EnergyChart.h"
#include "Estimator.h"

#include "core/Number.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QAbstractSpinBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace history {

namespace {
// The energy file is rewritten each minute by the main window.
constexpr int kReloadMs = 60 * 1000;

QString energy(double wh) { return QString::fromStdString(core::energyText(wh)); }
QString number(double v, int decimals)
{
    return QString::fromStdString(core::numberText(core::roundHalfEven(v, decimals)));
}
QDate qdate(const core::CivilDate &d) { return QDate(d.year, d.month, d.day); }
const QLocale &english()
{
    static const QLocale l = QLocale::c();
    return l;
}
QString minutesText(double seconds)
{
    const long minutes = std::lround(seconds / 60);
    return minutes >= 60 ? QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60)
                         : QStringLiteral("%1 min").arg(minutes);
}
} // namespace

EnergyPage::EnergyPage(const ui::Services &services, QWidget *parent) : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("energyPage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    previousButton = ui::greenButton(this, QStringLiteral("previousButton"), QStringLiteral("◀"));
    previousButton->setToolTip(QStringLiteral("Back (Left arrow)"));
    periodLabel = ui::greenLabel(this, QStringLiteral("periodLabel"));
    QFont big = font();
    big.setPointSize(big.pointSize() + 3);
    big.setBold(true);
    periodLabel->setFont(big);
    periodLabel->setAlignment(Qt::AlignCenter);
    periodLabel->setMinimumWidth(150);
    nextButton = ui::greenButton(this, QStringLiteral("nextButton"), QStringLiteral("▶"));
    nextButton->setToolTip(QStringLiteral("On (Right arrow)"));
    for (QPushButton *b : {previousButton, nextButton})
        b->setFixedWidth(32);
    viewButton = ui::greenButton(this, QStringLiteral("viewButton"), QString());
    viewButton->setToolTip(QStringLiteral("Month or year (Up and Down arrows)"));
    viewButton->setFixedWidth(96);
    totalLabel = ui::greenLabel(this, QStringLiteral("totalLabel"));
    averageLabel = ui::greenLabel(this, QStringLiteral("averageLabel"));
    bestLabel = ui::greenLabel(this, QStringLiteral("bestLabel"));

    chart = new EnergyChart(this);
    chart->setObjectName(QStringLiteral("chart"));
    ui::setColours(chart, ui::darkGreen(), ui::brightGreen());
    readoutLabel = ui::greenLabel(this, QStringLiteral("readoutLabel"));
    readoutLabel->setMinimumHeight(readoutLabel->fontMetrics().height() * 2 + 4);
    readoutLabel->setWordWrap(true);
    readoutLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    estimateButton = ui::greenButton(this, QStringLiteral("estimateButton"),
                                     QStringLiteral("Estimate missing days"));
    estimateButton->setToolTip(QStringLiteral("Adds the days of the daily logs that have no line in energy.csv, "
                                              "estimated from their logs (an upper bound)"));
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    QPalette pp = progress->palette();
    pp.setColor(QPalette::Highlight, ui::brightGreen());
    pp.setColor(QPalette::Base, QColor(0, 32, 0));
    pp.setColor(QPalette::Text, ui::brightGreen());
    pp.setColor(QPalette::HighlightedText, Qt::black);
    progress->setPalette(pp);
    progress->setFixedWidth(180);
    progress->hide();
    statusLabel = ui::greenLabel(this, QStringLiteral("statusLabel"));

    auto *top = new QHBoxLayout;
    top->addWidget(previousButton);
    top->addWidget(periodLabel);
    top->addWidget(nextButton);
    top->addSpacing(8);
    top->addWidget(viewButton);
    top->addSpacing(16);
    top->addWidget(totalLabel);
    top->addSpacing(16);
    top->addWidget(averageLabel);
    top->addSpacing(16);
    top->addWidget(bestLabel);
    top->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(estimateButton);
    bottom->addWidget(progress);
    bottom->addWidget(statusLabel, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->addLayout(top);
    column->addWidget(chart, 1);
    column->addWidget(readoutLabel);
    column->addLayout(bottom);

    connect(previousButton, &QPushButton::clicked, this, &EnergyPage::previous);
    connect(nextButton, &QPushButton::clicked, this, &EnergyPage::next);
    connect(viewButton, &QPushButton::clicked, this, [this] { setYearView(!m_yearView); });
    connect(estimateButton, &QPushButton::clicked, this, &EnergyPage::estimateMissing);
    connect(chart, &EnergyChart::hovered, this, &EnergyPage::showHovered);
    // The arrows move through the months whichever control has the focus.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setObjectName(QStringLiteral("reloadTimer"));
    m_reloadTimer->setInterval(kReloadMs);
    connect(m_reloadTimer, &QTimer::timeout, this, &EnergyPage::reload);
    m_reloadTimer->start();

    const QDate today = m_services.clock->date();
    m_year = today.year();
    m_month = today.month();
    reload();
    chart->setFocus();
}

EnergyPage::~EnergyPage() = default;

bool EnergyPage::estimating() const { return m_estimator && m_estimator->running(); }

void EnergyPage::reload()
{
    const ui::ProgramFolder folder(m_services.programFolder);
    const auto bytes = ui::readWhole(folder.energyCsv());
    m_days = bytes ? core::readEnergyCsv(ui::textOf(*bytes)) : std::vector<core::DayRecord>();
    refresh();
}

void EnergyPage::setToday(double wattHours)
{
    m_todayWh = wattHours;
    m_todayDate = m_services.clock->date();
    refresh();
}

std::vector<core::DayRecord> EnergyPage::shownDays() const
{
    const QDate today = m_services.clock->date();
    if (!m_todayWh || m_todayDate != today)
        return m_days;
    std::vector<core::DayRecord> days = m_days;
    const core::CivilDate t{today.year(), today.month(), today.day()};
    for (core::DayRecord &d : days)
        if (d.date == t && !d.estimated) {
            // Energy only grows within a day: the newer of the file and the count.
            d.energyWh = std::max(d.energyWh, *m_todayWh);
            return days;
        }
    core::DayRecord d;
    d.date = t;
    d.energyWh = *m_todayWh;
    days.push_back(d);
    return days;
}

std::pair<int, int> EnergyPage::monthRange() const
{
    const QDate today = m_services.clock->date();
    int low = today.year() * 12 + today.month() - 1, high = low;
    for (const core::DayRecord &d : m_days) {
        const int m = d.date.year * 12 + d.date.month - 1;
        low = std::min(low, m);
        high = std::max(high, m);
    }
    return {low, high};
}

void EnergyPage::showMonth(int year, int month)
{
    const auto [low, high] = monthRange();
    const int m = std::clamp(year * 12 + month - 1, low, high);
    m_year = m / 12;
    m_month = m % 12 + 1;
    refresh();
}

void EnergyPage::showYear(int year)
{
    const auto [low, high] = monthRange();
    // The month goes along, clamped into the months there are.
    showMonth(std::clamp(year, low / 12, high / 12), m_month);
}

void EnergyPage::setYearView(bool on)
{
    m_yearView = on;
    refresh();
}

void EnergyPage::previous()
{
    if (m_yearView)
        showYear(m_year - 1);
    else
        showMonth(m_year, m_month - 1);
}

void EnergyPage::next()
{
    if (m_yearView)
        showYear(m_year + 1);
    else
        showMonth(m_year, m_month + 1);
}

bool EnergyPage::navigate(int key)
{
    switch (key) {
    case Qt::Key_Left: previous(); return true;
    case Qt::Key_Right: next(); return true;
    case Qt::Key_Up: setYearView(true); return true;
    case Qt::Key_Down: setYearView(false); return true;
    default: return false;
    }
}

bool EnergyPage::eventFilter(QObject *watched, QEvent *event)
{
    // Entries keep their own arrows.
    const bool entry = qobject_cast<QLineEdit *>(watched) || qobject_cast<QAbstractSpinBox *>(watched);
    if (event->type() == QEvent::KeyPress && !entry) {
        const auto *k = static_cast<QKeyEvent *>(event);
        if (k->modifiers() == Qt::NoModifier && navigate(k->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void EnergyPage::keyPressEvent(QKeyEvent *e)
{
    if (e->modifiers() != Qt::NoModifier || !navigate(e->key()))
        QWidget::keyPressEvent(e);
}

void EnergyPage::refresh()
{
    const std::vector<core::DayRecord> days = shownDays();
    m_monthSummary = core::monthSummary(days, m_year, m_month);
    m_yearSummary = core::yearSummary(days, m_year);
    const QDate today = m_services.clock->date();
    const auto [low, high] = monthRange();
    const int shown = m_year * 12 + m_month - 1;

    std::vector<EnergyChart::Bar> bars;
    QStringList labels;
    if (m_yearView) {
        periodLabel->setText(QString::number(m_year));
        for (int m = 0; m < 12; ++m) {
            const core::MonthTotal &t = m_yearSummary.months[size_t(m)];
            bars.push_back({t.total - t.estimated, t.estimated, false});
            labels << english().monthName(m + 1, QLocale::ShortFormat);
        }
        totalLabel->setText(QStringLiteral("Year %1").arg(energy(m_yearSummary.total)));
        averageLabel->setText(QStringLiteral("Daily average %1").arg(energy(m_yearSummary.dailyAverage)));
        const int best = m_yearSummary.bestMonth;
        bestLabel->setText(
            best ? QStringLiteral("Best month %1: %2")
                       .arg(english().monthName(best), energy(m_yearSummary.months[size_t(best - 1)].total))
                 : QStringLiteral("Best month: none"));
        viewButton->setText(QStringLiteral("Month view"));
        previousButton->setEnabled(m_year > low / 12);
        nextButton->setEnabled(m_year < high / 12);
    } else {
        periodLabel->setText(english().standaloneMonthName(m_month) + QLatin1Char(' ') + QString::number(m_year));
        for (size_t i = 0; i < m_monthSummary.days.size(); ++i) {
            const auto &d = m_monthSummary.days[i];
            const bool isToday = m_year == today.year() && m_month == today.month() && int(i) + 1 == today.day();
            bars.push_back({d && !d->estimated ? d->energyWh : 0, d && d->estimated ? d->energyWh : 0, isToday});
            labels << QString::number(i + 1);
        }
        totalLabel->setText(QStringLiteral("Month %1").arg(energy(m_monthSummary.total)));
        averageLabel->setText(QStringLiteral("Daily average %1").arg(energy(m_monthSummary.dailyAverage)));
        const auto &best = m_monthSummary.best;
        bestLabel->setText(
            best ? QStringLiteral("Best day %1: %2")
                       .arg(english().toString(qdate(best->date), QStringLiteral("d MMM")), energy(best->energyWh))
                 : QStringLiteral("Best day: none"));
        viewButton->setText(QStringLiteral("Year view"));
        previousButton->setEnabled(shown > low);
        nextButton->setEnabled(shown < high);
    }
    chart->setBars(std::move(bars), labels);
    showHovered(chart->hoveredBar());
}

QString EnergyPage::dayText(const core::DayRecord &d) const
{
    QStringList parts;
    parts << english().toString(qdate(d.date), QStringLiteral("ddd d MMM yyyy")) + QStringLiteral(": ")
                 + energy(d.energyWh);
    if (d.peakWatts)
        parts << QStringLiteral("peak %1 W").arg(number(*d.peakWatts, 2));
    if (d.peakWind)
        parts
            << QStringLiteral("wind up to %1 %2").arg(number(*d.peakWind, 1), QString::fromStdString(d.windUnit));
    if (d.peakRpm)
        parts << QStringLiteral("up to %1 RPM").arg(number(*d.peakRpm, 0));
    if (d.minVolts && d.maxVolts)
        parts << QStringLiteral("battery %1 to %2 V").arg(number(*d.minVolts, 2), number(*d.maxVolts, 2));
    parts << QStringLiteral("load on %1").arg(minutesText(d.loadOnSeconds));
    if (d.noDataSeconds > 0)
        parts << QStringLiteral("no data %1").arg(minutesText(d.noDataSeconds));
    if (d.framesReceived)
        parts << QStringLiteral("%1 frames, %2 rejected").arg(*d.framesReceived).arg(d.framesRejected.value_or(0));
    QString text = parts.join(QStringLiteral(", "));
    if (d.estimated)
        text += QStringLiteral(" (estimated from the daily log: an upper bound)");
    return text;
}

void EnergyPage::showHovered(int index)
{
    QString text;
    if (index >= 0 && m_yearView) {
        const auto m = core::monthSummary(shownDays(), m_year, index + 1);
        const QString name = english().standaloneMonthName(index + 1) + QLatin1Char(' ') + QString::number(m_year);
        if (!m.daysRecorded)
            text = name + QStringLiteral(": no days recorded");
        else
            text = QStringLiteral("%1: %2 on %3 days%4, best day %5 with %6")
                       .arg(name, energy(m.total))
                       .arg(m.daysRecorded)
                       .arg(m.daysEstimated ? QStringLiteral(" (%1 estimated)").arg(m.daysEstimated) : QString())
                       .arg(english().toString(qdate(m.best->date), QStringLiteral("d MMM")),
                            energy(m.best->energyWh));
    } else if (index >= 0 && size_t(index) < m_monthSummary.days.size()) {
        const auto &d = m_monthSummary.days[size_t(index)];
        text = d ? dayText(*d)
                 : english().toString(QDate(m_year, m_month, index + 1), QStringLiteral("ddd d MMM yyyy"))
                       + QStringLiteral(": no record");
    }
    readoutLabel->setText(text);
    chart->setToolTip(text);
}

QString EnergyPage::readout() const { return readoutLabel->text(); }

void EnergyPage::estimateMissing()
{
    if (m_estimator && m_estimator->running())
        return;
    const QDate today = m_services.clock->date();
    m_estimator = std::make_unique<Estimator>(m_services.programFolder,
                                              core::CivilDate{today.year(), today.month(), today.day()});
    connect(m_estimator.get(), &Estimator::progressed, progress, &QProgressBar::setValue);
    connect(m_estimator.get(), &Estimator::finished, this, &EnergyPage::finishEstimation);
    if (const QString told = m_estimator->start(); !told.isEmpty()) {
        statusLabel->setText(told);
        emit estimationFinished(0);
        return;
    }
    progress->setRange(0, m_estimator->total());
    progress->setValue(0);
    progress->show();
    estimateButton->setEnabled(false);
    statusLabel->setText(QStringLiteral("Estimating %1 days from their daily logs…").arg(m_estimator->total()));
}

void EnergyPage::finishEstimation(int added, const QString &text)
{
    progress->hide();
    estimateButton->setEnabled(true);
    statusLabel->setText(text);
    reload();
    emit estimationFinished(added);
}

} // namespace history

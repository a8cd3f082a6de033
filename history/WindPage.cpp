// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindPage.h"

#include "Plots.h"
#include "archive/Archive.h"
#include "archive/CurveReport.h"
#include "archive/WindReport.h"
#include "core/Axis.h"
#include "core/Number.h"
#include "ui/Clock.h"
#include "ui/Files.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace history {

namespace {

const QColor kBars(0, 80, 190);
const QColor kFit(215, 110, 0);
const QColor kGrid(225, 225, 225);

QString kwh(double v) { return number(v, 1) + QStringLiteral(" kWh"); }
QString percent(double share) { return number(share * 100, 1) + QStringLiteral(" %"); }

// The hours a year in each bin, and the fit's over them.
class WindPlot : public PagePlot<WindPage> {
public:
    WindPlot(const WindPage *page, QWidget *parent) : PagePlot(page, QSize(520, 260), parent) { }

protected:
    void paintEvent(QPaintEvent *) override;
};

void WindPlot::paintEvent(QPaintEvent *)
{
    const core::WindStats &w = m_page->wind();
    int lastBin = 0;
    double top = 0;
    for (int k = 0; k < core::PowerCurve::kBins; ++k) {
        const double fit = w.weibullHoursPerYear(k);
        if (w.bins[size_t(k)].minutes > 0 || fit >= 1)
            lastBin = std::max(lastBin, k);
        top = std::max({top, w.bins[size_t(k)].hoursPerYear, fit});
    }
    const double windEnd = std::max(core::PowerCurve::centre(lastBin) + 1.0, 10.0);
    const double windStep = core::niceStep(windEnd, 10);
    const double windTop = core::roundUpToStep(windEnd, windStep);
    const double hoursStep = core::niceStep(std::max(top, 10.0), 6);
    const double hoursTop = core::roundUpToStep(std::max(top, 10.0), hoursStep);

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm(font());
    const QRect area(64, 10, width() - 64 - 16, height() - 10 - fm.height() * 2 - 12);
    if (area.width() < 50 || area.height() < 50)
        return;
    const core::LinearScale x(0, windTop, area.left(), area.right());
    const core::LinearScale y(0, hoursTop, area.bottom(), area.top());
    for (const double h : core::NiceAxis{0, hoursTop, hoursStep}.ticks()) {
        p.setPen(h == 0 ? Qt::gray : kGrid);
        p.drawLine(QPointF(area.left(), y.pixel(h)), QPointF(area.right(), y.pixel(h)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y.pixel(h) - fm.height() / 2.0, area.left() - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, number(h, 3));
    }
    for (const double s : core::NiceAxis{0, windTop, windStep}.ticks()) {
        p.setPen(kGrid);
        p.drawLine(QPointF(x.pixel(s), area.top()), QPointF(x.pixel(s), area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x.pixel(s) - 40, area.bottom() + 3, 80, fm.height()), Qt::AlignCenter, number(s, 3));
    }
    p.setPen(Qt::gray);
    p.drawRect(area);
    const double titleY = area.bottom() + 5 + fm.height();
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), titleY, area.width(), fm.height()), Qt::AlignLeft,
               QStringLiteral("Wind speed (m/s), hours a year in each bin"));
    p.setPen(kFit);
    const QString fitLegend = QStringLiteral("\u2014 Weibull fit");
    p.drawText(QRectF(area.left(), titleY, area.width(), fm.height()), Qt::AlignRight, fitLegend);
    p.setPen(kBars);
    p.drawText(QRectF(area.left(), titleY,
                      area.width() - fm.horizontalAdvance(fitLegend + QStringLiteral("     ")), fm.height()),
               Qt::AlignRight, QStringLiteral("\u25A0 measured"));

    p.setClipRect(area);
    const double half = core::PowerCurve::kBinWidth / 2;
    QColor bar = kBars;
    bar.setAlpha(170);
    for (int k = 0; k < core::PowerCurve::kBins; ++k) {
        const double h = w.bins[size_t(k)].hoursPerYear;
        if (h <= 0)
            continue;
        const double left = x.pixel(std::max(0.0, core::PowerCurve::centre(k) - half)) + 0.5;
        const double right = x.pixel(core::PowerCurve::centre(k) + half) - 0.5;
        p.fillRect(QRectF(QPointF(left, y.pixel(h)), QPointF(right, area.bottom())), bar);
    }
    if (w.weibull) {
        QPolygonF fit;
        for (int k = 0; k < core::PowerCurve::kBins; ++k)
            fit << QPointF(x.pixel(core::PowerCurve::centre(k)), y.pixel(w.weibullHoursPerYear(k)));
        p.setPen(QPen(kFit, 2));
        p.drawPolyline(fit);
    }
    if (w.minutes <= 0) {
        p.setPen(Qt::darkGray);
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No minutes with a wind speed in the archive yet."));
    }
}

QTableWidget *table(QWidget *parent, const char *name, int rows, const QStringList &headers)
{
    QTableWidget *t = readOnlyTable(parent, QLatin1String(name), rows, headers);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return t;
}

} // namespace

WindPage::WindPage(const ui::Services &services, const QString &windUnitText, QWidget *parent)
    : QWidget(parent), m_services(services), m_unitText(windUnitText.trimmed()),
      m_unit(core::windUnit(windUnitText.toLocal8Bit().toStdString()))
{
    setObjectName(QStringLiteral("WindPage"));
    setWindowTitle(QStringLiteral("Wind"));

    Plot = new WindPlot(this, this);
    Plot->setObjectName(QStringLiteral("Plot"));
    Status = new QLabel(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setWordWrap(true);
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setWordWrap(true);
    Means = table(this, "Means", 0,
                  {QStringLiteral("Period"), QStringLiteral("Mean, m/s"), QStringLiteral("Hours")});
    Means->setMinimumWidth(230);
    Site = table(this, "Site", 2,
                 {QStringLiteral("The site's own"), QStringLiteral("Mean wind"), QStringLiteral("Measured a year"),
                  QStringLiteral("Extrapolated a year"), QStringLiteral("Capacity factor")});
    fitRows(Site, 2);
    Rayleigh = table(this, "Rayleigh", 8,
                     {QStringLiteral("Rayleigh mean"), QStringLiteral("Measured a year"),
                      QStringLiteral("Extrapolated a year")});
    fitRows(Rayleigh, 8);

    auto *upper = new QHBoxLayout;
    upper->addWidget(Plot, 3);
    upper->addWidget(Means, 1);
    auto *left = new QVBoxLayout;
    left->addWidget(Summary);
    left->addWidget(Site);
    left->addStretch(1);
    auto *lower = new QHBoxLayout;
    lower->addLayout(left, 3);
    lower->addWidget(Rayleigh, 2);
    auto *page = new QVBoxLayout(this);
    page->addLayout(upper, 1);
    page->addWidget(Status);
    page->addLayout(lower);
    refresh();
}

// A read going stops; m_read waits for it.
WindPage::~WindPage() { m_cancel = true; }

void WindPage::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_read.due())
        reload();
}

void WindPage::reload()
{
    if (m_read.busy())
        return;
    m_cancel = false;
    m_percent = 0;
    m_result = Result();
    const QString folder = m_services.programFolder;
    m_read.start(this, "windWorker", [this, folder] {
        Result r;
        r.settings = archive::Archive::turbineSettings(folder);
        r.wind = archive::readWind(folder, &r.why, [this](double share) {
            const int now = int(share * 100);
            if (now != m_percent.exchange(now))
                // The page outlives the worker (its destructor waits for it).
                QMetaObject::invokeMethod(
                    this, [this] { refresh(); }, Qt::QueuedConnection);
            return !m_cancel;
        });
        if (r.wind)
            r.curve = archive::readCurve(folder, r.settings, &r.why);
        m_result = std::move(r);
    }, [this] { finish(); });
    refresh();
}

void WindPage::finish()
{
    m_settings = m_result.settings;
    m_problem = m_result.why;
    m_wind = m_result.wind.value_or(core::WindStats());
    m_curve = m_result.curve.value_or(core::PowerCurve());
    refresh();
    emit loaded();
}

void WindPage::refresh()
{
    QStringList notes;
    if (m_read.busy())
        notes << QStringLiteral("Reading the archive\u2026 %1 %").arg(m_percent.load());
    if (!m_problem.isEmpty())
        notes << m_problem;
    if (!m_unit.known())
        notes << QStringLiteral("The wind statistics need a known wind speed unit (kmh, km/h, kph, mph, m/s, ms, "
                                "knots, kn or kt); the wind is in \"%1\".")
                     .arg(m_unitText);
    if (m_wind.otherUnitMinutes > 0)
        notes << QStringLiteral("%1 h of wind in a unit of no known factor to m/s are left out.")
                     .arg(number(m_wind.otherUnitMinutes / 60, 1));
    Status->setText(notes.join(QLatin1Char(' ')));
    Status->setVisible(!notes.isEmpty());

    const core::WindStats &w = m_wind;
    // A speed in m/s, with the user's unit beside it when it is another known one.
    auto speed = [this](double metres) {
        QString t = number(metres, 1) + QStringLiteral(" m/s");
        if (m_unit.known() && *m_unit.toMetresPerSecond != 1.0)
            t += QStringLiteral(" (%1 %2)").arg(number(metres / *m_unit.toMetresPerSecond, 1), m_unitText);
        return t;
    };
    QStringList summary;
    if (w.minutes > 0) {
        QString measured =
            QStringLiteral("Mean wind %1 over %2 h measured").arg(speed(w.meanWind), number(w.minutes / 60, 1));
        if (w.minutesFromHours > 0)
            measured +=
                QStringLiteral(" (%1 h of them from hour summaries)").arg(number(w.minutesFromHours / 60, 1));
        summary << measured + QLatin1Char('.');
        summary << QStringLiteral("Calm: %1 of the time.").arg(percent(w.calmShare()));
    } else {
        summary << QStringLiteral("No wind measured yet.");
    }
    if (w.gust)
        summary << QStringLiteral("Strongest gust: %1 on %2.")
                       .arg(speed(w.gust->wind),
                            QDateTime::fromSecsSinceEpoch(w.gust->t, Qt::OffsetFromUTC, w.gust->utcOffset)
                                .toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    if (w.weibull)
        summary
            << QStringLiteral("Weibull fit: k = %1, c = %2.").arg(number(w.weibull->k, 2), speed(w.weibull->c));
    else if (w.minutes > 0)
        summary << QStringLiteral("Too few minutes of wind for a Weibull fit.");
    Summary->setText(summary.join(QLatin1Char(' ')));

    // Years, each followed by its months, newest first.
    int rows = 0;
    for (const core::WindPeriod &y : w.years)
        rows += 1 + int(std::count_if(w.months.begin(), w.months.end(), [&y](const core::WindPeriod &m) {
                    return m.key / 100 == y.key;
                }));
    Means->setRowCount(rows);
    int r = 0;
    for (auto year = w.years.rbegin(); year != w.years.rend(); ++year) {
        QFont bold = Means->font();
        bold.setBold(true);
        setCell(Means, r, 0, QString::number(year->key));
        setCell(Means, r, 1, number(year->mean(), 2));
        setCell(Means, r, 2, number(year->minutes / 60, 1));
        for (int c = 0; c < 3; ++c)
            Means->item(r, c)->setFont(bold);
        ++r;
        for (auto month = w.months.rbegin(); month != w.months.rend(); ++month) {
            if (month->key / 100 != year->key)
                continue;
            const QDate first(month->key / 100, month->key % 100, 1);
            setCell(Means, r, 0, QStringLiteral("   ") + first.toString(QStringLiteral("MMMM")));
            setCell(Means, r, 1, number(month->mean(), 2));
            setCell(Means, r, 2, number(month->minutes / 60, 1));
            for (int c = 0; c < 3; ++c)
                Means->item(r, c)->setFont(Means->font());
            ++r;
        }
    }

    const core::SiteEstimate site = core::siteEstimate(w, m_curve, m_settings);
    const QString rated = m_settings.ratedPower ? QString() : QStringLiteral("no rated power");
    const std::pair<QString, std::optional<core::SiteEnergy>> rowsOfSite[] = {
        {QStringLiteral("Measured wind"), site.measured}, {QStringLiteral("Weibull fit"), site.weibull}};
    for (int i = 0; i < 2; ++i) {
        const auto &[name, energy] = rowsOfSite[i];
        setCell(Site, i, 0, name);
        setCell(Site, i, 1, energy ? number(energy->row.averageWind, 2) + QStringLiteral(" m/s") : QString());
        setCell(Site, i, 2,
                energy ? kwh(energy->row.measuredKwh)
                             + (energy->row.incomplete ? QStringLiteral(" (incomplete)") : QString())
                       : QString());
        setCell(Site, i, 3, energy ? kwh(energy->row.extrapolatedKwh) : QString());
        setCell(Site, i, 4,
                energy ? (energy->capacityFactor ? percent(*energy->capacityFactor) : rated) : QString());
    }

    const core::Estimate e = core::annualEnergy(core::measuredPoints(m_curve), m_settings.cutOut);
    for (int i = 0; i < 8; ++i) {
        const bool have = size_t(i) < e.rows.size();
        setCell(Rayleigh, i, 0, QStringLiteral("%1 m/s").arg(4 + i));
        setCell(Rayleigh, i, 1, have ? kwh(e.rows[size_t(i)].measuredKwh) : QString());
        setCell(Rayleigh, i, 2, have ? kwh(e.rows[size_t(i)].extrapolatedKwh) : QString());
    }
    Plot->update();
}

} // namespace history

// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvailabilityPage.h"

#include "Plots.h"
#include "ui/Clock.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace history {

namespace {

using core::Category;

// Stacked from the bottom: the turbine's own time first, no data on top.
constexpr Category kStack[] = {Category::Generating, Category::Calm,        Category::HighWind,
                               Category::BatteryFull, Category::DumpLoad,   Category::Stopped,
                               Category::NotCharging, Category::NoData};

QColor colourOf(Category c)
{
    switch (c) {
    case Category::Generating: return {40, 150, 60};
    case Category::Calm: return {150, 200, 235};
    case Category::HighWind: return {20, 60, 150};
    case Category::BatteryFull: return {235, 200, 40};
    case Category::DumpLoad: return {230, 130, 30};
    case Category::Stopped: return {200, 30, 30};
    case Category::NotCharging: return {150, 40, 160};
    case Category::NoData: return {205, 205, 205};
    }
    return Qt::black;
}

QString name(Category c) { return QString::fromUtf8(core::categoryName(c).data(), int(core::categoryName(c).size())); }
QString percent(const std::optional<double> &share)
{
    return share ? number(*share * 100, 1) + QStringLiteral(" %") : QStringLiteral("\u2013");
}
QString kwh(double v) { return number(v, 2) + QStringLiteral(" kWh"); }
QString hours(long long minutes) { return number(double(minutes) / 60, 1) + QStringLiteral(" h"); }

// A bar a period, each the shares of its minutes by category.
struct Bar {
    QString label;
    std::optional<core::Availability> figures;
};

class StackPlot : public PagePlot<AvailabilityPage> {
public:
    StackPlot(const AvailabilityPage *page, bool days, QWidget *parent)
        : PagePlot(page, QSize(520, 150), parent), m_days(days)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    std::vector<Bar> bars() const;
    bool m_days;
};

std::vector<Bar> StackPlot::bars() const
{
    const archive::AvailabilityBook &b = m_page->book();
    std::vector<Bar> out;
    const auto find = [](const std::map<int, core::Availability> &m, int key) {
        const auto f = m.find(key);
        return f == m.end() ? std::nullopt : std::optional<core::Availability>(f->second);
    };
    if (m_days) {
        const QDate today = m_page->today();
        const QDate last = b.days.empty() ? today : std::max(today, QDate(b.days.rbegin()->first / 10000,
                                                                          b.days.rbegin()->first / 100 % 100,
                                                                          b.days.rbegin()->first % 100));
        for (int i = AvailabilityPage::kDays - 1; i >= 0; --i) {
            const QDate d = last.addDays(-i);
            out.push_back({QString::number(d.day()), find(b.days, d.year() * 10000 + d.month() * 100 + d.day())});
        }
    } else {
        auto from = b.months.begin();
        if (b.months.size() > size_t(AvailabilityPage::kMonths))
            std::advance(from, b.months.size() - AvailabilityPage::kMonths);
        for (auto m = from; m != b.months.end(); ++m)
            out.push_back({QDate(m->first / 100, m->first % 100, 1).toString(QStringLiteral("MMM yy")), m->second});
    }
    return out;
}

void StackPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm(font());
    const QRect area(44, 8, width() - 44 - 10, height() - 8 - fm.height() * 2 - 8);
    if (area.width() < 50 || area.height() < 30)
        return;
    const std::vector<Bar> bars = this->bars();
    for (const int share : {0, 50, 100}) {
        const double y = area.bottom() - area.height() * share / 100.0;
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - fm.height() / 2.0, area.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1 %").arg(share));
    }
    if (bars.empty()) {
        p.setPen(Qt::darkGray);
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No minutes in the archive yet."));
        return;
    }
    // Every bar inside the area, the last one too.
    const double slot = double(area.width()) / double(bars.size());
    const int every = std::max(1, int(std::ceil(fm.horizontalAdvance(QStringLiteral("Mmm 00 ")) / slot)));
    for (size_t i = 0; i < bars.size(); ++i) {
        const double left = area.left() + slot * double(i) + 1, width = std::max(1.0, slot - 2);
        if (const auto &a = bars[i].figures; a && a->spanMinutes > 0) {
            double bottom = area.bottom();
            for (const Category c : kStack) {
                const double h = area.height() * double(a->minutes[size_t(c)]) / double(a->spanMinutes);
                p.fillRect(QRectF(left, bottom - h, width, h), colourOf(c));
                bottom -= h;
            }
        }
        if (int(bars.size() - 1 - i) % every == 0) {
            p.setPen(Qt::black);
            p.drawText(QRectF(left + width / 2 - 40, area.bottom() + 3, 80, fm.height()), Qt::AlignCenter,
                       bars[i].label);
        }
    }
    p.setPen(Qt::gray);
    p.drawRect(area);
    // The legend, in the stack's order.
    double x = area.left();
    const double y = area.bottom() + 5 + fm.height();
    for (const Category c : kStack) {
        const QString text = name(c);
        if (x + 14 + fm.horizontalAdvance(text) > width())
            break;
        p.fillRect(QRectF(x, y + 3, 10, fm.height() - 6), colourOf(c));
        p.setPen(Qt::black);
        p.drawText(QPointF(x + 13, y + fm.ascent()), text);
        x += 13 + fm.horizontalAdvance(text) + 12;
    }
}

} // namespace

AvailabilityPage::AvailabilityPage(const ui::Services &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("AvailabilityPage"));
    setWindowTitle(QStringLiteral("Availability"));
    Days = new StackPlot(this, true, this);
    Days->setObjectName(QStringLiteral("Days"));
    Months = new StackPlot(this, false, this);
    Months->setObjectName(QStringLiteral("Months"));
    Status = new QLabel(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setWordWrap(true);
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setWordWrap(true);
    Periods = readOnlyTable(this, QStringLiteral("Periods"), 0,
                            {QStringLiteral("Period"), QStringLiteral("With data"), QStringLiteral("By time"),
                             QStringLiteral("By energy"), QStringLiteral("Made"), QStringLiteral("Lost")});
    Causes = readOnlyTable(this, QStringLiteral("Causes"), core::kCategories,
                           {QStringLiteral("Category"), QStringLiteral("Month"), QStringLiteral("Month lost"),
                            QStringLiteral("All"), QStringLiteral("All lost")});
    fitRows(Causes, core::kCategories);
    // The names whole; the figures share the rest.
    Causes->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto *charts = new QVBoxLayout;
    charts->addWidget(Days, 1);
    charts->addWidget(Months, 1);
    auto *lower = new QHBoxLayout;
    lower->addWidget(Periods, 1);
    lower->addWidget(Causes, 1);
    auto *page = new QVBoxLayout(this);
    page->addLayout(charts, 1);
    page->addWidget(Status);
    page->addWidget(Summary);
    page->addLayout(lower);
    refresh();
}

AvailabilityPage::~AvailabilityPage() = default;

QDate AvailabilityPage::today() const { return m_services.clock->date(); }

void AvailabilityPage::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_read.due())
        reload();
}

void AvailabilityPage::reload()
{
    if (m_read.busy())
        return;
    const QString folder = m_services.programFolder;
    const std::int64_t now = m_services.clock->now().toSecsSinceEpoch();
    m_read.start(this, "availabilityWorker", [this, folder, now] {
        m_result = archive::readAvailability(folder, std::numeric_limits<std::int64_t>::min() / 2,
                                             std::numeric_limits<std::int64_t>::max() / 2, now, &m_why);
    }, [this] { finish(); });
    refresh();
}

void AvailabilityPage::finish()
{
    m_problem = m_why;
    m_book = m_result.value_or(archive::AvailabilityBook());
    refresh();
    emit loaded();
}

void AvailabilityPage::refresh()
{
    QStringList notes;
    if (m_read.busy())
        notes << QStringLiteral("Reading the archive\u2026");
    if (!m_problem.isEmpty())
        notes << m_problem;
    long long unpriced = 0;
    for (const auto &[key, y] : m_book.years)
        unpriced += y.unpriced;
    if (unpriced > 0)
        notes << QStringLiteral("%1 of lost time had a wind where neither curve gives power; its energy is not "
                                "counted.")
                     .arg(hours(unpriced));
    Status->setText(notes.join(QLatin1Char(' ')));
    Status->setVisible(!notes.isEmpty());

    // Years, each followed by its months, newest first.
    Periods->setRowCount(int(m_book.years.size() + m_book.months.size()));
    int r = 0;
    const auto row = [&](const QString &period, const core::Availability &a, bool bold) {
        setCell(Periods, r, 0, period);
        setCell(Periods, r, 1, percent(a.spanMinutes ? std::optional<double>(double(a.withData()) / double(a.spanMinutes))
                                                     : std::nullopt));
        setCell(Periods, r, 2, percent(a.timeBased));
        setCell(Periods, r, 3, percent(a.energyBased));
        setCell(Periods, r, 4, kwh(a.madeKwh));
        setCell(Periods, r, 5, kwh(a.lostTotalKwh()));
        QFont f = Periods->font();
        f.setBold(bold);
        for (int c = 0; c < Periods->columnCount(); ++c)
            Periods->item(r, c)->setFont(f);
        ++r;
    };
    for (auto y = m_book.years.rbegin(); y != m_book.years.rend(); ++y) {
        row(QString::number(y->first), y->second, true);
        for (auto m = m_book.months.rbegin(); m != m_book.months.rend(); ++m)
            if (m->first / 100 == y->first)
                row(QStringLiteral("   ") + QDate(m->first / 100, m->first % 100, 1).toString(QStringLiteral("MMMM")),
                    m->second, false);
    }

    // The latest month and the whole record, by category.
    core::Availability all, month;
    if (!m_book.months.empty())
        month = m_book.months.rbegin()->second;
    for (const auto &[key, y] : m_book.years) {
        all.spanMinutes += y.spanMinutes;
        for (int c = 0; c < core::kCategories; ++c) {
            all.minutes[size_t(c)] += y.minutes[size_t(c)];
            all.lostKwh[size_t(c)] += y.lostKwh[size_t(c)];
        }
    }
    for (int i = 0; i < core::kCategories; ++i) {
        const Category c = kStack[i];
        setCell(Causes, i, 0, name(c));
        setCell(Causes, i, 1, hours(month.minutes[size_t(c)]));
        setCell(Causes, i, 2, core::losesEnergy(c) ? kwh(month.lostKwh[size_t(c)]) : QString());
        setCell(Causes, i, 3, hours(all.minutes[size_t(c)]));
        setCell(Causes, i, 4, core::losesEnergy(c) ? kwh(all.lostKwh[size_t(c)]) : QString());
        // The chart's colour as a swatch beside the name.
        Causes->item(i, 0)->setData(Qt::DecorationRole, colourOf(c));
    }

    if (m_book.months.empty()) {
        Summary->setText(QStringLiteral("No minutes in the archive yet."));
    } else if (const auto &[key, m] = *m_book.months.rbegin(); !m.timeBased) {
        Summary->setText(QStringLiteral("%1: no minutes with data yet.")
                             .arg(QDate(key / 100, key % 100, 1).toString(QStringLiteral("MMMM yyyy"))));
    } else {
        Summary->setText(
            QStringLiteral("%1: the turbine was available %2 of the time with data (%3 of the energy it could have "
                           "made); %4 lost to a stopped rotor, %5 to turning without charging.")
                .arg(QDate(key / 100, key % 100, 1).toString(QStringLiteral("MMMM yyyy")), percent(m.timeBased),
                     percent(m.energyBased), kwh(m.lostKwh[size_t(Category::Stopped)]),
                     kwh(m.lostKwh[size_t(Category::NotCharging)])));
    }
    Days->update();
    Months->update();
}

} // namespace history

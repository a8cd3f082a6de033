// SPDX-License-Identifier: GPL-3.0-or-later
#include "PowerCurvePage.h"

#include "PowerCurveKeeper.h"
#include "core/Axis.h"
#include "core/Number.h"
#include "ui/Files.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace history {

namespace {

const QColor kPower(0, 80, 190);
const QColor kRPM(215, 110, 0);
const QColor kGrid(225, 225, 225);

QString number(double v, int decimals)
{
    return ui::fromLocal(core::numberText(core::roundHalfEven(v, decimals)));
}

// How the page shows speeds: in the user's unit, with m/s beside it when the
// curve is in m/s and the user's unit is another known one.
struct SpeedAxis {
    QString unit;        // the unit of the axis
    double perMetre = 1; // axis units per m/s (1 when the curve is not in m/s)
    bool withMetres = false;
};

SpeedAxis speedAxis(const PowerCurveKeeper &keeper)
{
    const core::PowerCurve &c = keeper.curve();
    SpeedAxis a;
    if (!c.inMetresPerSecond()) {
        a.unit = ui::fromLocal(c.unit());
        return a;
    }
    a.unit = QStringLiteral("m/s");
    const core::WindUnit &u = keeper.unit();
    if (u.known() && *u.toMetresPerSecond != 1.0) {
        a.unit = keeper.unitText();
        a.perMetre = 1 / *u.toMetresPerSecond;
        a.withMetres = true;
    }
    return a;
}

// The curve painted: power with its spread against the left axis, RPM against
// the right one, each bin's count along the top.
class PowerCurvePlot : public QWidget {
public:
    PowerCurvePlot(const PowerCurveKeeper *keeper, QWidget *parent) : QWidget(parent), m_keeper(keeper)
    {
        setMinimumSize(640, 340);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    const PowerCurveKeeper *m_keeper;
};

void PowerCurvePlot::paintEvent(QPaintEvent *)
{
    const core::PowerCurve &curve = m_keeper->curve();
    const auto &bins = curve.bins();
    const SpeedAxis axis = speedAxis(*m_keeper);

    int highest = -1;
    double wattsTop = 0, wattsBottom = 0, rpmTop = 0;
    for (int k = 0; k < core::PowerCurve::kBins; ++k) {
        const core::PowerCurveBin &b = bins[size_t(k)];
        if (!b.frames)
            continue;
        highest = k;
        wattsTop = std::max(wattsTop, b.meanWatts() + b.sdWatts());
        wattsBottom = std::min(wattsBottom, b.meanWatts() - b.sdWatts());
        rpmTop = std::max(rpmTop, b.meanRPM().value_or(0));
    }
    // Speeds to a whole step beyond the highest bin, at least 10 m/s' worth.
    const double speedEnd = std::max(core::PowerCurve::centre(std::max(highest, 0)) + 1.0, 10.0) * axis.perMetre;
    const double speedStep = core::niceStep(speedEnd, 10);
    const double speedTop = core::roundUpToStep(speedEnd, speedStep);
    // Spread reaching a little below 0 at cut-in is clipped rather than
    // squeezing the curve; real negative means get their own grid lines.
    if (wattsBottom > -0.05 * wattsTop)
        wattsBottom = 0;
    const double wattsStep = core::niceStep(std::max(wattsTop - wattsBottom, 10.0), 6);
    wattsTop = core::roundUpToStep(std::max(wattsTop, 10.0), wattsStep);
    wattsBottom = core::roundDownToStep(wattsBottom, wattsStep);
    const double rpmStep = core::niceStep(std::max(rpmTop, 10.0), 6);
    rpmTop = core::roundUpToStep(std::max(rpmTop, 10.0), rpmStep);

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont small = font();
    small.setPointSizeF(7.5);
    const QFontMetrics fm(font());
    const int countStrip = QFontMetrics(small).horizontalAdvance(QStringLiteral("00000")) + 6;
    const QRect area(64, countStrip + 8, width() - 64 - 64, height() - countStrip - 8 - fm.height() * 3 - 14);
    if (area.width() < 50 || area.height() < 50)
        return;
    const core::LinearScale speedScale(0, speedTop, area.left(), area.left() + area.width());
    const core::LinearScale wattsScale(wattsBottom, wattsTop, area.bottom(), area.bottom() - area.height());
    const core::LinearScale rpmScale(0, rpmTop, area.bottom(), area.bottom() - area.height());
    auto xOf = [&](double speed) { return speedScale.pixel(speed); };
    auto yOfWatts = [&](double w) { return wattsScale.pixel(w); };
    auto yOfRPM = [&](double r) { return rpmScale.pixel(r); };

    // Grid and axes.
    p.setFont(font());
    for (const double w : core::NiceAxis{wattsBottom, wattsTop, wattsStep}.ticks()) {
        const double y = yOfWatts(w);
        p.setPen(std::abs(w) < wattsStep / 2 ? Qt::gray : kGrid);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(kPower);
        p.drawText(QRectF(0, y - fm.height() / 2.0, area.left() - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, number(w, 3));
    }
    p.setPen(kRPM);
    for (const double r : core::NiceAxis{0, rpmTop, rpmStep}.ticks()) {
        const double y = yOfRPM(r);
        p.drawText(QRectF(area.right() + 6, y - fm.height() / 2.0, 58, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, number(r, 3));
    }
    for (const double s : core::NiceAxis{0, speedTop, speedStep}.ticks()) {
        const double x = xOf(s);
        p.setPen(kGrid);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 40, area.bottom() + 3, 80, fm.height()), Qt::AlignCenter, number(s, 3));
        if (axis.withMetres) {
            p.setPen(Qt::darkGray);
            p.drawText(QRectF(x - 40, area.bottom() + 3 + fm.height(), 80, fm.height()), Qt::AlignCenter,
                       number(s / axis.perMetre, 1));
        }
    }
    p.setPen(Qt::gray);
    p.drawRect(area);

    const double titleY = area.bottom() + 5 + fm.height() * 2;
    p.setPen(Qt::black);
    const QString speedTitle = axis.withMetres ? QStringLiteral("Wind speed (%1; m/s below)").arg(axis.unit)
                                               : QStringLiteral("Wind speed (%1)").arg(axis.unit);
    p.drawText(QRectF(area.left(), titleY, area.width(), fm.height()), Qt::AlignLeft, speedTitle);
    // The legend, right-aligned, from the right.
    double legendRight = area.right();
    auto legend = [&](const QString &text, const QColor &colour) {
        p.setPen(colour);
        p.drawText(QRectF(area.left(), titleY, legendRight - area.left(), fm.height()), Qt::AlignRight, text);
        legendRight -= fm.horizontalAdvance(text) + fm.horizontalAdvance(QStringLiteral("     "));
    };
    legend(QStringLiteral("\u25A0 mean power \u00B11 SD (W)"), kPower);
    legend(QStringLiteral("faint: fewer than %1 frames").arg(PowerCurvePage::kFewFrames), Qt::gray);
    legend(QStringLiteral("\u25CF mean RPM"), kRPM);
    p.save();
    p.setPen(Qt::black);
    p.translate(area.left() - 50, area.top() - countStrip / 2.0);
    p.setFont(small);
    p.drawText(QPointF(0, 0), QStringLiteral("frames"));
    p.restore();

    // Bins.
    const double binWidth = xOf(core::PowerCurve::kBinWidth * axis.perMetre) - xOf(0);
    const double cap = std::clamp(binWidth * 0.3, 2.0, 5.0);
    p.setClipRect(QRect(area.left() - 8, 0, area.width() + 16, area.bottom() + 1));
    QPolygonF rpmLine;
    for (int k = 0; k < core::PowerCurve::kBins; ++k) {
        const core::PowerCurveBin &b = bins[size_t(k)];
        if (!b.frames)
            continue;
        const bool faint = b.frames < std::uint64_t(PowerCurvePage::kFewFrames);
        const int alpha = faint ? 70 : 255;
        const double x = xOf(core::PowerCurve::centre(k) * axis.perMetre);
        const double mean = b.meanWatts(), sd = b.sdWatts();
        QColor power = kPower;
        power.setAlpha(alpha);
        p.setPen(QPen(power, 1.2));
        const double top = yOfWatts(mean + sd), bottom = yOfWatts(mean - sd);
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
        p.drawLine(QPointF(x - cap, top), QPointF(x + cap, top));
        p.drawLine(QPointF(x - cap, bottom), QPointF(x + cap, bottom));
        p.fillRect(QRectF(x - 3, yOfWatts(mean) - 3, 6, 6), power);
        if (const auto rpm = b.meanRPM()) {
            QColor c = kRPM;
            c.setAlpha(alpha);
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QPointF(x, yOfRPM(*rpm)), 2.5, 2.5);
            p.setBrush(Qt::NoBrush);
            rpmLine << QPointF(x, yOfRPM(*rpm));
        }
        // The count, upright along the top.
        p.save();
        p.setFont(small);
        p.setPen(faint ? QColor(170, 170, 170) : Qt::black);
        p.translate(x + QFontMetrics(small).ascent() / 2.0 - 1, area.top() - 3);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), QString::number(b.frames));
        p.restore();
    }
    QColor line = kRPM;
    line.setAlpha(150);
    p.setPen(QPen(line, 1));
    p.drawPolyline(rpmLine);

    if (highest < 0) {
        p.setPen(Qt::darkGray);
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No live frames with a wind speed yet."));
    }
}

} // namespace

PowerCurvePage::PowerCurvePage(PowerCurveKeeper *keeper, const ui::Services &services, QWidget *parent)
    : QWidget(parent), m_keeper(keeper), m_services(services)
{
    setObjectName(QStringLiteral("PowerCurvePage"));
    setWindowTitle(QStringLiteral("Power curve"));

    Plot = new PowerCurvePlot(keeper, this);
    Plot->setObjectName(QStringLiteral("Plot"));
    Note = new QLabel(this);
    Note->setObjectName(QStringLiteral("Note"));
    Note->setWordWrap(true);

    Estimate = new QTableWidget(8, 3, this);
    Estimate->setObjectName(QStringLiteral("Estimate"));
    Estimate->setHorizontalHeaderLabels({QStringLiteral("Annual average wind"), QStringLiteral("Energy a year"),
                                         QStringLiteral("Share of the year measured")});
    Estimate->verticalHeader()->hide();
    Estimate->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Estimate->setSelectionMode(QAbstractItemView::NoSelection);
    Estimate->setFocusPolicy(Qt::NoFocus);
    Estimate->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Estimate->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    Estimate->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Estimate->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Estimate->setFixedHeight(Estimate->horizontalHeader()->sizeHint().height()
                             + 8 * Estimate->verticalHeader()->defaultSectionSize() + 4);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            Estimate->setItem(r, c, item);
        }

    PowerAt11 = new QLabel(this);
    PowerAt11->setObjectName(QStringLiteral("PowerAt11"));
    HoursOfData = new QLabel(this);
    HoursOfData->setObjectName(QStringLiteral("HoursOfData"));
    Export = new QPushButton(QStringLiteral("Export"), this);
    Export->setObjectName(QStringLiteral("Export"));
    Reset = new QPushButton(QStringLiteral("Reset"), this);
    Reset->setObjectName(QStringLiteral("Reset"));
    for (QPushButton *b : {Export, Reset})
        b->setAutoDefault(false);
    connect(Export, &QPushButton::clicked, this, &PowerCurvePage::Export_Click);
    connect(Reset, &QPushButton::clicked, this, &PowerCurvePage::Reset_Click);

    auto *side = new QVBoxLayout;
    side->addWidget(PowerAt11);
    side->addWidget(HoursOfData);
    side->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Export);
    buttons->addWidget(Reset);
    side->addLayout(buttons);
    auto *lower = new QHBoxLayout;
    lower->addWidget(Estimate, 3);
    lower->addLayout(side, 2);
    auto *page = new QVBoxLayout(this);
    page->addWidget(Plot, 1);
    page->addWidget(Note);
    page->addLayout(lower);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(500);
    connect(m_refreshTimer, &QTimer::timeout, this, &PowerCurvePage::refresh);
    connect(keeper, &PowerCurveKeeper::changed, this, [this] {
        if (!m_refreshTimer->isActive())
            m_refreshTimer->start();
    });
    refresh();
}

void PowerCurvePage::refresh()
{
    const core::PowerCurve &curve = m_keeper->curve();
    const core::AnnualEstimate e = core::annualEstimate(curve);
    const SpeedAxis axis = speedAxis(*m_keeper);

    QStringList notes;
    if (!e.knownUnit)
        notes
            << QStringLiteral(
                   "The annual estimate needs a known wind speed unit (kmh, km/h, kph, mph, m/s, ms, knots, kn or kt); this curve is in \"%1\".")
                   .arg(ui::fromLocal(curve.unit()));
    if (m_keeper->otherUnitSeen())
        notes
            << QStringLiteral(
                   "Frames in \"%1\" are not added to this curve, which is in \"%2\". Reset starts a curve in the new unit.")
                   .arg(m_keeper->unitText(), ui::fromLocal(curve.unit()));
    Note->setText(notes.join(QLatin1Char(' ')));
    Note->setVisible(!notes.isEmpty());

    for (int r = 0; r < 8; ++r) {
        const double average = 4 + r;
        QString speed = QStringLiteral("%1 m/s").arg(average);
        if (axis.withMetres)
            speed += QStringLiteral(" (%1 %2)").arg(number(average * axis.perMetre, 1), axis.unit);
        Estimate->item(r, 0)->setText(speed);
        const bool have = size_t(r) < e.rows.size();
        Estimate->item(r, 1)->setText(have ? number(e.rows[size_t(r)].kilowattHours, 1) + QStringLiteral(" kWh")
                                           : QString());
        Estimate->item(r, 2)->setText(have ? number(e.rows[size_t(r)].coveredShare * 100, 1) + QStringLiteral(" %")
                                           : QString());
    }
    Estimate->setEnabled(e.knownUnit);

    if (!e.knownUnit)
        PowerAt11->setText(QStringLiteral("Power at 11 m/s: needs a known unit"));
    else if (e.wattsAt11)
        PowerAt11->setText(QStringLiteral("Power at 11 m/s: %1 W").arg(number(*e.wattsAt11, 1)));
    else
        PowerAt11->setText(QStringLiteral("Power at 11 m/s: no data yet"));
    HoursOfData->setText(QStringLiteral("Hours of data: %1 (%2 frames)")
                             .arg(number(e.hoursOfData, 2))
                             .arg(qulonglong(curve.frames())));
    Plot->update();
}

void PowerCurvePage::Export_Click()
{
    const QString suggested = QDir(m_services.programFolder)
                                  .filePath(
                                      QStringLiteral("powercurve-export-%1.csv")
                                          .arg(m_services.clock->date().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString file = m_services.files->saveFile(this, QStringLiteral("Export power curve"), suggested,
                                                    QStringLiteral("Comma-separated files (*.csv)"));
    if (file.isEmpty())
        return;
    if (!ui::replaceWhole(file, QByteArray::fromStdString(core::powerCurveExportText(m_keeper->curve()))))
        m_services.messages->inform(
            this,
            QStringLiteral("The power curve could not be written to %1.").arg(QDir::toNativeSeparators(file)));
}

void PowerCurvePage::Reset_Click()
{
    const QString question = QStringLiteral("Start a new power curve? The measured one is kept as %1.")
                                 .arg(QDir::toNativeSeparators(m_keeper->keptFile()));
    if (!m_services.messages->ask(this, question))
        return;
    if (m_keeper->reset())
        refresh();
}

} // namespace history

// SPDX-License-Identifier: GPL-3.0-or-later
#include "PowerCurvePage.h"

#include "Plots.h"
#include "CertifiedPanel.h"

#include "archive/CurveReport.h"
#include "archive/Archive.h"
#include "archive/ArchiveDb.h"
#include "core/Axis.h"
#include "core/Number.h"
#include "core/Physics.h"
#include "ui/Files.h"

#include <QDateTime>

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
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
const QColor kCertified(0, 140, 60);

// How the page shows speeds: in the user's unit, with m/s beside it when the
// user's unit is another known one.
struct SpeedAxis {
    QString unit;        // the unit of the axis
    double perMetre = 1; // axis units per m/s
    bool withMetres = false;
};

SpeedAxis speedAxis(const PowerCurvePage &page)
{
    SpeedAxis a;
    a.unit = QStringLiteral("m/s");
    const core::WindUnit &u = page.unit();
    if (u.known() && *u.toMetresPerSecond != 1.0) {
        a.unit = page.unitText();
        a.perMetre = 1 / *u.toMetresPerSecond;
        a.withMetres = true;
    }
    return a;
}

// The curve painted: power with its spread against the left axis, RPM against
// the right one, each bin's minutes along the top; what is drawn comes from
// core::curveChart, this only places and paints it.
class PowerCurvePlot : public PagePlot<PowerCurvePage> {
public:
    PowerCurvePlot(const PowerCurvePage *page, QWidget *parent) : PagePlot(page, QSize(640, 340), parent) { }

protected:
    void paintEvent(QPaintEvent *) override;
};

void PowerCurvePlot::paintEvent(QPaintEvent *)
{
    const core::CurveChart chart = core::curveChart(m_page->curve(), m_page->settings().cutOut);
    const SpeedAxis axis = speedAxis(*m_page);

    double wattsTop = chart.wattsTop, wattsBottom = chart.wattsBottom, rpmTop = chart.rpmTop;
    const auto &certified = m_page->Certified->certified();
    if (certified)
        for (const core::CurvePoint &pt : *certified)
            if (pt.wind <= chart.windEnd)
                wattsTop = std::max(wattsTop, pt.watts);
    const double speedEnd = chart.windEnd * axis.perMetre;
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
    // Speeds in m/s, drawn in the unit shown.
    auto xOf = [&](double metres) { return speedScale.pixel(metres * axis.perMetre); };
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
        const double x = speedScale.pixel(s);
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
    legend(QStringLiteral("\u25A0 power \u00B11 SD (W at 1.225 kg/m\u00B3), - - held"), kPower);
    legend(QStringLiteral("faint: < %1 minutes").arg(core::kMeasuredMinutes), Qt::gray);
    legend(QStringLiteral("\u25CF RPM"), kRPM);
    if (certified)
        legend(QStringLiteral("\u25C6 certified"), kCertified);
    p.save();
    p.setPen(Qt::black);
    p.translate(area.left() - 54, area.top() - countStrip / 2.0);
    p.setFont(small);
    p.drawText(QPointF(0, 0), QStringLiteral("minutes"));
    p.restore();

    p.setClipRect(QRect(area.left() - 8, 0, area.width() + 16, area.bottom() + 1));
    // The measured curve and its extrapolation.
    QPolygonF measured;
    for (const core::CurvePoint &pt : chart.measured)
        measured << QPointF(xOf(pt.wind), yOfWatts(pt.watts));
    QColor line = kPower;
    line.setAlpha(150);
    p.setPen(QPen(line, 1.2));
    p.drawPolyline(measured);
    if (chart.heldFrom) {
        p.setPen(QPen(line, 1.2, Qt::DashLine));
        const double y = yOfWatts(chart.heldFrom->watts);
        p.drawLine(QPointF(xOf(chart.heldFrom->wind), y), QPointF(xOf(chart.heldTo), y));
    }
    // The certified curve beside the measured one.
    if (certified) {
        QPolygonF line;
        for (const core::CurvePoint &pt : *certified)
            line << QPointF(xOf(pt.wind), yOfWatts(pt.watts));
        p.setPen(QPen(kCertified, 1.4));
        p.drawPolyline(line);
        p.setBrush(kCertified);
        for (const QPointF &at : line)
            p.drawPolygon(QPolygonF{at + QPointF(0, -3.5), at + QPointF(3.5, 0), at + QPointF(0, 3.5),
                                    at + QPointF(-3.5, 0)});
        p.setBrush(Qt::NoBrush);
    }
    // Bins.
    const double binWidth = xOf(core::PowerCurve::kBinWidth) - xOf(0);
    const double cap = std::clamp(binWidth * 0.3, 2.0, 5.0);
    QPolygonF rpmLine;
    for (const core::CurveMark &m : chart.marks) {
        const int alpha = m.faint ? 70 : 255;
        const double x = xOf(m.wind);
        QColor power = kPower;
        power.setAlpha(alpha);
        p.setPen(QPen(power, 1.2));
        const double top = yOfWatts(m.watts + m.sd), bottom = yOfWatts(m.watts - m.sd);
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
        p.drawLine(QPointF(x - cap, top), QPointF(x + cap, top));
        p.drawLine(QPointF(x - cap, bottom), QPointF(x + cap, bottom));
        p.fillRect(QRectF(x - 3, yOfWatts(m.watts) - 3, 6, 6), power);
        if (m.rpm) {
            QColor c = kRPM;
            c.setAlpha(alpha);
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QPointF(x, yOfRPM(*m.rpm)), 2.5, 2.5);
            p.setBrush(Qt::NoBrush);
            rpmLine << QPointF(x, yOfRPM(*m.rpm));
        }
        // The count, upright along the top.
        p.save();
        p.setFont(small);
        p.setPen(m.faint ? QColor(170, 170, 170) : Qt::black);
        p.translate(x + QFontMetrics(small).ascent() / 2.0 - 1, area.top() - 3);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), QString::number(m.minutes));
        p.restore();
    }
    QColor rpm = kRPM;
    rpm.setAlpha(150);
    p.setPen(QPen(rpm, 1));
    p.drawPolyline(rpmLine);

    if (chart.marks.empty()) {
        p.setPen(Qt::darkGray);
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No minutes with a wind speed in the archive yet."));
    }
}

QString hoursText(double seconds) { return number(seconds / 3600, 1) + QStringLiteral(" h"); }
QString kwhText(double wh) { return number(wh / 1000, 2) + QStringLiteral(" kWh"); }

} // namespace

PowerCurvePage::PowerCurvePage(const ui::Services &services, const QString &windUnitText, QWidget *parent)
    : QWidget(parent), m_services(services), m_unitText(windUnitText.trimmed()),
      m_unit(core::windUnit(windUnitText.toLocal8Bit().toStdString()))
{
    setObjectName(QStringLiteral("PowerCurvePage"));
    setWindowTitle(QStringLiteral("Power curve"));

    Plot = new PowerCurvePlot(this, this);
    Plot->setObjectName(QStringLiteral("Plot"));
    Note = new QLabel(this);
    Note->setObjectName(QStringLiteral("Note"));
    Note->setWordWrap(true);

    Estimate = new QTableWidget(8, 3, this);
    Estimate->setObjectName(QStringLiteral("Estimate"));
    Estimate->setHorizontalHeaderLabels({QStringLiteral("Annual average wind"), QStringLiteral("Measured a year"),
                                         QStringLiteral("Extrapolated a year")});
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
    Curtailed = new QLabel(this);
    Curtailed->setObjectName(QStringLiteral("Curtailed"));
    Curtailed->setWordWrap(true);
    PhysicsNote = new QLabel(this);
    PhysicsNote->setObjectName(QStringLiteral("PhysicsNote"));
    PhysicsNote->setWordWrap(true);
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
    side->addWidget(Curtailed);
    side->addWidget(PhysicsNote);
    side->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Export);
    buttons->addWidget(Reset);
    side->addLayout(buttons);
    auto *lower = new QHBoxLayout;
    lower->addWidget(Estimate, 3);
    lower->addLayout(side, 2);
    Certified = new CertifiedPanel(services, this);
    Physics = readOnlyTable(this, QStringLiteral("Physics"), 0,
                            {QStringLiteral("Bin mean wind"), QStringLiteral("Power"), QStringLiteral("Cp"),
                             QStringLiteral("\u03BB (tip-speed ratio)")});
    Certified->Tables->addTab(Physics, QStringLiteral("Cp and \u03BB per bin"));
    // The tab opens on the row that tells most, not on the calm bins.
    connect(Certified->Tables, &QTabWidget::currentChanged, this, [this] {
        if (Certified->Tables->currentWidget() == Physics && m_tellingRow >= 0)
            Physics->scrollToItem(Physics->item(m_tellingRow, 0), QAbstractItemView::PositionAtCenter);
    });
    connect(Certified, &CertifiedPanel::certifiedChanged, Plot, qOverload<>(&QWidget::update));
    auto *page = new QVBoxLayout(this);
    page->addWidget(Plot, 1);
    page->addWidget(Note);
    page->addLayout(lower);
    page->addWidget(Certified);

    // Minutes come once a minute; reading the bins is a few dozen rows.
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setInterval(kReloadMs);
    connect(m_reloadTimer, &QTimer::timeout, this, &PowerCurvePage::reload);
    m_reloadTimer->start();
    reload();
}

void PowerCurvePage::reload()
{
    m_settings = archive::Archive::turbineSettings(m_services.programFolder);
    QString why;
    if (auto curve = archive::readCurve(m_services.programFolder, m_settings, &why)) {
        m_curve = std::move(*curve);
        m_problem.clear();
    } else {
        m_curve = core::PowerCurve();
        m_problem = why;
    }
    refresh();
}

void PowerCurvePage::refresh()
{
    const core::Estimate e = core::annualEnergy(core::measuredPoints(m_curve), m_settings.cutOut);
    const core::Completeness c = core::completeness(m_curve);
    const SpeedAxis axis = speedAxis(*this);

    QStringList notes;
    if (!m_problem.isEmpty())
        notes << m_problem;
    if (!m_unit.known())
        notes << QStringLiteral("The power curve needs a known wind speed unit (kmh, km/h, kph, mph, m/s, ms, "
                                "knots, kn or kt); the wind is in \"%1\".")
                     .arg(m_unitText);
    if (const std::string note = core::completenessNote(c); !note.empty())
        notes << QString::fromStdString(note);
    Note->setText(notes.join(QLatin1Char(' ')));
    Note->setVisible(!notes.isEmpty());

    for (int r = 0; r < 8; ++r) {
        const double average = 4 + r;
        QString speed = QStringLiteral("%1 m/s").arg(average);
        if (axis.withMetres)
            speed += QStringLiteral(" (%1 %2)").arg(number(average * axis.perMetre, 1), axis.unit);
        Estimate->item(r, 0)->setText(speed);
        const bool have = size_t(r) < e.rows.size();
        const core::EstimateRow row = have ? e.rows[size_t(r)] : core::EstimateRow();
        Estimate->item(r, 1)->setText(
            have ? number(row.measuredKwh, 1) + QStringLiteral(" kWh") + (row.incomplete ? QStringLiteral(" (incomplete)") : QString())
                 : QString());
        Estimate->item(r, 2)->setText(have ? number(row.extrapolatedKwh, 1) + QStringLiteral(" kWh") : QString());
    }

    PowerAt11->setText(e.wattsAt11 ? QStringLiteral("Power at 11 m/s: %1 W").arg(number(*e.wattsAt11, 1))
                                   : QStringLiteral("Power at 11 m/s: not measured yet"));
    HoursOfData->setText(QStringLiteral("Hours of data: %1 (%2 minutes; air %3 kg/m\u00B3)")
                             .arg(number(c.hours, 1))
                             .arg(m_curve.minutes())
                             .arg(number(core::siteDensity(m_settings), 3)));
    const QDate today = m_services.clock->date();
    const int month = today.year() * 100 + today.month();
    QStringList curtailed;
    for (const auto &[why, words] : {std::pair{core::MinuteUse::BatteryFull, QStringLiteral("with the battery full")},
                                     std::pair{core::MinuteUse::LoadOn, QStringLiteral("dumping into the load")}}) {
        const core::Curtailment now = m_curve.curtailedIn(month, why), all = m_curve.curtailedIn(std::nullopt, why);
        if (all.seconds > 0)
            curtailed << QStringLiteral("%1 %2 this month, %3 (%4) in all; not in the curve.")
                             .arg(hoursText(now.seconds), words, hoursText(all.seconds), kwhText(all.energyWh));
    }
    Curtailed->setText(curtailed.join(QLatin1Char('\n')));
    Curtailed->setVisible(!curtailed.isEmpty());
    const std::vector<core::BinPhysics> physics = core::binPhysics(m_curve, m_settings);
    const QString physicsNote
        = QString::fromStdString(core::physicsNote(physics, m_settings.rotorDiameter.has_value()));
    PhysicsNote->setText(physicsNote);
    PhysicsNote->setVisible(!physicsNote.isEmpty());
    Physics->setRowCount(int(physics.size()));
    // The first bin above Betz, else the highest measured Cp.
    m_tellingRow = -1;
    for (int r = 0; r < int(physics.size()); ++r) {
        const core::BinPhysics &b = physics[size_t(r)];
        if (b.aboveBetz()) {
            m_tellingRow = r;
            break;
        }
        if (!b.faint && (m_tellingRow < 0 || b.cp > physics[size_t(m_tellingRow)].cp))
            m_tellingRow = r;
    }
    for (int r = 0; r < int(physics.size()); ++r) {
        const core::BinPhysics &b = physics[size_t(r)];
        const QStringList cells{
            number(b.wind, 2) + QStringLiteral(" m/s") + (b.faint ? QStringLiteral(" (few)") : QString()),
            number(b.watts, 1) + QStringLiteral(" W"),
            number(b.cp, 3) + (b.aboveBetz() ? QStringLiteral(" (above Betz)") : QString()),
            b.tipSpeedRatio ? number(*b.tipSpeedRatio, 2) : QStringLiteral("-")};
        for (int c = 0; c < int(cells.size()); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            if (b.aboveBetz())
                item->setForeground(QColor(255, 170, 0));
            Physics->setItem(r, c, item);
        }
    }
    Certified->showMeasured(m_curve, m_settings);
    Plot->update();
}

QString PowerCurvePage::keptFile() const
{
    const QString base = QDir(m_services.programFolder)
                             .filePath(QStringLiteral("powercurve-")
                                       + m_services.clock->date().toString(QStringLiteral("yyyy-MM-dd")));
    return ui::freeName(base, QStringLiteral(".csv"));
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
    if (!ui::replaceWhole(file, QByteArray::fromStdString(core::curveReportText(m_curve, m_settings))))
        m_services.messages->inform(
            this,
            QStringLiteral("The power curve could not be written to %1.").arg(QDir::toNativeSeparators(file)));
}

void PowerCurvePage::Reset_Click()
{
    reload();
    const QString kept = keptFile();
    const QString question = QStringLiteral("Start a new power curve from the next minute on? The measured one is "
                                            "written to %1.")
                                 .arg(QDir::toNativeSeparators(kept));
    if (!m_services.messages->ask(this, question))
        return;
    if (!ui::replaceWhole(kept, QByteArray::fromStdString(core::curveReportText(m_curve, m_settings)))) {
        m_services.messages->inform(this, QStringLiteral("The power curve could not be written to %1, so it was "
                                                         "not reset.")
                                              .arg(QDir::toNativeSeparators(kept)));
        return;
    }
    archive::ArchiveDb db;
    const QString path = m_services.programFolder + QLatin1Char('/') + archive::ArchiveDb::fileName();
    // The minute under way belongs to the new curve.
    const qint64 since = m_services.clock->now().toSecsSinceEpoch() / 60 * 60;
    if (!db.open(path, false) || !db.resetCurve(since))
        m_services.messages->inform(this, QStringLiteral("The power curve could not be reset: %1.").arg(db.error()));
    db.close();
    reload();
}

} // namespace history

// SPDX-License-Identifier: GPL-3.0-or-later
#include "CertifiedPanel.h"

#include "Plots.h"
#include "archive/Archive.h"
#include "archive/Certified.h"
#include "core/Number.h"
#include "ui/Files.h"

#include <QDate>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <limits>

namespace history {

namespace {

QString percent(const std::optional<double> &ratio)
{
    return ratio ? number(*ratio * 100, 1) + QStringLiteral(" %") : QStringLiteral("-");
}

QString dayText(int key)
{
    return QDate(key / 10000, key / 100 % 100, key % 100).toString(QStringLiteral("yyyy-MM-dd"));
}

QString monthText(int key) { return QDate(key / 100, key % 100, 1).toString(QStringLiteral("yyyy-MM")); }

QTableWidget *table(QWidget *parent, const QString &name, const QStringList &headers)
{
    return readOnlyTable(parent, name, 0, headers);
}

void fill(QTableWidget *t, const std::vector<QStringList> &rows)
{
    t->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < int(rows[size_t(r)].size()); ++c) {
            auto *item = new QTableWidgetItem(rows[size_t(r)][c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            t->setItem(r, c, item);
        }
}

QStringList performanceRow(const QString &when, const core::PerformanceSums &p)
{
    return {when, number(p.measuredWh / 1000, 2) + QStringLiteral(" kWh"),
            number(p.certifiedWh / 1000, 2) + QStringLiteral(" kWh"), percent(p.ratio()),
            number(double(p.windyMinutes) / 60, 1) + QStringLiteral(" h")};
}

} // namespace

CertifiedPanel::CertifiedPanel(const ui::Services &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("CertifiedPanel"));
    ImportCertified = new QPushButton(QStringLiteral("Import certified curve"), this);
    ImportCertified->setObjectName(QStringLiteral("ImportCertified"));
    ImportCertified->setAutoDefault(false);
    connect(ImportCertified, &QPushButton::clicked, this, &CertifiedPanel::ImportCertified_Click);
    CertifiedCurve = new QLabel(this);
    CertifiedCurve->setObjectName(QStringLiteral("CertifiedCurve"));
    CertifiedCurve->setWordWrap(true);
    LabelFigure = new QLabel(this);
    LabelFigure->setObjectName(QStringLiteral("LabelFigure"));
    LabelFigure->setWordWrap(true);
    Performance = new QLabel(this);
    Performance->setObjectName(QStringLiteral("Performance"));
    Performance->setWordWrap(true);

    const QStringList columns{QString(), QStringLiteral("Measured"), QStringLiteral("Certified"),
                              QStringLiteral("Performance"), QStringLiteral("Wind above cut-in")};
    QStringList dayColumns = columns, monthColumns = columns;
    dayColumns[0] = QStringLiteral("Day");
    monthColumns[0] = QStringLiteral("Month");
    Days = table(this, QStringLiteral("Days"), dayColumns);
    Months = table(this, QStringLiteral("Months"), monthColumns);
    Ratios = table(this, QStringLiteral("Ratios"),
                   {QStringLiteral("Bin mean wind"), QStringLiteral("Measured"), QStringLiteral("Certified"),
                    QStringLiteral("Ratio")});
    Tables = new QTabWidget(this);
    Tables->setObjectName(QStringLiteral("Tables"));
    Tables->addTab(Days, QStringLiteral("Performance by day"));
    Tables->addTab(Months, QStringLiteral("by month"));
    Tables->addTab(Ratios, QStringLiteral("Ratio per bin"));
    Tables->setFixedHeight(Tables->tabBar()->sizeHint().height() + Days->horizontalHeader()->sizeHint().height()
                           + 4 * Days->verticalHeader()->defaultSectionSize() + 8);

    auto *side = new QVBoxLayout;
    side->addWidget(CertifiedCurve);
    side->addWidget(LabelFigure);
    side->addWidget(Performance);
    side->addStretch(1);
    side->addWidget(ImportCertified);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(side, 2);
    row->addWidget(Tables, 3);
    reload();
}

CertifiedPanel::~CertifiedPanel() { stopReading(); }

void CertifiedPanel::reload()
{
    m_certified = archive::readCertifiedCurve(m_services.programFolder, &m_problem);
    showSummary();
    emit certifiedChanged();
    startReading();
}

void CertifiedPanel::ImportCertified_Click()
{
    const QString file = m_services.files->openFile(
        this, QStringLiteral("Import certified curve"), m_services.programFolder,
        QStringLiteral("Comma-separated files (*.csv);;All files (*)"));
    if (file.isEmpty())
        return;
    QString why;
    if (!archive::importCertifiedCurve(m_services.programFolder, file, &why)) {
        m_services.messages->inform(this, why);
        return;
    }
    reload();
}

void CertifiedPanel::showMeasured(const core::PowerCurve &curve, const core::TurbineSettings &settings)
{
    m_curve = curve;
    m_settings = settings;
    showSummary();
}

void CertifiedPanel::showSummary()
{
    if (!m_certified) {
        CertifiedCurve->setText(m_problem.isEmpty() ? QStringLiteral("No certified curve imported yet: import the "
                                                                     "curve of the turbine's certificate to hold "
                                                                     "the measured one against it.")
                                                    : m_problem);
        LabelFigure->clear();
        Performance->clear();
        fill(Ratios, {});
        fill(Days, {});
        fill(Months, {});
        return;
    }
    const auto cutIn = core::cutInWind(*m_certified);
    CertifiedCurve->setText(QStringLiteral("Certified curve: %1 points from %2 to %3 m/s, cut-in %4 m/s.")
                                .arg(m_certified->size())
                                .arg(number(m_certified->front().wind, 2), number(m_certified->back().wind, 2),
                                     cutIn ? number(*cutIn, 2) : QStringLiteral("-")));
    // The same estimate for both curves; row 1 is the 5 m/s mean.
    const core::Estimate certified = core::annualEnergy(*m_certified, m_settings.cutOut);
    const core::Estimate measured = core::annualEnergy(core::measuredPoints(m_curve), m_settings.cutOut);
    QString figure = QStringLiteral("At a 5 m/s mean (the label's figure): certified %1 kWh a year")
                         .arg(number(certified.rows[1].measuredKwh, 1));
    if (measured.rows.size() > 1) {
        const core::EstimateRow &m = measured.rows[1];
        figure += QStringLiteral(", measured %1 kWh%2")
                      .arg(number(m.measuredKwh, 1), m.incomplete ? QStringLiteral(" (incomplete)") : QString());
        if (certified.rows[1].measuredKwh > 0)
            figure += QStringLiteral(" (%1 % of it)")
                          .arg(number(m.measuredKwh / certified.rows[1].measuredKwh * 100, 1));
    } else {
        figure += QStringLiteral("; none measured yet");
    }
    LabelFigure->setText(figure + QLatin1Char('.'));

    std::vector<QStringList> rows;
    for (const core::BinRatio &r : core::binRatios(m_curve, *m_certified))
        rows.push_back(
            {number(r.wind, 2) + QStringLiteral(" m/s") + (r.faint ? QStringLiteral(" (few)") : QString()),
             number(r.measuredWatts, 1) + QStringLiteral(" W"), number(r.certifiedWatts, 1) + QStringLiteral(" W"),
             percent(r.ratio)});
    fill(Ratios, rows);
}

void CertifiedPanel::startReading()
{
    stopReading();
    if (!m_certified)
        return;
    Performance->setText(QStringLiteral("Reading the archive's minutes..."));
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    const QString folder = m_services.programFolder;
    const core::TurbineSettings settings = archive::Archive::turbineSettings(folder);
    const std::vector<core::CurvePoint> points = *m_certified;
    QPointer<CertifiedPanel> self(this);
    m_thread = QThread::create([=] {
        QString why;
        int shown = -1;
        const auto progress = [&](double done) {
            const int now = int(done * 100);
            if (now != shown) {
                shown = now;
                QMetaObject::invokeMethod(self, [self, cancel, now] {
                    if (self && !*cancel)
                        self->Performance->setText(QStringLiteral("Reading the archive's minutes: %1 %").arg(now));
                });
            }
            return !*cancel;
        };
        auto book = archive::readPerformance(folder, settings, points, 0,
                                             std::numeric_limits<std::int64_t>::max() / 2, progress, &why);
        QMetaObject::invokeMethod(self, [self, cancel, book = std::move(book), why] {
            if (self && !*cancel)
                self->showPerformance(book, why);
        });
    });
    QPointer<QThread> thread(m_thread);
    connect(m_thread, &QThread::finished, this, [this, thread] {
        if (!thread)
            return; // stopReading took it
        if (m_thread == thread)
            m_thread = nullptr;
        thread->deleteLater();
    });
    m_thread->start();
}

void CertifiedPanel::stopReading()
{
    if (!m_thread)
        return;
    *m_cancel = true;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void CertifiedPanel::showPerformance(const std::optional<core::PerformanceBook> &book, const QString &why)
{
    if (!book) {
        Performance->setText(why);
        return;
    }
    const auto &days = book->days();
    std::vector<QStringList> rows;
    for (auto it = days.rbegin(); it != days.rend() && int(rows.size()) < kDaysShown; ++it)
        rows.push_back(performanceRow(dayText(it->first), it->second));
    fill(Days, rows);
    const auto months = book->months();
    rows.clear();
    for (auto it = months.rbegin(); it != months.rend(); ++it)
        rows.push_back(performanceRow(monthText(it->first), it->second));
    fill(Months, rows);
    core::PerformanceSums all;
    for (const auto &[month, sums] : months)
        all.add(sums);
    Performance->setText(all.minutes
                             ? QStringLiteral("Performance over all %1 hours compared: %2 (the energy "
                                              "measured over what the certified curve gives for the same "
                                              "winds, curtailed minutes left out).")
                                   .arg(number(double(all.minutes) / 60, 1), percent(all.ratio()))
                             : QStringLiteral("No minutes to compare yet (winds within the certified curve, "
                                              "not curtailed)."));
}

} // namespace history

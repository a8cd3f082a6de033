// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrendsPage.h"

#include "TrendsChart.h"

#include "archive/ArchiveDb.h"
#include "archive/Export.h"
#include "archive/LogImporter.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace history {

namespace {
constexpr std::int64_t kDay = 86400;
// The narrowest and widest views.
constexpr std::int64_t kShortest = 600, kLongest = std::int64_t(200) * 366 * kDay;

QString fromStd(const std::string &s) { return QString::fromStdString(s); }

// All of a temporary file's bytes.
QByteArray readAll(std::FILE *f)
{
    QByteArray bytes;
    std::rewind(f);
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, qsizetype(n));
    return bytes;
}
} // namespace

TrendsPage::TrendsPage(const ui::Services &services, core::OffsetAt zone, QWidget *parent)
    : QWidget(parent), m_services(services), m_zone(std::move(zone))
{
    setObjectName(QStringLiteral("trendsPage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    if (!m_zone) {
        m_zone = archive::localZone();
        m_localZone = true;
    }
    m_windUnit = ui::ProgramFolder(m_services.programFolder).programSettings().WSUnits;

    const auto rangeButton = [this](const char *name, const QString &text, const QString &tip) {
        QPushButton *b = ui::greenButton(this, QString::fromLatin1(name), text);
        b->setCheckable(true);
        b->setToolTip(tip);
        return b;
    };
    dayButton = rangeButton("dayButton", QStringLiteral("Day"), QStringLiteral("The last 24 hours"));
    weekButton = rangeButton("weekButton", QStringLiteral("Week"), QStringLiteral("The last 7 days"));
    monthButton = rangeButton("monthButton", QStringLiteral("Month"), QStringLiteral("The last 30 days"));
    yearButton = rangeButton("yearButton", QStringLiteral("Year"), QStringLiteral("The last 365 days"));
    allButton = rangeButton("allButton", QStringLiteral("All"), QStringLiteral("All of the archive"));
    const auto dateEdit = [this](const char *name) {
        auto *e = new QDateEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        return e;
    };
    fromEdit = dateEdit("fromEdit");
    toEdit = dateEdit("toEdit");
    auto *fromLabel = ui::greenLabel(this, QStringLiteral("fromLabel"), QStringLiteral("From"));
    auto *toLabel = ui::greenLabel(this, QStringLiteral("toLabel"), QStringLiteral("to"));

    const char *names[] = {"voltsBox", "wattsBox", "windBox", "rpmBox", "energyBox"};
    const QString texts[] = {QStringLiteral("Battery V"), QStringLiteral("Power W"), QStringLiteral("Wind"),
                             QStringLiteral("RPM"), QStringLiteral("Energy")};
    for (int i = 0; i < core::kTrendSeries; ++i) {
        auto *box = new QCheckBox(texts[i], this);
        box->setObjectName(QString::fromLatin1(names[i]));
        box->setChecked(i != int(core::TrendSeries::Rpm));
        ui::setColours(box, ui::darkGreen(), ui::brightGreen());
        seriesBoxes[size_t(i)] = box;
        connect(box, &QCheckBox::toggled, this, &TrendsPage::refresh);
    }

    chart = new TrendsChart(this);
    chart->setObjectName(QStringLiteral("trendsChart"));
    ui::setColours(chart, ui::darkGreen(), ui::brightGreen());
    readoutLabel = ui::greenLabel(this, QStringLiteral("trendsReadout"));
    readoutLabel->setWordWrap(true);
    readoutLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    readoutLabel->setMinimumHeight(readoutLabel->fontMetrics().height() * 2 + 4);
    legendLabel = ui::greenLabel(
        this, QStringLiteral("legendLabel"),
        QStringLiteral("Dashed lines, a yellow band and hollow bars come from the daily logs: interval maxima, so upper bounds."));

    exportButton = ui::greenButton(this, QStringLiteral("exportButton"), QStringLiteral("Export"));
    exportButton->setToolTip(QStringLiteral("Writes the rows shown, at the resolution shown, to a CSV file"));
    importButton = ui::greenButton(this, QStringLiteral("importButton"), QStringLiteral("Import daily logs"));
    importButton->setToolTip(QStringLiteral("Adds the minutes of the daily logs before today that the archive "
                                            "does not hold (interval maxima, marked as imported)"));
    cancelButton = ui::greenButton(this, QStringLiteral("cancelButton"), QStringLiteral("Cancel"));
    cancelButton->hide();
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("importProgress"));
    QPalette pp = progress->palette();
    pp.setColor(QPalette::Highlight, ui::brightGreen());
    pp.setColor(QPalette::Base, QColor(0, 32, 0));
    pp.setColor(QPalette::Text, ui::brightGreen());
    pp.setColor(QPalette::HighlightedText, Qt::black);
    progress->setPalette(pp);
    progress->setFixedWidth(160);
    progress->hide();
    statusLabel = ui::greenLabel(this, QStringLiteral("trendsStatus"));
    statusLabel->setWordWrap(true);

    auto *top = new QHBoxLayout;
    for (QPushButton *b : {dayButton, weekButton, monthButton, yearButton, allButton})
        top->addWidget(b);
    top->addSpacing(12);
    top->addWidget(fromLabel);
    top->addWidget(fromEdit);
    top->addWidget(toLabel);
    top->addWidget(toEdit);
    top->addStretch(1);
    auto *series = new QHBoxLayout;
    for (QCheckBox *box : seriesBoxes)
        series->addWidget(box);
    series->addStretch(1);
    series->addWidget(legendLabel);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(exportButton);
    bottom->addWidget(importButton);
    bottom->addWidget(progress);
    bottom->addWidget(cancelButton);
    bottom->addWidget(statusLabel, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->addLayout(top);
    column->addLayout(series);
    column->addWidget(chart, 1);
    column->addWidget(readoutLabel);
    column->addLayout(bottom);

    connect(dayButton, &QPushButton::clicked, this, [this] { showRange(Range::Day); });
    connect(weekButton, &QPushButton::clicked, this, [this] { showRange(Range::Week); });
    connect(monthButton, &QPushButton::clicked, this, [this] { showRange(Range::Month); });
    connect(yearButton, &QPushButton::clicked, this, [this] { showRange(Range::Year); });
    connect(allButton, &QPushButton::clicked, this, [this] { showRange(Range::All); });
    for (QDateEdit *e : {fromEdit, toEdit})
        connect(e, &QDateEdit::dateChanged, this, [this] { showDates(fromEdit->date(), toEdit->date()); });
    connect(exportButton, &QPushButton::clicked, this, &TrendsPage::Export_Click);
    connect(importButton, &QPushButton::clicked, this, &TrendsPage::Import_Click);
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        if (m_importer)
            m_importer->cancel();
    });
    connect(chart, &TrendsChart::hovered, this, &TrendsPage::showHovered);
    connect(chart, &TrendsChart::zoomRequested, this, &TrendsPage::zoom);
    connect(chart, &TrendsChart::panRequested, this, &TrendsPage::pan);
    connect(chart, &TrendsChart::resized, this, &TrendsPage::refresh);
    // The page's keys work whichever of its controls has the focus.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setInterval(60 * 1000);
    connect(m_reloadTimer, &QTimer::timeout, this, [this] {
        if (m_to >= now() - 3600)
            reload();
    });
    m_reloadTimer->start();
    showRange(Range::Week);
}

TrendsPage::~TrendsPage() = default;

std::int64_t TrendsPage::now() const { return m_services.clock->now().toSecsSinceEpoch(); }

bool TrendsPage::openArchive()
{
    if (m_db && m_db->isOpen())
        return true;
    const QString path = m_services.programFolder + QLatin1Char('/') + archive::ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        m_problem = QStringLiteral("There is no archive yet: it fills while the program runs, and "
                                   "\"Import daily logs\" adds the days before it.");
        return false;
    }
    m_db = std::make_unique<archive::ArchiveDb>();
    if (!m_db->open(path, true)) {
        m_problem = QStringLiteral("The archive %1 cannot be read: %2.").arg(QDir::toNativeSeparators(path),
                                                                             m_db->error());
        m_db.reset();
        return false;
    }
    m_problem.clear();
    return true;
}

const std::vector<core::ArchiveRow> &TrendsPage::rowsOf(Cache &cache, core::TrendTable table, std::int64_t from,
                                                        std::int64_t to)
{
    if (cache.valid && cache.table == table && cache.from <= from && to <= cache.to)
        return cache.rows;
    // Half a span either side, so that panning and zooming out read seldom.
    const std::int64_t span = (to - from) / 2;
    cache.valid = false;
    cache.rows.clear();
    if (!openArchive())
        return cache.rows;
    const archive::Step step = table == core::TrendTable::Minute ? archive::Step::Minute
                               : table == core::TrendTable::Hour ? archive::Step::Hour
                                                                 : archive::Step::Day;
    cache.table = table;
    cache.from = from - span;
    cache.to = to + span;
    cache.rows = m_db->rows(step, cache.from - core::trendTableSeconds(table), cache.to);
    const QString error = m_db->error();
    // Held for one read only: the writer may have to move a damaged file aside.
    m_db.reset();
    if (!error.isEmpty()) {
        m_problem = QStringLiteral("The archive cannot be read: %1.").arg(error);
        return cache.rows;
    }
    cache.valid = true;
    return cache.rows;
}

void TrendsPage::reload()
{
    m_curve.valid = m_bars.valid = false;
    if (m_range != Range::Dates && m_to >= now() - 3600 && m_from == m_rangeFrom && m_to == m_rangeTo)
        showRange(m_range);
    else
        refresh();
}

void TrendsPage::markRangeButtons()
{
    const std::pair<QPushButton *, Range> buttons[] = {
        {dayButton, Range::Day}, {weekButton, Range::Week}, {monthButton, Range::Month},
        {yearButton, Range::Year}, {allButton, Range::All}};
    for (const auto &[b, r] : buttons)
        b->setChecked(r == m_range);
}

void TrendsPage::showRange(Range range)
{
    if (range == Range::Dates)
        return;
    m_range = range;
    // Up to the end of the minute going on.
    const std::int64_t end = (now() / 60 + 1) * 60;
    std::int64_t from = end - kDay;
    switch (range) {
    case Range::Day: break;
    case Range::Week: from = end - 7 * kDay; break;
    case Range::Month: from = end - 30 * kDay; break;
    case Range::Year: from = end - 365 * kDay; break;
    case Range::All:
        if (openArchive()) {
            const auto days = m_db->rows(archive::Step::Day, std::numeric_limits<std::int64_t>::min() / 2, end);
            m_db.reset();
            if (!days.empty())
                from = std::min(from, days.front().t);
        }
        break;
    case Range::Dates: break;
    }
    m_rangeFrom = from;
    m_rangeTo = end;
    markRangeButtons();
    setView(from, end);
}

void TrendsPage::showDates(const QDate &from, const QDate &to)
{
    if (!from.isValid() || !to.isValid())
        return;
    const auto midnight = [this](const QDate &d) {
        const std::int64_t local = std::int64_t(core::daysFromCivil({d.year(), d.month(), d.day()})) * kDay;
        auto at = core::utcOfLocal(local, m_zone);
        if (at.empty())
            at = core::utcOfLocal(local + 3600, m_zone);
        return at.empty() ? local : at.front();
    };
    const QDate first = std::min(from, to), last = std::max(from, to);
    m_range = Range::Dates;
    m_rangeFrom = midnight(first);
    m_rangeTo = midnight(last.addDays(1));
    markRangeButtons();
    setView(m_rangeFrom, m_rangeTo);
}

void TrendsPage::setView(std::int64_t from, std::int64_t to)
{
    m_from = from;
    m_to = std::max(to, from + kShortest);
    // The dates follow the view, without taking it as a range of dates.
    const auto date = [this](std::int64_t t) {
        const std::int64_t local = t + m_zone(t);
        const core::CivilDate d = core::civilFromDays(long(local / kDay - (local % kDay < 0)));
        return QDate(d.year, d.month, d.day);
    };
    for (auto [edit, t] : {std::pair<QDateEdit *, std::int64_t>{fromEdit, m_from}, {toEdit, m_to - 1}}) {
        const QSignalBlocker block(edit);
        edit->setDate(date(t));
    }
    refresh();
}

void TrendsPage::zoom(double factor, int column)
{
    const core::TrendData &d = m_data;
    const double share = d.columns ? (column + 0.5) / d.columns : 0.5;
    const double at = double(m_from) + share * double(m_to - m_from);
    const double span = std::clamp(double(m_to - m_from) * factor, double(kShortest), double(kLongest));
    const auto from = std::int64_t(std::llround(at - share * span));
    setView(from, from + std::int64_t(std::llround(span)));
}

void TrendsPage::pan(double columns)
{
    if (!m_data.columns || columns == 0)
        return;
    const auto by = std::int64_t(std::llround(columns * m_data.columnSeconds()));
    setView(m_from + by, m_to + by);
}

void TrendsPage::home() { setView(m_rangeFrom, m_rangeTo); }

void TrendsPage::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_stale)
        refresh();
}

void TrendsPage::refresh()
{
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    m_stale = false;
    const int columns = chart->columns();
    const core::TrendTable table = core::trendTable(m_from, m_to, columns);
    const auto &rows = rowsOf(m_curve, table, m_from, m_to);
    m_data = core::trendColumns(rows, table, m_from, m_to, columns, core::windShown(m_windUnit));
    const bool perDay = core::trendBarsPerDay(m_from, m_to, columns);
    const core::TrendTable barTable = perDay ? core::TrendTable::Day : core::TrendTable::Hour;
    core::setTrendBars(m_data, barTable == table ? rows : rowsOf(m_bars, barTable, m_from, m_to), perDay);
    core::TrendShown shown{};
    for (int i = 0; i < core::kTrendSeries; ++i)
        shown[size_t(i)] = seriesBoxes[size_t(i)]->isChecked();
    chart->setData(&m_data, shown, m_zone);
    // A problem is told until it is gone; the status line keeps other news.
    if (!importing() && (!m_problem.isEmpty() || m_problemShown))
        statusLabel->setText(m_problem);
    m_problemShown = !m_problem.isEmpty();
    showHovered(chart->hoveredColumn());
}

const core::TrendPicture &TrendsPage::picture() const { return chart->picture(); }

void TrendsPage::showHovered(int column)
{
    core::TrendShown shown{};
    for (int i = 0; i < core::kTrendSeries; ++i)
        shown[size_t(i)] = seriesBoxes[size_t(i)]->isChecked();
    const QString text = column >= 0 ? fromStd(core::trendReadout(m_data, shown, column, m_zone))
                                     : QStringLiteral("Wheel or + and -: zoom; drag or arrows: move; Home: "
                                                      "the whole range.");
    readoutLabel->setText(text);
}

QString TrendsPage::readout() const { return readoutLabel->text(); }

bool TrendsPage::navigate(int key)
{
    const int columns = std::max(1, m_data.columns);
    switch (key) {
    case Qt::Key_Left: pan(-columns / 10.0); return true;
    case Qt::Key_Right: pan(columns / 10.0); return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoom(1 / 1.5, columns / 2); return true;
    case Qt::Key_Minus: zoom(1.5, columns / 2); return true;
    case Qt::Key_Home: home(); return true;
    default: return false;
    }
}

bool TrendsPage::eventFilter(QObject *watched, QEvent *event)
{
    // Entries keep their own keys.
    const bool entry = qobject_cast<QLineEdit *>(watched) || qobject_cast<QAbstractSpinBox *>(watched);
    if (event->type() == QEvent::KeyPress && !entry) {
        const auto *k = static_cast<QKeyEvent *>(event);
        if ((k->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == 0 && navigate(k->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TrendsPage::keyPressEvent(QKeyEvent *e)
{
    if ((e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) != 0 || !navigate(e->key()))
        QWidget::keyPressEvent(e);
}

void TrendsPage::Export_Click()
{
    const archive::Step step = m_data.table == core::TrendTable::Minute ? archive::Step::Minute
                               : m_data.table == core::TrendTable::Hour ? archive::Step::Hour
                                                                        : archive::Step::Day;
    const char *stepName = step == archive::Step::Minute ? "minutes" : step == archive::Step::Hour ? "hours" : "days";
    const QString suggested
        = QDir(m_services.programFolder)
              .filePath(QStringLiteral("trends-%1-%2-%3.csv")
                            .arg(fromEdit->date().toString(Qt::ISODate), toEdit->date().toString(Qt::ISODate),
                                 QString::fromLatin1(stepName)));
    const QString file = m_services.files->saveFile(this, QStringLiteral("Export trends"), suggested,
                                                    QStringLiteral("Comma-separated files (*.csv)"));
    if (file.isEmpty())
        return;
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    int rc = 1;
    if (out && err)
        rc = archive::exportArchive(m_services.programFolder,
                                    fromStd(core::isoLocalTime(m_from, m_zone(m_from))),
                                    fromStd(core::isoLocalTime(m_to, m_zone(m_to))), step, out, err);
    const QByteArray text = out ? readAll(out) : QByteArray();
    const QString why = err ? QString::fromLocal8Bit(readAll(err)).trimmed() : QStringLiteral("no temporary file");
    for (std::FILE *f : {out, err})
        if (f)
            std::fclose(f);
    if (rc != 0) {
        m_services.messages->inform(this, QStringLiteral("Nothing was exported: %1").arg(why));
        return;
    }
    if (!ui::replaceWhole(file, text)) {
        m_services.messages->inform(
            this, QStringLiteral("The export could not be written to %1.").arg(QDir::toNativeSeparators(file)));
        return;
    }
    const int rows = int(text.count('\n')) - 1;
    statusLabel->setText(QStringLiteral("Exported %1 rows of %2 to %3.")
                             .arg(rows)
                             .arg(QString::fromLatin1(stepName), QDir::toNativeSeparators(file)));
}

bool TrendsPage::importing() const { return m_importer && m_importer->running(); }

void TrendsPage::Import_Click()
{
    if (importing())
        return;
    const QDate today = m_services.clock->date();
    m_importer = std::make_unique<archive::LogImporter>(m_services.programFolder,
                                                        core::CivilDate{today.year(), today.month(), today.day()},
                                                        m_localZone ? archive::localZone() : m_zone);
    connect(m_importer.get(), &archive::LogImporter::progressed, progress, &QProgressBar::setValue);
    connect(m_importer.get(), &archive::LogImporter::finished, this, [this](long long added, const QString &text) {
        progress->hide();
        cancelButton->hide();
        importButton->setEnabled(true);
        reload();
        statusLabel->setText(text);
        emit importFinished(added);
    });
    if (const QString told = m_importer->start(); !told.isEmpty()) {
        statusLabel->setText(told);
        emit importFinished(0);
        return;
    }
    progress->setRange(0, m_importer->total());
    progress->setValue(0);
    progress->show();
    cancelButton->show();
    importButton->setEnabled(false);
    statusLabel->setText(QStringLiteral("Importing %1 daily logs…").arg(m_importer->total()));
}

} // namespace history

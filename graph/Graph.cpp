// SPDX-License-Identifier: GPL-3.0-or-later
#include "Graph.h"

#include "core/LogLine.h"
#include "core/Number.h"
#include "core/Settings.h"
#include "core/TickTexts.h"
#include "ui/Canvas.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "ui/ReportList.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace graph {

namespace {

const QColor kVoltsColour = ui::vbColour(255);
const QColor kAmpsColour = ui::vbColour(65280);
const QColor kWattsColour = ui::vbColour(16711680);
const QColor kRpmColour = ui::vbColour(65535);
const QColor kWindColour = ui::vbColour(16777215);
const QColor kLoadOnColour = ui::vbColour(16744576);
// Stored as FFFFFF00; its low three bytes give cyan.
const QColor kCrossingColour = ui::vbColour(0xFFFFFF00u & 0xFFFFFFu);
const QColor kDragColour = ui::vbColour(255);

const char *const kOverLimit =
    "Over 10,000 records, too many to display. Please use a smaller time range. If you set you "
    "logging interval to 10 seconds or more, you wont have this problem in the future. ";

QString num(double v) { return ui::fromLocal(core::numberText(v)); }

bool sameRecord(const core::LogRecord &a, const core::LogRecord &b)
{
    return a.T == b.T && a.V == b.V && a.I == b.I && a.W == b.W && a.R == b.R && a.S == b.S && a.M == b.M;
}

QLineEdit *entry(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    QLineEdit *e = ui::greenEntry(parent, QLatin1String(name), text);
    ui::placeTwips(e, left, top, width, 285);
    return e;
}

QCheckBox *check(QWidget *parent, const char *name, const QString &caption, int left, int top, int width,
                 const QColor &back, const QColor &text = QColor())
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QLatin1String(name));
    ui::placeTwips(c, left, top, width, 255);
    ui::setColours(c, back, text.isValid() ? text : QColor(Qt::black));
    // The tick box itself stays white, so an unticked box shows on any back colour.
    QPalette p = c->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    c->setPalette(p);
    return c;
}

// Running extremes of one quantity over the plotted records.
struct Extremes {
    double max, min;
    void take(double v)
    {
        if (v > max)
            max = v;
        if (v < min)
            min = v;
    }
    double range() const { return max - min; }
    // Height of the canvas in units for this quantity.
    double span() const { return range() > 0 ? range() / 20 + range() : 2; }
};

} // namespace

Graph::Graph(const ui::Services &services, QWidget *parent) : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("Graph"));
    setWindowTitle(QStringLiteral("Data Graph"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    setFixedSize(ui::twipsToPixels(14655), ui::twipsToPixels(8700));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    const QColor green = ui::brightGreen();
    const QColor white = Qt::white;
    const auto right = Qt::AlignRight;

    Plot = new ui::Canvas(this);
    Plot->setObjectName(QStringLiteral("Plot"));
    ui::placeTwips(Plot, 0, 240, 14535, 5235);
    Plot->setBackgroundColour(ui::vbColour(0x004000));

    vv = ui::makeLabel(this, QStringLiteral("vv"), QStringLiteral("0"), 600, 0, 1400, 240, green, right);
    av = ui::makeLabel(this, QStringLiteral("av"), QStringLiteral("0"), 2640, 0, 1400, 240, green, right);
    wv = ui::makeLabel(this, QStringLiteral("wv"), QStringLiteral("0"), 4920, 0, 1400, 240, green, right);
    rv = ui::makeLabel(this, QStringLiteral("rv"), QStringLiteral("0"), 7080, 0, 1400, 240, green, right);
    sv = ui::makeLabel(this, QStringLiteral("sv"), QStringLiteral("0"), 9240, 0, 1400, 240, green, right);
    vt = ui::makeLabel(this, QStringLiteral("vt"), QStringLiteral("0"), 11280, 0, 1400, 240, green, right);
    stime = ui::makeLabel(this, QStringLiteral("stime"), QStringLiteral("Start"), 120, 45, 480, 195, white);
    ftime = ui::makeLabel(this, QStringLiteral("ftime"), QStringLiteral("Finish"), 13560, 45, 975, 195, white,
                          right);

    Check1 = check(this, "Check1", QStringLiteral("Volts"), 2805, 5520, 795, ui::vbColour(0x0000FF));
    Check2 = check(this, "Check2", QStringLiteral("Amps"), 5085, 5520, 795, ui::vbColour(0x00FF00));
    Check3 = check(this, "Check3", QStringLiteral("Watts"), 7320, 5520, 795, ui::vbColour(0xFF8080));
    Check4 = check(this, "Check4", QStringLiteral("RPM"), 9645, 5520, 795, ui::vbColour(0x00FFFF));
    Check5 = check(this, "Check5", QStringLiteral("Wind Speed"), 11880, 5520, 1275, ui::vbColour(0xFFFFFF));
    Check6 = check(this, "Check6", QStringLiteral("Ref V to 0v"), 120, 5640, 1155, ui::darkGreen(), green);

    // Each pair stands just left of its check box, the minimum above the maximum.
    auto pair = [&](QLabel *&min, const char *minName, QLabel *&max, const char *maxName, int left) {
        min = ui::makeLabel(this, QLatin1String(minName), QStringLiteral("0"), left, 5520, 1335, 240, green,
                            right);
        max = ui::makeLabel(this, QLatin1String(maxName), QStringLiteral("0"), left, 5760, 1335, 240, green,
                            right);
    };
    pair(VMin1, "VMin1", VMax1, "VMax1", 1365);
    pair(AMin1, "AMin1", AMax1, "AMax1", 3645);
    pair(WMin1, "WMin1", WMax1, "WMax1", 5880);
    pair(RMin1, "RMin1", RMax1, "RMax1", 8205);
    pair(SMin1, "SMin1", SMax1, "SMax1", 10440);

    Label12 = ui::makeLabel(this, QStringLiteral("Label12"), QStringLiteral("YYYY / MM / DD"), 960, 6360, 1500,
                            240, green);
    Label1 = ui::makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Date"), 285, 6615, 540, 255, green);
    DateY1 = entry(this, "DateY1", QString(), 870, 6600, 510);
    Label4 = ui::makeLabel(this, QStringLiteral("Label4"), QStringLiteral("/"), 1380, 6615, 120, 255, green,
                           Qt::AlignHCenter);
    DateM1 = entry(this, "DateM1", QString(), 1500, 6600, 375);
    Label5 = ui::makeLabel(this, QStringLiteral("Label5"), QStringLiteral("/"), 1875, 6615, 120, 255, green,
                           Qt::AlignHCenter);
    DateD1 = entry(this, "DateD1", QString(), 1995, 6600, 375);

    Label2 = ui::makeLabel(this, QStringLiteral("Label2"), QStringLiteral("From"), 240, 7215, 495, 255, green);
    Time1h = entry(this, "Time1h", QStringLiteral("00"), 750, 7170, 330);
    Label6 = ui::makeLabel(this, QStringLiteral("Label6"), QStringLiteral(":"), 1080, 7185, 120, 255, green,
                           Qt::AlignHCenter);
    Time1m = entry(this, "Time1m", QStringLiteral("00"), 1200, 7170, 330);
    Label3 = ui::makeLabel(this, QStringLiteral("Label3"), QStringLiteral("To"), 1560, 7200, 240, 255, green);
    Time2h = entry(this, "Time2h", QStringLiteral("23"), 1800, 7170, 330);
    Label7 = ui::makeLabel(this, QStringLiteral("Label7"), QStringLiteral(":"), 2130, 7185, 150, 255, green,
                           Qt::AlignHCenter);
    Time2m = entry(this, "Time2m", QStringLiteral("59"), 2280, 7170, 330);

    Command1 = ui::button(this, QStringLiteral("Command1"), QStringLiteral("Display"));
    ui::placeTwips(Command1, 8880, 6360, 1980, 495);
    ui::setColours(Command1, green, Qt::black);

    Command2 = ui::button(this, QStringLiteral("Command2"), QStringLiteral("Exit"));
    ui::placeTwips(Command2, 9360, 7320, 1050, 375);

    ListView1 = new ui::ReportList(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ui::placeTwips(ListView1, 3120, 6120, 5055, 2145);
    ui::setColours(ListView1, ui::darkGreen(), green);
    // Rows of one fixed height: sizing thousands of rows to their contents
    // would measure every text on each redraw.
    ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView1->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 2);

    connect(Command1, &QPushButton::clicked, this, &Graph::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Graph::Command2_Click);
    // The click handlers run also when the program ticks a box, as Form_Load relies on.
    connect(Check1, &QCheckBox::toggled, this, &Graph::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Graph::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Graph::Check3_Click);
    connect(Check4, &QCheckBox::toggled, this, &Graph::Check4_Click);
    connect(Check5, &QCheckBox::toggled, this, &Graph::Check5_Click);
    connect(Check6, &QCheckBox::toggled, this, &Graph::Check6_Click);
    auto shift = [] { return int(QGuiApplication::keyboardModifiers().toInt() >> 25) & 7; };
    connect(Plot, &ui::Canvas::mouseDown, this,
            [this, shift](int b, double x, double y) { Plot_MouseDown(b, shift(), float(x), float(y)); });
    connect(Plot, &ui::Canvas::mouseUp, this,
            [this, shift](int b, double x, double y) { Plot_MouseUp(b, shift(), float(x), float(y)); });
    connect(Plot, &ui::Canvas::mouseMove, this,
            [this, shift](int b, double x, double y) { Plot_MouseMove(b, shift(), float(x), float(y)); });

    Form_Load();
}

void Graph::Form_Load()
{
    const QDate today = m_services.clock->date();
    DateY1->setText(num(today.year()));
    DateM1->setText(num(today.month()));
    DateD1->setText(num(today.day()));

    ViewStart = 0;
    ViewEnd = 0;
    MouseIsDown = 0;

    // A missing file or key falls back to the delivered settings, as in the setup window.
    const core::ProgramSettings s = ui::ProgramFolder(m_services.programFolder).programSettings();
    const std::string DisplayRPM = s.DisplayRPM, DisplayWS = s.DisplayWS;
    WSUnits = ui::fromLocal(s.WSUnits);

    Check1->setChecked(true);
    Check2->setChecked(true);
    Check3->setChecked(true);
    Check6->setChecked(true);
    m_switches.RefVZero = 1;

    ListView1->clearColumns();
    ListView1->clearRows();
    ListView1->addColumn(QString(), 1);
    ListView1->addColumn(QStringLiteral("Mode"), 600);
    ListView1->addColumn(QStringLiteral("Volts"), 700);
    ListView1->addColumn(QStringLiteral("Amps"), 700);
    ListView1->addColumn(QStringLiteral("Watts"), 700);
    ListView1->addColumn(QStringLiteral("RPM"), 700);
    ListView1->addColumn(WSUnits, 700);
    ListView1->addColumn(QStringLiteral("Time"), 800);
    ListView1->setHeadersVisible(true);

    m_switches.ShowV = 1;
    m_switches.ShowA = 1;
    m_switches.ShowW = 1;
    if (core::isOn(DisplayRPM)) {
        Check4->setChecked(true);
        m_switches.ShowR = 1;
    }
    if (core::isOn(DisplayWS)) {
        Check5->setChecked(true);
        m_switches.ShowS = 1;
    }
}

void Graph::Command1_Click()
{
    const auto entries = checkEntries();
    if (!entries)
        return;
    const auto text = readDayLog(entries->day);
    if (!text)
        return;
    load(core::chooseRecords(std::string_view(text->constData(), size_t(text->size())), entries->StartTime,
                             entries->FinishTime, kRecordLimit));
}

std::optional<Graph::Entries> Graph::checkEntries()
{
    const auto start = core::readClockTime(ui::toLocal(Time1h->text()), ui::toLocal(Time1m->text()));
    if (!start) {
        m_services.messages->inform(this, QStringLiteral("Bad time format for start time"));
        return std::nullopt;
    }
    const auto finish = core::readClockTime(ui::toLocal(Time2h->text()), ui::toLocal(Time2m->text()));
    if (!finish) {
        m_services.messages->inform(this, QStringLiteral("Bad time format for finish time"));
        return std::nullopt;
    }
    const auto date = core::readCalendarDate(ui::toLocal(DateD1->text()), ui::toLocal(DateM1->text()),
                                             ui::toLocal(DateY1->text()));
    if (!date) {
        m_services.messages->inform(this, QStringLiteral("Bad date format for record date"));
        return std::nullopt;
    }
    return Entries{*start, *finish, *date};
}

std::optional<QByteArray> Graph::readDayLog(const core::CalendarDate &day)
{
    // Named from the numbers, as the log writer names it ("08" is day 8).
    const QString path = ui::ProgramFolder(m_services.programFolder)
                             .logFile(ui::fromLocal(core::logDateStamp(day.year, day.month, day.day)));
    // Each load of an existing log leaves one empty line behind; the log
    // writer appends after it. A day without a log has nothing to show and
    // gets no file.
    if (!ui::exists(path))
        return QByteArray();
    std::optional<QByteArray> content;
    if (ui::append(path, QByteArrayLiteral("\r\n")))
        content = ui::readWhole(path);
    if (!content)
        m_services.messages->inform(
            this, QStringLiteral("Could not open the log file %1").arg(QDir::toNativeSeparators(path)));
    return content;
}

void Graph::load(core::DayRecords chosen)
{
    // A load that draws nothing leaves the list as it was: its rows keep
    // the records they were made from.
    if (chosen.overLimit || chosen.records.empty()) {
        m_pinned = std::move(m_records);
        m_listedFrom = &m_pinned;
    }
    m_records = std::move(chosen.records);
    Zoomed = 0;
    // Over the limit nothing is drawn: the previous plot and view stay.
    if (chosen.overLimit) {
        m_services.messages->inform(this, QLatin1String(kOverLimit));
        return;
    }
    if (m_records.empty()) {
        m_services.messages->inform(this, QStringLiteral("No data for that date"));
        return;
    }
    ViewStart = 1;
    ViewEnd = double(m_records.size());
    DrawGraph();
}

void Graph::setView(double start, double end)
{
    ViewStart = start;
    ViewEnd = end;
}

long Graph::recordIndex(double position) const
{
    if (!(position >= 0.5 && position <= double(m_records.size()) + 0.5))
        return -1;
    const double low = std::floor(position);
    const double diff = position - low;
    double r = low;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(low, 2.0) != 0))
        r = low + 1;
    const long k = long(r);
    return k >= 1 && size_t(k) <= m_records.size() ? k - 1 : -1;
}

const QString &Graph::cellText(double value)
{
    auto it = m_cellTexts.find(value);
    if (it == m_cellTexts.end())
        it = m_cellTexts.insert(value, num(value) + QLatin1Char(' '));
    return *it;
}

const QString &Graph::timeCellText(double dayTime)
{
    auto it = m_timeCellTexts.find(dayTime);
    if (it == m_timeCellTexts.end())
        it = m_timeCellTexts.insert(dayTime, ui::fromLocal(core::dayTimeText(dayTime)) + QLatin1Char(' '));
    return *it;
}

const QStringList &Graph::listRow(size_t i)
{
    if (m_rowCache.size() < m_listedFrom->size())
        m_rowCache.resize(m_listedFrom->size());
    CachedRow &c = m_rowCache[i];
    const core::LogRecord &r = (*m_listedFrom)[i];
    const char separator = core::decimalSeparator();
    if (c.built && c.separator == separator && sameRecord(c.record, r))
        return c.row;
    c.built = true;
    c.separator = separator;
    c.record = r;
    // Item text empty; sub-items 1 to 7 each end in one blank.
    c.row = QStringList{QString(),     cellText(r.M), cellText(r.V), cellText(r.I),
                        cellText(r.W), cellText(r.R), cellText(r.S), timeCellText(r.T)};
    return c.row;
}

void Graph::DrawGraph()
{
    Plot->clear();
    ListView1->clearRows();
    m_cellTexts.clear();
    m_timeCellTexts.clear();
    m_listedFrom = &m_records;
    m_pinned = {};
    if (!(ViewStart < ViewEnd))
        return;

    const Switches &on = m_switches;
    Extremes v{0, on.RefVZero == 1 ? 0.0 : 100.0};
    Extremes a{-500, 500};
    Extremes w{-2000, 2000};
    Extremes r{0, 1000};
    Extremes s{0, 1000};

    // First pass: extremes and list rows. Positions keep the fraction of
    // ViewStart; each is rounded to its record. A row's texts are made when
    // the list shows or reads it: a dozen of thousands are in sight.
    m_listed.clear();
    m_listed.reserve(size_t(std::max(0.0, std::min(ViewEnd - ViewStart + 1, double(m_records.size())))));
    for (long n = 0;; ++n) {
        const double p = ViewStart + double(n);
        if (!(p <= ViewEnd))
            break;
        const long k = recordIndex(p);
        if (k < 0)
            continue;
        const core::LogRecord &rec = m_records[size_t(k)];
        v.take(rec.V);
        a.take(rec.I);
        w.take(rec.W);
        r.take(rec.R);
        s.take(rec.S);
        m_listed.push_back(size_t(k));
    }
    ListView1->setRowSource(int(m_listed.size()),
                            [this](int row) -> const QStringList & { return listRow(m_listed[size_t(row)]); });

    const long first = recordIndex(ViewStart), last = recordIndex(ViewEnd);
    if (first >= 0)
        stime->setText(ui::fromLocal(core::dayTimeText(m_records[size_t(first)].T)));
    if (last >= 0)
        ftime->setText(ui::fromLocal(core::dayTimeText(m_records[size_t(last)].T)));
    const QString units = QStringLiteral(" ") + WSUnits;
    VMax1->setText(num(v.max) + QStringLiteral(" V"));
    VMin1->setText(num(v.min) + QStringLiteral(" V"));
    AMax1->setText(num(a.max) + QStringLiteral(" A"));
    AMin1->setText(num(a.min) + QStringLiteral(" A"));
    WMax1->setText(num(w.max) + QStringLiteral(" W"));
    WMin1->setText(num(w.min) + QStringLiteral(" W"));
    RMax1->setText(num(r.max) + QStringLiteral(" RPM"));
    RMin1->setText(num(r.min) + QStringLiteral(" RPM"));
    SMax1->setText(num(s.max) + units);
    SMin1->setText(num(s.min) + units);

    Plot->setScaleWidth(ViewEnd - ViewStart);
    Plot->setScaleHeight(a.span());
    if (a.max > 0 && a.min < 0)
        Plot->line(ViewStart, a.max, ViewEnd, a.max, kCrossingColour);
    Plot->setScaleHeight(w.span());
    if (w.max > 0 && w.min < 0)
        Plot->line(ViewStart, w.max, ViewEnd, w.max, kCrossingColour);

    // One segment per quantity from record j to record k, each on its own scale.
    auto segment = [&](const Extremes &e, double core::LogRecord::*value, const core::LogRecord &from,
                       const core::LogRecord &to, double x, const QColor &colour) {
        Plot->setScaleHeight(e.span());
        const double range = e.range();
        if (range > 0)
            Plot->line(x - 1, e.max - from.*value + range / 40, x, e.max - to.*value + range / 40, colour);
        else
            Plot->line(x - 1, 1, x, 1, colour);
    };
    // Load-on marks sit one unit right of the segment that ends at their
    // record; in a zoomed view they move with the lines.
    const double markShift = ViewStart - 1;
    // The height in units the canvas has after a step's lines: the last
    // quantity's (0: no quantity drawn, the height stays).
    const double afterLines = on.ShowS == 1   ? s.span()
                              : on.ShowR == 1 ? r.span()
                              : on.ShowW == 1 ? w.span()
                              : on.ShowA == 1 ? a.span()
                              : on.ShowV == 1 ? v.span()
                                              : 0;
    // Thousands of marks a pixel wide share the pixel columns: a mark that
    // the next one paints over entirely is left out. The next one comes
    // after this step's lines, so what shows is the same.
    auto hiddenByNextMark = [&](long n, double p) {
        const double height = Plot->scaleHeight();
        const auto area = Plot->fillArea(p - 1 - markShift, 0, p - markShift, v.max, height);
        if (!area)
            return false;
        const double nextHeight = afterLines != 0 ? afterLines : height;
        for (long m = n + 1;; ++m) {
            const double q = ViewStart + double(m);
            if (!(q <= ViewEnd))
                return false;
            const long k = recordIndex(q), j = recordIndex(q - 1);
            if (k < 0 || j < 0)
                continue;
            const auto next = Plot->fillArea(q - 1 - markShift, 0, q - markShift, v.max, nextHeight);
            if (!next || next->left() - area->left() >= 0.5)
                return false;
            if (m_records[size_t(k)].M == 1)
                return ui::Canvas::fillCovers(*next, *area);
        }
    };
    for (long n = 1;; ++n) {
        const double p = ViewStart + double(n);
        if (!(p <= ViewEnd))
            break;
        const long k = recordIndex(p), j = recordIndex(p - 1);
        if (k < 0 || j < 0)
            continue;
        const core::LogRecord &to = m_records[size_t(k)], &from = m_records[size_t(j)];
        const double x = p - ViewStart;
        if (to.M == 1 && !hiddenByNextMark(n, p))
            Plot->fill(p - 1 - markShift, 0, p - markShift, v.max, kLoadOnColour);
        if (on.ShowV == 1)
            segment(v, &core::LogRecord::V, from, to, x, kVoltsColour);
        if (on.ShowA == 1)
            segment(a, &core::LogRecord::I, from, to, x, kAmpsColour);
        if (on.ShowW == 1)
            segment(w, &core::LogRecord::W, from, to, x, kWattsColour);
        if (on.ShowR == 1)
            segment(r, &core::LogRecord::R, from, to, x, kRpmColour);
        if (on.ShowS == 1)
            segment(s, &core::LogRecord::S, from, to, x, kWindColour);
    }
}

void Graph::checkClicked(QCheckBox *box, int &flag)
{
    flag = box->isChecked() ? 1 : 0;
    if (graphCount() > 1)
        DrawGraph();
}

void Graph::Check1_Click() { checkClicked(Check1, m_switches.ShowV); }
void Graph::Check2_Click() { checkClicked(Check2, m_switches.ShowA); }
void Graph::Check3_Click() { checkClicked(Check3, m_switches.ShowW); }
void Graph::Check4_Click() { checkClicked(Check4, m_switches.ShowR); }
void Graph::Check5_Click() { checkClicked(Check5, m_switches.ShowS); }
void Graph::Check6_Click() { checkClicked(Check6, m_switches.RefVZero); }

void Graph::Command2_Click() { close(); }

void Graph::Plot_MouseDown(int, int, float x, float)
{
    MouseIsDown = 1;
    if (Zoomed == 0 && graphCount() > 1) {
        // Positions outside the loaded records would select records that are
        // not there.
        ViewStart = std::clamp(double(x), 1.0, double(graphCount()));
    }
}

void Graph::Plot_MouseUp(int, int, float x, float)
{
    MouseIsDown = 0;
    if (Zoomed != 0 || graphCount() <= 1)
        return;
    // A release beyond the last record (pointer dragged out of the plot) ends at it.
    const float end = std::min(x, float(graphCount()));
    if (end > float(ViewStart)) {
        ViewEnd = end;
        Zoomed = 1;
        DrawGraph();
    }
}

void Graph::Plot_MouseMove(int, int, float x, float)
{
    if (graphCount() < 2)
        return;
    // Positions outside the loaded records (pointer outside the plot) are
    // never read; the read-outs keep their text.
    const double t = std::floor(double(x) + ViewStart);
    if (t >= 1 && t <= graphCount())
        vt->setText(ui::fromLocal(core::dayTimeText(m_records[size_t(t) - 1].T)));
    const long k = recordIndex(std::floor(double(x)) + ViewStart);
    if (k >= 0) {
        const core::LogRecord &r = m_records[size_t(k)];
        auto value = [](double v) { return num(core::roundHalfEven(v, 2)); };
        vv->setText(value(r.V) + QStringLiteral(" Volts"));
        av->setText(value(r.I) + QStringLiteral(" Amps"));
        wv->setText(value(r.W) + QStringLiteral(" Watts"));
        rv->setText(value(r.R) + QStringLiteral(" RPM"));
        sv->setText(value(r.S) + QStringLiteral(" ") + WSUnits);
    }
    if (Zoomed == 0 && MouseIsDown == 1)
        Plot->line(ViewStart, 0, double(x), 0, kDragColour);
}

} // namespace graph

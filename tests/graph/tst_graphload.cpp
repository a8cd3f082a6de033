// SPDX-License-Identifier: GPL-3.0-or-later
// The graph window opening and its "Display" button: entry checks, the day's
// file, the time filter and the record limit.

#include "graph/Graph.h"

#include "core/Number.h"
#include "support/TestSupport.h"
#include "ui/Canvas.h"
#include "ui/ReportList.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using testsupport::progCfg;

namespace {

const QString kNoData = QStringLiteral("No data for that date");
const QString kOverLimit = QStringLiteral(
    "Over 10,000 records, too many to display. Please use a smaller time range. If you set you "
    "logging interval to 10 seconds or more, you wont have this problem in the future. ");

// One log line as the logging tick writes it.
QByteArray rec(const char *time, double v = 13, double i = 1, double w = 13, double r = 100, double s = 5,
               const char *mode = "0")
{
    auto n = [](double x) { return QByteArray::fromStdString(core::numberText(x)); };
    return "<V>" + n(v) + "</V><I>" + n(i) + "</I><W>" + n(w) + "</W><R>" + n(r) + "</R><S>" + n(s) + "</S><M>"
           + mode + "</M><T>" + time + "</T>";
}

QByteArray lines(const QList<QByteArray> &list)
{
    QByteArray t;
    for (const auto &l : list)
        t += l + "\r\n";
    return t;
}

// A graph window on a fresh program folder, dated 7 March 2026 by the fake clock.
struct Window {
    explicit Window(const QByteArray &cfg = progCfg()) : fake(folder.path())
    {
        folder.write(QStringLiteral("prog.cfg"), cfg);
        g = std::make_unique<graph::Graph>(fake.services());
        g->show();
    }
    void log(const QByteArray &content, const QString &name = QStringLiteral("2026_3_7"))
    {
        folder.write(QStringLiteral("logs/") + name + QStringLiteral(".txt"), content);
    }
    QByteArray logFile(const QString &name = QStringLiteral("2026_3_7")) const
    {
        return folder.read(QStringLiteral("logs/") + name + QStringLiteral(".txt"));
    }
    QStringList &messages() { return fake.messages.texts; }
    void setRange(const char *h1, const char *m1, const char *h2, const char *m2)
    {
        g->Time1h->setText(QString::fromLatin1(h1));
        g->Time1m->setText(QString::fromLatin1(m1));
        g->Time2h->setText(QString::fromLatin1(h2));
        g->Time2m->setText(QString::fromLatin1(m2));
    }

    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<graph::Graph> g;
};

} // namespace

class TstGraphLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }
    void formLoad_data();
    void formLoad();
    void controls_data();
    void controls();
    void entryChecks_data();
    void entryChecks();
    void inclusiveBounds();
    void startNotBeforeFinish_data();
    void startNotBeforeFinish();
    void fileNameFromTheNumbers_data();
    void fileNameFromTheNumbers();
    void noLogFileCreatesNone_data();
    void noLogFileCreatesNone();
    void eachDisplayAddsOneEmptyLine();
    void lfOnlyFileGivesOneRecord();
    void missingModeTakesLastAccepted();
    void limit9999Drawn();
    void limit10000Stops();
    void fileThatCannotBeOpened_data();
    void fileThatCannotBeOpened();
    void noDataKeepsOldPlot();
    void exitCloses();
};

void TstGraphLoad::formLoad_data()
{
    QTest::addColumn<QString>("displayRPM");
    QTest::addColumn<QString>("displayWS");
    QTest::addColumn<QString>("units");
    QTest::addColumn<bool>("rpmOn");
    QTest::addColumn<bool>("wsOn");
    QTest::newRow("both on") << "1" << "1" << "mph" << true << true;
    QTest::newRow("RPM off, wind on") << "0" << "1" << "km/h" << false << true;
    QTest::newRow("compared as numbers") << " 1" << "1.0" << "m/s" << true << true;
    QTest::newRow("not numbers are off") << "yes" << "2" << "mph" << false << false;
}

void TstGraphLoad::formLoad()
{
    QFETCH(QString, displayRPM);
    QFETCH(QString, displayWS);
    QFETCH(QString, units);
    QFETCH(bool, rpmOn);
    QFETCH(bool, wsOn);
    Window w(progCfg("1", "0", "0", "60", "0", displayRPM, displayWS, units));
    graph::Graph &g = *w.g;

    QCOMPARE(g.DateY1->text(), QStringLiteral("2026"));
    QCOMPARE(g.DateM1->text(), QStringLiteral("3"));
    QCOMPARE(g.DateD1->text(), QStringLiteral("7"));
    QCOMPARE(g.Time1h->text() + g.Time1m->text() + g.Time2h->text() + g.Time2m->text(),
             QStringLiteral("00002359"));
    QVERIFY(g.Check1->isChecked() && g.Check2->isChecked() && g.Check3->isChecked() && g.Check6->isChecked());
    QCOMPARE(g.Check4->isChecked(), rpmOn);
    QCOMPARE(g.Check5->isChecked(), wsOn);
    const graph::Graph::Switches &on = g.switches();
    QCOMPARE(on.ShowV + on.ShowA + on.ShowW + on.RefVZero, 4);
    QCOMPARE(on.ShowR, rpmOn ? 1 : 0);
    QCOMPARE(on.ShowS, wsOn ? 1 : 0);
    QCOMPARE(g.wsUnits(), units);
    QCOMPARE(g.graphCount(), 0);
    QCOMPARE(g.viewStart(), 0.0);
    QCOMPARE(g.viewEnd(), 0.0);
    QVERIFY(!g.mouseIsDown());

    const QStringList titles{"", "Mode", "Volts", "Amps", "Watts", "RPM", units, "Time"};
    const QList<int> widths{1, 600, 700, 700, 700, 700, 700, 800};
    QCOMPARE(g.ListView1->columnCount(), 8);
    int total = 0;
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(g.ListView1->columnTitle(c), titles[c]);
        // The widths the list really has, in pixels: column 0 hidden at 1 px.
        const int px = g.ListView1->horizontalHeader()->sectionSize(c);
        QCOMPARE(px, std::max(1, ui::twipsToPixels(widths[c])));
        total += px;
    }
    // All columns fit in the list, "Time" included.
    QVERIFY2(total <= g.ListView1->viewport()->width(),
             qPrintable(QString("%1 > %2").arg(total).arg(g.ListView1->viewport()->width())));
    QCOMPARE(g.ListView1->rowCount(), 0);
    QVERIFY(w.messages().isEmpty());
}

void TstGraphLoad::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("vv") << "vv" << "0" << 600 << 0;
    QTest::newRow("stime") << "stime" << "Start" << 120 << 45;
    QTest::newRow("Check1") << "Check1" << "Volts" << 2805 << 5520;
    QTest::newRow("Check6") << "Check6" << "Ref V to 0v" << 120 << 5640;
    QTest::newRow("Label12") << "Label12" << "YYYY / MM / DD" << 960 << 6360;
    QTest::newRow("Label3") << "Label3" << "To" << 1560 << 7200;
    QTest::newRow("DateM1") << "DateM1" << "3" << 1500 << 6600;
    QTest::newRow("Command1") << "Command1" << "Display" << 8880 << 6360;
    QTest::newRow("Command2") << "Command2" << "Exit" << 9360 << 7320;
    QTest::newRow("ListView1") << "ListView1" << "" << 3120 << 6120;
}

void TstGraphLoad::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, left);
    QFETCH(int, top);
    Window w;
    QCOMPARE(w.g->objectName(), QStringLiteral("Graph"));
    QCOMPARE(w.g->windowTitle(), QStringLiteral("Data Graph"));
    auto *c = w.g->findChild<QWidget *>(name);
    QVERIFY2(c, qPrintable(name));
    QCOMPARE(c->pos(), QPoint(ui::twipsToPixels(left), ui::twipsToPixels(top)));
    if (auto *l = qobject_cast<QLabel *>(c))
        QCOMPARE(l->text(), caption);
    else if (auto *b = qobject_cast<QAbstractButton *>(c))
        QCOMPARE(b->text(), caption);
    else if (auto *e = qobject_cast<QLineEdit *>(c))
        QCOMPARE(e->text(), caption);
}

void TstGraphLoad::entryChecks_data()
{
    QTest::addColumn<QStringList>("entries"); // h1 m1 h2 m2 day month year
    QTest::addColumn<QString>("message");
    const QString start = QStringLiteral("Bad time format for start time");
    const QString finish = QStringLiteral("Bad time format for finish time");
    const QString date = QStringLiteral("Bad date format for record date");
    QTest::newRow("start hour 24") << QStringList{"24", "00", "23", "59", "7", "3", "2026"} << start;
    QTest::newRow("start minute text") << QStringList{"00", "5x", "23", "59", "7", "3", "2026"} << start;
    QTest::newRow("start empty") << QStringList{"", "00", "23", "59", "7", "3", "2026"} << start;
    QTest::newRow("finish minute 60") << QStringList{"00", "00", "23", "60", "7", "3", "2026"} << finish;
    QTest::newRow("start reported first") << QStringList{"99", "00", "99", "59", "x", "3", "2026"} << start;
    QTest::newRow("finish before date") << QStringList{"00", "00", "2 3", "59", "x", "3", "2026"} << finish;
    QTest::newRow("31 April") << QStringList{"00", "00", "23", "59", "31", "4", "2026"} << date;
    QTest::newRow("month 13") << QStringList{"00", "00", "23", "59", "7", "13", "2026"} << date;
    QTest::newRow("empty year") << QStringList{"00", "00", "23", "59", "7", "3", ""} << date;
    QTest::newRow("out of the folder") << QStringList{"00", "00", "23", "59", "7", "3", "../../2026"} << date;
}

void TstGraphLoad::entryChecks()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, message);
    Window w;
    w.log(lines({rec("10:00"), rec("11:00")}));
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 2);
    const QByteArray before = w.logFile();
    const int clears = w.g->Plot->clearCount();
    const QStringList logsBefore = QDir(w.folder.file("logs")).entryList(QDir::Files);

    w.setRange(qPrintable(entries[0]), qPrintable(entries[1]), qPrintable(entries[2]), qPrintable(entries[3]));
    w.g->DateD1->setText(entries[4]);
    w.g->DateM1->setText(entries[5]);
    w.g->DateY1->setText(entries[6]);
    w.g->Command1_Click();

    QCOMPARE(w.messages(), QStringList{message});
    // Nothing changed: no file touched, the old load and plot still there.
    QCOMPARE(w.logFile(), before);
    QCOMPARE(QDir(w.folder.file("logs")).entryList(QDir::Files), logsBefore);
    QCOMPARE(w.g->graphCount(), 2);
    QCOMPARE(w.g->ListView1->rowCount(), 2);
    QCOMPARE(w.g->Plot->clearCount(), clears);
}

void TstGraphLoad::inclusiveBounds()
{
    Window w;
    w.log(lines(
        {"", rec("00:00", 1), "<V>9</V>", rec("00:01", 2), rec("12:00", 3), rec("23:58", 4), rec("23:59", 5)}));
    w.g->Command1_Click();
    QVERIFY(w.messages().isEmpty());
    // The whole day, first and last minute included; lines without a time never.
    QCOMPARE(w.g->graphCount(), 5);
    QCOMPARE(w.g->records()[0].V, 1.0);
    QCOMPARE(w.g->records()[4].V, 5.0);
    QCOMPARE(w.g->ListView1->text(0, 7), QStringLiteral("00:00 "));
    QCOMPARE(w.g->ListView1->text(4, 7), QStringLiteral("23:59 "));
    QCOMPARE(w.g->stime->text(), QStringLiteral("00:00"));
    QCOMPARE(w.g->ftime->text(), QStringLiteral("23:59"));
    QCOMPARE(w.g->viewStart(), 1.0);
    QCOMPARE(w.g->viewEnd(), 5.0);

    // Narrowing the range: the bounds themselves are in it.
    w.setRange("00", "01", "23", "58");
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 3);
    QCOMPARE(w.g->records()[0].V, 2.0);
    QCOMPARE(w.g->records()[2].V, 4.0);
}

void TstGraphLoad::startNotBeforeFinish_data()
{
    QTest::addColumn<QStringList>("range");
    QTest::newRow("start later") << QStringList{"13", "00", "12", "00"};
    QTest::newRow("one minute later") << QStringList{"12", "01", "12", "00"};
}

void TstGraphLoad::startNotBeforeFinish()
{
    QFETCH(QStringList, range);
    Window w;
    w.log(lines({rec("11:59"), rec("12:00"), rec("12:01"), rec("13:00")}));
    w.setRange(qPrintable(range[0]), qPrintable(range[1]), qPrintable(range[2]), qPrintable(range[3]));
    w.g->Command1_Click();
    QCOMPARE(w.messages(), QStringList{kNoData});
    QCOMPARE(w.g->graphCount(), 0);
}

void TstGraphLoad::fileNameFromTheNumbers_data()
{
    QTest::addColumn<QStringList>("date"); // year month day as typed
    QTest::newRow("plain") << QStringList{"2026", "3", "7"};
    QTest::newRow("leading zeros") << QStringList{"2026", "03", "07"};
    QTest::newRow("blanks around") << QStringList{" 2026", "3 ", " 007 "};
}

void TstGraphLoad::fileNameFromTheNumbers()
{
    QFETCH(QStringList, date);
    Window w;
    const QByteArray day = lines({rec("10:00"), rec("11:00")});
    w.log(day);
    w.g->DateY1->setText(date[0]);
    w.g->DateM1->setText(date[1]);
    w.g->DateD1->setText(date[2]);
    w.g->Command1_Click();
    // The writer's file is read (and gets its empty line); no other file appears.
    QVERIFY(w.messages().isEmpty());
    QCOMPARE(w.g->graphCount(), 2);
    QCOMPARE(w.logFile(), day + "\r\n");
    QCOMPARE(QDir(w.folder.file("logs")).entryList(QDir::Files), QStringList{"2026_3_7.txt"});
}

void TstGraphLoad::noLogFileCreatesNone_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("no file for the day") << "";
    QTest::newRow("no logs folder") << "remove logs";
    QTest::newRow("logs is a file") << "logs file";
}

void TstGraphLoad::noLogFileCreatesNone()
{
    QFETCH(QString, setup);
    Window w;
    w.log(lines({rec("10:00"), rec("11:00")}), QStringLiteral("2026_3_6"));
    w.g->DateD1->setText(QStringLiteral("6"));
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 2);
    const QStringList before = QDir(w.folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (!setup.isEmpty()) {
        QVERIFY(QDir(w.folder.file("logs")).removeRecursively());
        if (setup == "logs file")
            w.folder.write(QStringLiteral("logs"), "not a folder");
    }
    const QStringList files = QDir(w.folder.file("logs")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    w.g->DateD1->setText(QStringLiteral("7"));
    w.g->Command1_Click();
    QCOMPARE(w.messages(), QStringList{kNoData});
    QCOMPARE(w.g->graphCount(), 0);
    // Nothing created: no file, no folder.
    QCOMPARE(QDir(w.folder.file("logs")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), files);
    QCOMPARE(w.folder.exists("logs"), setup != "remove logs");
    QCOMPARE(QDir(w.folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             before.size() - (setup == "remove logs" ? 1 : 0));
}

void TstGraphLoad::eachDisplayAddsOneEmptyLine()
{
    Window w;
    const QByteArray day = lines({rec("10:00"), rec("11:00")});
    w.log(day);
    for (int press = 1; press <= 3; ++press) {
        w.g->Command1_Click();
        QCOMPARE(w.g->graphCount(), 2);
        QCOMPARE(w.logFile(), day + QByteArray("\r\n").repeated(press));
    }
    QVERIFY(w.messages().isEmpty());
}

void TstGraphLoad::lfOnlyFileGivesOneRecord()
{
    Window w;
    w.log(rec("01:00", 11) + "\n" + rec("02:00", 12) + "\n" + rec("03:00", 13) + "\n");
    w.g->Command1_Click();
    QVERIFY(w.messages().isEmpty());
    QCOMPARE(w.g->graphCount(), 1);
    QCOMPARE(w.g->records()[0].V, 11.0);
    // A single record: the plot is cleared and nothing is drawn.
    QCOMPARE(w.g->Plot->drawCount(), 0);
    QCOMPARE(w.g->ListView1->rowCount(), 0);
}

void TstGraphLoad::missingModeTakesLastAccepted()
{
    Window w;
    w.log(lines({rec("01:00", 1, 1, 1, 1, 1, "1"),
                 "<V>2</V><T>02:00</T>",           // no mode: takes 1
                 rec("later", 9, 9, 9, 9, 9, "0"), // not accepted: its mode is not taken
                 "<V>3</V><T>03:00</T>",           // still 1
                 rec("04:00", 4, 4, 4, 4, 4, "0"),
                 "<V>5</V><I>x</I><T>05:00</T>"})); // 0 now; missing and bad fields give 0
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 5);
    QCOMPARE(int(w.g->records()[0].M), 1);
    QCOMPARE(int(w.g->records()[1].M), 1);
    QCOMPARE(int(w.g->records()[2].M), 1);
    QCOMPARE(int(w.g->records()[3].M), 0);
    QCOMPARE(int(w.g->records()[4].M), 0);
    QCOMPARE(w.g->records()[4].V, 5.0);
    QCOMPARE(w.g->records()[4].I, 0.0);
    QCOMPARE(w.g->records()[1].W, 0.0);
}

namespace {
QByteArray manyRecords(int n)
{
    QByteArray t;
    t.reserve(n * 80);
    for (int k = 1; k <= n; ++k) {
        const int minute = 1 + (k - 1) % 1438;
        const QByteArray time = QByteArray::fromStdString(core::timeText(minute / 60, minute % 60));
        t += rec(time.constData(), 12 + (k % 10) / 10.0, k % 7) + "\r\n";
    }
    return t;
}
} // namespace

void TstGraphLoad::limit9999Drawn()
{
    Window w;
    w.log(manyRecords(9999));
    w.g->Command1_Click();
    QVERIFY(w.messages().isEmpty());
    QCOMPARE(w.g->graphCount(), 9999);
    QCOMPARE(w.g->viewEnd(), 9999.0);
    QCOMPARE(w.g->ListView1->rowCount(), 9999);
    QVERIFY(w.g->Plot->drawCount() > 9998);
}

void TstGraphLoad::limit10000Stops()
{
    Window w;
    w.log(lines({rec("10:00", 1), rec("11:00", 2), rec("12:00", 3)}));
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 3);
    const int clears = w.g->Plot->clearCount();
    const QImage before = w.g->Plot->image();

    w.log(manyRecords(10000));
    w.g->Command1_Click();
    QCOMPARE(w.messages(), QStringList{kOverLimit});
    QCOMPARE(w.g->graphCount(), 9999);
    // Nothing drawn: the earlier plot, list and view stay.
    QCOMPARE(w.g->Plot->clearCount(), clears);
    QCOMPARE(w.g->Plot->image(), before);
    QCOMPARE(w.g->ListView1->rowCount(), 3);
    QCOMPARE(w.g->ListView1->text(2, 7), QStringLiteral("12:00 "));
    QCOMPARE(w.g->viewStart(), 1.0);
    QCOMPARE(w.g->viewEnd(), 3.0);
    // The first 9,999 records are kept.
    QCOMPARE(w.g->records()[9998].V, 12.9);
}

void TstGraphLoad::fileThatCannotBeOpened_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("day file is a folder") << false;
    QTest::newRow("day file cannot be written") << true;
}

void TstGraphLoad::fileThatCannotBeOpened()
{
    QFETCH(bool, readOnly);
    Window w;
    w.log(lines({rec("10:00"), rec("11:00")}), QStringLiteral("2026_3_6"));
    w.g->DateD1->setText(QStringLiteral("6"));
    w.g->Command1_Click();
    QCOMPARE(w.g->graphCount(), 2);
    const int clears = w.g->Plot->clearCount();

    if (readOnly) {
#ifdef Q_OS_WIN
        QSKIP("a file its owner cannot read needs Windows' access lists");
#endif
#ifdef Q_OS_UNIX
        if (::geteuid() == 0)
            QSKIP("root writes to read-only files");
#endif
        w.log(lines({rec("10:00")}));
        QVERIFY(QFile::setPermissions(w.folder.file("logs/2026_3_7.txt"), QFileDevice::ReadOwner));
    } else {
        QVERIFY(QDir(w.folder.path()).mkpath(QStringLiteral("logs/2026_3_7.txt")));
    }
    w.g->DateD1->setText(QStringLiteral("7"));
    w.g->Command1_Click();
    QCOMPARE(w.messages().size(), 1);
    QVERIFY2(w.messages()[0].contains(QDir::toNativeSeparators(w.folder.file("logs/2026_3_7.txt"))),
             qPrintable(w.messages()[0]));
    QVERIFY(w.g->isVisible());
    QCOMPARE(w.g->graphCount(), 2);
    QCOMPARE(w.g->ListView1->rowCount(), 2);
    QCOMPARE(w.g->Plot->clearCount(), clears);
}

void TstGraphLoad::noDataKeepsOldPlot()
{
    Window w;
    w.log(lines({rec("10:00"), rec("11:00"), rec("12:00")}));
    w.g->Command1_Click();
    const int clears = w.g->Plot->clearCount();
    const QString label = w.g->VMax1->text();

    w.setRange("13", "00", "14", "00");
    w.g->Command1_Click();
    QCOMPARE(w.messages(), QStringList{kNoData});
    QCOMPARE(w.g->graphCount(), 0);
    QCOMPARE(w.g->ListView1->rowCount(), 3);
    QCOMPARE(w.g->ListView1->text(2, 7), QStringLiteral("12:00 "));
    QCOMPARE(w.g->VMax1->text(), label);
    // The switches no longer redraw.
    w.g->Check1->setChecked(false);
    QCOMPARE(w.g->switches().ShowV, 0);
    QCOMPARE(w.g->Plot->clearCount(), clears);
}

void TstGraphLoad::exitCloses()
{
    Window w;
    QVERIFY(w.g->isVisible());
    w.g->Command2->click();
    QVERIFY(!w.g->isVisible());
    // Closing writes nothing.
    QVERIFY(QDir(w.folder.file("logs")).entryList(QDir::Files).isEmpty());
}

QTEST_MAIN(TstGraphLoad)
#include "tst_graphload.moc"

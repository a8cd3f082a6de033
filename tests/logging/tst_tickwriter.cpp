// SPDX-License-Identifier: GPL-3.0-or-later
// The files one logging tick writes, on a temporary program folder with a fake
// clock, in a 12-hour locale whose short date has slashes.

#include "core/Number.h"
#include "core/TickTexts.h"
#include "logging/TickWriter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

using logging::TickValues;
using testsupport::FakeServices;
using testsupport::ProgramFolder;

namespace {

// Tells blocking messages from those that return at once.
class Messages : public ui::MessageService {
public:
    void inform(QObject *, const QString &text) override { blocking << text; }
    void notify(QObject *, const QString &text) override { texts << text; }
    bool ask(QObject *, const QString &) override { return false; }
    QStringList texts, blocking;
};

struct Rig {
    Rig()
    {
        services = fake.services();
        services.messages = &messages;
        writer = std::make_unique<logging::TickWriter>(services, nullptr);
    }
    QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
    {
        QDateTime t(QDate(y, mo, d), QTime(h, mi, s));
        fake.clock.set(t);
        return t;
    }
    QList<QByteArray> lines(const QString &relative) const
    {
        QList<QByteArray> l = folder.read(relative).split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }

    ProgramFolder folder;
    FakeServices fake{folder.path()};
    Messages messages;
    ui::Services services;
    std::unique_ptr<logging::TickWriter> writer;
};

TickValues values(const char *savehtml = "0", const char *saveExcel = "0", const char *units = "kmh",
                  std::int16_t mode = 1)
{
    TickValues v;
    v.maxima = core::Maxima{13.45, 2.1, 28.25, 312, 4.5};
    v.mode = mode;
    v.wattHours = 123.456789012345;
    v.savehtml = savehtml;
    v.saveExcel = saveExcel;
    v.wsUnits = units;
    return v;
}

const QByteArray record = "<V>13.45</V><I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>14:05</T>\r\n";
const QByteArray header =
    "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b></td>"
    "<td><b>RPM</b></td><td><b>kmh</b></td><td><b>Mode</b></td><td><b>Time</b></td></tr>\r\n\r\n";
const QByteArray row = "<tr><td>13.45</td><td>2.1</td><td>28.25</td><td>312</td><td>4.5</td><td>Load On</td>"
                       "<td>2:05:09 PM</td></tr>\r\n\r\n";
const QString history = QStringLiteral("html/history3_7_26.txt");

} // namespace

class TstTickWriter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void logOnly();
    void fileNamesByDate_data();
    void fileNamesByDate();
    void midnight();
    void pages();
    void templateReadEveryTick();
    void dataState_data();
    void dataState();
    void switches_data();
    void switches();
    void spreadsheet();
    void missingFolders();
    void missingHtmlFolder();
    void folderInPlaceOfPage();
    void folderInPlaceOfLog();

private:
    char m_separator = '.';
};

void TstTickWriter::initTestCase()
{
    m_separator = core::decimalSeparator();
    core::setDecimalSeparator('.');
    // The texts below are those of the en_US locale set in main().
    testsupport::FakeClock clock;
    QCOMPARE(clock.shortDateText(), QStringLiteral("3/7/26"));
    QCOMPARE(clock.longTimeText(), QStringLiteral("2:05:09 PM"));
}

void TstTickWriter::cleanupTestCase() { core::setDecimalSeparator(m_separator); }

void TstTickWriter::logOnly()
{
    Rig r;
    r.writer->write(values());
    r.at(2026, 3, 7, 14, 15, 9);
    TickValues v = values();
    v.maxima = core::Maxima{};
    v.mode = -1;
    r.writer->write(v);

    QCOMPARE(r.folder.read("logs/2026_3_7.txt"),
             record + "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>-1</M><T>14:15</T>\r\n");
    QCOMPARE(QDir(r.folder.file("html")).entryList(QDir::Files), QStringList{"template.asp"});
    QVERIFY(QDir(r.folder.file("Excel")).isEmpty());
    QCOMPARE(r.messages.texts, QStringList());
}

void TstTickWriter::fileNamesByDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("history");
    QTest::newRow("March") << QDate(2026, 3, 7) << "logs/2026_3_7.txt" << "Excel/2026_3_7.xls"
                           << "html/history3_7_26.txt";
    QTest::newRow("Christmas") << QDate(2026, 12, 25) << "logs/2026_12_25.txt"
                               << "Excel/2026_12_25.xls" << "html/history12_25_26.txt";
}

void TstTickWriter::fileNamesByDate()
{
    QFETCH(QDate, date);
    QFETCH(QString, log);
    QFETCH(QString, sheet);
    QFETCH(QString, history);
    Rig r;
    r.fake.clock.set(QDateTime(date, QTime(8, 30)));
    r.writer->write(values("1", "1"));
    QCOMPARE(r.lines(log).size(), 1);
    QVERIFY(r.folder.read(sheet).startsWith(header));
    QCOMPARE(r.lines(history).size(), 1);
    QCOMPARE(QDir(r.folder.file("logs")).entryList(QDir::Files), QStringList{log.mid(5)});
}

void TstTickWriter::midnight()
{
    Rig r;
    r.at(2026, 3, 7, 23, 59, 50);
    r.writer->write(values("0", "1"));
    r.at(2026, 3, 8, 0, 0, 20);
    r.writer->write(values("0", "1"));

    QCOMPARE(r.lines("logs/2026_3_7.txt").size(), 1);
    QVERIFY(r.folder.read("logs/2026_3_7.txt").endsWith("<T>23:59</T>\r\n"));
    QCOMPARE(r.folder.read("logs/2026_3_8.txt"),
             "<V>13.45</V><I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>00:00</T>\r\n");
    for (const char *sheet : {"Excel/2026_3_7.xls", "Excel/2026_3_8.xls"}) {
        const QByteArray text = r.folder.read(sheet);
        QVERIFY2(text.startsWith(header), sheet);
        QCOMPARE(text.count("<tr><td>13.45"), 1);
    }
    QVERIFY(r.folder.read("Excel/2026_3_8.xls").contains("<td>12:00:20 AM</td>"));
}

void TstTickWriter::pages()
{
    Rig r;
    r.folder.write("html/template.asp",
                   "<p><VV> V <II> A <WW> W <WH> Wh <RR> RPM <SS> at <TT>: <MM></p>\r\n<vv><VV>");
    r.writer->write(values("1", "0", "kmh", 0));

    QCOMPARE(r.folder.read(history), "13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5kmh\t\t\t\t2:05:09 PM\r\n");
    QCOMPARE(r.folder.read("html/log.asp"),
             "<p>13.45 V 2.1 A 28.25 W 123.456789012345 Wh 312 RPM 4.5 at 2:05:09 PM: </p>\r\n<vv>13.45\r\n");

    // The next tick adds a history line and replaces the page.
    r.fake.clock.advanceSeconds(60);
    TickValues v = values("1", "0", "kmh", 1);
    v.maxima.MaxVolts = 12.5;
    r.writer->write(v);
    QCOMPARE(r.lines(history),
             (QList<QByteArray>{"13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5kmh\t\t\t\t2:05:09 PM\r",
                                "12.5V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5kmh\t\tLoad On\t\t2:06:09 PM\r"}));
    QCOMPARE(r.folder.read("html/log.asp"),
             "<p>12.5 V 2.1 A 28.25 W 123.456789012345 Wh 312 RPM 4.5 at 2:06:09 PM: Load On</p>\r\n<vv>12.5\r\n");
    QCOMPARE(r.messages.texts, QStringList());
}

void TstTickWriter::templateReadEveryTick()
{
    Rig r;
    r.folder.write("html/template.asp", "first <VV>");
    r.writer->write(values("1"));
    QCOMPARE(r.folder.read("html/log.asp"), QByteArray("first 13.45\r\n"));
    r.folder.write("html/template.asp", "second <MM>");
    r.writer->write(values("1"));
    QCOMPARE(r.folder.read("html/log.asp"), QByteArray("second Load On\r\n"));
    // Our placeholders after the eight; the unit is the user's text in a page.
    // The same page as log.html, for web servers that know no .asp.
    r.folder.write("html/template.asp", "<SS> <SU>|<DD>|<LD>");
    TickValues v = values("1", "0", "m<s>&");
    v.logSeconds = 12.5;
    r.writer->write(v);
    QCOMPARE(r.folder.read("html/log.asp"), QByteArray("4.5 m&lt;s&gt;&amp;|2026-03-07|13\r\n"));
    QCOMPARE(r.folder.read("html/log.html"), r.folder.read("html/log.asp"));
}

// The state of the data and the last live frame's time, with its date when
// it was before the page's day; the eight placeholders stay as they were.
void TstTickWriter::dataState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QDateTime>("lastLive");
    QTest::addColumn<QByteArray>("page");
    const QDate today(2026, 3, 7);
    QTest::newRow("live") << int(core::DataState::Live) << QDateTime(today, QTime(14, 5, 1))
                          << QByteArray("<p class=\"live\">14:05 13.45</p>\r\n");
    QTest::newRow("stale today") << int(core::DataState::Stale) << QDateTime(today, QTime(3, 16, 59))
                                 << QByteArray("<p class=\"stale\">03:16 13.45</p>\r\n");
    QTest::newRow("stale since yesterday") << int(core::DataState::Stale) << QDateTime(today.addDays(-1), QTime(23, 59))
                                           << QByteArray("<p class=\"stale\">2026-03-06 23:59 13.45</p>\r\n");
    QTest::newRow("paused") << int(core::DataState::Paused) << QDateTime(today, QTime(0, 0))
                            << QByteArray("<p class=\"paused\">00:00 13.45</p>\r\n");
}

void TstTickWriter::dataState()
{
    QFETCH(int, state);
    QFETCH(QDateTime, lastLive);
    QFETCH(QByteArray, page);
    Rig r;
    r.folder.write("html/template.asp", "<p class=\"<DS>\"><DL> <VV></p>");
    TickValues v = values("1");
    v.state = core::DataState(state);
    v.lastLive = lastLive;
    r.writer->write(v);
    QCOMPARE(r.folder.read("html/log.html"), page);
}

void TstTickWriter::switches_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("blanks") << " 1 " << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("greyed") << "2" << false;
    QTest::newRow("not a number") << "yes" << false;
    QTest::newRow("empty") << "" << false;
}

void TstTickWriter::switches()
{
    QFETCH(QString, setting);
    QFETCH(bool, on);
    const std::string s = setting.toStdString();
    {
        // Off: existing files are not touched.
        Rig r;
        r.folder.write("html/log.asp", "old page");
        r.folder.write(history, "old\r\n");
        r.writer->write(values(s.c_str(), "0"));
        QCOMPARE(r.folder.read("html/log.asp") != "old page", on);
        QCOMPARE(r.lines(history).size(), on ? 2 : 1);
        QVERIFY(r.folder.exists("logs/2026_3_7.txt"));
        QVERIFY(QDir(r.folder.file("Excel")).isEmpty());
    }
    {
        Rig r;
        r.folder.write("Excel/2026_3_7.xls", "old\r\n");
        r.writer->write(values("0", s.c_str()));
        QCOMPARE(r.lines("Excel/2026_3_7.xls").size(), on ? 3 : 1);
        QVERIFY(!r.folder.exists("html/log.asp"));
        QVERIFY(r.folder.exists("logs/2026_3_7.txt"));
    }
}

void TstTickWriter::spreadsheet()
{
    Rig r;
    const QString sheet = "Excel/2026_3_7.xls";
    r.writer->write(values("0", "1"));
    QCOMPARE(r.folder.read(sheet), header + row);

    // Later rows only; a changed unit does not rewrite the header.
    r.fake.clock.advanceSeconds(60);
    r.writer->write(values("0", "1", "mph", 0));
    const QByteArray second = "<tr><td>13.45</td><td>2.1</td><td>28.25</td><td>312</td><td>4.5</td><td></td>"
                              "<td>2:06:09 PM</td></tr>\r\n\r\n";
    QCOMPARE(r.folder.read(sheet), header + row + second);

    // A file removed during the day starts again with a header.
    QVERIFY(QFile::remove(r.folder.file(sheet)));
    r.writer->write(values("0", "1", "mph"));
    QVERIFY(r.folder.read(sheet).startsWith(QByteArray(header).replace("kmh", "mph")));
    QCOMPARE(r.folder.read(sheet).count("<tr><td>13.45"), 1);

    // A failed first write of the day leaves an empty file: it has no header yet.
    r.folder.write(sheet, "");
    r.writer->write(values("0", "1"));
    QCOMPARE(r.folder.read(sheet), header + QByteArray(row).replace("2:05:09", "2:06:09"));

    // An existing file gets no second header.
    r.folder.write(sheet, "kept\r\n");
    r.writer->write(values("0", "1"));
    QCOMPARE(r.folder.read(sheet), "kept\r\n" + QByteArray(row).replace("2:05:09", "2:06:09"));
}

void TstTickWriter::missingFolders()
{
    Rig r;
    QVERIFY(QDir(r.folder.file("logs")).removeRecursively());
    QVERIFY(QDir(r.folder.file("Excel")).removeRecursively());
    r.writer->write(values("1", "1"));
    QCOMPARE(r.folder.read("logs/2026_3_7.txt"), record);
    QCOMPARE(r.folder.read("Excel/2026_3_7.xls"), header + row);
    QVERIFY(r.folder.exists("html/log.asp"));
    QCOMPARE(r.messages.texts, QStringList());
}

void TstTickWriter::missingHtmlFolder()
{
    Rig r;
    QVERIFY(QDir(r.folder.file("html")).removeRecursively());
    r.writer->write(values("1", "0"));
    r.writer->write(values("1", "0"));

    // The history goes on; the page waits for its template, said once.
    QCOMPARE(r.lines(history).size(), 2);
    QVERIFY(!r.folder.exists("html/log.asp"));
    QCOMPARE(r.messages.texts.size(), 1);
    QVERIFY(r.messages.texts[0].contains(QDir::toNativeSeparators(r.folder.file("html/template.asp"))));
    QCOMPARE(r.messages.blocking, QStringList());

    r.folder.write("html/template.asp", "<VV>");
    r.writer->write(values("1", "0"));
    QCOMPARE(r.folder.read("html/log.asp"), QByteArray("13.45\r\n"));

    // Missing again after a good tick: said again.
    QVERIFY(QFile::remove(r.folder.file("html/template.asp")));
    r.writer->write(values("1", "0"));
    QCOMPARE(r.messages.texts.size(), 2);
    QCOMPARE(r.folder.read("html/log.asp"), QByteArray("13.45\r\n"));
}

void TstTickWriter::folderInPlaceOfPage()
{
    Rig r;
    QVERIFY(QDir(r.folder.file("html")).mkdir("log.asp"));
    for (int i = 0; i < 3; ++i) {
        r.writer->write(values("1", "1"));
        r.fake.clock.advanceSeconds(60);
    }
    QCOMPARE(r.messages.texts.size(), 1);
    QVERIFY(r.messages.texts[0].contains(QDir::toNativeSeparators(r.folder.file("html/log.asp"))));
    QCOMPARE(r.messages.blocking, QStringList());
    QCOMPARE(r.lines("logs/2026_3_7.txt").size(), 3);
    QCOMPARE(r.lines(history).size(), 3);
    QCOMPARE(r.folder.read("Excel/2026_3_7.xls").count("<tr><td>13.45"), 3);
}

void TstTickWriter::folderInPlaceOfLog()
{
    Rig r;
    const QString log = "logs/2026_3_7.txt";
    QVERIFY(QDir(r.folder.file("logs")).mkdir("2026_3_7.txt"));
    r.writer->write(values("1", "1"));
    r.writer->write(values("1", "1"));
    QCOMPARE(r.messages.texts.size(), 1);
    QVERIFY(r.messages.texts[0].contains(QDir::toNativeSeparators(r.folder.file(log))));
    QCOMPARE(r.messages.blocking, QStringList());
    // The rest of the tick still ran.
    QCOMPARE(r.lines(history).size(), 2);
    QCOMPARE(r.folder.read("Excel/2026_3_7.xls").count("<tr><td>13.45"), 2);

    // Another file failing is its own news.
    QVERIFY(QFile::remove(r.folder.file("html/log.asp")));
    QVERIFY(QDir(r.folder.file("html")).mkdir("log.asp"));
    r.writer->write(values("1", "1"));
    QCOMPARE(r.messages.texts.size(), 2);
    QVERIFY(QDir(r.folder.file("html")).rmdir("log.asp"));

    QVERIFY(QDir(r.folder.file("logs")).rmdir("2026_3_7.txt"));
    r.writer->write(values("1", "1"));
    QCOMPARE(r.folder.read(log), record);
    QCOMPARE(r.messages.texts.size(), 2);

    // Failing again after a good write is told again.
    QVERIFY(QFile::remove(r.folder.file(log)));
    QVERIFY(QDir(r.folder.file("logs")).mkdir("2026_3_7.txt"));
    r.writer->write(values("1", "1"));
    r.writer->write(values("1", "1"));
    QCOMPARE(r.messages.texts.size(), 3);
    QCOMPARE(r.messages.texts[2], r.messages.texts[0]);
}

int main(int argc, char **argv)
{
    // A 12-hour locale with slashes in its short date, whatever the machine has.
    qputenv("LC_ALL", "en_US.UTF-8");
    QCoreApplication app(argc, argv);
    TstTickWriter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tickwriter.moc"

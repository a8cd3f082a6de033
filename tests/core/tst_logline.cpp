// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the daily log back: entry checks, time fields, line splitting and
// the fields of one line.

#include "core/LogLine.h"
#include "core/Number.h"
#include "core/TickTexts.h"

#include <QtTest>

namespace {
std::string str(const QString &s) { return s.toStdString(); }
double at(int h, int m, int s = 0) { return (h * 3600 + m * 60 + s) / 86400.0; }
} // namespace

class TstLogLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }
    void clockTime_data();
    void clockTime();
    void calendarDate_data();
    void calendarDate();
    void logTime_data();
    void logTime();
    void lineTime_data();
    void lineTime();
    void fields_data();
    void fields();
    void modeCarriesOver();
    void chooseRecords_data();
    void chooseRecords();
    void writerLineReadsBack();
};

void TstLogLine::clockTime_data()
{
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("initial start") << "00" << "00" << true << at(0, 0);
    QTest::newRow("initial finish") << "23" << "59" << true << at(23, 59);
    QTest::newRow("one digit each") << "7" << "5" << true << at(7, 5);
    QTest::newRow("blanks around") << " 7 " << " 05" << true << at(7, 5);
    QTest::newRow("hour 24") << "24" << "00" << false << 0.0;
    QTest::newRow("minute 60") << "12" << "60" << false << 0.0;
    QTest::newRow("three digits") << "012" << "00" << false << 0.0;
    QTest::newRow("empty hour") << "" << "00" << false << 0.0;
    QTest::newRow("empty minute") << "12" << "" << false << 0.0;
    QTest::newRow("sign") << "-1" << "00" << false << 0.0;
    QTest::newRow("letters") << "1a" << "00" << false << 0.0;
    QTest::newRow("colon in hour box") << "12:30" << "" << false << 0.0;
    QTest::newRow("decimal") << "1.5" << "00" << false << 0.0;
}

void TstLogLine::clockTime()
{
    QFETCH(QString, hours);
    QFETCH(QString, minutes);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto t = core::readClockTime(str(hours), str(minutes));
    QCOMPARE(t.has_value(), valid);
    if (valid)
        QCOMPARE(*t, value);
}

void TstLogLine::calendarDate_data()
{
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("stamp"); // the day's file as the log writer names it; "" refused
    QTest::newRow("plain") << "7" << "3" << "2026" << "2026_3_7";
    QTest::newRow("leading zeros") << "08" << "03" << "02026" << "2026_3_8";
    QTest::newRow("blanks around") << " 7" << "3 " << " 2026 " << "2026_3_7";
    QTest::newRow("31 March") << "31" << "3" << "2026" << "2026_3_31";
    QTest::newRow("31 April") << "31" << "4" << "2026" << "";
    QTest::newRow("29 Feb leap") << "29" << "2" << "2024" << "2024_2_29";
    QTest::newRow("29 Feb common") << "29" << "2" << "2026" << "";
    QTest::newRow("29 Feb 1900") << "29" << "2" << "1900" << "";
    QTest::newRow("29 Feb 2000") << "29" << "2" << "2000" << "2000_2_29";
    QTest::newRow("day 0") << "0" << "3" << "2026" << "";
    QTest::newRow("month 13") << "1" << "13" << "2026" << "";
    QTest::newRow("year 0") << "1" << "1" << "0" << "";
    QTest::newRow("year 10000") << "1" << "1" << "10000" << "";
    QTest::newRow("empty day") << "" << "3" << "2026" << "";
    QTest::newRow("blank inside") << "1 2" << "3" << "2026" << "";
    QTest::newRow("sign") << "+7" << "3" << "2026" << "";
    // Text that would take the file name out of the logs folder.
    QTest::newRow("parent folder") << "7" << "3" << "../2026" << "";
    QTest::newRow("slash") << "7/3" << "3" << "2026" << "";
    QTest::newRow("huge digits") << "7" << "3" << "99999999999999999999" << "";
}

void TstLogLine::calendarDate()
{
    QFETCH(QString, day);
    QFETCH(QString, month);
    QFETCH(QString, year);
    QFETCH(QString, stamp);
    const auto d = core::readCalendarDate(str(day), str(month), str(year));
    QCOMPARE(d.has_value(), !stamp.isEmpty());
    if (d)
        QCOMPARE(QString::fromStdString(core::logDateStamp(d->year, d->month, d->day)), stamp);
}

void TstLogLine::logTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("as written") << "14:05" << true << at(14, 5);
    QTest::newRow("midnight") << "00:00" << true << 0.0;
    QTest::newRow("one digit hour") << "9:05" << true << at(9, 5);
    QTest::newRow("with seconds") << "14:05:09" << true << at(14, 5, 9);
    QTest::newRow("blanks around") << " 14:05 " << true << at(14, 5);
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("no colon") << "1405" << false << 0.0;
    QTest::newRow("hour 24") << "24:00" << false << 0.0;
    QTest::newRow("minute 60") << "10:60" << false << 0.0;
    QTest::newRow("blank inside") << "14 :05" << false << 0.0;
    QTest::newRow("trailing colon") << "14:05:" << false << 0.0;
    QTest::newRow("letters") << "ab:cd" << false << 0.0;
    QTest::newRow("with a date") << "7/3/2026 14:05" << false << 0.0;
}

void TstLogLine::logTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto t = core::readLogTime(str(text));
    QCOMPARE(t.has_value(), valid);
    if (valid)
        QCOMPARE(*t, value);
}

void TstLogLine::lineTime_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<double>("value");
    QTest::newRow("record") << "<V>1</V><T>14:05</T>" << true << at(14, 5);
    QTest::newRow("midnight") << "<V>1</V><T>00:00</T>" << true << 0.0;
    // Lines without a time are skipped: every range holds midnight.
    QTest::newRow("no time field: skip") << "<V>1</V>" << false << 0.0;
    QTest::newRow("empty line: skip") << "" << false << 0.0;
    QTest::newRow("opening tag only") << "<T>14:05" << false << 0.0;
    QTest::newRow("closing before opening: absent") << "</T>14:05<T>" << false << 0.0;
    QTest::newRow("not a time: skip") << "<T>later</T>" << false << 0.0;
    QTest::newRow("empty time: skip") << "<T></T>" << false << 0.0;
    QTest::newRow("first tags count") << "<T>01:00</T><T>02:00</T>" << true << at(1, 0);
    QTest::newRow("case-sensitive") << "<t>14:05</t>" << false << 0.0;
}

void TstLogLine::lineTime()
{
    QFETCH(QString, line);
    QFETCH(bool, readable);
    QFETCH(double, value);
    const auto t = core::LogLineReader::lineTime(str(line));
    QCOMPARE(t.has_value(), readable);
    if (readable)
        QCOMPARE(*t, value);
}

void TstLogLine::fields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<double>>("values"); // V, I, W, R, S, M
    QTest::newRow("full record")
        << "<V>13.45</V><I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>14:05</T>"
        << QList<double>{13.45, 2.1, 28.25, 312, 4.5, 1};
    QTest::newRow("order in the line does not matter")
        << "<T>14:05</T><S>4.5</S><R>312</R><W>28.25</W><I>2.1</I><V>13.45</V><M>0</M>"
        << QList<double>{13.45, 2.1, 28.25, 312, 4.5, 0};
    QTest::newRow("missing volts gives 0")
        << "<I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>14:05</T>"
        << QList<double>{0, 2.1, 28.25, 312, 4.5, 1};
    QTest::newRow("not numbers give 0")
        << "<V>abc</V><I></I><W>1;5</W><R>1e3</R><S> -2 </S><M>x</M><T>14:05</T>"
        << QList<double>{0, 0, 0, 1000, -2, 0};
    QTest::newRow("closing before opening is absent")
        << "</V>5<V>6<I>2</I><T>14:05</T>" << QList<double>{0, 2, 0, 0, 0, 0};
    // The tags of a line are found in one pass; these check it finds the
    // same first occurrences as a search for each tag.
    QTest::newRow("stray < before tags") << "<<V>5</V><</I><I>2</I>" << QList<double>{5, 0, 0, 0, 0, 0};
    QTest::newRow("tag cut short at the end") << "<V>5</V><S>4</S" << QList<double>{5, 0, 0, 0, 0, 0};
    QTest::newRow("empty field between tags") << "<R></R><W>3</W>" << QList<double>{0, 0, 3, 0, 0, 0};
    QTest::newRow("mode rounds halves to even")
        << "<M>2.5</M><T>14:05</T>" << QList<double>{0, 0, 0, 0, 0, 2};
    QTest::newRow("negative mode") << "<M>-1</M><T>14:05</T>" << QList<double>{0, 0, 0, 0, 0, -1};
    QTest::newRow("mode beyond 16 bits gives 0") << "<M>32768</M>" << QList<double>{0, 0, 0, 0, 0, 0};
}

void TstLogLine::fields()
{
    QFETCH(QString, line);
    QFETCH(QList<double>, values);
    core::LogLineReader reader;
    const core::LogRecord r = reader.fields(str(line), 0.25);
    QCOMPARE(r.T, 0.25);
    QCOMPARE(r.V, values[0]);
    QCOMPARE(r.I, values[1]);
    QCOMPARE(r.W, values[2]);
    QCOMPARE(r.R, values[3]);
    QCOMPARE(r.S, values[4]);
    QCOMPARE(double(r.M), values[5]);
}

void TstLogLine::modeCarriesOver()
{
    core::LogLineReader reader;
    QCOMPARE(int(reader.fields("<V>1</V>", 0.1).M), 0); // none seen yet
    QCOMPARE(int(reader.fields("<M>1</M>", 0.1).M), 1);
    QCOMPARE(int(reader.fields("<V>1</V>", 0.1).M), 1); // takes the last one
    QCOMPARE(int(reader.fields("<M>0</M>", 0.1).M), 0);
    QCOMPARE(int(reader.fields("<V>1</V>", 0.1).M), 0);
    QCOMPARE(int(reader.fields("<M>junk</M>", 0.1).M), 0);
    QCOMPARE(int(reader.fields("<V>1</V>", 0.1).M), 0); // the junk text carries over
    // A new load starts with no mode.
    QCOMPARE(int(core::LogLineReader().fields("<V>1</V>", 0.1).M), 0);
}

void TstLogLine::chooseRecords_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("range"); // "hh:mm-hh:mm"
    QTest::addColumn<int>("limit");
    QTest::addColumn<QList<double>>("volts"); // of the records chosen, in order
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<bool>("overLimit");
    const QByteArray day = "<V>1</V><M>1</M><T>00:00</T>\r\n\r\n<V>2</V><T>00:01</T>\r\n<V>9</V><M>0</M>\r\n"
                           "<V>3</V><M>0</M><T>later</T>\r\n<V>4</V><T>12:00</T>\r\n<V>5</V><M>0</M><T>23:59</T>\r\n";
    QTest::newRow("whole day, both ends in") << day << "00:00-23:59" << 9999 << QList<double>{1, 2, 4, 5}
                                             << QList<int>{1, 1, 1, 0} << false;
    QTest::newRow("bounds are in") << day << "00:01-12:00" << 9999 << QList<double>{2, 4} << QList<int>{0, 0} << false;
    QTest::newRow("one minute") << day << "12:00-12:00" << 9999 << QList<double>{4} << QList<int>{0} << false;
    QTest::newRow("start after finish") << day << "12:01-12:00" << 9999 << QList<double>{} << QList<int>{} << false;
    QTest::newRow("empty text") << QByteArray() << "00:00-23:59" << 9999 << QList<double>{} << QList<int>{} << false;
    QTest::newRow("LF alone: one line") << QByteArray("<V>1</V><T>01:00</T>\n<V>2</V><T>02:00</T>\n") << "00:00-23:59"
                                        << 9999 << QList<double>{1} << QList<int>{0} << false;
    QTest::newRow("exactly the limit") << day << "00:00-23:59" << 4 << QList<double>{1, 2, 4, 5}
                                       << QList<int>{1, 1, 1, 0} << false;
    QTest::newRow("one over the limit") << day << "00:00-23:59" << 3 << QList<double>{1, 2, 4}
                                        << QList<int>{1, 1, 1} << true;
    QTest::newRow("lines out of range do not count") << day << "00:00-12:00" << 3 << QList<double>{1, 2, 4}
                                                     << QList<int>{1, 1, 1} << false;
}

void TstLogLine::chooseRecords()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, range);
    QFETCH(int, limit);
    QFETCH(QList<double>, volts);
    QFETCH(QList<int>, modes);
    QFETCH(bool, overLimit);
    const double start = at(range.mid(0, 2).toInt(), range.mid(3, 2).toInt());
    const double finish = at(range.mid(6, 2).toInt(), range.mid(9, 2).toInt());
    const core::DayRecords chosen = core::chooseRecords(std::string_view(text.constData(), size_t(text.size())),
                                                        start, finish, size_t(limit));
    QList<double> gotVolts;
    QList<int> gotModes;
    for (const core::LogRecord &r : chosen.records) {
        gotVolts << r.V;
        gotModes << r.M;
        QVERIFY(r.T >= start && r.T <= finish);
    }
    QCOMPARE(gotVolts, volts);
    QCOMPARE(gotModes, modes);
    QCOMPARE(chosen.overLimit, overLimit);
}

void TstLogLine::writerLineReadsBack()
{
    const core::Maxima m{13.45, -2.1, 28.25, 312, 4.5};
    const std::string line = core::logRecord(m, 1, 9, 5);
    const auto t = core::LogLineReader::lineTime(line);
    QVERIFY(t);
    QCOMPARE(*t, at(9, 5));
    core::LogLineReader reader;
    const auto r = reader.fields(line, *t);
    QCOMPARE(r.V, 13.45);
    QCOMPARE(r.I, -2.1);
    QCOMPARE(r.W, 28.25);
    QCOMPARE(r.R, 312.0);
    QCOMPARE(r.S, 4.5);
    QCOMPARE(int(r.M), 1);
    QCOMPARE(QString::fromStdString(core::dayTimeText(r.T)), QStringLiteral("09:05"));
}

QTEST_APPLESS_MAIN(TstLogLine)
#include "tst_logline.moc"

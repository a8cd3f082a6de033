// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the logging tick, the watt-hour step and the interval check.

#include "core/Number.h"
#include "core/TickTexts.h"

#include <QtTest>
#include <cmath>

using core::Maxima;

namespace {
Maxima sample() { return Maxima{13.45, 2.1, 28.25, 312, 4.5}; }

std::string str(const QString &s) { return s.toStdString(); }
QString qs(const std::string &s) { return QString::fromStdString(s); }

// Sets the regional decimal separator for one test and puts it back.
struct Separator {
    explicit Separator(char c) : old(core::decimalSeparator()) { core::setDecimalSeparator(c); }
    ~Separator() { core::setDecimalSeparator(old); }
    char old;
};
} // namespace

Q_DECLARE_METATYPE(Maxima)

class TstTickTexts : public QObject {
    Q_OBJECT
private slots:
    void logDateStamp_data();
    void logDateStamp();
    void modeText_data();
    void modeText();
    void logRecord_data();
    void logRecord();
    void historyLine_data();
    void historyLine();
    void substituteTemplate_data();
    void substituteTemplate();
    void spreadsheetHeader_data();
    void spreadsheetHeader();
    void spreadsheetRow_data();
    void spreadsheetRow();
    void startDelay_data();
    void startDelay();
};

void TstTickTexts::logDateStamp_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("expected");
    QTest::newRow("single digits") << 2026 << 3 << 7 << "2026_3_7";
    QTest::newRow("end of year") << 2026 << 12 << 25 << "2026_12_25";
    QTest::newRow("tens keep their zero") << 2030 << 10 << 20 << "2030_10_20";
    QTest::newRow("new year") << 2027 << 1 << 1 << "2027_1_1";
}

void TstTickTexts::logDateStamp()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, expected);
    QCOMPARE(qs(core::logDateStamp(year, month, day)), expected);
}

void TstTickTexts::modeText_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("on") << 1 << "Load On";
    QTest::newRow("off") << 0 << "";
    QTest::newRow("no number in the tags") << -1 << "";
    QTest::newRow("other value") << 2 << "";
    // 257 has 1 in its low byte: only the whole value counts.
    QTest::newRow("low byte 1") << 257 << "";
    QTest::newRow("most negative") << -32768 << "";
}

void TstTickTexts::modeText()
{
    QFETCH(int, mode);
    QFETCH(QString, expected);
    QCOMPARE(qs(core::modeText(static_cast<std::int16_t>(mode))), expected);
}

void TstTickTexts::logRecord_data()
{
    QTest::addColumn<Maxima>("maxima");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<char>("separator");
    QTest::addColumn<QString>("expected");
    QTest::newRow("example") << sample() << 1 << 14 << 5 << '.'
                             << "<V>13.45</V><I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>14:05</T>";
    QTest::newRow("no frame, just after midnight")
        << Maxima{} << 0 << 0 << 0 << '.'
        << "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>00:00</T>";
    QTest::newRow("negative mode") << Maxima{0.5, 0, 0, 0, 0.1} << -1 << 9 << 5 << '.'
                                   << "<V>0.5</V><I>0</I><W>0</W><R>0</R><S>0.1</S><M>-1</M><T>09:05</T>";
    QTest::newRow("extreme modes") << Maxima{} << -32768 << 23 << 59 << '.'
                                   << "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>-32768</M><T>23:59</T>";
    QTest::newRow("regional comma") << sample() << 1 << 17 << 40 << ','
                                    << "<V>13,45</V><I>2,1</I><W>28,25</W><R>312</R><S>4,5</S><M>1</M><T>17:40</T>";
    // Values are written as they are, not rounded again.
    QTest::newRow("all digits") << Maxima{12.3456789, 0, 1234.5678, 0, 0} << 0 << 12 << 0 << '.'
                                << "<V>12.3456789</V><I>0</I><W>1234.5678</W><R>0</R><S>0</S><M>0</M><T>12:00</T>";
}

void TstTickTexts::logRecord()
{
    QFETCH(Maxima, maxima);
    QFETCH(int, mode);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(char, separator);
    QFETCH(QString, expected);
    Separator sep(separator);
    QCOMPARE(qs(core::logRecord(maxima, static_cast<std::int16_t>(mode), hour, minute)), expected);
}

void TstTickTexts::historyLine_data()
{
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("load off: four tabs") << "kmh" << ""
                                         << "13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5kmh\t\t\t\t14:05:09";
    QTest::newRow("load on") << "mph" << "Load On"
                             << "13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5mph\t\tLoad On\t\t14:05:09";
    QTest::newRow("no units") << "" << "" << "13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5\t\t\t\t14:05:09";
    QTest::newRow("units as stored") << " m/s <b>" << ""
                                     << "13.45V\t\t2.1A\t\t28.25W\t\t312RPM\t\t4.5 m/s <b>\t\t\t\t14:05:09";
}

void TstTickTexts::historyLine()
{
    QFETCH(QString, units);
    QFETCH(QString, mode);
    QFETCH(QString, expected);
    Separator sep('.');
    QCOMPARE(qs(core::historyLine(sample(), str(units), str(mode), "14:05:09")), expected);
}

void TstTickTexts::substituteTemplate_data()
{
    QTest::addColumn<QString>("templ");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("longTime");
    QTest::addColumn<QString>("expected");
    QTest::newRow("every placeholder")
        << "<VV>|<II>|<WW>|<WH>|<RR>|<SS>|<TT>|<MM>" << "Load On" << "14:05:09"
        << "13.45|2.1|28.25|123.456789012345|312|4.5|14:05:09|Load On";
    QTest::newRow("no placeholder") << "<html>\r\n<p>plain</p>" << "" << "14:05:09"
                                    << "<html>\r\n<p>plain</p>";
    QTest::newRow("every occurrence") << "<VV> and <VV><VV>, <MM>/<MM>" << "Load On" << "1"
                                      << "13.45 and 13.4513.45, Load On/Load On";
    QTest::newRow("lower case untouched") << "<vv><Vv><tt><VV>" << "" << "1" << "<vv><Vv><tt>13.45";
    QTest::newRow("other tags stay") << "<b><V></V><VVV></b>" << "" << "1" << "<b><V></V><VVV></b>";
    QTest::newRow("load off gives nothing") << "[<MM>]" << "" << "1" << "[]";
    // <MM> is replaced last: removing it cannot create a placeholder that
    // is then replaced again.
    QTest::newRow("mode last") << "<V<MM>V>" << "" << "1" << "<VV>";
    // Earlier placeholders are done when <TT> is put in.
    QTest::newRow("in order") << "<TT>" << "" << "<VV>" << "<VV>";
    QTest::newRow("brackets around") << "<<WW>>" << "" << "1" << "<28.25>";
}

void TstTickTexts::substituteTemplate()
{
    QFETCH(QString, templ);
    QFETCH(QString, mode);
    QFETCH(QString, longTime);
    QFETCH(QString, expected);
    Separator sep('.');
    QCOMPARE(qs(core::substituteTemplate(str(templ), sample(), 123.456789012345, str(longTime), str(mode))),
             expected);
}

void TstTickTexts::spreadsheetHeader_data()
{
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("expected");
    QTest::newRow("kmh") << "kmh"
                         << "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b></td>"
                            "<td><b>RPM</b></td><td><b>kmh</b></td><td><b>Mode</b></td><td><b>Time</b></td></tr>\r\n\r\n";
    QTest::newRow("empty units") << ""
                                 << "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b></td>"
                                    "<td><b>RPM</b></td><td><b></b></td><td><b>Mode</b></td><td><b>Time</b></td></tr>\r\n\r\n";
}

void TstTickTexts::spreadsheetHeader()
{
    QFETCH(QString, units);
    QFETCH(QString, expected);
    QCOMPARE(qs(core::spreadsheetHeader(str(units))), expected);
}

void TstTickTexts::spreadsheetRow_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("load on")
        << "Load On"
        << "<tr><td>13.45</td><td>2.1</td><td>28.25</td><td>312</td><td>4.5</td><td>Load On</td><td>14:05:09</td></tr>\r\n\r\n";
    QTest::newRow("load off")
        << "" << "<tr><td>13.45</td><td>2.1</td><td>28.25</td><td>312</td><td>4.5</td><td></td><td>14:05:09</td></tr>\r\n\r\n";
}

void TstTickTexts::spreadsheetRow()
{
    QFETCH(QString, mode);
    QFETCH(QString, expected);
    Separator sep('.');
    QCOMPARE(qs(core::spreadsheetRow(sample(), str(mode), "14:05:09")), expected);
}

void TstTickTexts::startDelay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("newText");
    QTest::addColumn<int>("periodMs");
    QTest::newRow("too long") << "700" << true << "600" << 600000;
    QTest::newRow("too short") << "5" << true << "10" << 10000;
    QTest::newRow("zero") << "0" << true << "10" << 10000;
    QTest::newRow("negative") << "-3" << true << "10" << 10000;
    QTest::newRow("fraction stays") << "12.5" << true << "12.5" << 12500;
    QTest::newRow("lower bound") << "10" << true << "10" << 10000;
    QTest::newRow("upper bound") << "600" << true << "600" << 600000;
    QTest::newRow("just over") << "600.001" << true << "600" << 600000;
    QTest::newRow("just under") << "9.999" << true << "10" << 10000;
    QTest::newRow("blanks and exponent") << " 6e1 " << true << " 6e1 " << 60000;
    QTest::newRow("half a ms down to even") << "10.0005" << true << "10.0005" << 10000;
    QTest::newRow("half a ms up to even") << "10.0015" << true << "10.0015" << 10002;
    QTest::newRow("huge") << "1e300" << true << "600" << 600000;
    QTest::newRow("not a number") << "abc" << false << "abc" << 0;
    QTest::newRow("empty") << "" << false << "" << 0;
    QTest::newRow("blanks only") << "   " << false << "   " << 0;
    QTest::newRow("trailing text") << "60s" << false << "60s" << 0;
    QTest::newRow("comma in any locale") << "12,5" << true << "12,5" << 12500;
}

void TstTickTexts::startDelay()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, newText);
    QFETCH(int, periodMs);
    Separator sep('.');
    const core::StartDelay d = core::startDelay(str(text));
    QCOMPARE(d.valid, valid);
    QCOMPARE(qs(d.newText), newText);
    QCOMPARE(d.periodMs, periodMs);
}

QTEST_APPLESS_MAIN(TstTickTexts)
#include "tst_ticktexts.moc"

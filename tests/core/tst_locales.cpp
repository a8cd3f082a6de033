// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in the files under the locales the program meets: the delivered
// settings read everywhere, and what one locale writes every other reads.
#include "core/LogLine.h"
#include "core/Number.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "core/TickTexts.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

namespace {
// The separator main() takes from a locale. Qt has no locale whose separator
// is two characters; the Arabic U+066B is two bytes in UTF-8.
void useLocale(const QString &name)
{
    core::setDecimalSeparator(core::decimalSeparatorFor(QLocale(name).decimalPoint().toStdString()));
}

std::string delivered(const char *name)
{
    QFile f(QString::fromLocal8Bit(qgetenv("VELDRA_SOURCE")) + "/dist/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void addLocales()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<char>("written");
    for (const auto &[name, written] :
         {std::pair{"C", '.'}, {"en_US", '.'}, {"de_DE", ','}, {"fr_FR", ','}, {"fa_IR", '.'}, {"ar_EG", '.'}})
        QTest::newRow(name) << QString::fromLatin1(name) << written;
}
} // namespace

class TestLocales : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { core::setDecimalSeparator('.'); }

    void deliveredFiles_data() { addLocales(); }
    void deliveredFiles()
    {
        QFETCH(QString, locale);
        QFETCH(char, written);
        useLocale(locale);
        QCOMPARE(core::decimalSeparator(), written);

        const std::string cal = delivered("settings.cfg");
        QVERIFY(!cal.empty());
        std::vector<std::string> missing;
        const core::CalibrationSettings s = core::readCalibrationSettings(cal, core::CalibrationSettings(),
                                                                          &missing);
        QVERIFY(missing.empty());
        QCOMPARE(core::nonNumericCalibration(s), std::vector<std::string>());

        // The calibration examples: 512 counts are 12.5 V, 537 with the offset
        // 512 are 2.5 A; 10 rotor pulses at 2 a turn are 300 RPM; 8 over 1.6 is 5.
        core::Reading r;
        core::applyFrame(r, core::decodeFrame("[<V>512</V><I>537</I><R>10</R><M>0</M><S>8</S>]"),
                         core::calibrationFrom(s));
        QCOMPARE(r.Volts, 12.5);
        QCOMPARE(r.Amps, 2.5);
        QCOMPARE(r.Watts, 31.25);
        QCOMPARE(r.RPM, 300.0);
        QCOMPARE(r.WindSpeed, 5.0);

        const core::ProgramSettings p = core::readProgramSettings(delivered("prog.cfg"), core::ProgramSettings());
        QCOMPARE(core::readInt16(p.Port), std::optional<std::int16_t>(1));
        QCOMPARE(core::startDelay(p.LogDelay).periodMs, 60000);
    }

    void writtenReadsEverywhere_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("reader");
        const char *names[] = {"C", "en_US", "de_DE", "fr_FR", "fa_IR", "ar_EG"};
        for (const char *w : names)
            for (const char *r : names)
                QTest::addRow("%s to %s", w, r) << QString::fromLatin1(w) << QString::fromLatin1(r);
    }
    void writtenReadsEverywhere()
    {
        QFETCH(QString, writer);
        QFETCH(QString, reader);

        useLocale(writer);
        core::CalibrationSettings s;
        s.VoltDivider = core::numberText(39.5);
        s.VoltOffset = core::numberText(512.37);
        s.AmpDivider = core::numberText(-10.24);
        s.RPMDivider = core::numberText(2);
        s.WSDivider = core::numberText(1.6);
        const std::string settings = core::calibrationSettingsText(s);
        const std::string log = core::logRecord(core::Maxima{13.45, 2.1, 28.25, 312.5, 4.5}, 1, 14, 5);
        QVERIFY(settings.find('\0') == std::string::npos && log.find('\0') == std::string::npos);

        useLocale(reader);
        const core::Calibration c = core::calibrationFrom(
            core::readCalibrationSettings(settings, core::CalibrationSettings()));
        QCOMPARE(c.VoltDivider, std::optional<double>(39.5));
        QCOMPARE(c.VoltOffset, std::optional<double>(512.37));
        QCOMPARE(c.AmpDivider, std::optional<double>(-10.24));
        QCOMPARE(c.RPMDivider, std::optional<double>(2));
        QCOMPARE(c.WSDivider, std::optional<double>(1.6));

        core::LogLineReader lines;
        const auto time = core::LogLineReader::lineTime(log);
        QVERIFY(time);
        const core::LogRecord r = lines.fields(log, *time);
        QCOMPARE(r.V, 13.45);
        QCOMPARE(r.I, 2.1);
        QCOMPARE(r.W, 28.25);
        QCOMPARE(r.R, 312.5);
        QCOMPARE(r.S, 4.5);
        QCOMPARE(int(r.M), 1);
    }
};

QTEST_APPLESS_MAIN(TestLocales)
#include "tst_locales.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs that the fuzz targets (fuzz/) once broke, fed through the same code
// paths, so the fixes stay.
#include "core/LogLine.h"
#include "core/Number.h"
#include "core/Settings.h"
#include "core/TagValue.h"
#include "core/TickTexts.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void init() { core::setDecimalSeparator('.'); }
    void cleanup() { core::setDecimalSeparator('.'); }

    // The largest doubles used to round up past the largest double, so their
    // text read back as no number at all.
    void numberTextReadsBack_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<char>("separator");
        QTest::newRow("largest double") << QByteArray("1.7976931348623157e308") << '.';
        QTest::newRow("largest double, negative") << QByteArray("-1.7976931348623157e308") << '.';
        QTest::newRow("next below the largest") << QByteArray("1.7976931348623155e308") << '.';
        QTest::newRow("largest double, comma") << QByteArray("1,7976931348623157e308") << ',';
        // Just below the change: still rounded to the nearest 15 digits.
        QTest::newRow("below, rounds up") << QByteArray("1.797693134862306e308") << '.';
        QTest::newRow("ordinary") << QByteArray("13.45") << '.';
    }
    void numberTextReadsBack()
    {
        QFETCH(QByteArray, input);
        QFETCH(char, separator);
        core::setDecimalSeparator(separator);
        const auto value = core::readNumber(input.toStdString());
        QVERIFY(value);
        const std::string text = core::numberText(*value);
        const auto back = core::readNumber(text);
        QVERIFY2(back, text.c_str());
        QVERIFY2(std::fabs(*back - *value) <= 1e-14 * std::fabs(*value), text.c_str());
    }

    void largestTextsAreExact_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("digits"); // leading digits, then zeros to 309 places
        const double max = std::numeric_limits<double>::max();
        QTest::newRow("largest") << max << "179769313486231";
        QTest::newRow("largest, negative") << -max << "-179769313486231";
        QTest::newRow("just below the bound") << 1.797693134862306e308 << "179769313486231";
        QTest::newRow("rounds as before") << 1.797693134862304e308 << "17976931348623";
    }
    void largestTextsAreExact()
    {
        QFETCH(double, value);
        QFETCH(QString, digits);
        const QString text = QString::fromStdString(core::numberText(value));
        const int width = digits.startsWith('-') ? 310 : 309;
        QCOMPARE(text, digits.leftJustified(width, '0'));
    }

    // A huge maximum in the daily log came back as 0 in the graph window.
    void logRecordKeepsHugeMaximum()
    {
        core::Maxima m;
        m.MaxVolts = std::numeric_limits<double>::max();
        m.MaxWatts = -std::numeric_limits<double>::max();
        m.MaxAmps = 2.1;
        const std::string line = core::logRecord(m, 1, 14, 5);
        core::LogLineReader reader;
        const auto time = core::LogLineReader::lineTime(line);
        QVERIFY(time);
        const core::LogRecord r = reader.fields(line, *time);
        QVERIFY(r.V > 1.79e308);
        QVERIFY(r.W < -1.79e308);
        QCOMPARE(r.I, 2.1);
    }

    // A current offset saved from a huge raw reading came back as no number.
    void savedOffsetReadsBack()
    {
        core::CalibrationSettings s = core::defaultCalibrationSettings();
        s.VoltOffset = core::numberText(std::numeric_limits<double>::max());
        const auto text = core::calibrationSettingsText(s);
        const auto read = core::readCalibrationSettings(text, core::CalibrationSettings{});
        const auto offset = core::readNumber(read.VoltOffset);
        QVERIFY(offset);
        QVERIFY(*offset > 1.79e308);
    }
};

QTEST_APPLESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"

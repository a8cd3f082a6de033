// SPDX-License-Identifier: GPL-3.0-or-later
// Number text, number reading and rounding: every number on screen and in the
// files goes through these, so their edge cases are the program's.
#include "core/Number.h"

#include <QtTest>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

class TestNumber : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { core::setDecimalSeparator('.'); }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 13.0 << '.' << "13";
        QTest::newRow("decimal") << 12.5 << '.' << "12.5";
        QTest::newRow("below one") << 0.05 << '.' << "0.05";
        QTest::newRow("negative") << -2.1 << '.' << "-2.1";
        QTest::newRow("zero") << 0.0 << '.' << "0";
        QTest::newRow("minus zero") << -0.0 << '.' << "0";
        QTest::newRow("tiny, no exponent") << 1e-7 << '.' << "0.0000001";
        QTest::newRow("huge, no exponent") << 1e20 << '.' << "100000000000000000000";
        // binary noise must not show: 0.1 + 0.2 is 0.30000000000000004
        QTest::newRow("15 significant digits") << 0.1 + 0.2 << '.' << "0.3";
        QTest::newRow("two thirds") << 2.0 / 3.0 << '.' << "0.666666666666667";
        QTest::newRow("watt-hours kept whole") << 123.456789012345 << '.' << "123.456789012345";
        QTest::newRow("comma separator") << 13.45 << ',' << "13,45";
        QTest::newRow("comma separator below one") << -0.5 << ',' << "-0,5";
        QTest::newRow("largest whole of 15 digits") << 999999999999999.0 << '.' << "999999999999999";
        QTest::newRow("15 digits over 1e15") << 1234567890123456.0 << '.' << "1234567890123460";
        QTest::newRow("six decimals") << -0.000123 << '.' << "-0.000123";
        QTest::newRow("next double above 0.5") << std::nextafter(0.5, 1.0) << '.' << "0.5";
        QTest::newRow("rounds up to a power of ten") << 9.9999999999999999 << '.' << "10";
        QTest::newRow("not finite") << std::numeric_limits<double>::infinity() << '.' << "0";
        QTest::newRow("nan") << std::nan("") << '.' << "0";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(char, separator);
        QFETCH(QString, text);
        core::setDecimalSeparator(separator);
        QCOMPARE(QString::fromStdString(core::numberText(value)), text);
        // What other programs read has "." under every locale.
        QCOMPARE(QString::fromStdString(core::dotNumberText(value)), QString(text).replace(',', '.'));
    }

    void readNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<char>("separator");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("blanks around") << " 12 " << '.' << true << 12.0;
        QTest::newRow("sign") << "-3" << '.' << true << -3.0;
        QTest::newRow("plus sign") << "+4" << '.' << true << 4.0;
        QTest::newRow("no integer part") << ".5" << '.' << true << 0.5;
        QTest::newRow("no fraction") << "5." << '.' << true << 5.0;
        QTest::newRow("exponent") << "1e3" << '.' << true << 1000.0;
        QTest::newRow("exponent with sign") << "2.5E-1" << '.' << true << 0.25;
        QTest::newRow("tab blank") << "\t7\t" << '.' << true << 7.0;
        QTest::newRow("comma locale") << "12,5" << ',' << true << 12.5;
        // Files written under one locale read under any other.
        QTest::newRow("point in comma locale") << "12.5" << ',' << true << 12.5;
        QTest::newRow("comma in point locale") << "40,96" << '.' << true << 40.96;
        QTest::newRow("group and decimal separator") << "1,000.5" << '.' << false << 0.0;
        QTest::newRow("two group separators") << "1.000.000" << ',' << false << 0.0;
        QTest::newRow("trailing letters") << "12abc" << '.' << false << 0.0;
        QTest::newRow("empty") << "" << '.' << false << 0.0;
        QTest::newRow("blank only") << "   " << '.' << false << 0.0;
        QTest::newRow("lone sign") << "+" << '.' << false << 0.0;
        QTest::newRow("lone point") << "." << '.' << false << 0.0;
        QTest::newRow("nan") << "nan" << '.' << false << 0.0;
        QTest::newRow("inf") << "inf" << '.' << false << 0.0;
        QTest::newRow("hexadecimal") << "0x10" << '.' << false << 0.0;
        QTest::newRow("exponent without digits") << "1e" << '.' << false << 0.0;
        QTest::newRow("overflow") << "1e400" << '.' << false << 0.0;
        QTest::newRow("inner blank") << "1 2" << '.' << false << 0.0;
        QTest::newRow("line break") << "12\r\n" << '.' << false << 0.0;
        QTest::newRow("two signs") << "--1" << '.' << false << 0.0;
    }
    void readNumber()
    {
        QFETCH(QString, text);
        QFETCH(char, separator);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        core::setDecimalSeparator(separator);
        const auto v = core::readNumber(text.toStdString());
        QCOMPARE(v.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*v, value);
    }

    // The short decimals of the files take a quicker way than strtod: it must
    // give the very same double, bit for bit.
    void readNumberExactly()
    {
        core::setDecimalSeparator('.');
        QStringList texts = {"0.1",
                             "2.675",
                             "-0",
                             "0.3",
                             "123456789012345",
                             "0.000000000000001",
                             "99999999999999.9",
                             "1234567890123456",
                             "13.45",
                             "-0.07",
                             "4503599627370497"};
        quint64 n = 88172645463325252ull;
        for (int i = 0; i < 20000; ++i) {
            n ^= n << 13, n ^= n >> 7, n ^= n << 17;
            const QString digits = QString::number(n % 1000000000000000ull);
            const int point = int(n >> 60) % (digits.size() + 1);
            texts << digits.left(point) + "." + digits.mid(point);
        }
        for (const QString &t : texts) {
            const double expected = std::strtod(t.toLatin1().constData(), nullptr);
            const auto v = core::readNumber(t.toStdString());
            QVERIFY2(v && std::memcmp(&*v, &expected, sizeof expected) == 0, qPrintable(t));
        }
    }

    void separatorFor_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<char>("written");
        QTest::newRow("point") << QByteArray(".") << '.';
        QTest::newRow("comma") << QByteArray(",") << ',';
        // U+066B, two bytes in UTF-8: it once became a NUL in every number.
        QTest::newRow("arabic separator") << QByteArray("\xd9\xab") << '.';
        QTest::newRow("two characters") << QByteArray(",,") << '.';
        QTest::newRow("other ASCII") << QByteArray("'") << '.';
        QTest::newRow("empty") << QByteArray() << '.';
    }
    void separatorFor()
    {
        QFETCH(QByteArray, locale);
        QFETCH(char, written);
        QCOMPARE(core::decimalSeparatorFor(locale.toStdString()), written);
    }

    void rounding_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("rounded");
        QTest::newRow("half to even down") << 12.5 << 0 << 12.0;
        QTest::newRow("half to even up") << 13.5 << 0 << 14.0;
        QTest::newRow("1.5") << 1.5 << 0 << 2.0;
        QTest::newRow("2.5") << 2.5 << 0 << 2.0;
        QTest::newRow("negative half") << -2.5 << 0 << -2.0;
        QTest::newRow("four decimals, even") << 0.12345 << 4 << 0.1234;
        QTest::newRow("four decimals, odd") << 0.12355 << 4 << 0.1236;
        // 2.675 is stored as 2.67499999...; it rounds as it is written.
        QTest::newRow("as written") << 2.675 << 2 << 2.68;
        QTest::newRow("volts") << 512 / 40.96 << 2 << 12.5;
        QTest::newRow("already coarse") << 31.25 << 2 << 31.25;
        QTest::newRow("one decimal") << 123.456 << 1 << 123.5;
        QTest::newRow("carry") << 9.96 << 1 << 10.0;
        QTest::newRow("below the last kept digit") << 0.004 << 2 << 0.0;
        QTest::newRow("half of the last digit") << 0.005 << 2 << 0.0;
        QTest::newRow("more than half") << 0.006 << 2 << 0.01;
    }
    void rounding()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(double, rounded);
        QCOMPARE(core::roundHalfEven(value, decimals), rounded);
    }

    void toInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("result");
        QTest::newRow("3.5") << 3.5 << true << 4;
        QTest::newRow("2.5") << 2.5 << true << 2;
        QTest::newRow("upper limit") << 32767.0 << true << 32767;
        QTest::newRow("rounds past the limit") << 32767.5 << false << 0;
        QTest::newRow("lower limit") << -32768.0 << true << -32768;
        QTest::newRow("below") << -32769.0 << false << 0;
        QTest::newRow("huge") << 1e300 << false << 0;
        QTest::newRow("nan") << std::nan("") << false << 0;
    }
    void toInt16()
    {
        QFETCH(double, value);
        QFETCH(bool, fits);
        QFETCH(int, result);
        const auto v = core::toInt16(value);
        QCOMPARE(v.has_value(), fits);
        if (fits)
            QCOMPARE(int(*v), result);
    }

    void switches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("on");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("1.0") << "1.0" << true;
        QTest::newRow("blank before") << " 1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("greyed") << "2" << false;
        QTest::newRow("text") << "yes" << false;
        QTest::newRow("empty") << "" << false;
    }
    void switches()
    {
        QFETCH(QString, text);
        QFETCH(bool, on);
        QCOMPARE(core::isOn(text.toStdString()), on);
    }

    void timeText()
    {
        QCOMPARE(QString::fromStdString(core::timeText(9, 5)), QString("09:05"));
        QCOMPARE(QString::fromStdString(core::timeText(17, 40)), QString("17:40"));
        QCOMPARE(QString::fromStdString(core::timeText(0, 0)), QString("00:00"));
    }
};

QTEST_APPLESS_MAIN(TestNumber)
#include "tst_number.moc"

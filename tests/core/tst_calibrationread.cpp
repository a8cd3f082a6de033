// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration window's message assembly, field extraction and read-out texts.

#include "core/CalibrationRead.h"
#include "core/Number.h"

#include <QtTest>

using core::CalibrationBuffer;

namespace {
// A read-out label that keeps its previous text.
const QString kKept = QStringLiteral("(kept)");

QString shown(const std::optional<std::string> &t) { return t ? QString::fromStdString(*t) : kKept; }
QString field(const std::optional<std::string> &t)
{
    return t ? QString::fromStdString(*t) : QStringLiteral("(absent)");
}

std::string frame(const char *v, const char *i, const char *r, const char *s)
{
    std::string f = "[";
    if (v)
        f += std::string("<V>") + v + "</V>";
    if (i)
        f += std::string("<I>") + i + "</I>";
    if (r)
        f += std::string("<R>") + r + "</R>";
    f += "<M>1</M>";
    if (s)
        f += std::string("<S>") + s + "</S>";
    return f + "]\r\n";
}
} // namespace

class TestCalibrationRead : public QObject {
    Q_OBJECT
private slots:
    void init() { core::setDecimalSeparator('.'); }
    void cleanup() { core::setDecimalSeparator('.'); }

    void assembly_data();
    void assembly();
    void continuousStream_data();
    void continuousStream();
    void bound_data();
    void bound();
    void fields_data();
    void fields();
    void readout_data();
    void readout();
    void windSpeedKeepsPreviousValue();
    void regionalSeparator();
};

void TestCalibrationRead::assembly_data()
{
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("left");

    QTest::newRow("whole frame") << QStringList{"[<V>700</V>]"} << QStringList{"[<V>700</V>]"} << "";
    QTest::newRow("frame start only waits") << QStringList{"[<V>700"} << QStringList{} << "[<V>700";
    QTest::newRow("close only waits") << QStringList{"00</V>]"} << QStringList{} << "00</V>]";
    QTest::newRow("split frame taken on its close") << QStringList{"[<V>7", "00</V>", "]"}
                                                    << QStringList{"[<V>700</V>]"} << "";
    QTest::newRow("text before the start is dropped") << QStringList{"x\r\n[<V>1</V>]"}
                                                      << QStringList{"[<V>1</V>]"} << "";
    QTest::newRow("text after the close waits") << QStringList{"[<V>1</V>]\r\n[<V>2"}
                                                << QStringList{"[<V>1</V>]"} << "\r\n[<V>2";
    // The window opened mid-frame: the tail is not a message, not even once a
    // new start arrives; the new frame is shown when its own close arrives.
    QTest::newRow("tail of an interrupted frame, then a new start")
        << QStringList{"<R>9</R><M>1</M><S>4</S>]\r\n", "[<V>7", "00</V><S>5</S>]\r\n"}
        << QStringList{"[<V>700</V><S>5</S>]"} << "\r\n";
    QTest::newRow("a close before the start does not complete it") << QStringList{"<V>1</V>][<V>2"}
                                                                   << QStringList{} << "<V>1</V>][<V>2";
    QTest::newRow("frames in successive reads") << QStringList{"[<V>1</V>]", "\r\n[<V>2</V>]", "\r\n"}
                                                << QStringList{"[<V>1</V>]", "[<V>2</V>]"} << "\r\n";
    // Only the freshest values are shown.
    QTest::newRow("two frames in one read: the last") << QStringList{"x[<V>1</V>]\r\n[<V>2</V>]y"}
                                                      << QStringList{"[<V>2</V>]"} << "y";
    QTest::newRow("several frames and a start in one read")
        << QStringList{"[<V>1</V>][<V>2</V>][<V>3</V>][<V>4"} << QStringList{"[<V>3</V>]"} << "[<V>4";
}

void TestCalibrationRead::assembly()
{
    QFETCH(QStringList, reads);
    QFETCH(QStringList, messages);
    QFETCH(QString, left);

    CalibrationBuffer b;
    QStringList got;
    for (const QString &r : reads)
        if (auto m = b.append(r.toStdString()))
            got << QString::fromStdString(*m);
    QCOMPARE(got, messages);
    QCOMPARE(QString::fromStdString(b.text()), left);
}

// This reproduces the flickering read-outs: a unit sending the same frame
// without pause, read in small pieces from somewhere inside a frame. Every
// message must carry the right voltage and current, none may read as 0.
void TestCalibrationRead::continuousStream_data()
{
    QTest::addColumn<int>("start");    // where in the first frame reading begins
    QTest::addColumn<int>("piece");    // characters per read
    QTest::addColumn<int>("messages"); // of the 40 frames sent, the first is cut

    QTest::newRow("5-character pieces from mid-frame") << 17 << 5 << 39;
    QTest::newRow("8-character pieces from mid-frame") << 17 << 8 << 39;
    QTest::newRow("5-character pieces from inside <V>") << 5 << 5 << 39;
    QTest::newRow("single characters") << 30 << 1 << 39;
    // 49-character frames in 70-character reads: some reads complete two
    // frames and only the second is a message.
    QTest::newRow("reads longer than a frame") << 17 << 70 << 27;
}

void TestCalibrationRead::continuousStream()
{
    QFETCH(int, start);
    QFETCH(int, piece);

    const std::string one = frame("700", "512", "10", "4");
    QCOMPARE(one.size(), std::size_t(49));
    const std::string whole = one.substr(0, one.find(']') + 1);
    const int frames = 40;
    std::string stream;
    for (int n = 0; n < frames; ++n)
        stream += one;
    stream.erase(0, std::size_t(start));

    const core::CalibrationBoxes boxes{"56", "10.24", "2", "1.6"};
    CalibrationBuffer b;
    int messages = 0;
    for (std::size_t at = 0; at < stream.size(); at += std::size_t(piece)) {
        const auto m = b.append(std::string_view(stream).substr(at, std::size_t(piece)));
        if (!m)
            continue;
        ++messages;
        const core::CalibrationReadout r = core::calibrationReadout(core::calibrationFields(*m), boxes, 500.0,
                                                                    "mph", 0);
        QCOMPARE(QString::fromStdString(r.txtBattV), QStringLiteral("700"));
        QCOMPARE(shown(r.txtBattVadjusted), QStringLiteral("12.5 Volts"));
        QCOMPARE(QString::fromStdString(r.txtShuntV), QStringLiteral("512"));
        QCOMPARE(shown(r.txtBattAadjusted), QStringLiteral("1.17 Amps"));
        QCOMPARE(QString::fromStdString(*m), QString::fromStdString(whole));
    }
    QTEST(messages, "messages");
    QCOMPARE(QString::fromStdString(b.text()), QStringLiteral("\r\n"));
}

void TestCalibrationRead::bound_data()
{
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("message"); // the last message, empty for none

    const QString junk4000(4000, QLatin1Char('x'));
    const QString junk5000(5000, QLatin1Char('x'));
    QTest::newRow("junk at the limit is kept") << QStringList{QString(4096, 'x')} << QString(4096, 'x') << "";
    QTest::newRow("junk past the limit is dropped") << QStringList{junk5000} << "" << "";
    QTest::newRow("a lone close past the limit is dropped") << QStringList{"]" + junk5000} << "" << "";
    QTest::newRow("keeps the text from the last start") << QStringList{"[" + junk4000, junk4000.left(200) + "[<V>1"}
                                                       << "[<V>1" << "";
    QTest::newRow("a start followed by endless junk is dropped") << QStringList{"[" + junk5000} << "" << "";
    QTest::newRow("the kept start completes with its close")
        << QStringList{junk5000 + "[<V>1", "</V>]"} << "" << "[<V>1</V>]";
    QTest::newRow("a close before the start past the limit keeps the start")
        << QStringList{"]" + junk5000 + "["} << "[" << "";
    QTest::newRow("a frame inside a long read is taken, the rest bounded")
        << QStringList{junk5000 + "[<V>1</V>]" + junk5000} << "" << "[<V>1</V>]";
    QTest::newRow("a frame inside a long read keeps the start after it")
        << QStringList{junk4000, "[<V>1</V>]" + junk5000 + "[<V>2"} << "[<V>2" << "[<V>1</V>]";
}

void TestCalibrationRead::bound()
{
    QFETCH(QStringList, reads);
    QFETCH(QString, left);
    QFETCH(QString, message);

    CalibrationBuffer b;
    QString last;
    for (const QString &r : reads) {
        if (const auto m = b.append(r.toStdString()))
            last = QString::fromStdString(*m);
        QVERIFY(b.text().size() <= CalibrationBuffer::kLimit);
    }
    QCOMPARE(QString::fromStdString(b.text()), left);
    QCOMPARE(last, message);
}

void TestCalibrationRead::fields_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("v");
    QTest::addColumn<QString>("i");
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("s");

    const QString absent = QStringLiteral("(absent)");
    QTest::newRow("full frame") << QString::fromStdString(frame("700", "512", "10", "4")) << "700" << "512" << "10" << "4";
    QTest::newRow("missing R") << QString::fromStdString(frame("700", "512", nullptr, "4")) << "700" << "512" << absent << "4";
    QTest::newRow("blanks kept") << "[<R> 12</R>]" << absent << absent << " 12" << absent;
    QTest::newRow("empty field") << "[<V></V>]" << "" << absent << absent << absent;
    QTest::newRow("lower-case tags are not fields") << "[<v>1</v><s>2</s>]" << absent << absent << absent << absent;
    QTest::newRow("close before open is absent") << "[</V><V>700</V>]" << absent << absent << absent << absent;
    QTest::newRow("fields in any order") << "[<S>4</S><R>9</R><V>701</V>]" << "701" << absent << "9" << "4";
    QTest::newRow("first occurrence wins") << "[<V>1</V><V>2</V>]" << "1" << absent << absent << absent;
}

void TestCalibrationRead::fields()
{
    QFETCH(QString, message);
    QFETCH(QString, v);
    QFETCH(QString, i);
    QFETCH(QString, r);
    QFETCH(QString, s);

    const core::CalibrationFields f = core::calibrationFields(message.toStdString());
    QCOMPARE(field(f.V), v);
    QCOMPARE(field(f.I), i);
    QCOMPARE(field(f.R), r);
    QCOMPARE(field(f.S), s);
}

void TestCalibrationRead::readout_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("voltBox");
    QTest::addColumn<QString>("ampBox");
    QTest::addColumn<QString>("rpmBox");
    QTest::addColumn<QString>("wsBox");
    QTest::addColumn<QString>("offset"); // empty: the stored offset is not a number
    // The eight read-outs, in display order.
    QTest::addColumn<QString>("battV");
    QTest::addColumn<QString>("shuntV");
    QTest::addColumn<QString>("pulses");
    QTest::addColumn<QString>("rpm");
    QTest::addColumn<QString>("pulses2");
    QTest::addColumn<QString>("wind");
    QTest::addColumn<QString>("voltResult");
    QTest::addColumn<QString>("ampResult");

    const QString worked = QString::fromStdString(frame("700", "512", "10", "4"));
    QTest::newRow("worked example") << worked << "56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("rotor divider empty") << worked << "56" << "10.24" << "" << "1.6" << "500"
        << "700" << "512" << "10" << "divider is not a number" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("rotor divider negative") << worked << "56" << "10.24" << "-2" << "1.6" << "500"
        << "700" << "512" << "10" << "divider is below 0" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("negative current divider") << worked << "56" << "-10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "-1.17 Amps";
    QTest::newRow("voltage divider 0") << worked << "0" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "divider is 0" << "1.17 Amps";
    QTest::newRow("voltage divider negative") << worked << "-56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "divider is below 0" << "1.17 Amps";
    QTest::newRow("dividers not numbers") << worked << "abc" << "1;5" << "x" << "" << "500"
        << "700" << "512" << "10" << "divider is not a number" << "4" << "divider is not a number"
        << "divider is not a number" << "divider is not a number";
    QTest::newRow("current divider 0") << worked << "56" << "0" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "divider is 0";
    QTest::newRow("offset not a number") << worked << "56" << "10.24" << "2" << "1.6" << ""
        << "700" << "512" << "10" << "300 RPM" << "4" << "2.5 mph" << "12.5 Volts" << kKept;
    QTest::newRow("frame without R") << QString::fromStdString(frame("700", "512", nullptr, "4"))
        << "56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "" << "0 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("abc in R") << QString::fromStdString(frame("700", "512", "abc", "4"))
        << "56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "0" << "0 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("blank before 12 in R") << QString::fromStdString(frame("700", "512", " 12", "4"))
        << "56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << " 12" << "360 RPM" << "4" << "2.5 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("S absent and not a number") << QString::fromStdString(frame("700", "512", "10", nullptr))
        << "56" << "10.24" << "2" << "1.6" << "500"
        << "700" << "512" << "10" << "300 RPM" << "" << "0 mph" << "12.5 Volts" << "1.17 Amps";
    QTest::newRow("V and I not numbers count as 0") << QString::fromStdString(frame("abc", "", "10", "4"))
        << "56" << "10.24" << "2" << "1.6" << "500"
        << "0" << "0" << "10" << "300 RPM" << "4" << "2.5 mph" << "0 Volts" << "-48.83 Amps";
    QTest::newRow("V and I absent count as 0") << "[<R>10</R>]"
        << "56" << "10.24" << "2" << "1.6" << "0"
        << "0" << "0" << "10" << "300 RPM" << "" << "0 mph" << "0 Volts" << "0 Amps";
    // Halves go to the even neighbour, for raw values and results alike.
    QTest::newRow("half down to even") << QString::fromStdString(frame("691.32", "512.125", "1", "1"))
        << "56" << "10" << "7" << "1.6" << "512"
        << "691.32" << "512.12" << "1" << "8.6 RPM" << "1" << "0.6 mph" << "12.34 Volts" << "0.01 Amps";
    QTest::newRow("half up to even") << QString::fromStdString(frame("691.88", "512.135", "1", "0.4"))
        << "56" << "10" << "7" << "1.6" << "512"
        << "691.88" << "512.14" << "1" << "8.6 RPM" << "0.4" << "0.2 mph" << "12.36 Volts" << "0.01 Amps";
    // A quotient too large for a double is not shown as a number it is not.
    QTest::newRow("overflowing quotients") << QString::fromStdString(frame("1e300", "1e300", "1e300", "1e300"))
        << "1e-300" << "1e-300" << "1e-300" << "1e-300" << "0"
        << QString::fromStdString(core::numberText(1e300)) << QString::fromStdString(core::numberText(1e300))
        << "1e300" << "1 RPM" << "1e300" << "3.7 mph" << kKept << kKept;
}

void TestCalibrationRead::readout()
{
    QFETCH(QString, message);
    QFETCH(QString, voltBox);
    QFETCH(QString, ampBox);
    QFETCH(QString, rpmBox);
    QFETCH(QString, wsBox);
    QFETCH(QString, offset);

    const core::CalibrationBoxes boxes{voltBox.toStdString(), ampBox.toStdString(), rpmBox.toStdString(),
                                       wsBox.toStdString()};
    std::optional<double> off;
    if (!offset.isEmpty())
        off = offset.toDouble();
    const core::CalibrationReadout r = core::calibrationReadout(core::calibrationFields(message.toStdString()),
                                                                boxes, off, "mph", 3.7);

    QTEST(QString::fromStdString(r.txtBattV), "battV");
    QTEST(QString::fromStdString(r.txtShuntV), "shuntV");
    QTEST(QString::fromStdString(r.txtPulsess), "pulses");
    QTEST(QString::fromStdString(r.txtWindmillRPM), "rpm");
    QTEST(QString::fromStdString(r.txtPulsess2), "pulses2");
    QTEST(QString::fromStdString(r.txtWindSpeed), "wind");
    QTEST(shown(r.txtBattVadjusted), "voltResult");
    QTEST(shown(r.txtBattAadjusted), "ampResult");
}

void TestCalibrationRead::windSpeedKeepsPreviousValue()
{
    const core::CalibrationFields f = core::calibrationFields(frame("700", "512", "10", "4"));
    core::CalibrationBoxes boxes{"56", "10.24", "2", "1.6"};
    const core::CalibrationReadout first = core::calibrationReadout(f, boxes, 500.0, "kph", 0);
    QCOMPARE(first.CalWindSpeed, 2.5);

    boxes.Pulse2Divider = "0";
    const core::CalibrationReadout second = core::calibrationReadout(
        core::calibrationFields(frame("700", "512", "10", "9")), boxes, 500.0, "kph", first.CalWindSpeed);
    QCOMPARE(second.CalWindSpeed, 2.5);
    QCOMPARE(QString::fromStdString(second.txtWindSpeed), QStringLiteral("divider is 0"));
    QCOMPARE(QString::fromStdString(second.txtPulsess2), QStringLiteral("9"));
}

void TestCalibrationRead::regionalSeparator()
{
    core::setDecimalSeparator(',');
    const core::CalibrationBoxes boxes{"56", "10,24", "2", "1,6"};
    const core::CalibrationReadout r = core::calibrationReadout(
        core::calibrationFields(frame("700,5", "512", "10", "4")), boxes, 500.0, "mph", 0);
    QCOMPARE(QString::fromStdString(r.txtBattV), QStringLiteral("700,5"));
    QCOMPARE(shown(r.txtBattVadjusted), QStringLiteral("12,51 Volts"));
    QCOMPARE(shown(r.txtBattAadjusted), QStringLiteral("1,17 Amps"));
    QCOMPARE(QString::fromStdString(r.txtWindSpeed), QStringLiteral("2,5 mph"));
}

QTEST_APPLESS_MAIN(TestCalibrationRead)
#include "tst_calibrationread.moc"

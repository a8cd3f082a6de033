// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration window on a temporary program folder with a fake port.

#include "config/Calibrate.h"
#include "core/Number.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using config::Calibrate;
using testsupport::FakeServices;
using testsupport::ProgramFolder;

namespace {
QByteArray settingsCfg(const QByteArray &volt, const QByteArray &offset, const QByteArray &amp,
                       const QByteArray &rpm, const QByteArray &ws)
{
    return "Calibration Settings\r\n\r\n\r\n<VoltDivider>" + volt + "</VoltDivider>\r\n<VoltOffset>" + offset
           + "</VoltOffset>\r\n<AmpDivider>" + amp + "</AmpDivider>\r\n<RPMDivider>" + rpm
           + "</RPMDivider>\r\n<WSDivider>" + ws + "</WSDivider>\r\n";
}

QByteArray frame(const QByteArray &v, const QByteArray &i, const QByteArray &r, const QByteArray &s)
{
    return "[<V>" + v + "</V><I>" + i + "</I><R>" + r + "</R><M>1</M><S>" + s + "</S>]\r\n";
}

// The eight read-outs in display order.
QStringList readouts(const Calibrate &w)
{
    return {w.txtBattV->text(),   w.txtBattVadjusted->text(), w.txtShuntV->text(),   w.txtBattAadjusted->text(),
            w.txtPulsess->text(), w.txtWindmillRPM->text(),   w.txtPulsess2->text(), w.txtWindSpeed->text()};
}
} // namespace

class TestCalibrate : public QObject {
    Q_OBJECT
private slots:
    void init() { core::setDecimalSeparator('.'); }

    void controls();
    void load_data();
    void load();
    void workedExample();
    void unusableDividersMarked_data();
    void unusableDividersMarked();
    void interruptedFrame();
    void zeroThenSave();
    void closingWritesNothing_data();
    void closingWritesNothing();
    void enterInABoxDoesNotSave();
    void saveFailureKeepsWindowOpen();
    void portOpenFailure_data();
    void portOpenFailure();
    void bufferBound();
    void lostLinkThenReopen();
};

void TestCalibrate::controls()
{
    ProgramFolder folder;
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());

    QCOMPARE(w.windowTitle(), QStringLiteral("Calibration"));
    QCOMPARE(w.size(), QSize(362, 308));
    const QList<QPair<QString, QString>> captions = {
        {"Label8", "Step 1. Set Voltage"},
        {"Label2", "Measure your battery voltage, and then adjust"},
        {"Label9", "this value until the correct battery voltage"},
        {"Label10", "is displayed"},
        {"Label11", "Step 2. Set Current"},
        {"Label1", "Offset"},
        {"Label7", "With no current flowing, press the Zero button.."},
        {"Label12", "Apply a charging current, and adjust this"},
        {"Label13", "value until the correct amps is displayed."},
        {"Label14", "Step 3. Set RPM"},
        {"Label3", "How many pulses per revolution?"},
        {"Label21", "Step 4. Set Wind Speed"},
        {"Label6", "="},
        {"Label20", "="},
        {"Label16", "="},
        {"Label4", "="},
        {"txtBattV", "0"},
        {"txtShuntV", "0"},
        {"txtPulsess", "0"},
        {"txtPulsess2", "0"},
        {"txtBattVadjusted", ""},
        {"txtBattAadjusted", ""},
        {"txtWindmillRPM", ""},
        {"txtWindSpeed", ""},
    };
    for (const auto &[name, caption] : captions) {
        auto *l = w.findChild<QLabel *>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->text(), caption);
        // Every label is inside the client area.
        QVERIFY2(w.rect().contains(l->geometry()), qPrintable(name));
    }
    const QList<QPair<QString, QString>> buttons = {
        {"Command2", "Zero"}, {"Command6", "Exit ( dont save )"}, {"Command1", "Save Calibration"}};
    for (const auto &[name, caption] : buttons) {
        auto *b = w.findChild<QPushButton *>(name);
        QVERIFY2(b, qPrintable(name));
        QCOMPARE(b->text(), caption);
        QVERIFY2(w.rect().contains(b->geometry()), qPrintable(name));
    }
    for (const char *name : {"BatteryVolts", "BatteryCurrent", "PulseDivider", "Pulse2Divider"}) {
        auto *e = w.findChild<QLineEdit *>(name);
        QVERIFY2(e, name);
        QCOMPARE(e->palette().color(QPalette::Base), QColor(0, 255, 0));
    }
    for (const char *name : {"Picture1", "Picture2", "Picture3", "Picture4"}) {
        auto *p = w.findChild<QLabel *>(name);
        QVERIFY2(p, name);
        QVERIFY2(!p->pixmap().isNull(), name);
        QCOMPARE(p->palette().color(QPalette::Window), QColor(0, 255, 0));
    }
    QCOMPARE(w.palette().color(QPalette::Window), QColor(0, 64, 0));
    QCOMPARE(w.txtBattV->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    QCOMPARE(w.txtShuntV->palette().color(QPalette::Window), QColor(0, 255, 0));
    QCOMPARE(w.Label6->palette().color(QPalette::Window), QColor(0, 255, 0));
    QVERIFY(w.Label8->font().bold());
    QVERIFY(!w.Label2->font().bold());
}

void TestCalibrate::load_data()
{
    QTest::addColumn<QByteArray>("prog"); // empty: no file
    QTest::addColumn<QByteArray>("settings"); // empty: no file
    QTest::addColumn<QStringList>("boxes"); // BatteryVolts, BatteryCurrent, OffsetV, PulseDivider, Pulse2Divider
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QByteArray>("saved"); // after "Save Calibration" without edits

    QTest::newRow("number texts and the wind divider unchanged")
        << testsupport::progCfg("2", "0", "0", "60", "0", "1", "1", "mph")
        << settingsCfg("56.0", "512.50", "10.240", "2.0", "1.60")
        << QStringList{"56", "10.24", "512.5", "2", "1.60"} << 2 << "How many pulses per mph?"
        << settingsCfg("56", "512.5", "10.24", "2", "1.60");
    QTest::newRow("port rounds halves to even")
        << testsupport::progCfg("2.5", "0", "0", "60", "0", "1", "1", "km/h")
        << settingsCfg("40.96", "512", "10", "2", "1.6")
        << QStringList{"40.96", "10", "512", "2", "1.6"} << 2 << "How many pulses per km/h?"
        << settingsCfg("40.96", "512", "10", "2", "1.6");
    QTest::newRow("dividers that are not numbers are shown as found")
        << testsupport::progCfg("3.5") << settingsCfg("abc", "x5", " 7 ", "", "q")
        << QStringList{"abc", "7", "x5", "", "q"} << 4 << "How many pulses per mph?"
        << settingsCfg("abc", "x5", "7", "", "q");
    QTest::newRow("missing files take the delivered values") << QByteArray() << QByteArray()
        << QStringList{"40.96", "10", "512", "2", "1.6"} << 1 << "How many pulses per mph?"
        << settingsCfg("40.96", "512", "10", "2", "1.6");
    QTest::newRow("missing keys take the delivered values")
        << QByteArray("<WSUnits>knots</WSUnits>") << QByteArray("<AmpDivider>9</AmpDivider>")
        << QStringList{"40.96", "9", "512", "2", "1.6"} << 1 << "How many pulses per knots?"
        << settingsCfg("40.96", "512", "9", "2", "1.6");
}

void TestCalibrate::load()
{
    QFETCH(QByteArray, prog);
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, boxes);
    QFETCH(int, port);
    QFETCH(QString, question);
    QFETCH(QByteArray, saved);

    ProgramFolder folder;
    if (prog.isEmpty())
        QFile::remove(folder.file("prog.cfg"));
    else
        folder.write("prog.cfg", prog);
    if (settings.isEmpty())
        QFile::remove(folder.file("settings.cfg"));
    else
        folder.write("settings.cfg", settings);
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());

    QCOMPARE((QStringList{w.BatteryVolts->text(), w.BatteryCurrent->text(), w.OffsetV->text(),
                          w.PulseDivider->text(), w.Pulse2Divider->text()}),
             boxes);
    QCOMPARE(w.Label23->text(), question);
    QCOMPARE(w.Label3->text(), QStringLiteral("How many pulses per revolution?"));
    QCOMPARE(fakes.ports.size(), std::size_t(1));
    QVERIFY(fakes.ports[0]->isOpen());
    QCOMPARE(fakes.ports[0]->openedPorts(), QList<int>{port});
    QCOMPARE(fakes.ports[0]->settings(), QStringLiteral("4800,N,8,1"));
    QCOMPARE(fakes.ports[0]->readLength(), 0);
    // Broken files are reported by the main window, not here.
    QCOMPARE(fakes.messages.texts, QStringList());

    w.Command1->click();
    QCOMPARE(folder.read("settings.cfg"), saved);
}

void TestCalibrate::workedExample()
{
    ProgramFolder folder;
    folder.write("prog.cfg", testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "mph"));
    folder.write("settings.cfg", settingsCfg("56", "500", "10.24", "2", "1.6"));
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());

    // Arriving in pieces: nothing changes until the frame's close is there.
    fakes.ports[0]->feed("[<V>700</V><I>51");
    QCOMPARE(w.txtBattV->text(), QStringLiteral("0"));
    fakes.ports[0]->feed("2</I><R>10</R><M>1</M><S>4</S>]\r\n");
    QCOMPARE(readouts(w), (QStringList{"700", "12.5 Volts", "512", "1.17 Amps", "10", "300 RPM", "4", "2.5 mph"}));
    QCOMPARE(w.CalBuffer(), std::string("\r\n"));

    // A divider typed by the user takes effect with the next frame.
    w.PulseDivider->setText(QString());
    w.BatteryCurrent->setText(QStringLiteral("-10.24"));
    fakes.ports[0]->feed(frame("700", "512", "10", "4"));
    QCOMPARE(w.txtWindmillRPM->text(), QStringLiteral("divider is not a number"));
    QCOMPARE(w.txtBattAadjusted->text(), QStringLiteral("-1.17 Amps"));
}

// A divider box that gives no result is marked (red, a tool tip saying why)
// while it is wrong, as loaded or typed, and its result says so instead of
// keeping an old one; a good divider again takes the mark off and the next
// frame gives the result. The box is saved as typed.
void TestCalibrate::unusableDividersMarked_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result"); // the result's text while the box is wrong
    QTest::addColumn<QString>("why");    // start of the box's tool tip; empty: not marked
    QTest::newRow("volts not a number") << "BatteryVolts" << "abc" << "divider is not a number" << "\"abc\" is not a number";
    QTest::newRow("volts 0") << "BatteryVolts" << "0" << "divider is 0" << "A divider of 0";
    QTest::newRow("volts negative") << "BatteryVolts" << "-56" << "divider is below 0" << "A divider below 0";
    QTest::newRow("current with a group separator") << "BatteryCurrent" << "1,024.5" << "divider is not a number" << "\"1,024.5\" is not a number";
    QTest::newRow("current 0") << "BatteryCurrent" << "0" << "divider is 0" << "A divider of 0";
    QTest::newRow("current negative is good") << "BatteryCurrent" << "-10.24" << "-1.17 Amps" << "";
    QTest::newRow("rotor empty") << "PulseDivider" << "" << "divider is not a number" << "\"\" is not a number";
    QTest::newRow("wind 0") << "Pulse2Divider" << "0" << "divider is 0" << "A divider of 0";
    QTest::newRow("wind letters") << "Pulse2Divider" << "1.6x" << "divider is not a number" << "\"1.6x\" is not a number";
}

void TestCalibrate::unusableDividersMarked()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, result);
    QFETCH(QString, why);
    const QStringList boxes{"BatteryVolts", "BatteryCurrent", "PulseDivider", "Pulse2Divider"};
    QByteArrayList values{"56", "10.24", "2", "1.6"};
    ProgramFolder folder;
    folder.write("prog.cfg", testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "mph"));
    folder.write("settings.cfg", settingsCfg(values[0], "500", values[1], values[2], values[3]));
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    auto *e = w.findChild<QLineEdit *>(box);
    const int index = int(boxes.indexOf(box));
    QLabel *results[] = {w.txtBattVadjusted, w.txtBattAadjusted, w.txtWindmillRPM, w.txtWindSpeed};
    const QString good[] = {"12.5 Volts", "1.17 Amps", "300 RPM", "2.5 mph"};
    const QColor red(176, 0, 0);

    fakes.ports[0]->feed(frame("700", "512", "10", "4"));
    QCOMPARE(results[index]->text(), good[index]);
    // Typed: marked at once, and the result says why with no frame needed.
    e->setText(text);
    QVERIFY2(why.isEmpty() ? e->toolTip().isEmpty() : e->toolTip().startsWith(why), qPrintable(e->toolTip()));
    QCOMPARE(e->palette().color(QPalette::Text) == red, !why.isEmpty());
    if (!why.isEmpty())
        QCOMPARE(results[index]->text(), result);
    fakes.ports[0]->feed(frame("700", "512", "10", "4"));
    QCOMPARE(results[index]->text(), result);
    // The other results are untouched.
    for (int i = 0; i < 4; ++i)
        if (i != index)
            QCOMPARE(results[i]->text(), good[i]);

    // Good again: unmarked, and the next frame gives the result.
    e->setText(QString::fromLatin1(values[index]));
    QVERIFY(e->toolTip().isEmpty());
    QCOMPARE(e->palette().color(QPalette::Text), QColor(Qt::black));
    fakes.ports[0]->feed(frame("700", "512", "10", "4"));
    QCOMPARE(results[index]->text(), good[index]);

    // Saved as typed; opened again, the box is marked as loaded.
    e->setText(text);
    w.Command1_Click();
    QVERIFY(fakes.messages.texts.isEmpty());
    values[index] = text.toLatin1();
    QCOMPARE(folder.read("settings.cfg"), settingsCfg(values[0], "500", values[1], values[2], values[3]));
    Calibrate again(fakes.services());
    auto *loaded = again.findChild<QLineEdit *>(box);
    QCOMPARE(loaded->palette().color(QPalette::Text) == red, !why.isEmpty());
    QCOMPARE(loaded->toolTip().isEmpty(), why.isEmpty());
}

void TestCalibrate::interruptedFrame()
{
    ProgramFolder folder;
    folder.write("settings.cfg", settingsCfg("56", "500", "10.24", "2", "1.6"));
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    const QStringList worked{"700", "12.5 Volts", "512", "1.17 Amps", "10", "300 RPM", "4", "2.5 mph"};

    // The window opened in the middle of a frame: its tail shows nothing.
    fakes.ports[0]->feed("<R>20</R><M>1</M><S>8</S>]\r\n");
    QCOMPARE(w.txtPulsess->text(), QStringLiteral("0"));

    // A new start does not make the tail a message; the new frame is shown
    // whole once its close arrives, and the tail is dropped.
    fakes.ports[0]->feed("[<V>700</V><I>5");
    QCOMPARE(w.txtBattV->text(), QStringLiteral("0"));
    QCOMPARE(w.txtPulsess->text(), QStringLiteral("0"));
    fakes.ports[0]->feed("12</I><R>10</R><M>1</M><S>4</S>]\r\n");
    QCOMPARE(readouts(w), worked);
    QCOMPARE(w.CalBuffer(), std::string("\r\n"));

    // The unit keeps sending; read in 5-character pieces the read-outs hold
    // their values after every read instead of dropping to 0 in between.
    QByteArray stream;
    for (int n = 0; n < 6; ++n)
        stream += frame("700", "512", "10", "4");
    for (int at = 0; at < stream.size(); at += 5) {
        fakes.ports[0]->feed(stream.mid(at, 5));
        QCOMPARE(readouts(w), worked);
    }

    // Two frames in one read: the later one is shown.
    fakes.ports[0]->feed(frame("800", "600", "10", "8") + frame("672", "512", "20", "4") + "[<V>1");
    QCOMPARE(readouts(w), (QStringList{"672", "12 Volts", "512", "1.17 Amps", "20", "600 RPM", "4", "2.5 mph"}));
    QCOMPARE(w.CalBuffer(), std::string("\r\n[<V>1"));
}

void TestCalibrate::zeroThenSave()
{
    ProgramFolder folder;
    folder.write("settings.cfg", settingsCfg("56.0", "500", "10.24", "2", "1.60"));
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());

    // Before any frame the raw current is 0.
    w.Command2->click();
    QCOMPARE(w.CalOffset(), std::optional<double>(0));
    QCOMPARE(w.OffsetV->text(), QStringLiteral("0"));

    fakes.ports[0]->feed(frame("700", "512.374", "10", "4"));
    QCOMPARE(w.txtShuntV->text(), QStringLiteral("512.37"));
    w.Command2->click();
    QCOMPARE(w.OffsetV->text(), QStringLiteral("512.37"));
    QCOMPARE(w.CalOffset(), std::optional<double>(512.37));

    // The next result uses the new offset.
    fakes.ports[0]->feed(frame("700", "600", "10", "4"));
    QCOMPARE(w.txtBattAadjusted->text(), QStringLiteral("8.56 Amps"));

    w.Command1->click();
    QCOMPARE(folder.read("settings.cfg"), settingsCfg("56", "512.37", "10.24", "2", "1.60"));
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QVERIFY(!fakes.ports[0]->isOpen());
    QCOMPARE(fakes.messages.texts, QStringList());
}

void TestCalibrate::closingWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit ( dont save )") << "exit";
    QTest::newRow("close box") << "close";
    QTest::newRow("Escape") << "escape";
}

void TestCalibrate::closingWritesNothing()
{
    QFETCH(QString, how);
    ProgramFolder folder;
    const QByteArray before = settingsCfg("abc", "x5", "10.24", "2", "1.60");
    folder.write("settings.cfg", before);
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    fakes.ports[0]->feed(frame("700", "512", "10", "4"));
    w.Command2->click();
    w.BatteryVolts->setText(QStringLiteral("60"));
    if (how == "exit")
        w.Command6->click();
    else if (how == "close")
        w.close();
    else
        QTest::keyClick(&w, Qt::Key_Escape);

    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QVERIFY(!fakes.ports[0]->isOpen());
    QCOMPARE(folder.read("settings.cfg"), before);
}

void TestCalibrate::enterInABoxDoesNotSave()
{
    ProgramFolder folder;
    const QByteArray before = folder.read("settings.cfg");
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    fakes.ports[0]->feed(frame("700", "600", "10", "4"));
    w.BatteryVolts->setFocus();
    w.BatteryVolts->setText(QStringLiteral("99"));
    QTest::keyClick(w.BatteryVolts, Qt::Key_Return);
    // Neither "Save Calibration" nor "Zero" was pressed.
    QVERIFY(w.isVisible());
    QCOMPARE(w.OffsetV->text(), QStringLiteral("512"));
    QVERIFY(fakes.ports[0]->isOpen());
    QCOMPARE(folder.read("settings.cfg"), before);
}

void TestCalibrate::saveFailureKeepsWindowOpen()
{
    ProgramFolder folder;
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // A folder in the file's place cannot be replaced.
    QFile::remove(folder.file("settings.cfg"));
    QVERIFY(QDir(folder.path()).mkdir("settings.cfg"));
    w.BatteryVolts->setText(QStringLiteral("41"));
    w.Command1->click();

    QCOMPARE(fakes.messages.texts.size(), 1);
    QVERIFY2(fakes.messages.texts[0].contains("settings.cfg"), qPrintable(fakes.messages.texts[0]));
    QVERIFY(w.isVisible());
    QVERIFY(fakes.ports[0]->isOpen());
    QCOMPARE(w.BatteryVolts->text(), QStringLiteral("41"));
}

void TestCalibrate::portOpenFailure_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("named");
    QTest::newRow("device missing") << "3" << "3";
    QTest::newRow("port not a number") << "COM3" << "COM3";
    QTest::newRow("port too large") << "70000" << "70000";
}

void TestCalibrate::portOpenFailure()
{
    QFETCH(QString, port);
    QFETCH(QString, named);

    ProgramFolder folder;
    folder.write("prog.cfg", testsupport::progCfg(port));
    FakeServices fakes(folder.path());
    fakes.failOpen = true;
    Calibrate w(fakes.services());

    QCOMPARE(fakes.messages.texts.size(), 1);
    QVERIFY2(fakes.messages.texts[0].contains(QStringLiteral("port ") + named),
             qPrintable(fakes.messages.texts[0]));
    QVERIFY(!fakes.ports[0]->isOpen());

    // The boxes are filled and can still be saved.
    QCOMPARE(w.BatteryVolts->text(), QStringLiteral("40.96"));
    w.BatteryVolts->setText(QStringLiteral("41"));
    w.Command1->click();
    QCOMPARE(folder.read("settings.cfg"), settingsCfg("41", "512", "10", "2", "1.6"));
    QCOMPARE(fakes.messages.texts.size(), 1);
}

void TestCalibrate::bufferBound()
{
    ProgramFolder folder;
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());

    fakes.ports[0]->feed(QByteArray(5000, 'x'));
    QCOMPARE(w.CalBuffer(), std::string());
    fakes.ports[0]->feed("[<V>409.6" + QByteArray(4000, ' '));
    fakes.ports[0]->feed(QByteArray(200, 'y') + "[<V>81.92</V>");
    QCOMPARE(w.CalBuffer(), std::string("[<V>81.92</V>"));
    fakes.ports[0]->feed("]");
    QCOMPARE(w.txtBattV->text(), QStringLiteral("81.92"));
    QCOMPARE(w.txtBattVadjusted->text(), QStringLiteral("2 Volts"));
}

void TestCalibrate::lostLinkThenReopen()
{
    ProgramFolder folder;
    folder.write("prog.cfg", testsupport::progCfg("2"));
    FakeServices fakes(folder.path());
    Calibrate w(fakes.services());
    testsupport::FakeSerialPort *port = fakes.ports[0];

    port->feed("[<V>40.96</V>]");
    port->feed("[<V>8");
    QCOMPARE(w.CalBuffer(), std::string("[<V>8"));

    port->setFailOpen(true);
    port->loseLink();
    QVERIFY(!port->isOpen());
    QCOMPARE(w.CalBuffer(), std::string());
    QCOMPARE(w.link()->state(), ui::PortState::Away);
    QCOMPARE(w.link()->retryTimer()->interval(), 2000);

    // Retries keep failing quietly.
    const int calls = port->openCalls();
    QTRY_VERIFY_WITH_TIMEOUT(port->openCalls() > calls, 3000);
    QVERIFY(!port->isOpen());
    QCOMPARE(w.link()->state(), ui::PortState::Away);

    port->setFailOpen(false);
    QTRY_VERIFY_WITH_TIMEOUT(port->isOpen(), 3000);
    QCOMPARE(w.link()->state(), ui::PortState::Open);
    QCOMPARE(port->openedPorts(), (QList<int>{2, 2}));
    QCOMPARE(fakes.messages.texts, QStringList());

    // The half frame from before the loss does not mix with the new data.
    port->feed("00</V>]");
    QCOMPARE(w.txtBattV->text(), QStringLiteral("40.96"));
    port->feed("[<I>5</I>]");
    QCOMPARE(w.txtShuntV->text(), QStringLiteral("5"));

    // Closing stops everything.
    w.Command6->click();
    QVERIFY(!port->isOpen());
    QVERIFY(!w.link()->retryTimer()->isActive());
}

QTEST_MAIN(TestCalibrate)
#include "tst_calibrate.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The setup window on a temporary program folder: what it shows from
// "prog.cfg" and what its save writes or refuses.

#include "config/ProgramSetup.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using config::ProgramSetup;
using testsupport::FakeServices;
using testsupport::ProgramFolder;
using testsupport::progCfg;

namespace {
const QString kBadPort = QStringLiteral(
    "There is a bad number for Port Number. Must be between 1 and 8 ( 1 or 2 most common )");
}

class TestProgramSetup : public QObject {
    Q_OBJECT
private slots:
    void save_data();
    void save();
    void loadedValuesSavedUnchanged_data();
    void loadedValuesSavedUnchanged();
    void markedWhileNotANumber_data();
    void markedWhileNotANumber();
};

// An entry that must be a number is marked (red, a tool tip saying why)
// while it is not one, also as loaded; what is typed is saved as before.
void TestProgramSetup::markedWhileNotANumber_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("why"); // empty: not marked
    QTest::newRow("port letters") << "PortNumber" << "abc" << "\"abc\" is not a number. The port must be one";
    QTest::newRow("port empty") << "PortNumber" << "" << "\"\" is not a number.";
    QTest::newRow("port outside the range") << "PortNumber" << "9" << "";
    QTest::newRow("interval letters") << "LogDelay" << "1 min" << "\"1 min\" is not a number. It is saved as typed";
    QTest::newRow("interval outside the range") << "LogDelay" << "5" << "";
    QTest::newRow("interval with a comma") << "LogDelay" << "60,5" << "";
}

void TestProgramSetup::markedWhileNotANumber()
{
    QFETCH(QString, entry);
    QFETCH(QString, text);
    QFETCH(QString, why);
    ProgramFolder folder;
    folder.write("prog.cfg", entry == "PortNumber" ? progCfg(text, "1", "0", "60", "1", "0", "1", "kph")
                                                   : progCfg("1", "1", "0", text, "1", "0", "1", "kph"));
    FakeServices fakes(folder.path());
    ProgramSetup w(fakes.services());
    auto *e = w.findChild<QLineEdit *>(entry);
    QVERIFY(e);
    QCOMPARE(e->text(), text);
    const QColor red(176, 0, 0);
    // As loaded, then typed again after a good value.
    for (int round = 0; round < 2; ++round) {
        QVERIFY2(why.isEmpty() ? e->toolTip().isEmpty() : e->toolTip().startsWith(why), qPrintable(e->toolTip()));
        QCOMPARE(e->palette().color(QPalette::Text) == red, !why.isEmpty());
        e->setText("60");
        QVERIFY(e->toolTip().isEmpty());
        QCOMPARE(e->palette().color(QPalette::Text), QColor(Qt::black));
        e->setText(text);
    }
}

void TestProgramSetup::save_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("refused");
    QTest::newRow("letters") << "abc" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("lone sign") << "-" << true;
    QTest::newRow("inner blank") << "1 2" << true;
    QTest::newRow("outside the range named") << "9" << false;
    QTest::newRow("fraction") << "2.5" << false;
    QTest::newRow("fraction with a comma") << "2,5" << false;
    QTest::newRow("blank before the digit") << " 2" << false;
}

void TestProgramSetup::save()
{
    QFETCH(QString, port);
    QFETCH(bool, refused);
    ProgramFolder folder;
    const QByteArray before = progCfg("1", "1", "0", "60", "1", "0", "1", "kph");
    folder.write("prog.cfg", before);
    FakeServices fakes(folder.path());
    ProgramSetup w(fakes.services());
    w.show();
    w.LogOn->click();
    w.PortNumber->setText(port);
    w.Command1->click();

    if (refused) {
        // Nothing written; the window stays open with the entries as typed.
        QCOMPARE(fakes.messages.texts, QStringList{kBadPort});
        QCOMPARE(folder.read("prog.cfg"), before);
        QVERIFY(w.isVisible());
        QCOMPARE(w.PortNumber->text(), port);
        QCOMPARE(w.LogOn->value(), 0);
        // Corrected, the same window saves and closes.
        w.PortNumber->setText("2");
        w.Command1->click();
        port = "2";
    }
    QCOMPARE(fakes.messages.texts.size(), refused ? 1 : 0);
    QCOMPARE(folder.read("prog.cfg"), progCfg(port, "1", "0", "60", "0", "0", "1", "kph"));
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

void TestProgramSetup::loadedValuesSavedUnchanged_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QList<int>>("states");
    QTest::newRow("greyed check box") << progCfg("1", "0", "2", "60", "0", "1", "1", "mph") << "1"
                                      << QList<int>{0, 2, 0, 1, 1};
    QTest::newRow("port with its blank") << progCfg(" 3", "1", "0", "60", "0", "0", "0", "mph") << " 3"
                                         << QList<int>{1, 0, 0, 0, 0};
    QTest::newRow("every box greyed") << progCfg("2", "2", "2", "45", "2", "2", "2", " m/s ") << "2"
                                      << QList<int>{2, 2, 2, 2, 2};
}

void TestProgramSetup::loadedValuesSavedUnchanged()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, port);
    QFETCH(QList<int>, states);
    ProgramFolder folder;
    folder.write("prog.cfg", file);
    FakeServices fakes(folder.path());
    ProgramSetup w(fakes.services());

    QCOMPARE(w.PortNumber->text(), port);
    QCOMPARE((QList<int>{w.Savehtml->value(), w.SaveExcel->value(), w.LogOn->value(), w.DisplayRPM->value(),
                         w.DisplayWS->value()}),
             states);
    if (states[1] == 2)
        QCOMPARE(w.SaveExcel->checkState(), Qt::PartiallyChecked);
    w.Command1->click();
    QCOMPARE(fakes.messages.texts, QStringList());
    QCOMPARE(folder.read("prog.cfg"), file);
}

QTEST_MAIN(TestProgramSetup)
#include "tst_programsetup.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The Power curve page on a real archive, and the Turbine and site page of
// the Options window.
#include "archive/ArchiveDb.h"
#include "history/CertifiedPanel.h"
#include "history/PowerCurvePage.h"
#include "history/TurbinePage.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {

// A minute on the fake clock's day: wind (m/s), watts, highest volts.
core::ArchiveRow minute(int i, double wind, double watts, double voltsMax = 13)
{
    const QDateTime at(QDate(2026, 3, 7), QTime(0, 0));
    core::ArchiveRow r;
    r.t = at.toSecsSinceEpoch() + 60 * i;
    r.utcOffset = at.offsetFromUtc();
    r.minutes = 1;
    r.frames = 30;
    r.volts = {30, 13 * 30, 12.8, voltsMax};
    r.watts = {30, 30 * watts, watts, watts};
    r.wind = {30, 30 * wind, wind, wind};
    r.energyWh = watts / 60;
    r.windUnit = "m/s";
    return r;
}

// 12 minutes in each bin from 3 to 8 m/s, an hour with the battery full, and
// one wild minute at 25 m/s.
void scriptedArchive(const testsupport::ProgramFolder &folder)
{
    folder.write("turbine.cfg", "<BatteryFullVolts>14.4</BatteryFullVolts>\r\n");
    archive::ArchiveDb db;
    QVERIFY(db.open(folder.file("archive.sqlite"), false));
    core::TurbineSettings s;
    s.batteryFullVolts = 14.4;
    QVERIFY(db.setCurveRules(core::curveRules(s)));
    int i = 0;
    for (int bin = 6; bin <= 16; ++bin)
        for (int n = 0; n < 12; ++n)
            QVERIFY(db.write(minute(i++, bin * 0.5, bin < 7 ? 0 : (bin - 6) * 30.0)));
    for (int n = 0; n < 60; ++n)
        QVERIFY(db.write(minute(i++, 9, 0, 14.6)));
    QVERIFY(db.write(minute(i++, 25, 2500)));
}

// 0 W at 3 m/s rising to 400 W at 8 m/s, held to 20 m/s: the scripted
// archive's bins give exactly 75 % of it.
const QByteArray kCertified = "wind_m_s;power_w\r\n3;0\r\n8;400\r\n20;400\r\n";

QString localised(QString text) { return text.replace(',', QLocale().decimalPoint()); }

} // namespace

class TstPowerCurvePage : public QObject {
    Q_OBJECT
private slots:
    void showsTheArchivesCurve()
    {
        testsupport::ProgramFolder folder;
        scriptedArchive(folder);
        testsupport::FakeServices fake(folder.path());
        history::PowerCurvePage page(fake.services(), "mph");
        QCOMPARE(page.curve().minutes(), 133LL);
        QVERIFY2(page.Note->text().contains("2.2 of the 60 hours") && page.Note->text().contains("at 2.5 m/s; 8.5-14 m/s."),
                 qPrintable(page.Note->text()));
        QCOMPARE(page.Estimate->item(0, 0)->text(), QString("4 m/s (8,9 mph)").replace(',', QLocale().decimalPoint()));
        QVERIFY(page.Estimate->item(0, 1)->text().endsWith(" kWh (incomplete)"));
        QVERIFY(page.Estimate->item(7, 2)->text().endsWith(" kWh"));
        QCOMPARE(page.PowerAt11->text(), QString("Power at 11 m/s: not measured yet"));
        QVERIFY2(page.Curtailed->text().startsWith("1 h with the battery full this month"),
                 qPrintable(page.Curtailed->text()));
        // Against physics only with the rotor's diameter; a rotor of 1 m
        // cannot make these watts, so every measured bin with power is above Betz.
        QVERIFY2(page.PhysicsNote->text().contains("rotor diameter"), qPrintable(page.PhysicsNote->text()));
        QCOMPARE(page.Physics->rowCount(), 0);
        folder.write("turbine.cfg", "<BatteryFullVolts>14.4</BatteryFullVolts>\r\n<RotorDiameter>1</RotorDiameter>\r\n");
        page.reload();
        QVERIFY2(page.PhysicsNote->text().startsWith("Cp is above the Betz limit of 0") &&
                     page.PhysicsNote->text().contains(" at 3.5-8 m/s. "),
                 qPrintable(page.PhysicsNote->text()));
        QCOMPARE(page.Physics->rowCount(), 12);
        QVERIFY(page.Physics->item(0, 2)->text() == "0" && page.Physics->item(1, 2)->text().endsWith(" (above Betz)"));
        QVERIFY(page.Physics->item(11, 0)->text().endsWith(" m/s (few)"));
        page.resize(900, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        // Export writes what --report powercurve prints.
        fake.files.answer = folder.file("export.csv");
        page.Export_Click();
        QCOMPARE(folder.read("export.csv").toStdString(), core::curveReportText(page.curve(), page.settings()));

        // Reset: asked first, the old curve written aside, then empty.
        const QString kept = page.keptFile();
        fake.messages.answer = false;
        page.Reset_Click();
        QCOMPARE(page.curve().minutes(), 133LL);
        fake.messages.answer = true;
        page.Reset_Click();
        QVERIFY(QFileInfo::exists(kept));
        QCOMPARE(page.curve().minutes(), 0LL);
        QVERIFY(page.Curtailed->isHidden());
    }

    // The scripted archive against the certified curve, by hand: bins 3 to
    // 8 m/s of 12 minutes each at 60 x (wind - 3) W, the certified curve
    // 80 x (wind - 3) W; 330 Wh measured over 440 Wh certified; the minutes
    // with the battery full and at 25 m/s (beyond the curve) are left out; the ten bins above
    // 3 m/s make 2 h of wind above the cut-in.
    void certifiedCurve()
    {
        testsupport::ProgramFolder folder;
        scriptedArchive(folder);
        folder.write("from-the-maker.csv", kCertified);
        testsupport::FakeServices fake(folder.path());
        history::PowerCurvePage page(fake.services(), "m/s");
        history::CertifiedPanel *panel = page.Certified;
        QVERIFY(!panel->certified());
        QVERIFY(panel->CertifiedCurve->text().startsWith("No certified curve imported yet"));

        fake.files.answer = folder.file("from-the-maker.csv");
        panel->ImportCertified->click();
        QVERIFY(fake.messages.texts.isEmpty());
        QCOMPARE(folder.read("certified-curve.csv"), kCertified);
        QVERIFY(panel->certified());
        QCOMPARE(panel->CertifiedCurve->text(),
                 QString("Certified curve: 3 points from 3 to 20 m/s, cut-in 3 m/s."));
        QVERIFY2(panel->LabelFigure->text().startsWith("At a 5 m/s mean (the label's figure): certified "),
                 qPrintable(panel->LabelFigure->text()));
        QVERIFY2(panel->LabelFigure->text().contains(" kWh (incomplete) ("), qPrintable(panel->LabelFigure->text()));
        // Bins 3 to 8 m/s (3 m/s has no ratio: 0 W certified); 25 m/s is beyond the curve.
        QCOMPARE(panel->Ratios->rowCount(), 11);
        QCOMPARE(panel->Ratios->item(0, 3)->text(), QString("-"));
        for (int r = 1; r < 11; ++r)
            QCOMPARE(panel->Ratios->item(r, 3)->text(), QString("75 %"));

        QTRY_VERIFY_WITH_TIMEOUT(!panel->reading(), 20000);
        QCOMPARE(panel->Days->rowCount(), 1);
        const QStringList day{"2026-03-07", localised("0,33 kWh"), localised("0,44 kWh"), "75 %", "2 h"};
        for (int c = 0; c < day.size(); ++c)
            QCOMPARE(panel->Days->item(0, c)->text(), day[c]);
        QCOMPARE(panel->Months->item(0, 0)->text(), QString("2026-03"));
        QVERIFY2(panel->Performance->text().contains(": 75 % "), qPrintable(panel->Performance->text()));

        // A new page finds the kept curve.
        history::PowerCurvePage again(fake.services(), "m/s");
        QVERIFY(again.Certified->certified());
        QTRY_VERIFY_WITH_TIMEOUT(!again.Certified->reading(), 20000);
    }

    // A bad file is named with its line, and the curve kept before stays.
    void importRefuses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("no header") << QByteArray("3,0\n8,400\n")
                                   << "is not a curve file: line 1: the header must be two fields, the second "
                                      "power_w or power_kw. The curve kept before is unchanged.";
        QTest::newRow("winds fall") << QByteArray("wind_m_s,power_w\n3,0\n8,400\n7,300\n")
                                    << "is not a curve file: line 4: the winds must rise, from 0 to 60 m/s. The "
                                       "curve kept before is unchanged.";
        QTest::newRow("not a number") << QByteArray("wind_m_s,power_kw\n3,0\n8,lots\n")
                                      << "is not a curve file: line 3: not two numbers. The curve kept before is "
                                         "unchanged.";
        QTest::newRow("never any power") << QByteArray("wind_m_s,power_w\n3,0\n8,0\n")
                                         << "has no point with power above 0. The curve kept before is unchanged.";
        QTest::newRow("gone") << QByteArray() << "could not be read (";
    }
    void importRefuses()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        testsupport::ProgramFolder folder;
        folder.write("certified-curve.csv", kCertified);
        if (!text.isEmpty())
            folder.write("bad.csv", text);
        testsupport::FakeServices fake(folder.path());
        history::PowerCurvePage page(fake.services(), "m/s");
        fake.files.answer = folder.file("bad.csv");
        page.Certified->ImportCertified_Click();
        QCOMPARE(fake.messages.texts.size(), 1);
        QVERIFY2(fake.messages.texts[0].startsWith(QDir::toNativeSeparators(folder.file("bad.csv")) + ' ')
                     && fake.messages.texts[0].contains(message),
                 qPrintable(fake.messages.texts[0]));
        QCOMPARE(folder.read("certified-curve.csv"), kCertified);
        QVERIFY(page.Certified->certified());
    }

    void noArchiveYet()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        history::PowerCurvePage page(fake.services(), "m/s");
        QVERIFY(page.Note->text().startsWith("There is no archive in "));
        QCOMPARE(page.Estimate->item(0, 1)->text(), QString());
        QVERIFY(fake.messages.texts.isEmpty());
    }

    void turbinePage_data()
    {
        QTest::addColumn<QString>("altitude");
        QTest::addColumn<QString>("temperature");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("cutOut");
        QTest::addColumn<QString>("rated");
        QTest::addColumn<QString>("refused"); // the entry at fault, or empty
        QTest::newRow("a hill farm") << "350" << "9" << "14.4" << "20" << "1500" << "";
        QTest::newRow("defaults left empty") << "0" << "" << "" << "25" << "" << "";
        QTest::newRow("words for altitude") << "high" << "" << "" << "25" << "" << "Altitude";
        QTest::newRow("no altitude") << "" << "" << "" << "25" << "" << "Altitude";
        QTest::newRow("too hot") << "0" << "60" << "" << "25" << "" << "MeanTemperature";
        QTest::newRow("battery at 0 V") << "0" << "" << "0" << "25" << "" << "BatteryFullVolts";
        QTest::newRow("cut-out at 2 m/s") << "0" << "" << "" << "2" << "" << "CutOut";
        QTest::newRow("rated power of none") << "0" << "" << "" << "25" << "0" << "RatedPower";
        QTest::newRow("rated power in words") << "0" << "" << "" << "25" << "big" << "RatedPower";
    }
    void turbinePage()
    {
        QFETCH(QString, refused);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        history::TurbinePage page(fake.services());
        QCOMPARE(page.CutOut->text(), QString("25"));
        QVERIFY(page.Density->text().contains("1,225") || page.Density->text().contains("1.225"));
        QFETCH(QString, altitude);
        QFETCH(QString, temperature);
        QFETCH(QString, full);
        QFETCH(QString, cutOut);
        page.Altitude->setText(altitude);
        page.MeanTemperature->setText(temperature);
        page.BatteryFullVolts->setText(full);
        page.CutOut->setText(cutOut);
        QFETCH(QString, rated);
        page.RatedPower->setText(rated);
        page.DumpsToLoad->setChecked(true);
        QCOMPARE(page.save(), refused.isEmpty());
        QCOMPARE(folder.exists("turbine.cfg"), refused.isEmpty());
        QCOMPARE(fake.messages.texts.size(), refused.isEmpty() ? 0 : 1);
        if (!refused.isEmpty()) {
            QVERIFY(fake.messages.texts.first().startsWith(refused == "MeanTemperature" ? "Mean"
                                                           : refused == "BatteryFullVolts" ? "Battery"
                                                           : refused == "CutOut"           ? "Cut-out"
                                                           : refused == "RatedPower"       ? "Rated power"
                                                                                           : "Altitude"));
            return;
        }
        const core::TurbineSettings s = core::readTurbineSettings(folder.read("turbine.cfg").toStdString());
        QCOMPARE(s.altitude, altitude.toDouble());
        QCOMPARE(s.meanTemperature.has_value(), !temperature.isEmpty());
        QCOMPARE(s.batteryFullVolts.value_or(-1), full.isEmpty() ? -1 : full.toDouble());
        QCOMPARE(s.cutOut, cutOut.toDouble());
        QCOMPARE(s.ratedPower.value_or(-1), rated.isEmpty() ? -1 : rated.toDouble());
        QVERIFY(s.dumpsToLoad && !s.activePowerControl);
        history::TurbinePage again(fake.services());
        QCOMPARE(again.Altitude->text(), altitude);
        QVERIFY(again.DumpsToLoad->isChecked());
        QCOMPARE(again.RatedPower->text(), rated);
    }
};

QTEST_MAIN(TstPowerCurvePage)
#include "tst_powercurvepage.moc"

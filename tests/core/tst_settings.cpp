// SPDX-License-Identifier: GPL-3.0-or-later
// TagValue and the two settings files, byte for byte.
#include "core/Settings.h"
#include "core/TagValue.h"

#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void tagValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "<Port>1</Port>" << "Port" << true << "1";
        QTest::newRow("other order and text")
            << "junk\r\n<LogOn>0</LogOn>\r\n\r\n<Port>3</Port>" << "Port" << true << "3";
        QTest::newRow("blanks kept") << "<Port> 2 </Port>" << "Port" << true << " 2 ";
        QTest::newRow("wrong case") << "<port>1</port>" << "Port" << false << "";
        QTest::newRow("first of two") << "<Port>1</Port><Port>2</Port>" << "Port" << true << "1";
        QTest::newRow("line break inside") << "<WSUnits>m\r\nph</WSUnits>" << "WSUnits" << true << "m\r\nph";
        QTest::newRow("own closing tag inside") << "<WSUnits>a</WSUnits>b</WSUnits>" << "WSUnits" << true << "a";
        QTest::newRow("empty value") << "<WSUnits></WSUnits>" << "WSUnits" << true << "";
        QTest::newRow("no opening tag") << "x</Port>" << "Port" << false << "";
        QTest::newRow("no closing tag") << "<Port>1" << "Port" << false << "";
        QTest::newRow("reversed tags") << "</Port>1<Port>" << "Port" << false << "";
        QTest::newRow("empty file") << "" << "Port" << false << "";
    }
    void tagValue()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(QString, value);
        const auto v = core::tagValue(text.toStdString(), key.toStdString());
        QCOMPARE(v.has_value(), found);
        if (found)
            QCOMPARE(QString::fromStdString(*v), value);
    }

    void writesProgramFileByteForByte()
    {
        core::ProgramSettings s{"1", "1", "0", "60", "0", "1", "1", "kph"};
        const std::string expected = "Program Config File\r\n\r\n<Port>1</Port>\r\n<Savehtml>1</Savehtml>\r\n"
                                     "<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n<LogOn>0</LogOn>\r\n"
                                     "<DisplayRPM>1</DisplayRPM>\r\n<DisplayWS>1</DisplayWS>\r\n"
                                     "<WSUnits>kph</WSUnits>\r\n\r\n";
        QCOMPARE(core::programSettingsText(s), expected);
        std::vector<std::string> missing;
        const auto back = core::readProgramSettings(expected, core::ProgramSettings(), &missing);
        QVERIFY(missing.empty());
        QCOMPARE(core::programSettingsText(back), expected);
    }

    void writesCalibrationFileByteForByte()
    {
        core::CalibrationSettings s{"56.0", "512.5", "10.24", "2", "1.60"};
        const std::string expected = "Calibration Settings\r\n\r\n\r\n<VoltDivider>56.0</VoltDivider>\r\n"
                                     "<VoltOffset>512.5</VoltOffset>\r\n<AmpDivider>10.24</AmpDivider>\r\n"
                                     "<RPMDivider>2</RPMDivider>\r\n<WSDivider>1.60</WSDivider>\r\n";
        QCOMPARE(core::calibrationSettingsText(s), expected);
        const auto back = core::readCalibrationSettings(expected, core::CalibrationSettings());
        QCOMPARE(core::calibrationSettingsText(back), expected);
    }

    void missingKeysFallBackAndAreNamed()
    {
        std::vector<std::string> missing;
        const auto s = core::readProgramSettings("<Port>4</Port><LogOn>1", core::defaultProgramSettings(),
                                                 &missing);
        QCOMPARE(s.Port, std::string("4"));
        QCOMPARE(s.LogOn, core::defaultProgramSettings().LogOn);
        QCOMPARE(missing.size(), size_t(7));
        QCOMPARE(missing.front(), std::string("Savehtml"));
    }

    void deliveredFilesMatchTheDefaults()
    {
        // dist/ is what a fresh program folder holds; the built-in defaults
        // used to repair a broken file must say the same.
        const QString dist = qEnvironmentVariable("VELDRA_SOURCE") + "/dist/";
        QFile prog(dist + "prog.cfg"), cal(dist + "settings.cfg");
        QVERIFY(prog.open(QIODevice::ReadOnly));
        QVERIFY(cal.open(QIODevice::ReadOnly));
        QCOMPARE(prog.readAll().toStdString(), core::programSettingsText(core::defaultProgramSettings()));
        QCOMPARE(cal.readAll().toStdString(), core::calibrationSettingsText(core::defaultCalibrationSettings()));
    }
};

QTEST_APPLESS_MAIN(TestSettings)
#include "tst_settings.moc"
